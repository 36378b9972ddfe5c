#pragma once

// Owning pointers for every OpenSSL object the card library uses: each one is
// freed by its own free function, on every path.

#include <memory>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

template <typename T, void (*FreeFn)(T*)>
struct COsslDeleter {
  void operator()(T* p) const { FreeFn(p); }
};

template <typename T, void (*FreeFn)(T*)>
using OsslPtr = std::unique_ptr<T, COsslDeleter<T, FreeFn>>;

inline void FreeBio(BIO* p) { BIO_free_all(p); }
inline void FreeX509Stack(STACK_OF(X509)* p) { sk_X509_pop_free(p, X509_free); }

using BioPtr = OsslPtr<BIO, FreeBio>;
using BnPtr = OsslPtr<BIGNUM, BN_free>;
using CmsPtr = OsslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using EcdsaSigPtr = OsslPtr<ECDSA_SIG, ECDSA_SIG_free>;
using EvpCipherCtxPtr = OsslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
using EvpCipherPtr = OsslPtr<EVP_CIPHER, EVP_CIPHER_free>;
using EvpMdCtxPtr = OsslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using EvpMdPtr = OsslPtr<EVP_MD, EVP_MD_free>;
using EvpPkeyCtxPtr = OsslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using EvpPkeyPtr = OsslPtr<EVP_PKEY, EVP_PKEY_free>;
using X509Ptr = OsslPtr<X509, X509_free>;
using X509NamePtr = OsslPtr<X509_NAME, X509_NAME_free>;
using X509StackPtr = OsslPtr<STACK_OF(X509), FreeX509Stack>;
using X509StoreCtxPtr = OsslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;
using X509StorePtr = OsslPtr<X509_STORE, X509_STORE_free>;
using AsnIntegerPtr = OsslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
