#include "tests/http/FakeApiHandler.h"

#include <cstdlib>
#include <mutex>

namespace {
std::mutex g_mutexFake;
RequestParams g_lastRequest;
int g_nCalls = 0;
}  // namespace

RequestParams FakeApiHandler::LastRequest() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  return g_lastRequest;
}

int FakeApiHandler::CallCount() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  return g_nCalls;
}

void FakeApiHandler::Reset() {
  std::lock_guard<std::mutex> lock(g_mutexFake);
  g_lastRequest.clear();
  g_nCalls = 0;
}

bool FakeApiHandler::Handle(const RequestParams& request, RequestParams& result) {
  const auto itFun = request.find("Fun");
  if (itFun == request.end()) return false;
  {
    std::lock_guard<std::mutex> lock(g_mutexFake);
    g_lastRequest = request;
    ++g_nCalls;
  }
  const auto valueOf = [&](const char* szName) {
    return request.count(szName) != 0 ? request.at(szName) : std::string();
  };
  if (itFun->second == "echo") result["outData"] = valueOf("data");
  if (itFun->second == "big") {
    result["outData"] = std::string(std::strtoul(valueOf("size").c_str(), nullptr, 10), 'x');
  }
  result["return"] = result.count("outData") != 0 ? "0" : "-10000";
  return true;
}
