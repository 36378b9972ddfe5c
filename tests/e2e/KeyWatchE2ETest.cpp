// The key watch end to end: the listener starts it, the token lister and the
// real card library run on SoftHSM2 demo tokens (put in, pulled out and
// swapped by moving their directories), and pages talk HTTP.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/system/KeyProbe.h"
#include "card/CardLifecycle.h"
#include "card/KeyWatchThread.h"
#include "tests/e2e/AgentE2E.h"
#include "tests/e2e/DemoTokens.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

constexpr unsigned kDeadlineMs = 30000;

class KeyWatchE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_pRoot = std::make_unique<CTempDir>("keywatch-e2e");
    s_pTokens = std::make_unique<CDemoTokens>(s_pRoot->Str());
    ASSERT_TRUE(s_pTokens->Make("A"));
    ASSERT_TRUE(s_pTokens->Make("B"));
    setenv("XDG_RUNTIME_DIR", s_pRoot->Str().c_str(), 1);  // named locks of this process only
  }
  static void TearDownTestSuite() {
    s_pTokens.reset();
    s_pRoot.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(m_app.Ok());
    s_pTokens->SetEnvironment();
    std::ofstream(m_app.Join("TolvanService.ini"))
        << "[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=4\n";
  }

  void TearDown() override {
    StopServer();
    s_pTokens->Remove("A");
    s_pTokens->Remove("B");
    resetCardLibrary();
  }

  // Each server of these tests writes its log to its own directory.
  void StartServer(unsigned nIntervalMs) {
    m_nPassesAtStart = KeyWatchPassCount();
    m_pServer = StartAgentServer(m_app.Str(), nIntervalMs, kDeadlineMs);
    ASSERT_TRUE(m_pServer);
  }

  void StopServer() { EXPECT_EQ(0u, StopAgentServer(m_pServer)); }

  Answer Sign(const std::string& strText) {
    const std::string strBody = std::string("Fun=advSignData&label=") + kDemoSignLabel +
                                "&keyPasswd=" + kDemoPin + "&digestAlgo=2&signType=1&clearText=";
    return PostToAgent(m_pServer->GetListenPort(), strBody + strText);
  }

  bool SignsWithin(unsigned nMs) {
    return WaitUntil([&] { return Sign("x").m_strReturn == "0"; }, nMs);
  }

  // openssl's verdict on a Base64 signature of strText by the token's RSA
  // certificate.
  bool OpensslVerifies(const std::string& strToken, const std::string& strText,
                       const std::string& strSigBase64) {
    WriteFile(m_app.Path() / "data.txt", strText);
    WriteFile(m_app.Path() / "sig.bin", FromBase64(strSigBase64));
    return RunIn(m_app.Str(), "openssl x509 -in " + ShellQuote(s_pTokens->CertPem(strToken)) +
                                  " -pubkey -noout > pub.pem && openssl dgst -sha256 -verify "
                                  "pub.pem -signature sig.bin data.txt") == 0;
  }

  static inline std::unique_ptr<CTempDir> s_pRoot;
  static inline std::unique_ptr<CDemoTokens> s_pTokens;
  CTempDir m_app{"keywatch-app"};
  std::unique_ptr<CTolvanServer> m_pServer;
  unsigned long m_nPassesAtStart = 0;
};

TEST_F(KeyWatchE2E, TokenPresentAtStartIsInitialisedByTheFirstPassAndProbedTheSameEachTime) {
  ASSERT_TRUE(s_pTokens->Insert("A"));
  // The demo token holds two signing certificates; a module lists them in an
  // order of its own each time it starts. A probe that flipped between them
  // would make every pass look like a new key.
  const std::string strFirst = ProbeUserKey();
  EXPECT_TRUE(s_pTokens->HasSerial("A", strFirst));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(strFirst, ProbeUserKey());

  // A pass that waited first would come after the deadline.
  StartServer(10 * kDeadlineMs);
  ASSERT_TRUE(SignsWithin(kDeadlineMs));
  EXPECT_EQ(1u, KeyWatchPassCount() - m_nPassesAtStart);

  const Answer answer = Sign("hello page");
  ASSERT_EQ("0", answer.m_strReturn);
  EXPECT_TRUE(OpensslVerifies("A", "hello page", answer.m_strOut));
  EXPECT_TRUE(s_pTokens->HasSerial("A", getLastKeySerial()));
  // Stop is not held up by the long wait.
  const auto tStop = std::chrono::steady_clock::now();
  StopServer();
  EXPECT_LT(std::chrono::steady_clock::now() - tStop, std::chrono::milliseconds(kDeadlineMs));
}

