// Reading numeric request values.

#include "card/CardParams.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ParamToIntTest, ReadsLikeAtoiAndHoldsAtTheIntRange) {
  struct {
    const char* szText;
    int nValue;
  } const cases[] = {
      {"16", 16},          {" \t12x", 12},     {"-7", -7},         {"+5", 5},
      {"abc", 0},          {"", 0},            {"- 3", 0},         {"2147483647", INT_MAX},
      {"2147483648", INT_MAX}, {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN},
      {"99999999999999999999", INT_MAX}, {"007", 7},
  };
  for (const auto& c : cases) EXPECT_EQ(c.nValue, ParamToInt(c.szText)) << c.szText;
}
