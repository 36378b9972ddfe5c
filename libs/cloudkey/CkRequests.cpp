// The JSON side of HttpClientHandler: request texts and reply members.
#include "libs/cloudkey/CloudKey.h"

#include "libs/cloudkey/CkJson.h"

// The member of a parsed reply, or why there is none.
std::string CkReplyMember(const CkJsonObject& obj, const char* szField, int& nErrNum) {
  auto it = obj.find(szField != nullptr ? szField : "");
  if (it != obj.end() && !it->second.empty()) {
    nErrNum = CK_OK;
    return it->second;
  }
  int nService = 0;
  nErrNum = CkJsonInt(obj, "errorCode", nService) && nService != 0 ? nService : CK_ERR_NO_MEMBER;
  return std::string();
}


std::string HttpClientHandler::MakeSendJson(const std::string& strKey,
                                            const std::string& strValue) {
  return CkJsonWrite({{strKey, strValue}});
}

std::string HttpClientHandler::MakeCertJson(const std::string& strVerifyCode,
                                            const std::string& strAuthCode,
                                            const std::string& strCert) {
  return CkJsonWrite({{"verifyCode", strVerifyCode}, {"authCode", strAuthCode}, {"cert", strCert}});
}

std::string HttpClientHandler::MakeSignJson(const std::string& strVerifyCode,
                                            const std::string& strAuthCode,
                                            const std::string& strData,
                                            const std::string& strCert) {
  return CkJsonWrite({{"verifyCode", strVerifyCode},
                      {"authCode", strAuthCode},
                      {"data", strData},
                      {"cert", strCert}});
}

std::string HttpClientHandler::GetDataFromP7(std::string& strJson, const char* szField) {
  CkJsonObject obj;
  if (!CkJsonParse(strJson, obj)) {
    m_nErrNum = CK_ERR_BAD_REPLY;
    return std::string();
  }
  return CkReplyMember(obj, szField, m_nErrNum);
}