TEST_F(KeyWatchE2E, TokenPulledDuringSignaturesAnswersCodesRecoversAndASwapCommitsTheNewKey) {
  ASSERT_TRUE(s_pTokens->Insert("A"));
  StartServer(100);
  ASSERT_TRUE(SignsWithin(kDeadlineMs));

  std::atomic<bool> bStop{false};
  std::vector<Answer> vecAnswers;
  std::thread signer([&] {
    while (!bStop) vecAnswers.push_back(Sign("busy"));
  });
  WaitUntil([&] { return KeyWatchPassCount() > 0; }, 200);
  ASSERT_TRUE(s_pTokens->Remove("A"));
  const bool bRefused = WaitUntil([&] { return Sign("x").m_strReturn == "-101"; }, kDeadlineMs);
  bStop = true;
  signer.join();
  ASSERT_TRUE(bRefused);
  EXPECT_EQ("", getLastKeySerial());

  // Every answer is a code; a success carries a signature openssl accepts.
  ASSERT_FALSE(vecAnswers.empty());
  for (const Answer& a : vecAnswers) {
    ASSERT_FALSE(a.m_strReturn.empty());
    EXPECT_EQ(a.m_strReturn == "0", !a.m_strOut.empty()) << a.m_strReturn;
  }
  const auto itLast = std::find_if(vecAnswers.rbegin(), vecAnswers.rend(),
                                   [](const Answer& a) { return a.m_strReturn == "0"; });
  EXPECT_TRUE(itLast == vecAnswers.rend() || OpensslVerifies("A", "busy", itLast->m_strOut));

  ASSERT_TRUE(s_pTokens->Insert("A"));
  ASSERT_TRUE(SignsWithin(kDeadlineMs));

  // Swapped for another token between two passes.
  ASSERT_TRUE(s_pTokens->Remove("A"));
  ASSERT_TRUE(s_pTokens->Insert("B"));
  ASSERT_TRUE(WaitUntil([&] { return s_pTokens->HasSerial("B", getLastKeySerial()); }, kDeadlineMs));
  const Answer answer = Sign("signed by B");
  ASSERT_EQ("0", answer.m_strReturn);
  EXPECT_TRUE(OpensslVerifies("B", "signed by B", answer.m_strOut));
  EXPECT_FALSE(OpensslVerifies("A", "signed by B", answer.m_strOut));
}

TEST_F(KeyWatchE2E, ModuleProblemsAndStrayFilesAreLoggedOncePerChange) {
  // A store file that is not a certificate, and a module that does not exist.
  const fs::path store = s_pRoot->Path() / "data" / "Tolvan" / "certstore" / "MY";
  fs::create_directories(store);
  std::ofstream(store / "stray.cer") << "not a certificate";
  setenv("PKICARD_MODULE", (s_pRoot->Path() / "absent-module.so").c_str(), 1);
  const unsigned long nFirst = KeyWatchPassCount();
  StartServer(20);
  ASSERT_TRUE(WaitUntil([&] { return KeyWatchPassCount() >= nFirst + 5; }, kDeadlineMs));
  // The agent keeps serving.
  EXPECT_EQ("-101", Sign("x").m_strReturn);
  StopServer();

  // A module that hangs at initialisation: the lister is killed after its
  // bound, and the watch goes on.
  setenv("PKICARD_MODULE", HANGING_MODULE, 1);
  const unsigned long nHangFirst = KeyWatchPassCount();
  StartServer(20);
  ASSERT_TRUE(WaitUntil([&] { return KeyWatchPassCount() >= nHangFirst + 2; }, 6 * KEY_PROBE_TIMEOUT_MS));
  EXPECT_EQ("-101", Sign("x").m_strReturn);
  StopServer();

  // Back to a module that works.
  s_pTokens->SetEnvironment();
  ASSERT_TRUE(s_pTokens->Insert("A"));
  StartServer(20);
  ASSERT_TRUE(SignsWithin(kDeadlineMs));
  StopServer();
  fs::remove(store / "stray.cer");

  const std::string strLog = ReadFilesIn(m_app.Path() / "Log", "Tolvan");
  EXPECT_EQ(1u, CountOf(strLog, "PKCS#11 module missing or not loadable")) << strLog;
  EXPECT_EQ(1u, CountOf(strLog, "PKCS#11 module did not answer in time")) << strLog;
  EXPECT_EQ(1u, CountOf(strLog, "tokens are read again")) << strLog;
  EXPECT_EQ(1u, CountOf(strLog, "stray.cer is not a certificate")) << strLog;
}
