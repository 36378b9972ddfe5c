#pragma once

#include <map>
#include <string>

#include <p11-kit/pkcs11.h>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/PkiConfig.h"
#include "libs/pkicard/pkiCard.h"

// What a signing call learns about the key behind a label, kept for the life
// of the session: the certificate's CKA_ID (empty when the label is the key's
// own), and the key's type. The key object itself is found on every call.
struct P11KeyInfo {
  bool m_bByCertificate = false;
  ByteVector m_id;
  CK_KEY_TYPE m_nKeyType = 0;
  bool m_bSm2 = false;
};

// The configured PKCS#11 module and one keep-alive session on the chosen
// token. Modules are loaded through p11-kit's managed loading, so other users
// of the same module in this process keep their own state. The p11-kit proxy
// module (the default) is not loaded itself: every module registered with
// p11-kit is, which is what the proxy would reach. Calls that find the token
// gone reconnect once (finalise, initialise, find the token again by label or
// serial) and retry.
class CP11Token {
 public:
  CP11Token() = default;
  ~CP11Token() { Close(); }
  CP11Token(const CP11Token&) = delete;
  CP11Token& operator=(const CP11Token&) = delete;

  // Loads and initialises the module, finds the token, opens the session.
  int Open(const PkiConfig& cfg);
  // Closes the session, finalises and releases the module. Safe to repeat.
  void Close();
  bool IsOpen() const { return !m_modules.empty(); }
  bool HasSession() const { return m_hSession != CK_INVALID_HANDLE; }

  // Runs fn() (which returns a card library code) with a session open; when it
  // reports the token gone, reconnects once and runs it again.
  template <typename Fn>
  int Run(Fn fn);

  CK_FUNCTION_LIST* Module() const { return m_pModule; }
  CK_SESSION_HANDLE Session() const { return m_hSession; }

  // Object helpers on the keep-alive session. Each returns a card library code.
  int FindFirst(CK_OBJECT_CLASS nClass, CK_ATTRIBUTE_TYPE nMatchType, const ByteVector& match,
                CK_OBJECT_HANDLE& hFound) const;
  int GetAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType, ByteVector& value) const;
  int GetUlongAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType, CK_ULONG& nValue) const;
  int Sign(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in, ByteVector& out) const;
  int Decrypt(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in, ByteVector& out) const;
  int GenerateRandom(unsigned char* pOut, size_t nCount) const;

  // Key facts remembered per label; forgotten on reconnect or on a failure.
  const P11KeyInfo* FindKeyInfo(const std::string& strLabel) const;
  void RememberKeyInfo(const std::string& strLabel, const P11KeyInfo& info) { m_keyInfo[strLabel] = info; }
  void ForgetKeyInfo(const std::string& strLabel) { m_keyInfo.erase(strLabel); }

 private:
  int Connect();
  void Disconnect();

  PkiConfig m_cfg;
  CK_FUNCTION_LIST** m_ppRegistered = nullptr;  // from p11_kit_modules_load, when used
  std::vector<CK_FUNCTION_LIST*> m_modules;      // every module loaded
  std::vector<CK_FUNCTION_LIST*> m_initialised;  // those initialised now
  CK_FUNCTION_LIST* m_pModule = nullptr;         // the one that holds the token
  CK_SESSION_HANDLE m_hSession = CK_INVALID_HANDLE;
  std::map<std::string, P11KeyInfo> m_keyInfo;
};

// Logs the user in on construction and out on destruction. A session that
// is found already logged in is logged out first, so the login always rests
// on the PIN given here.
class CP11Login {
 public:
  CP11Login(const CP11Token& token, const char* szPin);
  ~CP11Login();
  CP11Login(const CP11Login&) = delete;
  CP11Login& operator=(const CP11Login&) = delete;
  int Result() const { return m_nResult; }

 private:
  const CP11Token& m_token;
  int m_nResult;
  bool m_bLoggedIn = false;
};

template <typename Fn>
int CP11Token::Run(Fn fn) {
  if (!IsOpen()) return PKI_ERR_NOT_INITIALISED;
  if (!HasSession()) {
    Disconnect();
    const int nConnect = Connect();
    if (nConnect != PKI_OK) return nConnect;
  }
  const int nFirst = fn();
  if (nFirst != PKI_ERR_TOKEN_REMOVED) return nFirst;
  Disconnect();
  if (Connect() != PKI_OK) return nFirst;
  return fn();
}
