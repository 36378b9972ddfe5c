#include "tests/http/FakeApiHandler.h"

#include <cstdlib>
#include <mutex>

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

bool FakeApiHandler::Handle(const RequestParams& request, RequestParams& result) {
  const auto itFun = request.find("Fun");
  if (itFun == request.end()) return false;
  {
    std::lock_guard<std::mutex> lock(g_mutexFake);
    g_lastRequest = request;
    ++g_nCalls;
  }
  const std::string& strFun = itFun->second;
  int nResult = -10000;
  if (strFun == "echo") {
    const auto itData = request.find("data");
    result["outData"] = itData == request.end() ? std::string() : itData->second;
    nResult = 0;
  } else if (strFun == "big") {
    const auto itSize = request.find("size");
    const long nSize = itSize == request.end() ? 0 : std::strtol(itSize->second.c_str(), nullptr, 10);
    result["outData"] = std::string(static_cast<size_t>(nSize > 0 ? nSize : 0), 'x');
    nResult = 0;
  }
  result["return"] = std::to_string(nResult);
  return true;
}
