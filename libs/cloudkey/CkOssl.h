#pragma once

// Owning pointers for the OpenSSL objects of the cloud key library.

#include <memory>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

template <typename T, void (*FreeFn)(T*)>
struct CCkOsslDeleter {
  void operator()(T* p) const { FreeFn(p); }
};
template <typename T, void (*FreeFn)(T*)>
using CkOsslPtr = std::unique_ptr<T, CCkOsslDeleter<T, FreeFn>>;

inline void CkFreeBio(BIO* p) { BIO_free_all(p); }
inline void CkFreeX509Stack(STACK_OF(X509)* p) { sk_X509_pop_free(p, X509_free); }

using CkBioPtr = CkOsslPtr<BIO, CkFreeBio>;
using CkCmsPtr = CkOsslPtr<CMS_ContentInfo, CMS_ContentInfo_free>;
using CkPkeyPtr = CkOsslPtr<EVP_PKEY, EVP_PKEY_free>;
using CkX509Ptr = CkOsslPtr<X509, X509_free>;
using CkX509StackPtr = CkOsslPtr<STACK_OF(X509), CkFreeX509Stack>;

// Leaves OpenSSL's error queue of this thread empty when a call returns: the
// library answers its own codes, and a connection thread must not collect
// entries from call to call.
class CCkErrorQueueGuard {
 public:
  CCkErrorQueueGuard() = default;
  ~CCkErrorQueueGuard() { ERR_clear_error(); }
  CCkErrorQueueGuard(const CCkErrorQueueGuard&) = delete;
  CCkErrorQueueGuard& operator=(const CCkErrorQueueGuard&) = delete;
};
