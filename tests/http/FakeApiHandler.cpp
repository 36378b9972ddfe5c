#include "tests/http/FakeApiHandler.h"

#include <cstdlib>
#include <mutex>

#include "card/ApiHandler.h"

namespace {
std::mutex g_mutexFake;
RequestParams g_lastRequest;
int g_nCalls = 0;
}  // namespace

namespace FakeApiHandler {
RequestParams LastRequest() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  return g_lastRequest;
}
int CallCount() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  return g_nCalls;
}
void Reset() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  g_lastRequest.clear();
  g_nCalls = 0;
}
}  // namespace FakeApiHandler

// The test double itself: the real one lives in the card library target.
int pasApiHandler(const RequestParams& request, RequestParams& result) {
  {
    std::lock_guard<std::mutex> lock(g_mutexFake);
    g_lastRequest = request;
    ++g_nCalls;
  }
  const auto itFun = request.find("Fun");
  const std::string strFun = itFun == request.end() ? std::string() : itFun->second;
  int nResult = API_UNKNOWN_FUN;
  if (strFun == "echo") {
    const auto itData = request.find("data");
    result["outData"] = itData == request.end() ? std::string() : itData->second;
    nResult = API_OK;
  } else if (strFun == "big") {
    const auto itSize = request.find("size");
    const long nSize = itSize == request.end() ? 0 : std::strtol(itSize->second.c_str(), nullptr, 10);
    result["outData"] = std::string(static_cast<size_t>(nSize > 0 ? nSize : 0), 'x');
    nResult = API_OK;
  } else if (strFun == "keys") {
    result["alpha"] = "2";
    result["Zeta"] = "1";
    nResult = API_OK;
  }
  result["return"] = std::to_string(nResult);
  return nResult;
}
