#include "cloud/CloudOps.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/search/DecimalText.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "libs/cloudkey/CloudKey.h"

namespace {

const char kPathAuthCode[] = "/orvSignApp/cloud/getCloudKeyAuthCode";
const char kPathSetQr[] = "/orvSignApp/cloud/setQRCode";
const char kPathState[] = "/orvSignApp/cloud/getCloudKeyState";
const char kPathCert[] = "/orvSignApp/cloud/getSignCertByCloudKey";
const char kPathSign[] = "/orvSignApp/cloud/cloudKeySignature";
const char kJson[] = "application/json";
const char kForm[] = "application/x-www-form-urlencoded";
constexpr int kQrModulePixels = 6;

// Fixed buffers of the operations, terminator included where the content is
// text.
constexpr size_t kCertBuffer = 4096;
constexpr size_t kClearTextBase64Buffer = 4096;
constexpr size_t kSignatureBuffer = 2048;
constexpr size_t kVerifySignatureBuffer = 512;
constexpr size_t kSignatureTextBuffer = 2048;
// No RSA key in use is shorter than 1024 bits: a shorter signature is not one.
constexpr size_t kMinSignature = 128;

using Bytes = std::vector<unsigned char>;

// Decodes Base64 text into at most nMax bytes: 0, nTooLarge, or nMalformed.
int DecodeBounded(const std::string& strText, size_t nMax, Bytes& vOut, int nTooLarge,
                  int nMalformed) {
  vOut.clear();
  if (strText.size() > Base64EncodedSize(nMax)) return nTooLarge;
  vOut.resize(Base64DecodedMax(strText.size()) + 1);
  const int n = Base64Decode(reinterpret_cast<char*>(vOut.data()), strText.c_str(),
                             static_cast<int>(strText.size()));
  if (n < 0) return nMalformed;
  if (static_cast<size_t>(n) > nMax) return nTooLarge;
  vOut.resize(static_cast<size_t>(n));
  return CLOUD_OK;
}

std::string EncodeBase64(const unsigned char* pData, size_t nLen) {
  std::string strOut(Base64EncodedSize(nLen) + 1, '\0');
  const int n = Base64Encode(&strOut[0], reinterpret_cast<const char*>(pData),
                             static_cast<int>(nLen));
  strOut.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return strOut;
}

// An authorisation code goes into a form body and the state file as it is:
// only unreserved URL characters, and short enough to be read back whole.
bool IsUsableCode(const std::string& strCode) {
  if (strCode.empty() || strCode.size() >= CLOUD_STATE_BUFFER) return false;
  for (const char c : strCode) {
    const bool bOk = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
    if (!bOk) return false;
  }
  return true;
}

// The first steps of the sealed operations: a usable, non-empty stored code,
// then the "verifyCode" parameter.
int BeginSealedOperation(const RequestParams& request, std::string& strCode,
                         RequestParams::const_iterator& itVerify) {
  if (!CK_IsAvailable()) return CK_ERR_NOT_AVAILABLE;
  char szCode[CLOUD_STATE_BUFFER] = {0};
  if (!cloudLoadState(szCode, nullptr)) return CLOUD_CODE_UNUSABLE;
  if (szCode[0] == '\0') return CLOUD_CODE_EMPTY;
  strCode = szCode;
  itVerify = request.find("verifyCode");
  return itVerify == request.end() ? CLOUD_MISSING_PARAM : CLOUD_OK;
}

// Settings of one operation; the key pool is started on the first, so that
// the exchanges that need a key find one ready.
CCloudKeyConfig OperationConfig() {
  CCloudKeyConfig config = CK_LoadConfig();
  CK_StartKeyPool(config.nKeyPool);
  return config;
}

// One sealed exchange: a fresh key pair and certificate, the request made by
// fnRequest (given that certificate) sealed to the service, the reply opened
// with the fresh key and member szMember read from it.
template <typename TRequest>
int SealedExchange(const CCloudKeyConfig& config, const char* szPath, TRequest fnRequest,
                   const char* szMember, std::string& strValue) {
  PkiHandler pki;
  HttpClientHandler http(config.strHost.c_str(), config.nPort, true);
  std::string strCert, strKey, strEnvelope;
  pki.GenerateRSAKey();
  if (pki.CreateCert(strCert) != 0 || pki.GetPriKey(strKey) != 0) return CLOUD_KEY_FAILED;

  const std::string strRequest = fnRequest(http, strCert);
  if (pki.CreatePKCS7(CK_LoadEnvelopeCert(config), strRequest.data(), strRequest.size(),
                      strEnvelope) != 0) {
    return CLOUD_ENVELOPE_FAILED;
  }
  const std::string strReply = http.GetP7DataFromService(
      http.MakeSendJson("envelope", strEnvelope).c_str(), szPath, kJson, "envelope");
  if (strReply.empty()) return http.GetJsonErrNum();

  // An envelope that does not open is answered as such rather than as the
  // service's error number, which a reply with an envelope does not carry.
  std::string strContent;
  const int nOpened = pki.DecryptPKCS7(strCert, strKey, strReply.data(), strReply.size(),
                                       strContent);
  if (nOpened != 0) return nOpened;
  std::string strText = UTF8ToGBK(strContent.c_str());
  strValue = http.GetDataFromP7(strText, szMember);
  return strValue.empty() ? http.GetJsonErrNum() : CLOUD_OK;
}

}  // namespace

