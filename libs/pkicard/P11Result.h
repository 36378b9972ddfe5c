#pragma once

#include <vector>

#include <p11-kit/pkcs11.h>

#include "libs/pkicard/pkiCard.h"

// Every PKCS#11 call of the card library goes through P11Call, which turns its
// CK_RV into a card library code in one place (PkiCodeFromCkr); no caller
// looks at a CK_RV itself.

// A user already logged in on the session. Never leaves the library: the
// login guard answers it by logging out and in again.
constexpr int kP11AlreadyLoggedIn = -2000099;

// The card library code for a PKCS#11 result. CKR_BUFFER_TOO_SMALL becomes
// PKI_ERR_BUFFER_TOO_SMALL, which P11ReadSized consumes.
int PkiCodeFromCkr(CK_RV rv);

// Calls one function of the module's list, e.g.
// P11Call(pModule, &CK_FUNCTION_LIST::C_Logout, hSession).
template <typename Fn, typename... Args>
int P11Call(CK_FUNCTION_LIST* pModule, Fn CK_FUNCTION_LIST::*pFunction, Args... args) {
  const Fn fn = pModule->*pFunction;
  if (fn == nullptr) return PKI_ERR_TOKEN_FAILURE;  // a module with a hole in its list
  return PkiCodeFromCkr(fn(args...));
}

// The two passes of a PKCS#11 call with variable-length output: call(p, &n)
// writes at most n bytes to p and sets n to the length (or only sets n when
// p is null). The first pass offers nFirstGuess bytes (0: asks for the
// length); when that is too small, the second pass offers what the token
// asked for. out holds exactly the items produced.
template <typename T, typename Call>
int P11ReadSized(size_t nFirstGuess, std::vector<T>& out, Call call) {
  out.resize(nFirstGuess);
  CK_ULONG nLen = out.size();
  int nResult = call(out.empty() ? nullptr : out.data(), &nLen);
  if (nResult == PKI_ERR_BUFFER_TOO_SMALL || (nResult == PKI_OK && nFirstGuess == 0)) {
    if (nLen == CK_UNAVAILABLE_INFORMATION) return PKI_ERR_TOKEN_FAILURE;
    out.resize(nLen);
    nResult = call(out.empty() ? nullptr : out.data(), &nLen);
  }
  // Still too small: the token changed its mind between the passes.
  if (nResult == PKI_ERR_BUFFER_TOO_SMALL) return PKI_ERR_TOKEN_FAILURE;
  if (nResult != PKI_OK) return nResult;
  if (nLen > out.size()) return PKI_ERR_TOKEN_FAILURE;
  out.resize(nLen);
  return PKI_OK;
}
