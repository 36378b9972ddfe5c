#include "libs/pkicard/P11Token.h"

#include <algorithm>
#include <cstring>

#include <p11-kit/p11-kit.h>

#include "libs/pkicard/P11Result.h"

namespace {

// PKCS#11 pads labels and serial numbers with blanks to a fixed width.
std::string Unpad(const CK_UTF8CHAR* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  const std::string::size_type nEnd = s.find_last_not_of(" \0", std::string::npos, 2);
  return nEnd == std::string::npos ? std::string() : s.substr(0, nEnd + 1);
}

// Ends a find operation on every path.
class CFindGuard {
 public:
  CFindGuard(CK_FUNCTION_LIST* pModule, CK_SESSION_HANDLE hSession)
      : m_pModule(pModule), m_hSession(hSession) {}
  ~CFindGuard() { P11Call(m_pModule, &CK_FUNCTION_LIST::C_FindObjectsFinal, m_hSession); }
  CFindGuard(const CFindGuard&) = delete;
  CFindGuard& operator=(const CFindGuard&) = delete;

 private:
  CK_FUNCTION_LIST* m_pModule;
  CK_SESSION_HANDLE m_hSession;
};

}  // namespace

int CP11Token::Open(const PkiConfig& cfg) {
  Close();
  m_cfg = cfg;
  // Managed loading (no P11_KIT_MODULE_UNMANAGED): p11-kit keeps this user's
  // initialisation and sessions apart from other users of the module.
  if (IsPkcs11ProxyModule(cfg.m_strModule)) {
    m_ppRegistered = p11_kit_modules_load(nullptr, 0);
    for (CK_FUNCTION_LIST** pp = m_ppRegistered; pp != nullptr && *pp != nullptr; ++pp) {
      m_modules.push_back(*pp);
    }
  } else if (CK_FUNCTION_LIST* pModule = p11_kit_module_load(cfg.m_strModule.c_str(), 0)) {
    m_modules.push_back(pModule);
  }
  if (m_modules.empty()) {
    Close();
    return PKI_ERR_MODULE_LOAD;
  }
  const int nResult = Connect();
  if (nResult != PKI_OK) Close();
  return nResult;
}

void CP11Token::Close() {
  Disconnect();
  if (m_ppRegistered != nullptr) {
    p11_kit_modules_release(m_ppRegistered);
    m_ppRegistered = nullptr;
  } else {
    for (CK_FUNCTION_LIST* pModule : m_modules) p11_kit_module_release(pModule);
  }
  m_modules.clear();
}

int CP11Token::Connect() {
  for (CK_FUNCTION_LIST* pModule : m_modules) {
    // A module that fails to start (a reader service that is not running)
    // simply offers no tokens.
    if (PkiCodeFromCkr(p11_kit_module_initialize(pModule)) == PKI_OK) m_initialised.push_back(pModule);
  }
  if (m_initialised.empty()) return PKI_ERR_MODULE_LOAD;

  // A configured label or serial picks the token; without either, a token
  // that needs a login (a key store) is preferred to one that does not (such
  // as a trust-anchor store).
  CK_FUNCTION_LIST* pChosen = nullptr;
  bool bChosenNeedsLogin = false;
  CK_SLOT_ID nChosen = 0;
  for (CK_FUNCTION_LIST* pModule : m_initialised) {
    std::vector<CK_SLOT_ID> slots;
    const int nList = P11ReadSized(0, slots, [&](CK_SLOT_ID* pSlots, CK_ULONG* pnCount) {
      return P11Call(pModule, &CK_FUNCTION_LIST::C_GetSlotList, CK_TRUE, pSlots, pnCount);
    });
    if (nList != PKI_OK) continue;
    for (CK_SLOT_ID nSlot : slots) {
      CK_TOKEN_INFO info{};
      if (P11Call(pModule, &CK_FUNCTION_LIST::C_GetTokenInfo, nSlot, &info) != PKI_OK) continue;
      if ((info.flags & CKF_TOKEN_INITIALIZED) == 0) continue;
      if (!m_cfg.m_strTokenLabel.empty() &&
          Unpad(info.label, sizeof info.label) != m_cfg.m_strTokenLabel) {
        continue;
      }
      if (!m_cfg.m_strTokenSerial.empty() &&
          Unpad(info.serialNumber, sizeof info.serialNumber) != m_cfg.m_strTokenSerial) {
        continue;
      }
      const bool bLogin = (info.flags & CKF_LOGIN_REQUIRED) != 0;
      if (pChosen == nullptr || (bLogin && !bChosenNeedsLogin)) {
        pChosen = pModule;
        nChosen = nSlot;
        bChosenNeedsLogin = bLogin;
      }
      if (bChosenNeedsLogin) break;
    }
    if (bChosenNeedsLogin) break;
  }
  if (pChosen == nullptr) return PKI_ERR_TOKEN_NOT_FOUND;

  const int nOpen = P11Call(pChosen, &CK_FUNCTION_LIST::C_OpenSession, nChosen,
                           static_cast<CK_FLAGS>(CKF_SERIAL_SESSION), nullptr, nullptr, &m_hSession);
  if (nOpen != PKI_OK) {
    m_hSession = CK_INVALID_HANDLE;
    return nOpen;
  }
  m_pModule = pChosen;
  return PKI_OK;
}

void CP11Token::Disconnect() {
  if (m_hSession != CK_INVALID_HANDLE && m_pModule != nullptr) {
    P11Call(m_pModule, &CK_FUNCTION_LIST::C_CloseSession, m_hSession);
  }
  m_hSession = CK_INVALID_HANDLE;
  m_pModule = nullptr;
  m_keyInfo.clear();
  for (CK_FUNCTION_LIST* pModule : m_initialised) p11_kit_module_finalize(pModule);
  m_initialised.clear();
}

