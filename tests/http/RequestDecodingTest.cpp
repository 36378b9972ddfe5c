// Decoding of form-encoded text into a parameter map.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/HttpExchange.h"
#include "http/UrlCodec.h"

namespace {

RequestParams Decode(const std::string& strText) {
  CHttpExchange exchange;
  RequestParams params;
  exchange.ParseParams(strText.c_str(), false, 0, params);
  return params;
}

TEST(RequestDecoding, TableOfTextsAndMalformedEscapes) {
  const std::vector<std::pair<const char*, RequestParams>> vecCases = {
      {"a=1&b=2&a=3", {{"a", "3"}, {"b", "2"}}},
      {"a&b=", {{"a", ""}, {"b", ""}}},
      {"x=1&&y=2", {{"", ""}, {"x", "1"}, {"y", "2"}}},
      {"x=1&", {{"x", "1"}}},
      {"k=a=b", {{"k", "a=b"}}},
      {"k+1=v%2b", {{"k+1", "v+"}}},
      {"v=x+y%20z", {{"v", "x y z"}}},
      {"v=%41%4a%4A", {{"v", "AJJ"}}},
      {"v=ab%00cd", {{"v", "ab"}}},
      {"", {{"", ""}}},
  };
  for (const auto& c : vecCases) EXPECT_EQ(Decode(c.first), c.second) << "text: " << c.first;

  std::string strHigh;
  for (int i = 0x80; i <= 0xFF; ++i) strHigh += static_cast<char>(i);
  EXPECT_EQ(Decode("v=" + strHigh).at("v"), strHigh);

  // A "%" that begins no escape stands for itself; one digit cut short by the
  // end is dropped.
  const std::pair<const char*, const char*> kCases[] = {
      {"100%", "100%"}, {"%zz", "%zz"}, {"%4z1", "%4z1"}, {"%%41", "%A"},
      {"a%+b", "a% b"}, {"x%4", "x"},   {"%C4%E3%BA%C3", "\xC4\xE3\xBA\xC3"},
  };
  for (const auto& c : kCases) EXPECT_EQ(UrlDecode(c.first), c.second) << c.first;
}

}  // namespace
