#include "libs/pkicard/P11Token.h"

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
  ~CFindGuard() { m_pModule->C_FindObjectsFinal(m_hSession); }
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
    if (p11_kit_module_initialize(pModule) == CKR_OK) m_initialised.push_back(pModule);
  }
  if (m_initialised.empty()) return PKI_ERR_MODULE_LOAD;

  // A configured label or serial picks the token; without either, a token
  // that needs a login (a key store) is preferred to one that does not (such
  // as a trust-anchor store).
  CK_FUNCTION_LIST* pChosen = nullptr;
  bool bChosenNeedsLogin = false;
  CK_SLOT_ID nChosen = 0;
  for (CK_FUNCTION_LIST* pModule : m_initialised) {
    CK_ULONG nSlots = 0;
    if (pModule->C_GetSlotList(CK_TRUE, nullptr, &nSlots) != CKR_OK || nSlots == 0) continue;
    std::vector<CK_SLOT_ID> slots(nSlots);
    if (pModule->C_GetSlotList(CK_TRUE, slots.data(), &nSlots) != CKR_OK) continue;
    slots.resize(nSlots);
    for (CK_SLOT_ID nSlot : slots) {
      CK_TOKEN_INFO info{};
      if (pModule->C_GetTokenInfo(nSlot, &info) != CKR_OK) continue;
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

  const CK_RV rv = pChosen->C_OpenSession(nChosen, CKF_SERIAL_SESSION, nullptr, nullptr, &m_hSession);
  if (rv != CKR_OK) {
    m_hSession = CK_INVALID_HANDLE;
    return PkiCodeFromCkr(rv);
  }
  m_pModule = pChosen;
  return PKI_OK;
}

void CP11Token::Disconnect() {
  if (m_hSession != CK_INVALID_HANDLE && m_pModule != nullptr) m_pModule->C_CloseSession(m_hSession);
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
  CK_RV rv = m_pModule->C_FindObjectsInit(m_hSession, attrs, 2);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  CFindGuard guard(m_pModule, m_hSession);
  CK_ULONG nCount = 0;
  rv = m_pModule->C_FindObjects(m_hSession, &hFound, 1, &nCount);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  if (nCount == 0) {
    return nClass == CKO_CERTIFICATE ? PKI_ERR_OBJECT_NOT_FOUND : PKI_ERR_KEY_NOT_FOUND;
  }
  return PKI_OK;
}

int CP11Token::GetAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType,
                            ByteVector& value) const {
  CK_ATTRIBUTE attr{nType, nullptr, 0};
  CK_RV rv = m_pModule->C_GetAttributeValue(m_hSession, hObject, &attr, 1);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  if (attr.ulValueLen == CK_UNAVAILABLE_INFORMATION) return PKI_ERR_TOKEN_FAILURE;
  value.resize(attr.ulValueLen);
  attr.pValue = value.data();
  rv = m_pModule->C_GetAttributeValue(m_hSession, hObject, &attr, 1);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  value.resize(attr.ulValueLen);
  return PKI_OK;
}

int CP11Token::GetUlongAttribute(CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_TYPE nType,
                                 CK_ULONG& nValue) const {
  CK_ATTRIBUTE attr{nType, &nValue, sizeof nValue};
  const CK_RV rv = m_pModule->C_GetAttributeValue(m_hSession, hObject, &attr, 1);
  return PkiCodeFromCkr(rv);
}

int CP11Token::Sign(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in,
                    ByteVector& out) const {
  CK_MECHANISM mech{nMech, nullptr, 0};
  CK_RV rv = m_pModule->C_SignInit(m_hSession, &mech, hKey);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  // Room for RSA-8192; a token that wants more says so and the call is made
  // again with its length (the operation stays active after that answer).
  out.resize(1024);
  CK_ULONG nLen = out.size();
  rv = m_pModule->C_Sign(m_hSession, const_cast<unsigned char*>(in.data()), in.size(), out.data(), &nLen);
  if (rv == CKR_BUFFER_TOO_SMALL) {
    out.resize(nLen);
    rv = m_pModule->C_Sign(m_hSession, const_cast<unsigned char*>(in.data()), in.size(), out.data(), &nLen);
  }
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  out.resize(nLen);
  return PKI_OK;
}

int CP11Token::Decrypt(CK_OBJECT_HANDLE hKey, CK_MECHANISM_TYPE nMech, const ByteVector& in,
                       ByteVector& out) const {
  CK_MECHANISM mech{nMech, nullptr, 0};
  CK_RV rv = m_pModule->C_DecryptInit(m_hSession, &mech, hKey);
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  out.resize(in.size() < 1024 ? 1024 : in.size());
  CK_ULONG nLen = out.size();
  rv = m_pModule->C_Decrypt(m_hSession, const_cast<unsigned char*>(in.data()), in.size(), out.data(), &nLen);
  if (rv == CKR_BUFFER_TOO_SMALL) {
    out.resize(nLen);
    rv = m_pModule->C_Decrypt(m_hSession, const_cast<unsigned char*>(in.data()), in.size(), out.data(), &nLen);
  }
  if (rv != CKR_OK) return PkiCodeFromCkr(rv);
  out.resize(nLen);
  return PKI_OK;
}

int CP11Token::GenerateRandom(unsigned char* pOut, size_t nCount) const {
  if (!HasSession()) return PKI_ERR_NOT_INITIALISED;
  return PkiCodeFromCkr(m_pModule->C_GenerateRandom(m_hSession, pOut, nCount));
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
  CK_RV rv = pModule->C_Login(hSession, CKU_USER, pPin, nPinLen);
  if (rv == CKR_USER_ALREADY_LOGGED_IN || rv == CKR_USER_ANOTHER_ALREADY_LOGGED_IN) {
    // Left over from elsewhere: never sign on the strength of that login.
    pModule->C_Logout(hSession);
    rv = pModule->C_Login(hSession, CKU_USER, pPin, nPinLen);
  }
  m_bLoggedIn = rv == CKR_OK;
  m_nResult = PkiCodeFromCkr(rv);
}

CP11Login::~CP11Login() {
  if (m_bLoggedIn) m_token.Module()->C_Logout(m_token.Session());
}
