#include "card/ApiHandler.h"

#include "base/logging/LogText.h"
#include "base/logging/ProcessLog.h"
#include "base/system/DebugOutput.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "card/CardParams.h"
#include "card/CertQueries.h"
#include "card/CryptoOps.h"
#include "card/NamedEventLock.h"
#include "cloud/CloudOps.h"
#include "cloud/CloudState.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Capacity of the output buffer every operation with output gets.
constexpr uint32_t CARD_OUTPUT_SIZE = 4096;

// The card library's signature check, for cloudVerifyData: -101 when no
// library is loaded.
int VerifyWithCardLibrary(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                          const unsigned char* pData, uint32_t nSigLen, const unsigned char* pSig) {
  const CCardFunctions* pFuncs = GetCardFunctions();
  if (pFuncs == nullptr) return API_NOT_INITIALISED;
  return pFuncs->pkiVerifySignature(nCertLen, pCert, nDataLen, pData, nSigLen, pSig);
}

// Cloud operations, tried in this order for a Fun that begins with "cloud".
// They run without the operation lock and without the initialisation test.
struct CCloudRoute {
  const char* szFun;
  int (*pfnOperation)(const RequestParams& request, RequestParams& result);
};
const std::array<CCloudRoute, 6> s_cloudRoutes = {{
    {"cloudMakeQr", [](const RequestParams&, RequestParams&) { return cloudMakeQr(); }},
    {"cloudGetState", [](const RequestParams&, RequestParams&) { return cloudGetState(); }},
    {"cloudGetCert", cloudGetCert},
    {"cloudSignData", cloudSignData},
    {"cloudVerifyData",
     [](const RequestParams& request, RequestParams&) {
       return cloudVerifyData(request, VerifyWithCardLibrary);
     }},
    {"cloudEnd", [](const RequestParams&, RequestParams&) { return cloudEnd(); }},
}};

// How a card operation is answered.
enum emCardRouteFlag : unsigned {
  CARD_ROUTE_OUTPUT = 1,     // its bytes are answered as Base64 under "outData"
  CARD_ROUTE_SIGNATURE = 2,  // answered -101, without its bytes, when the key
                             // watch closed the library while it ran
};

// Every card operation, called the same way: the loaded library's functions
// (checked under the operation lock), the request, the result map and the
// output buffer (used by operations with output only).
struct CCardRoute {
  const char* szFun;
  unsigned nFlags;
  int (*pfnOperation)(const CCardFunctions& funcs, const RequestParams& request,
                      RequestParams& result, PkiBlob& out);
};

using Funcs = const CCardFunctions&;
using Request = const RequestParams&;
using Result = RequestParams&;

const std::array<CCardRoute, 14> s_cardRoutes = {{
    {"advInit", 0, [](Funcs, Request, Result, PkiBlob&) { return 0; }},
    {"advEnd", 0, [](Funcs, Request, Result, PkiBlob&) { return 0; }},
    {"advCheckCert", 0, [](Funcs f, Request rq, Result, PkiBlob&) { return advCheckCert(f, rq); }},
    {"advVerifySign", 0, [](Funcs f, Request rq, Result, PkiBlob&) { return advVerifySign(f, rq); }},
    {"advGetCertPreferAlg", 0,
     [](Funcs f, Request rq, Result rs, PkiBlob&) { return advGetCertPreferAlg(f, rq, rs); }},
    {"advSignData", CARD_ROUTE_OUTPUT | CARD_ROUTE_SIGNATURE,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advSignData(f, rq, o); }},
    {"advGetCert", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advGetCert(f, rq, o); }},
    {"advSealEnvelope", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advSealEnvelope(f, rq, o); }},
    {"advOpenEnvelope", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advOpenEnvelope(f, rq, o); }},
    {"advGenRandom", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advGenRandom(f, rq, o); }},
    {"advHashData", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advHashData(f, rq, o); }},
    {"advSymmEncrypt", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advSymmEncrypt(f, rq, o); }},
    {"advSymmDecrypt", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advSymmDecrypt(f, rq, o); }},
    {"advGetCertInfo", CARD_ROUTE_OUTPUT,
     [](Funcs f, Request rq, Result, PkiBlob& o) { return advGetCertInfo(f, rq, o); }},
}};

bool IsCloudName(const std::string& strFun) { return strFun.compare(0, 5, "cloud") == 0; }

