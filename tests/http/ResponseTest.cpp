// Composition of the response bytes.
#include <gtest/gtest.h>

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

std::string Build(const RequestParams& result) {
  CHttpExchange ex;
  EXPECT_TRUE(ex.BuildResponseDated(result, kDate));
  EXPECT_EQ(ex.m_pSendBuf.get()[ex.m_nSendLen], '\0');
  EXPECT_EQ(ex.m_nSendPos, 0u);
  return std::string(ex.m_pSendBuf.get(), ex.m_nSendLen);
}

// Members in byte-wise key order, values copied unescaped (zero bytes too).
TEST(Response, ExactBytes) {
  const std::string strOdd = std::string("a\"b\\c\r\n\xC4\xE3", 9) + std::string("\0z", 2);
  const std::pair<RequestParams, std::string> kCases[] = {
      {{}, "{}"},
      {{{"return", "0"}, {"outData", "AB"}}, "{\"outData\":\"AB\",\"return\":\"0\"}"},
      {{{"return", "0"}, {"alpha", "a"}, {"Zeta", "Z"}},
       "{\"Zeta\":\"Z\",\"alpha\":\"a\",\"return\":\"0\"}"},
      {{{"v", strOdd}}, "{\"v\":\"" + strOdd + "\"}"},
  };
  for (const auto& c : kCases) {
    const std::string strBody = "\r\n\r\n" + c.second + "\r\n\r\n";
    EXPECT_EQ(Build(c.first), Head(strBody.size()) + strBody);
  }
  EXPECT_EQ(Build({}).size(), Head(10).size() + 10);  // the 10-byte empty body
}

TEST(Response, DateIsAnHttpDateInUtc) {
  const std::string strDate = CurrentHttpDate();
  ASSERT_EQ(strDate.size(), 29u) << strDate;
  EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(strDate.substr(0, 3)), std::string::npos);
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
