// Framing of the received bytes into one request, what the debugger output
// sees of it, and the origin policy's verdict on its headers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/HttpExchange.h"
#include "http/OriginPolicy.h"
#include "tests/support/EnvOverride.h"

namespace {

// An exchange whose receive buffer holds nBufSize bytes and then strBytes.
struct Framer {
  explicit Framer(uint32_t nBufSize = kFirstRecvBufSize) { EXPECT_TRUE(ex.ReserveRecvBuf(nBufSize)); }
  uint32_t Add(const std::string& strBytes) {
    return ex.AppendRecv(strBytes.data(), static_cast<uint32_t>(strBytes.size()));
  }
  int Parse() { return ex.ParseRequest(params); }

  CHttpExchange ex;
  RequestParams params;
};

std::string Post(const std::string& strBody, const std::string& strLengthText) {
  return "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length:" + strLengthText +
         "\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n" + strBody;
}

std::string Post(const std::string& strBody) { return Post(strBody, " " + std::to_string(strBody.size())); }

const char kGetHead[] = "GET /Tolvan?Fun=x HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\nX: ";
const char kPostNoLength[] = "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n\r\nFun=x";
// A request that fills its buffer exactly keeps its last byte, unless a zero byte ended the body
// before it.
const std::string kExact = Post("Fun=x&v=", " 0") + "0123456789";
const std::string kExactZero = Post("Fun=x&v=", " 0") + std::string("ab\0cdZ", 6);

// Requests as far as they have arrived: the parse result and, for 1, the
// parameters. (Requests that arrive in parts: ServerTest.)
TEST(RequestFraming, WholeRequests) {
  struct Case {
    std::string strBytes;
    int nResult;
    RequestParams params;
    uint32_t nBufSize = kFirstRecvBufSize;
  };
  const std::vector<Case> vecCases = {
      {std::string(63, 'x'), 0, {}},  // fewer than 64 bytes are not examined
      {std::string(64, 'x'), -1, {}},
      {Post("Fun=advSignData&data=a%2Bb"), 1, {{"Fun", "advSignData"}, {"data", "a+b"}}},
      {"GET /Tolvan?Fun=advGetCert&x=1+2 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n", 1,
       {{"Fun", "advGetCert"}, {"x", "1 2"}}},
      {"POST /Tolvan HTTP/1.1\r\nContent-length: 5\r\nHost: 127.0.0.1:8888\r\n\r\nFun=x", 1,
       {{"Fun", "x"}}},
      {Post("Fun=x", "        005"), -1, {}},                    // 11 bytes of length text
      {Post("Fun=x", "       005"), 1, {{"Fun", "x"}}},          // 10 bytes
      // No digits counts as 0: the body is whatever follows the blank line.
      {Post("Fun=x&y=z", " abc"), 1, {{"Fun", "x"}, {"y", "z"}}},
      // Beyond 32 bits is held to the largest length and refused as too big.
      {Post("Fun=x", "9999999999"), -1, {}},
      {Post("Fun=x", " " + std::to_string(kMaxRequestSize)), -1, {}},
      {kPostNoLength, 0, {}, 128},  // no length: waits until the buffer is full
      {kPostNoLength + std::string(128 - sizeof(kPostNoLength) + 1, 'y'), -1, {}, 128},
      {"GET /Tolvan?Fun=x HTTP/1.0\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n\r\n", -1, {}},
      {"POST /Tolvan HTTP/1.0\r\nContent-Length: 5\r\nHost: 127.0.0.1:8888\r\n\r\nFun=x", -1, {}},
      {kGetHead, 0, {}},
      {"POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\nContent-Length: 1", 0, {}},
      {kGetHead + std::string(20, 'h'), -1, {}, static_cast<uint32_t>(sizeof(kGetHead) - 1 + 20)},
      // The query ends at the first " HTTP/1.1".
      {"GET /Tolvan?a=1 HTTP/1.1x&b=2 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n", 1,
       {{"a", "1"}}},
      {kExact, 1, {{"Fun", "x"}, {"v", "0123456789"}}, static_cast<uint32_t>(kExact.size())},
      {kExactZero, 1, {{"Fun", "x"}, {"v", "ab"}}, static_cast<uint32_t>(kExactZero.size())},
  };
  for (const Case& c : vecCases) {
    Framer f(c.nBufSize);
    EXPECT_EQ(f.Add(c.strBytes), c.strBytes.size()) << c.strBytes;  // all of it taken
    EXPECT_EQ(f.Parse(), c.nResult) << c.strBytes;
    if (c.nResult == 1) {
      EXPECT_EQ(f.params, c.params) << c.strBytes;
    }
    EXPECT_EQ(f.ex.m_nRecvBufSize, c.nBufSize) << c.strBytes;
  }
}

// With a list, a request is served when its Origin (if any) is listed and its
// Host is the local host; the reason for a refusal is what the log says.
// (Refused requests get no response: OriginInBrowser.)
TEST(OriginPolicy, ListedOriginsOrNoneOnTheLocalHost) {
  const COriginPolicy open("");
  const COriginPolicy listed(" https://bank.example\thttp://127.0.0.1:8080/  ");
  const std::pair<const char*, const char*> kCases[] = {
      {"host:LocalHost:8888\r\nORIGIN:   HTTPS://Bank.Example  \r\n", ""},
      {"Origin: http://127.0.0.1:8080\r\nHost: [::1]:8888\r\n", ""},
      {"Host: 127.0.0.1\r\n", ""},  // a native client: no Origin
      {"Host: 127.0.0.1:8888\r\nOrigin: https://evil.example\r\n",
       "origin \"https://evil.example\" is not allowed"},
      {"Host: 127.0.0.1:8888\r\nOrigin: https://bank.example.evil\r\n",
       "origin \"https://bank.example.evil\" is not allowed"},
      // A rebound DNS name reaches 127.0.0.1 with its own Host.
      {"Host: rebind.example:8888\r\nOrigin: https://bank.example\r\n",
       "host \"rebind.example:8888\" is not the local host"},
      {"Host: 127.0.0.1:\r\n", "host \"127.0.0.1:\" is not the local host"},
      {"Host: [::1]x\r\n", "host \"[::1]x\" is not the local host"},
      {"Accept-Language: en\r\n", "no Host header"},
  };
  for (const auto& c : kCases) {
    Framer f;
    f.Add(std::string("GET /Tolvan?Fun=echo&data=x HTTP/1.1\r\n") + c.first +
          "Accept: */*\r\n\r\n");
    ASSERT_EQ(f.Parse(), 1) << c.first;
    std::string strWhy;
    EXPECT_TRUE(open.Allows(f.ex, strWhy)) << c.first;
    EXPECT_EQ(listed.Allows(f.ex, strWhy), *c.second == '\0') << c.first;
    EXPECT_EQ(strWhy, c.second) << c.first;
  }
}

#ifndef _WIN32
// The debugger output channel (on POSIX: standard error, when
// TOLVAN_DEBUG_OUTPUT is set) sees a request only once it is complete, with
// the key passwords masked: never the bytes as they arrive.
TEST(RequestTrace, OnlyTheCompleteMaskedRequestGoesOut) {
  const CEnvOverride debugOutput("TOLVAN_DEBUG_OUTPUT", "1");
  const std::string strPost =
      Post("Fun=advSignData&label=k1&keyPasswd=hunter2&data=a%0D%0Ab&passwd=s3cret&pad=" +
           std::string(30, 'p'));
  const std::string strGet = "GET /Tolvan?keyPasswd=hunter2&Fun=x&pad=" + std::string(40, 'q') +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  for (const std::string& strRequest : {strPost, strGet}) {
    Framer f;
    testing::internal::CaptureStderr();
    // In pieces that split the password: nothing may go out before the end.
    const size_t nSplit = strRequest.find("hunter") + 3;
    f.Add(strRequest.substr(0, nSplit));
    EXPECT_EQ(f.Parse(), 0);
    f.Add(strRequest.substr(nSplit));
    const int nParsed = f.Parse();
    const std::string strOut = testing::internal::GetCapturedStderr();
    ASSERT_EQ(nParsed, 1);
    EXPECT_EQ(f.params.at("keyPasswd"), "hunter2");
    EXPECT_EQ(strOut.find("hun"), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find("s3cret"), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("keyPasswd=***&"), std::string::npos) << strOut;
    // The request itself, once (the log's own line for it comes besides).
    const size_t nTrace = strOut.find(strRequest.substr(0, 12));
    ASSERT_NE(nTrace, std::string::npos) << strOut;
    EXPECT_EQ(strOut.find(strRequest.substr(0, 12), nTrace + 1), std::string::npos) << strOut;
  }
}
#endif

}  // namespace
