// cloudSignData over the agent's HTTP interface against the simulated cloud
// signing service, p50 and p99, beside one bare HTTPS POST on a new
// connection to the same service; with the key pool and without it.
// Prints figures; it is not a test.
//
//   bench_cloud [calls per run] [pause between calls in ms]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "card/CardLibrary.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/cloud/CloudAgentFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

struct CFigures {
  double dP50 = 0, dP99 = 0;
  int nFailed = 0;
};

CFigures Summarise(std::vector<double> vMs, int nFailed) {
  CFigures f;
  f.nFailed = nFailed;
  if (vMs.empty()) return f;
  std::sort(vMs.begin(), vMs.end());
  f.dP50 = vMs[vMs.size() / 2];
  f.dP99 = vMs[std::min(vMs.size() - 1, (vMs.size() * 99) / 100)];
  return f;
}

template <typename TCall>
CFigures Measure(int nCalls, int nPauseMs, TCall fnCall) {
  std::vector<double> vMs;
  int nFailed = 0;
  for (int i = 0; i < nCalls; ++i) {
    if (nPauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(nPauseMs));
    const auto t0 = Clock::now();
    const bool bOk = fnCall();
    const double dMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (bOk) {
      vMs.push_back(dMs);
    } else {
      ++nFailed;
    }
  }
  return Summarise(vMs, nFailed);
}

void Print(const char* szWhat, const CFigures& f) {
  std::printf("  %-44s p50 %7.1f ms   p99 %7.1f ms%s\n", szWhat, f.dP50, f.dP99,
              f.nFailed != 0 ? "   (some calls failed)" : "");
}

bool RunOne(int nKeyPool, int nCalls, int nPauseMs) {
  CCloudAgentFixture agent(15000, nKeyPool);
  if (!agent.Ok()) {
    std::fprintf(stderr, "simulator or agent did not start\n");
    return false;
  }
  if (agent.Call({{"Fun", "cloudMakeQr"}})["return"] != "0") return false;
  const std::string strVerify = agent.Post(
      "/control/scan", "{\"cloudKey\":\"" + agent.Stored("AuthCode") + "\"}", "verifyCode");
  // The pool fills while the page shows the QR code.
  for (int i = 0; i < 200 && CK_KeyPoolReady() < nKeyPool; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  const CFigures sign = Measure(nCalls, nPauseMs, [&] {
    return agent.Call({{"Fun", "cloudSignData"}, {"verifyCode", strVerify},
                       {"clearText", "benchmark text"}})["return"] == "0";
  });
  const std::string strState = "{\"cloudKey\":\"" + agent.Stored("AuthCode") + "\"}";
  const CFigures bare = Measure(nCalls, nPauseMs, [&] {
    return !agent.Post("/orvSignApp/cloud/getCloudKeyState", strState, "state").empty();
  });
  std::printf("key pool %d, %d calls, %d ms between calls:\n", nKeyPool, nCalls, nPauseMs);
  Print("cloudSignData over the agent", sign);
  Print("bare HTTPS POST, new connection", bare);
  std::printf("  ratio of p50s: %.2f\n", bare.dP50 > 0 ? sign.dP50 / bare.dP50 : 0.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int nCalls = argc > 1 ? std::atoi(argv[1]) : 50;
  const int nPauseMs = argc > 2 ? std::atoi(argv[2]) : 200;
  if (!EnsureCardLibraryLoaded()) std::fprintf(stderr, "(card library not loaded)\n");
  const bool bOk = RunOne(4, nCalls, nPauseMs) && RunOne(0, nCalls, nPauseMs);
  return bOk ? 0 : 1;
}
