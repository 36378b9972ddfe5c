// The initialised flag, pasInit, myEnd, the initialisation test, the key
// label reader and the passes of the key watch.

#include "base/system/NamedLock.h"
#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"
#include "card/KeyWatch.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <string>

using Lifecycle = CardDoubleTest;

// A lock held elsewhere: myEnd and pasInit answer -1 and change nothing; the
// key watch leaves the key pending and initialises it on a later pass.
TEST_F(Lifecycle, LocksNotTakenLeaveTheStateAsItWas) {
  bool bPending = false;
  {
    CNamedLock initLock(INIT_LOCK_NAME, 0);
    ASSERT_TRUE(initLock.IsHeld());
    EXPECT_EQ(-1, myEnd());
    EXPECT_FALSE(pasIsInitialised());  // the test cannot read the flag
    keyWatchPass("0A1B", bPending);
    EXPECT_TRUE(bPending);
  }
  EXPECT_TRUE(pasIsInitialised());  // myEnd changed nothing
  EXPECT_EQ("", getLastKeySerial());
  ASSERT_EQ(1, myEnd());
  {
    CNamedLock funcLock(FUNC_LOCK_NAME, 0);
    ASSERT_TRUE(funcLock.IsHeld());
    EXPECT_EQ(-1, pasInit());
  }
  EXPECT_FALSE(pasIsInitialised());
  EXPECT_EQ("", Calls());  // pkiInit was never called
  keyWatchPass("0A1B", bPending);  // both locks were released
  EXPECT_TRUE(pasIsInitialised());
  EXPECT_EQ("0A1B", getLastKeySerial());

  // The same key again changes nothing; after a failed operation closed the
  // library, the next pass initialises the same key again.
  keyWatchPass("0A1B", bPending);
  Switch("pkiGenerateRandom", 9);
  EXPECT_EQ("9", Call({{"Fun", "advGenRandom"}, {"length", "1"}})["return"]);
  EXPECT_FALSE(CardCallsAnswered());
  keyWatchPass("0A1B", bPending);
  EXPECT_TRUE(CardCallsAnswered());
  EXPECT_EQ(2u, CountOf(Calls(), "pkiInit\n"));
}

namespace {
// The reader's result, and the label it left in a zeroed 60-byte buffer.
std::pair<int, std::string> ReadKeyLabel() {
  char szLabel[KEY_LABEL_SIZE] = {};
  int nResult = readKeyLabel(szLabel, sizeof(szLabel));
  EXPECT_EQ('\0', szLabel[KEY_LABEL_SIZE - 1]);
  return {nResult, szLabel};
}
}  // namespace

TEST_F(Lifecycle, KeyLabelIsTheTextBetweenTheTags) {
  using R = std::pair<int, std::string>;
  EXPECT_EQ(R(-1, ""), ReadKeyLabel());  // no file
  const std::pair<std::string, R> kCases[] = {
      {"<x>\r\n<KeyLabel>A B</KeyLabel>", R(0, "A B")},
      {"</KeyLabel><KeyLabel>X</KeyLabel><KeyLabel>C</KeyLabel>", R(0, "X")},
      {"<KeyLabel>ABC", R(-1, "")},
      // Cut to 59 bytes so the buffer stays terminated.
      {"<KeyLabel>" + std::string(70, 'L') + "</KeyLabel>", R(0, std::string(59, 'L'))},
  };
  for (const auto& c : kCases) {
    WriteKeyLabelFile(c.first);
    EXPECT_EQ(c.second, ReadKeyLabel()) << c.first;
  }
}
