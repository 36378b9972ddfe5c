// The Windows build has no HTTPS and cryptography back end yet: the service
// exchanges, keys, envelopes and the QR image answer CK_ERR_NOT_AVAILABLE.
// Base64, the JSON texts, the text conversions and the certificate store work.
#include "libs/cloudkey/CloudKey.h"

bool CK_IsAvailable() { return false; }

void CK_StartKeyPool(int) {}
void CK_StopKeyPool() {}
int CK_KeyPoolReady() { return 0; }

HttpClientHandler::HttpClientHandler(const char* szHost, unsigned short nPort, bool bSecure)
    : m_strHost(szHost != nullptr ? szHost : ""),
      m_nPort(nPort),
      m_bSecure(bSecure),
      m_nConnectTimeoutMs(0),
      m_nTimeoutMs(0) {}

HttpClientHandler::~HttpClientHandler() = default;

std::string HttpClientHandler::GetP7DataFromService(const char*, const char*, const char*,
                                                    const char*) {
  m_nErrNum = CK_ERR_NOT_AVAILABLE;
  return std::string();
}

struct PkiHandler::CKey {};

PkiHandler::PkiHandler() = default;
PkiHandler::~PkiHandler() = default;

int PkiHandler::GenerateRSAKey() { return CK_ERR_NOT_AVAILABLE; }

int PkiHandler::CreateCert(std::string& strOut) {
  strOut.clear();
  return CK_ERR_NOT_AVAILABLE;
}

int PkiHandler::GetPriKey(std::string& strOut) {
  strOut.clear();
  return CK_ERR_NOT_AVAILABLE;
}

int PkiHandler::CreatePKCS7(const std::string&, const unsigned char*, size_t,
                            std::string& strOut) {
  strOut.clear();
  return CK_ERR_NOT_AVAILABLE;
}

int PkiHandler::DecryptPKCS7(const std::string&, const std::string&, const char*, size_t,
                             std::string& strOut) {
  strOut.clear();
  return CK_ERR_NOT_AVAILABLE;
}

namespace CK_TOOL {
bool MakeQREncode(const char*, int, const char*) { return false; }
}  // namespace CK_TOOL
