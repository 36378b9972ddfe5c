// The debugger output channel (on POSIX: standard error, when
// TOLVAN_DEBUG_OUTPUT is set) sees a request only once it is complete, with
// the key passwords masked: never the bytes as they arrive.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <string>

#include "http/HttpExchange.h"
#include "tests/support/EnvOverride.h"

namespace {

TEST(RequestTrace, OnlyTheCompleteMaskedRequestGoesOut) {
  const CEnvOverride debugOutput("TOLVAN_DEBUG_OUTPUT", "1");
  const std::string strBody =
      "Fun=advSignData&label=k1&keyPasswd=hunter2&data=a%0D%0Ab&passwd=s3cret&pad=" +
      std::string(30, 'p');
  const std::string strPost = "POST /Tolvan HTTP/1.1\r\nContent-Length: " +
                              std::to_string(strBody.size()) + "\r\n\r\n" + strBody;
  const std::string strGet = "GET /Tolvan?keyPasswd=hunter2&Fun=x&pad=" + std::string(40, 'q') +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  for (const std::string& strRequest : {strPost, strGet}) {
    CHttpExchange exchange;
    ASSERT_TRUE(exchange.ReserveRecvBuf(4096));
    RequestParams params;
    testing::internal::CaptureStderr();
    // In pieces that split the password: nothing may go out before the end.
    const size_t nSplit = strRequest.find("hunter") + 3;
    exchange.AppendRecv(strRequest.data(), static_cast<uint32_t>(nSplit));
    EXPECT_EQ(exchange.ParseRequest(params), 0);
    exchange.AppendRecv(strRequest.data() + nSplit, static_cast<uint32_t>(strRequest.size() - nSplit));
    const int nParsed = exchange.ParseRequest(params);
    const std::string strOut = testing::internal::GetCapturedStderr();
    ASSERT_EQ(nParsed, 1);
    EXPECT_EQ(params.at("keyPasswd"), "hunter2");
    EXPECT_EQ(strOut.find("hun"), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find("s3cret"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("keyPasswd=***&"), std::string::npos) << strOut;
    // The request itself, once (the log's own line for it comes besides).
    const size_t nTrace = strOut.find(strRequest.substr(0, 12));
    ASSERT_NE(nTrace, std::string::npos) << strOut;
    EXPECT_EQ(strOut.find(strRequest.substr(0, 12), nTrace + 1), std::string::npos) << strOut;
  }
}

}  // namespace
#endif
