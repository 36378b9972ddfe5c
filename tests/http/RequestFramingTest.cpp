// Framing of the received bytes into one request.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "http/HttpExchange.h"

namespace {

// An exchange whose receive buffer holds nBufSize bytes and then strBytes.
struct Framer {
  explicit Framer(uint32_t nBufSize = kFirstRecvBufSize) { EXPECT_TRUE(ex.ReserveRecvBuf(nBufSize)); }
  uint32_t Add(const std::string& strBytes) {
    return ex.AppendRecv(strBytes.data(), static_cast<uint32_t>(strBytes.size()));
  }
  int Parse() { return ex.ParseRequest(params); }
  std::string Received() const { return std::string(ex.m_pRecvBuf.get(), ex.m_nRecvLen); }

  CHttpExchange ex;
  RequestParams params;
};

std::string Post(const std::string& strBody, const std::string& strLengthText) {
  return "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length:" + strLengthText +
         "\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n" + strBody;
}

std::string Post(const std::string& strBody) {
  return Post(strBody, " " + std::to_string(strBody.size()));
}

std::string Get(const std::string& strQuery) {
  return "GET /Tolvan?" + strQuery + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n";
}

TEST(RequestFraming, FewerThan64BytesAreNotExamined) {
  Framer f;
  f.Add(std::string(63, 'x'));
  EXPECT_EQ(f.Parse(), 0);
  f.Add("x");
  EXPECT_EQ(f.Parse(), -1);  // 64 bytes of something else
}

TEST(RequestFraming, PostAndGetAreDecoded) {
  Framer post;
  post.Add(Post("Fun=advSignData&data=a%2Bb"));
  EXPECT_EQ(post.Parse(), 1);
  EXPECT_EQ(post.params, (RequestParams{{"Fun", "advSignData"}, {"data", "a+b"}}));

  Framer get;
  get.Add(Get("Fun=advGetCert&x=1+2"));
  EXPECT_EQ(get.Parse(), 1);
  EXPECT_EQ(get.params, (RequestParams{{"Fun", "advGetCert"}, {"x", "1 2"}}));
  EXPECT_EQ(get.ex.m_nRecvLen, 0u);
}

TEST(RequestFraming, OnlyTheExactRequestLinesAreAccepted) {
  const std::string strTail = "\r\nContent-Length: 5\r\nHost: 127.0.0.1:8888\r\n\r\nFun=x";
  for (const char* szLine : {"post /Tolvan HTTP/1.1", "POST /Tolvan HTTP/1.0", "POST /tolvan HTTP/1.1",
                             "PUT /Tolvan HTTP/1.1", "POST  /Tolvan HTTP/1.1", "GET /Tolvan HTTP/1.1"}) {
    Framer f;
    f.Add(szLine + strTail);
    EXPECT_EQ(f.Parse(), -1) << szLine;
  }
  Framer lower;
  lower.Add("POST /Tolvan HTTP/1.1\r\nContent-length: 5\r\nHost: 127.0.0.1:8888\r\n\r\nFun=x");
  EXPECT_EQ(lower.Parse(), 1);
}

TEST(RequestFraming, MissingLengthWaitsUntilTheBufferIsFull) {
  Framer f(128);
  const std::string strHead =
      "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n\r\nFun=x";
  f.Add(strHead);
  EXPECT_EQ(f.Parse(), 0);
  f.Add(std::string(128 - strHead.size(), 'y'));
  EXPECT_EQ(f.Parse(), -1);
}

TEST(RequestFraming, LengthValueText) {
  Framer eleven;
  eleven.Add(Post("Fun=x", "        005"));  // 11 bytes
  EXPECT_EQ(eleven.Parse(), -1);

  Framer ten;
  ten.Add(Post("Fun=x", "       005"));  // 10 bytes
  EXPECT_EQ(ten.Parse(), 1);

  // No digits counts as 0: complete once the blank line is there, and the
  // body is whatever follows it.
  Framer none;
  none.Add(Post("Fun=x&y=z", " abc"));
  EXPECT_EQ(none.Parse(), 1);
  EXPECT_EQ(none.params.at("y"), "z");

  Framer negative;
  negative.Add(Post("", " -7"));
  EXPECT_EQ(negative.Parse(), 1);
  EXPECT_EQ(negative.params, (RequestParams{{"", ""}}));

  // A value beyond 32 bits is held to the largest length and refused as too
  // big, the same on every platform.
  Framer huge;
  huge.Add(Post("Fun=x", "9999999999"));
  EXPECT_EQ(huge.Parse(), -1);
}

TEST(RequestFraming, HeaderLineStillArrivingIsNotRefused) {
  Framer f;
  f.Add("POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\nContent-Length: 1");
  EXPECT_EQ(f.Parse(), 0);
  f.Add("0\r\n\r\nFun=abcdef");
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params.at("Fun"), "abcdef");
}

