// The debugger output channel (on POSIX: standard error, when
// TOLVAN_DEBUG_OUTPUT is set) sees a request only once it is complete, with
// the key passwords masked: never the bytes as they arrive.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "http/HttpExchange.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

// Standard error goes to a file while the object lives.
class CCaptureStderr {
 public:
  explicit CCaptureStderr(const std::string& strFile) : m_strFile(strFile) {
    std::fflush(stderr);
    m_nSaved = ::dup(STDERR_FILENO);
    const int nFd = ::open(strFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(nFd, STDERR_FILENO);
    ::close(nFd);
  }
  ~CCaptureStderr() { Restore(); }
  std::string Text() {
    Restore();
    return ReadFile(m_strFile);
  }

 private:
  void Restore() {
    if (m_nSaved < 0) return;
    std::fflush(stderr);
    ::dup2(m_nSaved, STDERR_FILENO);
    ::close(m_nSaved);
    m_nSaved = -1;
  }
  std::string m_strFile;
  int m_nSaved = -1;
};

TEST(RequestTrace, OnlyTheCompleteMaskedRequestGoesOut) {
  CTempDir dir("tolvan-trace");
  ::setenv("TOLVAN_DEBUG_OUTPUT", "1", 1);
  const std::string strBody =
      "Fun=advSignData&label=k1&keyPasswd=hunter2&data=a%0D%0Ab&passwd=s3cret&pad=" +
      std::string(30, 'p');
  const std::string strPost = "POST /Tolvan HTTP/1.1\r\nContent-Length: " +
                              std::to_string(strBody.size()) + "\r\n\r\n" + strBody;
  const std::string strGet = "GET /Tolvan?keyPasswd=hunter2&Fun=x&pad=" + std::string(40, 'q') +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  for (const std::string& strRequest : {strPost, strGet}) {
    CCaptureStderr capture((dir.Path() / "stderr").string());
    CHttpExchange exchange;
    ASSERT_TRUE(exchange.ReserveRecvBuf(4096));
    RequestParams params;
    // In pieces that split the password: nothing may go out before the end.
    const size_t nSplit = strRequest.find("hunter") + 3;
    exchange.AppendRecv(strRequest.data(), static_cast<uint32_t>(nSplit));
    EXPECT_EQ(exchange.ParseRequest(params), 0);
    exchange.AppendRecv(strRequest.data() + nSplit, static_cast<uint32_t>(strRequest.size() - nSplit));
    ASSERT_EQ(exchange.ParseRequest(params), 1);
    EXPECT_EQ(params.at("keyPasswd"), "hunter2");
    const std::string strOut = capture.Text();
    EXPECT_EQ(strOut.find("hun"), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find("s3cret"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("keyPasswd=***&"), std::string::npos) << strOut;
    // The request itself, once (the log's own line for it comes besides).
    const size_t nTrace = strOut.find(strRequest.substr(0, 12));
    ASSERT_NE(nTrace, std::string::npos) << strOut;
    EXPECT_EQ(strOut.find(strRequest.substr(0, 12), nTrace + 1), std::string::npos) << strOut;
  }
  ::unsetenv("TOLVAN_DEBUG_OUTPUT");
}

}  // namespace
#endif
