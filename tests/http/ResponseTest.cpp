// Composition of the response bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "http/HttpExchange.h"

namespace {

const char kDate[] = "Sat, 01 Jan 2000 00:00:00 GMT";

std::string Head(size_t nBodyLen) {
  return std::string("HTTP/1.1 200 OK\r\nDate: ") + kDate +
         "\r\nServer: Tolvan Server\r\nAccess-Control-Allow-Origin:*\r\nContent-Length: " +
         std::to_string(nBodyLen) +
         "\r\nConnection: close\r\nContent-Type: text/json; charset=utf-8\r\n\r\n";
}

std::string Build(CHttpExchange& ex, const RequestParams& result) {
  EXPECT_TRUE(ex.BuildResponseDated(result, kDate));
  EXPECT_EQ(ex.m_pSendBuf.get()[ex.m_nSendLen], '\0');
  return std::string(ex.m_pSendBuf.get(), ex.m_nSendLen);
}

TEST(Response, EmptyResultHasTheTenByteBody) {
  CHttpExchange ex;
  EXPECT_EQ(Build(ex, {}), Head(10) + "\r\n\r\n{}\r\n\r\n");
  EXPECT_EQ(ex.m_nSendPos, 0u);
}

TEST(Response, MembersInByteWiseKeyOrder) {
  CHttpExchange ex;
  const std::string strBody = "\r\n\r\n{\"outData\":\"AB\",\"return\":\"0\"}\r\n\r\n";
  ASSERT_EQ(strBody.size(), 37u);
  EXPECT_EQ(Build(ex, {{"return", "0"}, {"outData", "AB"}}), Head(37) + strBody);

  RequestParams result;
  result["return"] = "0";
  result["alpha"] = "a";
  result["Zeta"] = "Z";
  EXPECT_EQ(ComposeResponseBody(result),
            "\r\n\r\n{\"Zeta\":\"Z\",\"alpha\":\"a\",\"return\":\"0\"}\r\n\r\n");
}

TEST(Response, ValuesAreCopiedUnescaped) {
  CHttpExchange ex;
  const std::string strValue = "a\"b\\c\r\n\xC4\xE3";
  const std::string strBody = "\r\n\r\n{\"v\":\"" + strValue + "\"}\r\n\r\n";
  EXPECT_EQ(Build(ex, {{"v", strValue}}), Head(strBody.size()) + strBody);
}

TEST(Response, ZeroByteInAValueIsSentWithTheRest) {
  CHttpExchange ex;
  const std::string strValue("ab\0cd", 5);
  const std::string strBody = "\r\n\r\n{\"v\":\"" + strValue + "\"}\r\n\r\n";
  EXPECT_EQ(Build(ex, {{"v", strValue}}), Head(strBody.size()) + strBody);
}

TEST(Response, BufferIsReusedAndGrown) {
  CHttpExchange ex;
  Build(ex, {{"v", std::string(1000, 'x')}});
  const uint32_t nFirstSize = ex.m_nSendBufSize;
  EXPECT_GE(nFirstSize, ex.m_nSendLen + 1);
  Build(ex, {});
  EXPECT_EQ(ex.m_nSendBufSize, nFirstSize);
  const std::string strBig = Build(ex, {{"v", std::string(70000, 'y')}});
  EXPECT_EQ(strBig.size(), Head(70000 + 16).size() + 70000 + 16);
}

TEST(Response, DateIsAnHttpDateInUtc) {
  const std::string strDate = CurrentHttpDate();
  ASSERT_EQ(strDate.size(), 29u) << strDate;
  const std::string strDays = "SunMonTueWedThuFriSat";
  EXPECT_NE(strDays.find(strDate.substr(0, 3)), std::string::npos) << strDate;
  EXPECT_EQ(strDate.substr(3, 2), ", ");
  EXPECT_EQ(strDate.substr(25), " GMT");
  EXPECT_EQ(strDate[19], ':');
  EXPECT_EQ(strDate[22], ':');

  CHttpExchange ex;
  ASSERT_TRUE(ex.BuildResponse({}));
  const std::string strText(ex.m_pSendBuf.get(), ex.m_nSendLen);
  EXPECT_EQ(strText.size(), Head(10).size() + 10);
  EXPECT_EQ(strText.find("\r\nDate: "), 15u);
}

}  // namespace