int RouteCloudCall(const std::string& strFun, const RequestParams& request, RequestParams& result) {
  for (const CCloudRoute& route : s_cloudRoutes) {
    if (strFun == route.szFun) return route.pfnOperation(request, result);
  }
  return API_UNKNOWN_FUN;
}

// Lengths handed to the card library are 32 bits wide.
bool ValuesFitLibrary(const RequestParams& request) {
  for (const auto& item : request) {
    if (item.second.size() > UINT32_MAX) return false;
  }
  return true;
}

const CCardRoute* FindCardRoute(const std::string& strFun) {
  for (const CCardRoute& route : s_cardRoutes) {
    if (strFun == route.szFun) return &route;
  }
  return nullptr;
}

// Answers an operation's output bytes under "outData".
int AnswerOutput(const CCardFunctions& funcs, const std::string& strFun, const PkiBlob& out,
                 RequestParams& result) {
  if (out.nLen > CARD_OUTPUT_SIZE) {
    WriteProcessLog(1, 0, "%s: card library reported %u bytes in a %u-byte buffer\n",
                    strFun.c_str(), static_cast<unsigned>(out.nLen),
                    static_cast<unsigned>(CARD_OUTPUT_SIZE));
    return API_BAD_LIBRARY_OUTPUT;
  }
  std::string strOutData;
  const int nResult = PkiEncodeBase64(funcs, out.pData, out.nLen, strOutData);
  if (nResult == 0) {
    result["outData"] = strOutData;
    std::printf("outData: %s\n", strOutData.c_str());
  }
  return nResult;
}

int RouteCardCall(const std::string& strFun, const RequestParams& request, RequestParams& result) {
  if (!pasIsInitialised()) return API_NOT_INITIALISED;
  NamedEventLock funcLock(FUNC_LOCK_NAME, NAMED_LOCK_WAIT_MS);
  if (!funcLock.IsAcquired()) {
    WriteProcessLog(1, 3, "Last call not finished..\n");
    return API_LOCK_BUSY;
  }
  const CCardFunctions* pFuncs = GetCardFunctions();
  if (pFuncs == nullptr) return API_NOT_INITIALISED;
  if (!ValuesFitLibrary(request)) return API_PARAM_TOO_LARGE;

  const CCardRoute* pRoute = FindCardRoute(strFun);
  if (pRoute == nullptr) {
    WriteProcessLog(1, 0, "Get a unknow call : %s\n", EscapeControlBytes(strFun).c_str());
    return API_UNKNOWN_FUN;
  }
  std::vector<unsigned char> vOutput(CARD_OUTPUT_SIZE, 0);
  PkiBlob out = {CARD_OUTPUT_SIZE, vOutput.data()};
  int nResult = pRoute->pfnOperation(*pFuncs, request, result, out);

  // The key watch may have closed the library while the signature was made:
  // a signature from a key that is gone is not answered. A request without
  // its label is still answered as such, although it has reset the library.
  if ((pRoute->nFlags & CARD_ROUTE_SIGNATURE) != 0 && nResult != API_MISSING_PARAM &&
      !pasIsInitialised()) {
    nResult = API_NOT_INITIALISED;
  }
  if (nResult == 0 && (pRoute->nFlags & CARD_ROUTE_OUTPUT) != 0) {
    nResult = AnswerOutput(*pFuncs, strFun, out, result);
  }
  return nResult;
}

}  // namespace

int pasApiHandler(const RequestParams& request, RequestParams& result) {
  DebugOutput("===========pasApiHandler=======");
  auto itFun = request.find("Fun");
  if (itFun == request.end()) return API_MISSING_PARAM;
  const std::string& strFun = itFun->second;
  std::printf("Get a call for %s\n", strFun.c_str());
  WriteProcessLog(1, 3, "Get a call for %s\n", EscapeControlBytes(strFun).c_str());

  int nResult = IsCloudName(strFun) ? RouteCloudCall(strFun, request, result)
                                    : RouteCardCall(strFun, request, result);

  // Any int fits: "-2147483648" is 11 characters.
  char szReturn[16] = {0};
  std::snprintf(szReturn, sizeof(szReturn), "%d", nResult);
  result["return"] = szReturn;
  std::printf("return: %s\n\n", szReturn);
  std::fflush(stdout);
  return nResult;
}
