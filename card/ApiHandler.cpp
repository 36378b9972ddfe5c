#include "card/ApiHandler.h"

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

// Card operations without an output buffer.
struct CCardRoute {
  const char* szFun;
  int (*pfnOperation)(const RequestParams& request, RequestParams& result);
};
const std::array<CCardRoute, 5> s_cardRoutes = {{
    {"advInit", [](const RequestParams&, RequestParams&) { return 0; }},
    {"advEnd", [](const RequestParams&, RequestParams&) { return 0; }},
    {"advCheckCert", [](const RequestParams& request, RequestParams&) { return advCheckCert(request); }},
    {"advVerifySign", [](const RequestParams& request, RequestParams&) { return advVerifySign(request); }},
    {"advGetCertPreferAlg", advGetCertPreferAlg},
}};

// Card operations whose output bytes are answered as Base64 in "outData".
struct CCardOutputRoute {
  const char* szFun;
  int (*pfnOperation)(const RequestParams& request, PkiBlob& out);
};
const std::array<CCardOutputRoute, 9> s_cardOutputRoutes = {{
    {"advSignData", advSignData},
    {"advGetCert", advGetCert},
    {"advSealEnvelope", advSealEnvelope},
    {"advOpenEnvelope", advOpenEnvelope},
    {"advGenRandom", advGenRandom},
    {"advHashData", advHashData},
    {"advSymmEncrypt", advSymmEncrypt},
    {"advSymmDecrypt", advSymmDecrypt},
    {"advGetCertInfo", advGetCertInfo},
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

// Runs an operation with output, then answers its bytes under "outData".
int RunOutputOperation(const std::string& strFun, const RequestParams& request,
                       RequestParams& result) {
  std::vector<unsigned char> vOutput(CARD_OUTPUT_SIZE, 0);
  PkiBlob out = {CARD_OUTPUT_SIZE, vOutput.data()};
  int nResult = API_UNKNOWN_FUN;
  for (const CCardOutputRoute& route : s_cardOutputRoutes) {
    if (strFun == route.szFun) {
      nResult = route.pfnOperation(request, out);
      break;
    }
  }
  // The key watch may have closed the library while the signature was made:
  // a signature from a key that is gone is not answered. A request without
  // its label is still answered as such, although it has reset the library.
  if (strFun == "advSignData" && nResult != API_MISSING_PARAM && !pasIsInitialised()) {
    nResult = API_NOT_INITIALISED;
  }

  if (nResult == 0 && out.nLen > CARD_OUTPUT_SIZE) {
    WriteProcessLog(1, 0, "%s: card library reported %u bytes in a %u-byte buffer\n",
                    strFun.c_str(), static_cast<unsigned>(out.nLen),
                    static_cast<unsigned>(CARD_OUTPUT_SIZE));
    nResult = API_BAD_LIBRARY_OUTPUT;
  }
  if (nResult == 0) {
    const CCardFunctions* pFuncs = GetCardFunctions();
    std::string strOutData;
    nResult = pFuncs != nullptr ? PkiEncodeBase64(*pFuncs, out.pData, out.nLen, strOutData)
                                : API_NOT_INITIALISED;
    if (nResult == 0) {
      result["outData"] = strOutData;
      std::printf("outData: %s\n", strOutData.c_str());
    }
  } else if (nResult == API_UNKNOWN_FUN) {
    WriteProcessLog(1, 0, "Get a unknow call : %s\n", strFun.c_str());
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
  if (GetCardFunctions() == nullptr) return API_NOT_INITIALISED;
  if (!ValuesFitLibrary(request)) return API_PARAM_TOO_LARGE;

  for (const CCardRoute& route : s_cardRoutes) {
    if (strFun == route.szFun) return route.pfnOperation(request, result);
  }
  return RunOutputOperation(strFun, request, result);
}

}  // namespace

int pasApiHandler(const RequestParams& request, RequestParams& result) {
  DebugOutput("===========pasApiHandler=======");
  auto itFun = request.find("Fun");
  if (itFun == request.end()) return API_MISSING_PARAM;
  const std::string& strFun = itFun->second;
  std::printf("Get a call for %s\n", strFun.c_str());
  WriteProcessLog(1, 3, "Get a call for %s\n", strFun.c_str());

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
