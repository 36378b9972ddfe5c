// The simulator's JSON reader: flat objects of strings and numbers are read,
// anything else is refused whole, and no input makes it read out of bounds.

#include <gtest/gtest.h>

#include <string>

#include "tools/cloudsim/SimJson.h"

namespace {

TEST(SimJson, ReadsFlatObjects) {
  struct {
    const char* szText;
    const char* szMember;
    const char* szValue;
  } cases[] = {
      {"{}", "a", ""},
      {" {\"a\" : \"x\" , \"b\":2}\r\n", "a", "x"},
      {"{\"a\":\"x\",\"b\":-2.5e+3}", "b", "-2.5e+3"},
      {"{\"a\":\"q\\\"\\\\\\/\\n\\t\"}", "a", "q\"\\/\n\t"},
      {"{\"a\":\"\\u00e9\\u4e2d\\ud83d\\ude00\"}", "a", "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80"},
      {"{\"a\":true}", "a", "true"},
  };
  for (const auto& c : cases) {
    CSimJsonObject object;
    ASSERT_TRUE(object.Parse(c.szText)) << c.szText;
    EXPECT_EQ(object.Get(c.szMember), c.szValue) << c.szText;
  }
  CSimJsonObject object;
  ASSERT_TRUE(object.Parse("{\"n\":\"123456\",\"m\":42,\"big\":99999999999999999999}"));
  long long n = 0;
  EXPECT_TRUE(object.GetInt("n", 0, 999999, n));
  EXPECT_EQ(n, 123456);
  EXPECT_FALSE(object.GetInt("m", 0, 41, n));
  EXPECT_FALSE(object.GetInt("big", 0, INT64_MAX, n));
}

TEST(SimJson, RefusesMalformedInput) {
  const std::string cases[] = {
      "",
      "[]",
      "{\"a\":{}}",
      "{\"a\":[1]}",
      "{\"a\":\"x\"} x",
      "{\"a\":\"x\",}",
      "{\"a\" \"x\"}",
      "{a:\"x\"}",
      "{\"a\":01}",
      "{\"a\":-}",
      "{\"a\":1.}",
      "{\"a\":\"\\x\"}",
      "{\"a\":\"\\u12\"}",
      "{\"a\":\"\\ud83d\"}",
      "{\"a\":\"\\ude00\"}",
      "{\"a\":\"tab\there\"}",
      "{\"a\":1,\"a\":2}",
      std::string("{\"a\":\"x\0y\"}", 11),
  };
  for (const std::string& strText : cases) {
    CSimJsonObject object;
    EXPECT_FALSE(object.Parse(strText)) << strText;
    EXPECT_FALSE(object.Has("a")) << strText;
  }
  // Every cut of a valid object is refused (read under the sanitizers).
  const std::string strWhole = "{\"cloudKey\":\"\\u00e9x\",\"delayMs\":-1.5E-3}";
  for (size_t n = 0; n < strWhole.size(); ++n) {
    CSimJsonObject object;
    EXPECT_FALSE(object.Parse(strWhole.substr(0, n))) << n;
  }
}

TEST(SimJson, WriterOutputReadsBack) {
  const std::string strValue = std::string("quote\" back\\ ctl\x01 nl\n \xe4\xb8\xad", 25);
  const std::string strText = CSimJsonWriter().Str("s", strValue).Num("n", -7).Text();
  CSimJsonObject object;
  ASSERT_TRUE(object.Parse(strText)) << strText;
  EXPECT_EQ(object.Get("s"), strValue);
  EXPECT_EQ(object.Get("n"), "-7");
}

}  // namespace
