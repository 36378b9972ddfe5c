#include "base/search/StringSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using MemorySearch = int (*)(const unsigned char*, unsigned, const unsigned char*, unsigned);

const struct {
  const char* szName;
  MemorySearch pMemory;
  int (*pStr)(const char*, const char*);
} s_searches[] = {
    {"KMP", KMPSearchMemory, KMPSearchStr},
    {"BM", BMSearchMemory, BMSearchStr},
    {"Sunday", SundaySearchMemory, SundaySearchStr},
};

int Search(MemorySearch pSearch, const std::string& strText, const std::string& strPattern) {
  return pSearch(reinterpret_cast<const unsigned char*>(strText.data()),
                 static_cast<unsigned>(strText.size()),
                 reinterpret_cast<const unsigned char*>(strPattern.data()),
                 static_cast<unsigned>(strPattern.size()));
}

}  // namespace

TEST(StringSearch, StringFormsAndNullInputs) {
  struct Case {
    const char *szText, *szPattern;
    int nWant;
  } const cases[] = {
      {"xyabxyab", "ab", 2}, {"abc", "abcd", -1}, {"abc", "", 0},
      {nullptr, "a", -1},    {"a", nullptr, -1},
  };
  const unsigned char tail[] = {0, 'c'};
  for (const auto& s : s_searches) {
    SCOPED_TRACE(s.szName);
    for (const Case& c : cases) EXPECT_EQ(s.pStr(c.szText, c.szPattern), c.nWant) << c.szPattern;
    EXPECT_EQ(s.pMemory(nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(s.pMemory(nullptr, 5, tail, 1), -1);
    EXPECT_EQ(s.pMemory(tail, sizeof(tail), nullptr, 1), -1);
  }
}

// The three searches agree with std::string::find on random inputs over small
// alphabets (zero bytes included), where repeats and near-misses are frequent.
TEST(StringSearch, AgreesWithFindOnRandomInputs) {
  std::mt19937 rng(20240611u);
  const std::string alphabets[] = {std::string("ab"), std::string("a\0b", 3),
                                   std::string("\0\xff", 2), std::string("abcd\0", 5)};
  std::uniform_int_distribution<int> textLen(0, 120), patternLen(0, 10), coin(0, 2);
  int nFound = 0;
  for (int iter = 0; iter < 30000; ++iter) {
    const std::string& alphabet = alphabets[iter % 4];
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string strText(static_cast<size_t>(textLen(rng)), '\0');
    for (char& c : strText) c = alphabet[pick(rng)];
    std::string strPattern(static_cast<size_t>(patternLen(rng)), '\0');
    if (coin(rng) == 0 && strPattern.size() <= strText.size()) {
      // A slice of the text, so that matches are common.
      std::uniform_int_distribution<size_t> start(0, strText.size() - strPattern.size());
      strPattern = strText.substr(start(rng), strPattern.size());
    } else {
      for (char& c : strPattern) c = alphabet[pick(rng)];
    }
    const size_t nPos = strText.find(strPattern);
    const int nExpected = nPos == std::string::npos ? -1 : static_cast<int>(nPos);
    if (nExpected > 0) ++nFound;
    for (const auto& s : s_searches) {
      ASSERT_EQ(Search(s.pMemory, strText, strPattern), nExpected) << s.szName << " at " << iter;
    }
  }
  EXPECT_GT(nFound, 3000);  // the inputs exercise real matches, not just misses
}

// The fixed tables bound the pattern length: a longer pattern is refused with
// -1 instead of overrunning a table (the sanitizer build would catch that).
TEST(StringSearch, PatternLengthLimits) {
  std::string strPattern(1025, 'x');
  strPattern[0] = 'y';
  std::string strText = std::string(3000, 'z') + strPattern + "tail";
  auto prefix = [&](size_t n) { return strPattern.substr(0, n); };
  EXPECT_EQ(Search(KMPSearchMemory, strText, prefix(KMP_MAX_PATTERN)), 3000);
  EXPECT_EQ(Search(KMPSearchMemory, strText, prefix(KMP_MAX_PATTERN + 1)), -1);
  EXPECT_EQ(Search(BMSearchMemory, strText, prefix(BM_MAX_PATTERN)), 3000);
  EXPECT_EQ(Search(BMSearchMemory, strText, prefix(BM_MAX_PATTERN + 1)), -1);
  EXPECT_EQ(Search(SundaySearchMemory, strText, strPattern), 3000);  // Sunday has no limit
}
