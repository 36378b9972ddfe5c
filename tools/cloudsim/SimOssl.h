#pragma once

// Owning pointers for the OpenSSL objects the simulator uses, each freed by
// its own free function on every path.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

template <typename T, void (*FreeFn)(T*)>
struct CSimFree {
  void operator()(T* p) const { FreeFn(p); }
};

template <typename T, void (*FreeFn)(T*)>
using SimPtr = std::unique_ptr<T, CSimFree<T, FreeFn>>;

inline void SimFreeBio(BIO* p) { BIO_free_all(p); }
inline void SimFreeCertStack(STACK_OF(X509) * p) { sk_X509_pop_free(p, X509_free); }

using SimBio = SimPtr<BIO, SimFreeBio>;
using SimBn = SimPtr<BIGNUM, BN_free>;
using SimCms = SimPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using SimMdCtx = SimPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using SimKey = SimPtr<EVP_PKEY, EVP_PKEY_free>;
using SimCert = SimPtr<X509, X509_free>;
using SimCertStack = SimPtr<STACK_OF(X509), SimFreeCertStack>;
using SimSslCtx = SimPtr<SSL_CTX, SSL_CTX_free>;
using SimSsl = SimPtr<SSL, SSL_free>;
