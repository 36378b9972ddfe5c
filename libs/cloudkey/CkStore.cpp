// The parts of PkiHandler that need no cryptography: Base64 of bytes, the
// serial text and the certificate store (store 2, the current user's "MY").
#include "libs/cloudkey/CloudKey.h"

#include <climits>

#include "base/system/CertStore.h"
#include "libs/cloudkey/CkInternal.h"

std::string CkBase64Text(const unsigned char* pData, size_t nLen) {
  if (nLen == 0 || nLen > static_cast<size_t>(INT_MAX / 4 * 3 - 3)) return std::string();
  std::string strOut(Base64EncodedSize(nLen) + 1, '\0');
  const int nOut = Base64Encode(&strOut[0], reinterpret_cast<const char*>(pData),
                                static_cast<int>(nLen));
  strOut.resize(nOut > 0 ? static_cast<size_t>(nOut) : 0);
  return strOut;
}

bool CkBase64Bytes(const std::string& strText, size_t nMaxText, CkBytes& vOut) {
  vOut.clear();
  if (strText.size() > nMaxText || strText.size() > static_cast<size_t>(INT_MAX)) return false;
  vOut.resize(Base64DecodedMax(strText.size()) + 1);
  const int nOut = Base64Decode(reinterpret_cast<char*>(vOut.data()), strText.data(),
                                static_cast<int>(strText.size()));
  if (nOut < 0) {
    vOut.clear();
    return false;
  }
  vOut.resize(static_cast<size_t>(nOut));
  return true;
}

const char* PkiHandler::GetSN(const char* szCertBase64) {
  m_strSN.clear();
  CkBytes vDer;
  if (szCertBase64 != nullptr && CkBase64Bytes(szCertBase64, CK_MAX_CERT_TEXT, vDer)) {
    m_strSN = CertSerialText(vDer);
  }
  return m_strSN.c_str();
}

int PkiHandler::NKInstallCert(const unsigned char* pDer, unsigned long nLen,
                              unsigned long nStore) {
  if (nStore != CK_STORE_MY || pDer == nullptr || nLen == 0) return CK_ERR_BAD_INPUT;
  const CertDer vDer(pDer, pDer + nLen);
  if (CertSerialText(vDer).empty()) return CK_ERR_CERT;
  return InstallUserCert(vDer) ? CK_OK : CK_ERR_STORE;
}

int PkiHandler::UnInstallCertBySN(int nStore, const char* szSN) {
  if (nStore != static_cast<int>(CK_STORE_MY) || szSN == nullptr) return CK_ERR_BAD_INPUT;
  return RemoveUserCertBySerial(szSN) ? CK_OK : CK_ERR_STORE;
}
