#include "base/search/DecimalText.h"

#include <gtest/gtest.h>

#include <climits>

TEST(DecimalText, ReadsLikeStrtolAndHoldsAtTheInt32RangeAndStrictlyUpTo19Digits) {
  struct {
    const char* szText;
    int32_t nValue;
  } const cases[] = {
      {"16", 16}, {" \t12x", 12}, {"-7", -7}, {"+5", 5}, {"abc", 0}, {"- 3", 0},
      {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN},
      {"-99999999999999999999", INT_MIN}, {"99999999999999999999", INT_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(c.nValue, ParseDecimal(c.szText)) << c.szText;
  // Only the given bytes count: a length field is not terminated.
  EXPECT_EQ(ParseDecimal("1234", 2), 12);
  EXPECT_EQ(ParseDecimal(std::string("12\0" "34", 5)), 12);
  EXPECT_EQ(ParseDecimal(nullptr, 3), 0);
  // The longest number the strict reading takes.
  uint64_t n = 0;
  EXPECT_TRUE(ParseDecimalDigits("1234567890123456789", n) && n == 1234567890123456789u);
}
