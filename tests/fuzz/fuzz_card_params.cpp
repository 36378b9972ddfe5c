// The card operations' parameter decoding, from form text to the card
// library: byte 0 picks an operation, the rest is the form-encoded request
// (decoded as the front end decodes it). The operations call our card library
// (its public functions; no token is present, so the token functions refuse).
// Checks: every result is a code, and an output never passes its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "card/CardLibrary.h"
#include "card/CertQueries.h"
#include "card/CryptoOps.h"
#include "http/HttpExchange.h"

namespace {

void Check(bool bCondition) {
  if (!bCondition) __builtin_trap();
}

constexpr uint32_t kOutputSize = 4096;
constexpr uint32_t kGuard = 64;

const CCardFunctions& Library() {
  static const CCardFunctions funcs = [] {
    CCardFunctions f;
    f.pkiInit = ::pkiInit;
    f.pkiEnd = ::pkiEnd;
    f.pkiBase64Decode = ::pkiBase64Decode;
    f.pkiBase64Encode = ::pkiBase64Encode;
    f.pkiReadLabel = ::pkiReadLabel;
    f.pkiCheckCert = ::pkiCheckCert;
    f.pkiGetXMLCertInfo = ::pkiGetXMLCertInfo;
    f.pkiGetCertInfoEx = ::pkiGetCertInfoEx;
    f.pkiSealEnvelope = ::pkiSealEnvelope;
    f.pkiOpenEnvelope = ::pkiOpenEnvelope;
    f.pkiGetSignature = ::pkiGetSignature;
    f.pkiVerifySignature = ::pkiVerifySignature;
    f.pkiGenerateRandom = ::pkiGenerateRandom;
    f.pkiHashData = ::pkiHashData;
    f.pkiSymmCryptData = ::pkiSymmCryptData;
    return f;
  }();
  return funcs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  if (nSize < 1) return 0;
  const CCardFunctions& funcs = Library();
  CHttpExchange exchange;
  RequestParams request;
  exchange.ParseForm(std::string(reinterpret_cast<const char*>(pData + 1), nSize - 1), request);

  // The output buffer, with guard bytes behind it that must stay untouched.
  std::vector<unsigned char> vOut(kOutputSize + kGuard, 0xA5);
  PkiBlob out = {kOutputSize, vOut.data()};
  RequestParams result;
  int nResult = 0;
  switch (pData[0] % 10) {
    case 0: nResult = advVerifySign(funcs, request); break;
    case 1: nResult = advSealEnvelope(funcs, request, out); break;
    case 2: nResult = advOpenEnvelope(funcs, request, out); break;
    case 3: nResult = advGenRandom(funcs, request, out); break;
    case 4: nResult = advHashData(funcs, request, out); break;
    case 5: nResult = advSymmEncrypt(funcs, request, out); break;
    case 6: nResult = advSymmDecrypt(funcs, request, out); break;
    case 7: nResult = advGetCertInfo(funcs, request, out); break;
    case 8: nResult = advGetCertPreferAlg(funcs, request, result); break;
    default: nResult = advSignData(funcs, request, out); break;
  }
  (void)nResult;
  for (uint32_t i = kOutputSize; i < kOutputSize + kGuard; ++i) Check(vOut[i] == 0xA5);
  if (nResult == 0) Check(out.nLen <= kOutputSize);
  return 0;
}
