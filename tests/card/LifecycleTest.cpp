// The initialised flag, pasInit, myEnd, the initialisation test and the key
// label reader.

#include "base/system/NamedLock.h"
#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <cstring>
#include <string>

using Lifecycle = CardDoubleTest;

// myEnd forgets the last serial but does not close the library; pasInit
// calls pkiInit and sets the flag even when it fails.
TEST_F(Lifecycle, MyEndAndPasInit) {
  setLastKeySerial("3D2C1B0A");
  EXPECT_EQ(1, myEnd());
  EXPECT_FALSE(pasIsInitialised());
  EXPECT_EQ("", getLastKeySerial());
  Switch("pkiInit", 55);
  EXPECT_EQ(55, pasInit());
  EXPECT_TRUE(pasIsInitialised());
  EXPECT_EQ("pkiInit\n", Calls());  // and no pkiEnd
}

TEST_F(Lifecycle, LocksNotTakenLeaveTheStateAsItWas) {
  {
    CNamedLock initLock(INIT_LOCK_NAME, 0);
    ASSERT_TRUE(initLock.IsHeld());
    EXPECT_EQ(-1, myEnd());
    EXPECT_FALSE(pasIsInitialised());  // the test cannot read the flag
    EXPECT_EQ(-1, pasInit());
  }
  EXPECT_TRUE(pasIsInitialised());  // myEnd changed nothing
  ASSERT_EQ(1, myEnd());
  {
    CNamedLock funcLock(FUNC_LOCK_NAME, 0);
    ASSERT_TRUE(funcLock.IsHeld());
    EXPECT_EQ(-1, pasInit());
  }
  EXPECT_FALSE(pasIsInitialised());
  EXPECT_EQ("", Calls());  // pkiInit was never called
  // pasInit released both locks: it runs again at once.
  EXPECT_EQ(0, pasInit());
}

namespace {
// The reader's result, and the label it left in a zeroed 60-byte buffer.
std::pair<int, std::string> ReadKeyLabel() {
  char szLabel[KEY_LABEL_SIZE];
  std::memset(szLabel, 0, sizeof(szLabel));
  int nResult = readKeyLabel(szLabel, sizeof(szLabel));
  EXPECT_EQ('\0', szLabel[KEY_LABEL_SIZE - 1]);
  return {nResult, szLabel};
}
}  // namespace

TEST_F(Lifecycle, KeyLabelIsTheTextBetweenTheTags) {
  using R = std::pair<int, std::string>;
  EXPECT_EQ(R(-1, ""), ReadKeyLabel());  // no file
  const std::pair<std::string, R> kCases[] = {
      {"<KeyLabel>ABC</KeyLabel>", R(0, "ABC")},
      {"<x>\r\n<KeyLabel>A B</KeyLabel><KeyLabel>C</KeyLabel>", R(0, "A B")},
      {"<KeyLabel></KeyLabel>", R(0, "")},
      {"</KeyLabel><KeyLabel>X</KeyLabel>", R(0, "X")},
      {"<KeyLabel>ABC", R(-1, "")},
      {"</KeyLabel>ABC<KeyLabel>", R(-1, "")},
      // Cut to 59 bytes so the buffer stays terminated.
      {"<KeyLabel>" + std::string(70, 'L') + "</KeyLabel>", R(0, std::string(59, 'L'))},
  };
  for (const auto& c : kCases) {
    WriteKeyLabelFile(c.first);
    EXPECT_EQ(c.second, ReadKeyLabel()) << c.first;
  }
}