TEST(RequestFraming, LongerBodyIsDecodedWhole) {
  Framer f;
  f.Add(Post("Fun=x&a=1", " 5"));
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params, (RequestParams{{"Fun", "x"}, {"a", "1"}}));
}

TEST(RequestFraming, IncompleteBodyThatFitsLeavesTheBuffer) {
  Framer f;
  const std::string strRequest = Post("Fun=x&a=12345", " 13");
  f.Add(strRequest.substr(0, strRequest.size() - 4));
  const std::string strBefore = f.Received();
  EXPECT_EQ(f.Parse(), 0);
  EXPECT_EQ(f.Received(), strBefore);
  EXPECT_EQ(f.ex.m_nRecvBufSize, kFirstRecvBufSize);
  EXPECT_TRUE(f.params.empty());
  f.Add(strRequest.substr(strRequest.size() - 4));
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params.at("a"), "12345");
}

TEST(RequestFraming, BodyBeyondTheBufferGrowsIt) {
  const std::string strBody = "Fun=x&data=" + std::string(5000, 'q');
  const std::string strRequest = Post(strBody);
  const uint32_t nHeaderEnd = static_cast<uint32_t>(strRequest.size() - strBody.size());
  Framer f;
  const uint32_t nTaken = f.Add(strRequest);
  ASSERT_EQ(nTaken, kFirstRecvBufSize);  // the buffer is full
  const std::string strBefore = f.Received();
  EXPECT_EQ(f.Parse(), 0);
  EXPECT_EQ(f.ex.m_nRecvBufSize, nHeaderEnd + 1 + strBody.size());
  EXPECT_EQ(f.Received(), strBefore);  // the displaced last byte is back
  f.Add(strRequest.substr(nTaken));
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params.at("data"), std::string(5000, 'q'));
}

TEST(RequestFraming, RequestOfExactlyTheBufferSizeKeepsItsLastByte) {
  const std::string strHead = Post("Fun=x&v=", " 0");
  Framer f(static_cast<uint32_t>(strHead.size() + 10));
  f.Add(strHead + "0123456789");
  ASSERT_EQ(f.ex.m_nRecvLen, f.ex.m_nRecvBufSize);
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params.at("v"), "0123456789");
}

TEST(RequestFraming, ZeroByteInAFullBufferDoesNotGainTheLastByte) {
  const std::string strHead = Post("", " 0");
  Framer f(static_cast<uint32_t>(strHead.size() + 8));
  f.Add(strHead + std::string("v=ab\0cdZ", 8));
  EXPECT_EQ(f.Parse(), 1);
  EXPECT_EQ(f.params.at("v"), "ab");
}

TEST(RequestFraming, AnnouncedBodyBeyondTheMaximumIsRefused) {
  Framer f;
  f.Add(Post("Fun=x", " " + std::to_string(kMaxRequestSize)));
  EXPECT_EQ(f.Parse(), -1);
  EXPECT_EQ(f.ex.m_nRecvBufSize, kFirstRecvBufSize);
}

TEST(RequestFraming, GetEdgeCases) {
  Framer noProtocol;
  noProtocol.Add("GET /Tolvan?Fun=x HTTP/1.0\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n\r\n");
  EXPECT_EQ(noProtocol.Parse(), -1);

  const std::string strHead =
      "GET /Tolvan?Fun=x HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\nX: ";
  Framer waiting;
  waiting.Add(strHead);
  EXPECT_EQ(waiting.Parse(), 0);
  Framer full(static_cast<uint32_t>(strHead.size() + 20));
  full.Add(strHead + std::string(20, 'h'));
  EXPECT_EQ(full.Parse(), -1);

  // The query ends at the first " HTTP/1.1".
  Framer query;
  query.Add(Get("a=1 HTTP/1.1x&b=2"));
  EXPECT_EQ(query.Parse(), 1);
  EXPECT_EQ(query.params, (RequestParams{{"a", "1"}}));
}

TEST(RequestFraming, ReserveKeepsReceivedBytes) {
  CHttpExchange ex;
  ASSERT_TRUE(ex.ReserveRecvBuf(8));
  ex.AppendRecv("abcdef", 6);
  EXPECT_TRUE(ex.ReserveRecvBuf(4));  // already big enough
  EXPECT_EQ(ex.m_nRecvBufSize, 8u);
  ASSERT_TRUE(ex.ReserveRecvBuf(100));
  EXPECT_EQ(std::string(ex.m_pRecvBuf.get(), ex.m_nRecvLen), "abcdef");
  EXPECT_FALSE(ex.ReserveRecvBuf(kMaxRequestSize + 1));
  EXPECT_EQ(ex.m_nRecvBufSize, 100u);
}

}  // namespace
