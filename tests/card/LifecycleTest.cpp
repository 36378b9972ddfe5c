// The initialised flag, pasInit, myEnd, the initialisation test, the named
// event lock and the key label reader.

#include "base/system/NamedLock.h"
#include "base/system/Process.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <cstring>
#include <string>

using Lifecycle = CardDoubleTest;

TEST_F(Lifecycle, PasInitCallsPkiInitAndSetsTheFlagEvenWhenItFails) {
  ASSERT_EQ(1, myEnd());
  EXPECT_FALSE(pasIsInitialised());
  FailWith("pkiInit", 55);
  EXPECT_EQ(55, pasInit());
  EXPECT_TRUE(pasIsInitialised());
  EXPECT_EQ("pkiInit\n", Calls());
}

TEST_F(Lifecycle, MyEndForgetsTheLastSerialButDoesNotCloseTheLibrary) {
  setLastKeySerial("3D2C1B0A");
  EXPECT_EQ(1, myEnd());
  EXPECT_FALSE(pasIsInitialised());
  EXPECT_EQ("", getLastKeySerial());
  EXPECT_EQ("", Calls());  // no pkiEnd
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

TEST(NamedEventLockTest, ExcludesOtherHoldersUntilDestroyed) {
  {
    NamedEventLock first("TOLVAN_CARD_TEST_LOCK", 0);
    ASSERT_TRUE(first.IsAcquired());
    NamedEventLock second("TOLVAN_CARD_TEST_LOCK", 0);
    EXPECT_FALSE(second.IsAcquired());
  }
  NamedEventLock third("TOLVAN_CARD_TEST_LOCK", 0);
  EXPECT_TRUE(third.IsAcquired());
}

class KeyLabelReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    m_bHadDir = GetEnvVar("TOLVAN_CONFIG_DIR", m_strOldDir);
    ASSERT_TRUE(SetEnvVar("TOLVAN_CONFIG_DIR", m_dir.Str().c_str()));
  }
  void TearDown() override {
    SetEnvVar("TOLVAN_CONFIG_DIR", m_bHadDir ? m_strOldDir.c_str() : nullptr);
  }
  // The reader's result, and the label it left in a zeroed 60-byte buffer.
  std::pair<int, std::string> Read(const std::string& strContent) {
    WriteTestFile(m_dir, KEY_LABEL_FILE, strContent);
    char szLabel[KEY_LABEL_SIZE];
    std::memset(szLabel, 0, sizeof(szLabel));
    int nResult = readKeyLabel(szLabel, sizeof(szLabel));
    EXPECT_EQ('\0', szLabel[KEY_LABEL_SIZE - 1]);
    return {nResult, szLabel};
  }

  CTempDir m_dir;
  std::string m_strOldDir;
  bool m_bHadDir = false;
};

TEST_F(KeyLabelReader, ReadsTheTextBetweenTheTags) {
  using R = std::pair<int, std::string>;
  EXPECT_EQ(R(0, "ABC"), Read("<KeyLabel>ABC</KeyLabel>"));
  EXPECT_EQ(R(0, "A B"), Read("<x>\r\n<KeyLabel>A B</KeyLabel><KeyLabel>C</KeyLabel>"));
  EXPECT_EQ(R(0, ""), Read("<KeyLabel></KeyLabel>"));
  EXPECT_EQ(R(0, "X"), Read("</KeyLabel><KeyLabel>X</KeyLabel>"));
  EXPECT_EQ(R(-1, ""), Read("<KeyLabel>ABC"));
  EXPECT_EQ(R(-1, ""), Read("ABC</KeyLabel>"));
  EXPECT_EQ(R(-1, ""), Read("</KeyLabel>ABC<KeyLabel>"));
  EXPECT_EQ(R(-1, ""), Read(""));
  // Cut to 59 bytes so the buffer stays terminated.
  EXPECT_EQ(R(0, std::string(59, 'L')), Read("<KeyLabel>" + std::string(70, 'L') + "</KeyLabel>"));
}

TEST_F(KeyLabelReader, MissingFileGivesNoLabel) {
  char szLabel[KEY_LABEL_SIZE] = {0};
  EXPECT_EQ(-1, readKeyLabel(szLabel, sizeof(szLabel)));
  EXPECT_EQ('\0', szLabel[0]);
}