int CP11Token::FindFirst(CK_OBJECT_CLASS nClass, CK_ATTRIBUTE_TYPE nMatchType,
                         const ByteVector& match, CK_OBJECT_HANDLE& hFound) const {
  CK_ATTRIBUTE attrs[] = {
      {CKA_CLASS, &nClass, sizeof nClass},
      {nMatchType, const_cast<unsigned char*>(match.data()), match.size()},
  };
  int nResult = P11Call(m_pModule, &CK_FUNCTION_LIST::C_FindObjectsInit, m_hSession, attrs,
                        static_cast<CK_ULONG>(2));
  if (nResult != PKI_OK) return nResult;
  CFindGuard guard(m_pModule, m_hSession);
  CK_ULONG nCount = 0;
  nResult = P11Call(m_pModule, &CK_FUNCTION_LIST::C_FindObjects, m_hSession, &hFound,
                    static_cast<CK_ULONG>(1), &nCount);
  if (nResult != PKI_OK) return nResult;
  if (nCount == 0) {
    return nClass == CKO_CERTIFICATE ? PKI_ERR_OBJECT_NOT_FOUND : PKI_ERR_KEY_NOT_FOUND;
  }
  return PKI_OK;
}

int CP11Token::GetAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType,
                            ByteVector& value) const {
  return P11ReadSized(0, value, [&](unsigned char* p, CK_ULONG* pnLen) {
    CK_ATTRIBUTE attr{nType, p, *pnLen};
    const int nResult = P11Call(m_pModule, &CK_FUNCTION_LIST::C_GetAttributeValue, m_hSession,
                                hObject, &attr, static_cast<CK_ULONG>(1));
    *pnLen = attr.ulValueLen;
    return nResult;
  });
}

int CP11Token::GetUlongAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType,
                                 CK_ULONG& nValue) const {
  CK_ATTRIBUTE attr{nType, &nValue, sizeof nValue};
  return P11Call(m_pModule, &CK_FUNCTION_LIST::C_GetAttributeValue, m_hSession, hObject, &attr,
                 static_cast<CK_ULONG>(1));
}

// Room for RSA-8192 in the first pass, so that a signature or a key transport
// costs one call; a token that wants more says so (the operation stays active
// after that answer) and gets it in the second.
constexpr size_t kFirstOutputGuess = 1024;

int CP11Token::Sign(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in,
                    ByteVector& out) const {
  CK_MECHANISM mech{nMech, nullptr, 0};
  const int nResult = P11Call(m_pModule, &CK_FUNCTION_LIST::C_SignInit, m_hSession, &mech, hKey);
  if (nResult != PKI_OK) return nResult;
  return P11ReadSized(kFirstOutputGuess, out, [&](unsigned char* p, CK_ULONG* pnLen) {
    return P11Call(m_pModule, &CK_FUNCTION_LIST::C_Sign, m_hSession,
                   const_cast<unsigned char*>(in.data()), static_cast<CK_ULONG>(in.size()), p, pnLen);
  });
}

int CP11Token::Decrypt(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in,
                       ByteVector& out) const {
  CK_MECHANISM mech{nMech, nullptr, 0};
  const int nResult = P11Call(m_pModule, &CK_FUNCTION_LIST::C_DecryptInit, m_hSession, &mech, hKey);
  if (nResult != PKI_OK) return nResult;
  return P11ReadSized(std::max(kFirstOutputGuess, in.size()), out, [&](unsigned char* p, CK_ULONG* pnLen) {
    return P11Call(m_pModule, &CK_FUNCTION_LIST::C_Decrypt, m_hSession,
                   const_cast<unsigned char*>(in.data()), static_cast<CK_ULONG>(in.size()), p, pnLen);
  });
}

int CP11Token::GenerateRandom(unsigned char* pOut, size_t nCount) const {
  if (!HasSession()) return PKI_ERR_NOT_INITIALISED;
  return P11Call(m_pModule, &CK_FUNCTION_LIST::C_GenerateRandom, m_hSession, pOut,
                 static_cast<CK_ULONG>(nCount));
}

const P11KeyInfo* CP11Token::FindKeyInfo(const std::string& strLabel) const {
  const auto it = m_keyInfo.find(strLabel);
  return it == m_keyInfo.end() ? nullptr : &it->second;
}

CP11Login::CP11Login(const CP11Token& token, const char* szPin) : m_token(token) {
  CK_FUNCTION_LIST* pModule = token.Module();
  const CK_SESSION_HANDLE hSession = token.Session();
  CK_UTF8CHAR_PTR pPin = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(szPin));
  const CK_ULONG nPinLen = std::strlen(szPin);
  const CK_USER_TYPE nUser = CKU_USER;
  m_nResult = P11Call(pModule, &CK_FUNCTION_LIST::C_Login, hSession, nUser, pPin, nPinLen);
  if (m_nResult == kP11AlreadyLoggedIn) {
    // Left over from elsewhere: never sign on the strength of that login.
    P11Call(pModule, &CK_FUNCTION_LIST::C_Logout, hSession);
    m_nResult = P11Call(pModule, &CK_FUNCTION_LIST::C_Login, hSession, nUser, pPin, nPinLen);
    if (m_nResult == kP11AlreadyLoggedIn) m_nResult = PKI_ERR_TOKEN_FAILURE;
  }
  m_bLoggedIn = m_nResult == PKI_OK;
}

CP11Login::~CP11Login() {
  if (m_bLoggedIn) P11Call(m_token.Module(), &CK_FUNCTION_LIST::C_Logout, m_token.Session());
}
