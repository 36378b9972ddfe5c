// Decoding of form-encoded text into a parameter map, and its helpers.
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

struct DecodingCase {
  const char* szText;
  RequestParams expected;
};

TEST(RequestDecoding, TableOfTexts) {
  const std::vector<DecodingCase> vecCases = {
      {"a=1&b=2&a=3", {{"a", "3"}, {"b", "2"}}},
      {"a&b=", {{"a", ""}, {"b", ""}}},
      {"x=1&&y=2", {{"", ""}, {"x", "1"}, {"y", "2"}}},
      {"x=1&", {{"x", "1"}}},
      {"&x=1", {{"", ""}, {"x", "1"}}},
      {"k=a=b", {{"k", "a=b"}}},
      {"k+1=v%2b", {{"k+1", "v+"}}},
      {"v=x+y%20z", {{"v", "x y z"}}},
      {"v=%41%4a%4A", {{"v", "AJJ"}}},
      {"v=ab%00cd", {{"v", "ab"}}},
      {"v=abc%4", {{"v", "abc"}}},
      {"", {{"", ""}}},
  };
  for (const DecodingCase& c : vecCases) {
    EXPECT_EQ(Decode(c.szText), c.expected) << "text: " << c.szText;
  }
}

TEST(RequestDecoding, HighBytesPassUnchanged) {
  std::string strValue;
  for (int i = 0x80; i <= 0xFF; ++i) strValue += static_cast<char>(i);
  EXPECT_EQ(Decode("v=" + strValue).at("v"), strValue);
  EXPECT_EQ(UrlDecode("%C4%E3%BA%C3"), "\xC4\xE3\xBA\xC3");
}

// The cases the escapes leave open: a "%" that begins no escape stands for
// itself; one digit cut short by the end is dropped.
TEST(RequestDecoding, MalformedEscapes) {
  EXPECT_EQ(UrlDecode("100%"), "100%");
  EXPECT_EQ(UrlDecode("%"), "%");
  EXPECT_EQ(UrlDecode("%zz"), "%zz");
  EXPECT_EQ(UrlDecode("%4z1"), "%4z1");
  EXPECT_EQ(UrlDecode("%%41"), "%A");
  EXPECT_EQ(UrlDecode("a%+b"), "a% b");
  EXPECT_EQ(UrlDecode("x%4"), "x");
  EXPECT_EQ(UrlDecode("%4"), "");
}

TEST(RequestDecoding, DisplacedByteIsAppended) {
  CHttpExchange exchange;
  RequestParams params;
  exchange.ParseParams("a=1&b=2", true, '3', params);
  EXPECT_EQ(params, (RequestParams{{"a", "1"}, {"b", "23"}}));
}

TEST(RequestDecoding, SplitStringKeepsInnerEmptyPieces) {
  std::vector<std::string> vecPieces{"stale"};
  SplitString("a&&b&", "&", vecPieces);
  EXPECT_EQ(vecPieces, (std::vector<std::string>{"a", "", "b"}));
  SplitString("", "&", vecPieces);
  EXPECT_EQ(vecPieces, (std::vector<std::string>{""}));
  SplitString("a::b", "::", vecPieces);
  EXPECT_EQ(vecPieces, (std::vector<std::string>{"a", "b"}));
  SplitString("abc", "", vecPieces);
  EXPECT_EQ(vecPieces, (std::vector<std::string>{"abc"}));
}

TEST(RequestDecoding, HexHelpers) {
  EXPECT_EQ(ByteToHex(0x00), "00");
  EXPECT_EQ(ByteToHex(0xAF), "AF");
  EXPECT_EQ(ByteToHex(0x5c), "5C");
  unsigned char szOut[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexToBytes(szOut, "4a6B"), 2);
  EXPECT_EQ(szOut[0], 0x4A);
  EXPECT_EQ(szOut[1], 0x6B);
  // An odd tail takes the terminator as its low digit; the count leaves it out.
  EXPECT_EQ(HexToBytes(szOut, "415"), 1);
  EXPECT_EQ(szOut[0], 0x41);
  EXPECT_EQ(HexToBytes(szOut, ""), 0);
}

}  // namespace