int cloudMakeQr() {
  if (!CK_IsAvailable()) return CK_ERR_NOT_AVAILABLE;
  const CCloudKeyConfig config = OperationConfig();
  HttpClientHandler http(config.strHost.c_str(), config.nPort, true);
  const std::string strCode = http.GetP7DataFromService(nullptr, kPathAuthCode, kJson, "cloudKey");
  if (strCode.empty()) return CLOUD_NO_AUTH_CODE;
  if (!IsUsableCode(strCode)) return CLOUD_BAD_REPLY;
  cloudSaveState(strCode.c_str(), nullptr);

  const std::string strBody = "cloudKey=" + strCode + "&realVerifyType=3&option=realVerify";
  const std::string strContent = http.GetP7DataFromService(strBody.c_str(), kPathSetQr, kForm,
                                                           "result");
  if (strContent.empty()) return CLOUD_NO_QR_CONTENT;
  return CK_TOOL::MakeQREncode(strContent.c_str(), kQrModulePixels, CloudQrImagePath().c_str())
             ? CLOUD_OK
             : CLOUD_QR_NOT_WRITTEN;
}

int cloudGetState() {
  if (!CK_IsAvailable()) return CK_ERR_NOT_AVAILABLE;
  char szCode[CLOUD_STATE_BUFFER] = {0};
  if (!cloudLoadState(szCode, nullptr)) return CLOUD_CODE_UNUSABLE;
  const CCloudKeyConfig config = OperationConfig();
  HttpClientHandler http(config.strHost.c_str(), config.nPort, true);
  const std::string strState = http.GetP7DataFromService(
      http.MakeSendJson("cloudKey", szCode).c_str(), kPathState, kJson, "state");
  const int nState = ParseDecimal(strState);  // 0 for an empty or non-numeric text
  if (nState != 0) std::remove(CloudQrImagePath().c_str());  // a missing image is no error
  return nState;
}

int cloudGetCert(const RequestParams& request, RequestParams& result) {
  std::string strCode;
  RequestParams::const_iterator itVerify;
  int nResult = BeginSealedOperation(request, strCode, itVerify);
  if (nResult != CLOUD_OK) return nResult;

  const CCloudKeyConfig config = OperationConfig();
  std::string strCertB64;
  nResult = SealedExchange(
      config, kPathCert,
      [&](HttpClientHandler& http, const std::string& strCert) {
        return http.MakeCertJson(itVerify->second, strCode, strCert);
      },
      "certB64", strCertB64);
  if (nResult != CLOUD_OK) return nResult;

  // The reply is untrusted: the certificate must fit its buffer and be one,
  // and its serial text must fit the state file, before anything changes.
  Bytes vCert;
  nResult = DecodeBounded(strCertB64, kCertBuffer, vCert, CLOUD_REPLY_TOO_LARGE, CLOUD_BAD_REPLY);
  if (nResult != CLOUD_OK) return nResult;
  PkiHandler pki;
  const std::string strSerial = pki.GetSN(strCertB64.c_str());
  if (strSerial.empty() || strSerial.size() >= CLOUD_STATE_BUFFER) return CLOUD_BAD_REPLY;

  char szOldSerial[CLOUD_STATE_BUFFER] = {0};
  cloudLoadState(nullptr, szOldSerial);
  if (szOldSerial[0] != '\0') pki.UnInstallCertBySN(static_cast<int>(CK_STORE_MY), szOldSerial);
  cloudSaveState(nullptr, strSerial.c_str());
  nResult = pki.NKInstallCert(vCert.data(), static_cast<unsigned long>(vCert.size()), CK_STORE_MY);
  if (nResult != CLOUD_OK) return nResult;
  result["outData"] = strCertB64;
  return CLOUD_OK;
}

