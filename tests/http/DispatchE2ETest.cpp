// The front end with the real dispatcher behind it: a request goes from the
// socket through framing, routing and the dispatcher and its answer comes back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "base/logging/ProcessLog.h"
#include "card/CardLifecycle.h"
#include "http/TolvanServer.h"
#include "tests/http/LoopbackClient.h"

namespace fs = std::filesystem;

namespace {

class DispatchE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    do {
      m_dir = fs::temp_directory_path() / ("tolvan-http-e2e-" + std::to_string(rd()));
    } while (!fs::create_directory(m_dir));
    std::ofstream(m_dir / "TolvanService.ini") << "[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=3\n";
    m_pServer = std::make_unique<CTolvanServer>(m_dir.string());
    ASSERT_TRUE(m_pServer->Start());
    ASSERT_TRUE(m_pServer->WaitListening(10000));
  }
  void TearDown() override {
    m_pServer.reset();
    {
      CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
      g_ProcessLog.CloseFile();
    }
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  std::string Body(const std::string& strRequest) {
    CLoopbackClient client(m_pServer->GetListenPort());
    EXPECT_TRUE(client.SendAll(strRequest));
    return ResponseBody(client.ReadResponse());
  }

  fs::path m_dir;
  std::unique_ptr<CTolvanServer> m_pServer;
};

TEST_F(DispatchE2E, UnknownCloudNameAnswersAtOnce) {
  EXPECT_EQ(Body(MakePost("Fun=cloudX&data=AAAA")), "\r\n\r\n{\"return\":\"-10000\"}\r\n\r\n");
}

TEST_F(DispatchE2E, CardOperationBeforeInitialisation) {
  myEnd();
  EXPECT_EQ(Body(MakePost("Fun=advGenRandom&length=16")), "\r\n\r\n{\"return\":\"-101\"}\r\n\r\n");
}

TEST_F(DispatchE2E, ChEnvParmStaysWithTheFrontEnd) {
  EXPECT_EQ(Body(MakePost("Fun=chEnvParm&logLevel=1")), "\r\n\r\n{}\r\n\r\n");
  EXPECT_EQ(g_ProcessLog.GetLogLevel(), 1u);
}

}  // namespace
