// Composition of the response bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "http/HttpExchange.h"

namespace {

// Sets (or, for null, clears) TZ and makes the C library read it again.
void SetTimeZone(const char* szTz) {
#ifdef _WIN32
  _putenv_s("TZ", szTz != nullptr ? szTz : "");
  _tzset();
#else
  if (szTz != nullptr) {
    setenv("TZ", szTz, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

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
  EXPECT_EQ(ex.m_nSendPos, 0u);
  return std::string(ex.m_pSendBuf.get(), ex.m_nSendLen);
}

// Members in byte-wise key order, values copied unescaped (zero bytes too).
TEST(Response, ExactBytes) {
  const std::string strOdd = std::string("a\"b\\c\r\n\xC4\xE3", 9) + std::string("\0z", 2);
  const std::pair<RequestParams, std::string> kCases[] = {
      {{}, "{}"},
      {{{"return", "0"}, {"alpha", "a"}, {"Zeta", "Z"}},
       "{\"Zeta\":\"Z\",\"alpha\":\"a\",\"return\":\"0\"}"},
      {{{"v", strOdd}}, "{\"v\":\"" + strOdd + "\"}"},
  };
  CHttpExchange ex;  // one exchange: each response replaces the one before
  for (const auto& c : kCases) {
    const std::string strBody = "\r\n\r\n" + c.second + "\r\n\r\n";
    EXPECT_EQ(Build(ex, c.first), Head(strBody.size()) + strBody);
  }
  EXPECT_EQ(Build(ex, {}), Head(10) + "\r\n\r\n{}\r\n\r\n");  // shorter than the one before
  // With the current date in its place.
  ASSERT_TRUE(ex.BuildResponse({}));
  const std::string strText(ex.m_pSendBuf.get(), ex.m_nSendLen);
  EXPECT_EQ(strText.size(), Head(10).size() + 10);
  EXPECT_EQ(strText.find("\r\nDate: "), 15u);
}

// The HTTP date of a moment, formatted here by the C library (C locale).
std::string HttpDateOf(std::time_t t) {
  char szDate[64];
  std::strftime(szDate, sizeof(szDate), "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&t));
  return szDate;
}

TEST(Response, DateIsAnHttpDateInUtc) {
  // A zone far from UTC, so that a date taken from the local clock shows.
  const char* szOldTz = std::getenv("TZ");
  const std::string strOldTz = szOldTz != nullptr ? szOldTz : "";
  SetTimeZone("CST-8");
  const std::time_t nBefore = std::time(nullptr);
  const std::string strDate = CurrentHttpDate();
  const std::time_t nAfter = std::time(nullptr);
  SetTimeZone(szOldTz != nullptr ? strOldTz.c_str() : nullptr);
  bool bMatches = false;
  for (std::time_t t = nBefore; t <= nAfter; ++t) bMatches |= strDate == HttpDateOf(t);
  EXPECT_TRUE(bMatches) << strDate << " vs " << HttpDateOf(nBefore);
}

}  // namespace
