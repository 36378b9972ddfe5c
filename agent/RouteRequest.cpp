#include "agent/RouteRequest.h"

#include "base/logging/ProcessLog.h"
#include "base/search/DecimalText.h"
#include "card/ApiHandler.h"

bool RouteRequest(const RequestParams& request, RequestParams& result) {
  const auto itFun = request.find("Fun");
  if (itFun == request.end()) return false;

  if (itFun->second == "chEnvParm") {
    const auto itLevel = request.find("logLevel");
    if (itLevel == request.end()) return false;
    // A plain store: log calls on other threads read the level without a lock.
    g_ProcessLog.SetLogLevel(static_cast<unsigned>(ParseDecimal(itLevel->second)));
    return true;
  }

  pasApiHandler(request, result);
  return true;
}
