// The front end with the real dispatcher behind it: a request goes from the
// socket through framing, routing and the dispatcher and its answer comes back.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "base/logging/ProcessLog.h"
#include "card/CardLifecycle.h"
#include "http/TolvanServer.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/TempDir.h"

namespace {

TEST(DispatchE2E, CardCloudAndFrontEndRoutes) {
  CTempDir dir("tolvan-http-e2e");
  std::ofstream(dir.Path() / "TolvanService.ini") << "[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=3\n";
  auto pServer = std::make_unique<CTolvanServer>(dir.Str());
  ASSERT_TRUE(pServer->Start());
  ASSERT_TRUE(pServer->WaitListening(10000));
  auto body = [&](const std::string& strPost) {
    CLoopbackClient client(pServer->GetListenPort());
    EXPECT_TRUE(client.SendAll(MakePost(strPost)));
    return ResponseBody(client.ReadResponse());
  };
  // An unknown cloud name answers at once; a card operation before
  // initialisation answers -101; chEnvParm stays with the front end.
  EXPECT_EQ(body("Fun=cloudX&data=AAAA"), "\r\n\r\n{\"return\":\"-10000\"}\r\n\r\n");
  myEnd();
  EXPECT_EQ(body("Fun=advGenRandom&length=16"), "\r\n\r\n{\"return\":\"-101\"}\r\n\r\n");
  EXPECT_EQ(body("Fun=chEnvParm&logLevel=1"), "\r\n\r\n{}\r\n\r\n");
  EXPECT_EQ(g_ProcessLog.GetLogLevel(), 1u);

  pServer.reset();
  CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
  g_ProcessLog.CloseFile();
}

}  // namespace
