#include "card/CertQueries.h"

#include "card/ApiResult.h"
#include "card/CardLifecycle.h"
#include "card/CardParams.h"
#include "card/KeyLabel.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Decodes the Base64 certificate of "cert64" and returns fnUse(certificate);
// the card library is reset when decoding or fnUse fails.
template <typename TUse>
int UseCert64(const CCardFunctions& funcs, const RequestParams& request, TUse fnUse) {
  const std::string* pCert64 = FindParam(request, "cert64");
  if (pCert64 == nullptr) return API_MISSING_PARAM;
  return ResetOnFailure(funcs, WithDecodedBase64(
      funcs, *pCert64, [&](const Bytes& vCert) { return fnUse(vCert); }));
}

}  // namespace

int advGetCert(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  if (FindParam(request, "dwStoreType") == nullptr) return API_MISSING_PARAM;
  const std::string* pCertType = FindParam(request, "CertType");
  if (pCertType == nullptr) return API_MISSING_PARAM;
  int nCertType = ParseDecimal(*pCertType);

  // A missing file or tag leaves the label empty: the names are then "_SIG"
  // and "_ENC".
  char szKeyLabel[KEY_LABEL_SIZE] = {0};
  readKeyLabel(szKeyLabel, sizeof(szKeyLabel));
  // A longer label would lose its suffix and name another key.
  if (std::strlen(szKeyLabel) > KEY_LABEL_MAX_FOR_NAME) return ResetOnFailure(funcs, API_PARAM_TOO_LARGE);
  char szLabelName[KEY_LABEL_SIZE] = {0};
  std::snprintf(szLabelName, sizeof(szLabelName), nCertType == 1 ? "%s_ENC" : "%s_SIG",
                szKeyLabel);

  uint32_t nLen = out.nLen;
  int nResult = funcs.pkiReadLabel(szLabelName, 1, out.pData, &nLen);
  out.nLen = nLen;
  return ResetOnFailure(funcs, nResult);
}

int advCheckCert(const CCardFunctions& funcs, const RequestParams& request) {
  return UseCert64(funcs, request, [&funcs](const Bytes& vCert) {
    return funcs.pkiCheckCert(static_cast<uint32_t>(vCert.size()), BytesOf(vCert), 0, 0, 0, 0, 0,
                              0);
  });
}

int advGetCertInfo(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  return UseCert64(funcs, request, [&](const Bytes& vCert) {
    return funcs.pkiGetXMLCertInfo(static_cast<uint32_t>(vCert.size()), BytesOf(vCert), &out);
  });
}

int advGetCertPreferAlg(const CCardFunctions& funcs, const RequestParams& request, RequestParams& result) {
  const std::string* pCert64 = FindParam(request, "cert64");
  if (pCert64 == nullptr) return API_MISSING_PARAM;

  std::vector<unsigned char> vCert;
  int nResult = PkiDecodeBase64(funcs, *pCert64, vCert, PREFER_ALG_CERT_MAX);
  if (nResult != 0) return nResult;

  std::vector<unsigned char> vRecord(PKI_CERT_INFO_RECORD_SIZE, 0);
  int nPreferAlg = 0;
  nResult = funcs.pkiGetCertInfoEx(static_cast<uint32_t>(vCert.size()), BytesOf(vCert),
                                     vRecord.data(), &nPreferAlg);
  char szNumber[64];
  std::snprintf(szNumber, sizeof(szNumber), "%d", nPreferAlg);
  if (nResult == 0) result["outData"] = szNumber;
  return nResult;
}