int cloudSignData(const RequestParams& request, RequestParams& result) {
  std::string strCode;
  RequestParams::const_iterator itVerify;
  int nResult = BeginSealedOperation(request, strCode, itVerify);
  if (nResult != CLOUD_OK) return nResult;
  auto itClear = request.find("clearText");
  if (itClear == request.end()) return CLOUD_MISSING_PARAM;

  // The clear text counts up to its first NUL, as a C string.
  const size_t nClear = std::strlen(itClear->second.c_str());
  if (Base64EncodedSize(nClear) + 1 > kClearTextBase64Buffer) return CLOUD_PARAM_TOO_LARGE;
  const std::string strData =
      EncodeBase64(reinterpret_cast<const unsigned char*>(itClear->second.data()), nClear);

  const CCloudKeyConfig config = OperationConfig();
  std::string strSignedB64;
  nResult = SealedExchange(
      config, kPathSign,
      [&](HttpClientHandler& http, const std::string& strCert) {
        return http.MakeSignJson(itVerify->second, strCode, strData, strCert);
      },
      "signedB64", strSignedB64);
  if (nResult != CLOUD_OK) return nResult;

  Bytes vSignature;
  nResult = DecodeBounded(strSignedB64, kSignatureBuffer, vSignature, CLOUD_REPLY_TOO_LARGE,
                          CLOUD_BAD_REPLY);
  if (nResult != CLOUD_OK) return nResult;
  if (vSignature.size() < kMinSignature) return CLOUD_BAD_REPLY;
  if (Base64EncodedSize(vSignature.size()) + 1 > kSignatureTextBuffer) return CLOUD_REPLY_TOO_LARGE;
  // The service sends the least significant byte first.
  Reverser(reinterpret_cast<char*>(vSignature.data()), static_cast<int>(vSignature.size()));
  result["outData"] = EncodeBase64(vSignature.data(), vSignature.size());
  return CLOUD_OK;
}

int cloudVerifyData(const RequestParams& request, CloudVerifyFn pfnVerify) {
  auto itSign = request.find("signText");
  if (itSign == request.end()) return CLOUD_MISSING_PARAM;
  auto itClear = request.find("clearText");
  if (itClear == request.end()) return CLOUD_MISSING_PARAM;
  auto itCert = request.find("cert");
  if (itCert == request.end()) return CLOUD_MISSING_PARAM;

  Bytes vCert, vSignature;
  int nResult = DecodeBounded(itCert->second, kCertBuffer, vCert, CLOUD_PARAM_TOO_LARGE,
                              CLOUD_BAD_PARAM);
  if (nResult != CLOUD_OK) return nResult;
  const std::string strData = GBKToUTF8(itClear->second);
  if (strData.empty() && !itClear->second.empty()) return CLOUD_BAD_PARAM;
  nResult = DecodeBounded(itSign->second, kVerifySignatureBuffer, vSignature,
                          CLOUD_PARAM_TOO_LARGE, CLOUD_BAD_PARAM);
  if (nResult != CLOUD_OK) return nResult;
  if (pfnVerify == nullptr) return CLOUD_BAD_PARAM;
  return pfnVerify(static_cast<uint32_t>(vCert.size()), vCert.data(),
                   static_cast<uint32_t>(strData.size()),
                   reinterpret_cast<const unsigned char*>(strData.data()),
                   static_cast<uint32_t>(vSignature.size()), vSignature.data());
}
