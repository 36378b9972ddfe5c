// The initialised flag, pasInit, myEnd, the initialisation test, the key
// label reader and the passes of the key watch.

#include "base/system/NamedLock.h"
#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"
#include "card/KeyWatch.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

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
      // Cut to 59 bytes so the buffer stays terminated.
      {"<KeyLabel>" + std::string(70, 'L') + "</KeyLabel>", R(0, std::string(59, 'L'))},
  };
  for (const auto& c : kCases) {
    WriteKeyLabelFile(c.first);
    EXPECT_EQ(c.second, ReadKeyLabel()) << c.first;
  }
}

class KeyWatch : public CardDoubleTest {
 protected:
  void SetUp() override {
    CardDoubleTest::SetUp();
    ASSERT_EQ(1, myEnd());  // the watch starts with the library closed
    ClearCalls();
  }
  bool m_bPending = false;
};

TEST_F(KeyWatch, KeyPresentRemovedReplacedAndAfterAFailure) {
  keyWatchPass("0A1B", m_bPending);
  EXPECT_TRUE(CardCallsAnswered());
  EXPECT_EQ("0A1B", getLastKeySerial());
  EXPECT_FALSE(m_bPending);
  keyWatchPass("0A1B", m_bPending);  // the same key is left alone
  EXPECT_EQ("pkiInit\n", Calls());

  keyWatchPass("", m_bPending);
  EXPECT_FALSE(CardCallsAnswered());
  EXPECT_EQ("", getLastKeySerial());
  keyWatchPass("0A1B", m_bPending);
  keyWatchPass("FFEE", m_bPending);
  EXPECT_TRUE(CardCallsAnswered());
  EXPECT_EQ("FFEE", getLastKeySerial());
  EXPECT_EQ("pkiInit\npkiInit\npkiInit\n", Calls());

  // A failed operation closed the library: the same key is initialised again.
  Switch("pkiGenerateRandom", 9);
  EXPECT_EQ("9", Call({{"Fun", "advGenRandom"}, {"length", "1"}})["return"]);
  EXPECT_FALSE(CardCallsAnswered());
  keyWatchPass("FFEE", m_bPending);
  EXPECT_TRUE(CardCallsAnswered());
}

TEST_F(KeyWatch, KeyStaysPendingWhileTheLocksAreTaken) {
  {
    CNamedLock initLock(INIT_LOCK_NAME, 0);
    ASSERT_TRUE(initLock.IsHeld());
    keyWatchPass("0A1B", m_bPending);
    EXPECT_TRUE(m_bPending);
  }
  EXPECT_EQ("", getLastKeySerial());
  EXPECT_FALSE(CardCallsAnswered());
  keyWatchPass("0A1B", m_bPending);
  EXPECT_TRUE(CardCallsAnswered());
  EXPECT_EQ("0A1B", getLastKeySerial());
}

TEST_F(KeyWatch, LoopRunsOnePassPerWaitWhileRunning) {
  std::vector<std::string> probes = {"01", "01", "", "02"};
  size_t nPass = 0;
  int nWaits = 0;
  setLastKeySerial("stale");
  EXPECT_EQ(0, runKeyWatch([&] { return nPass < probes.size(); }, [&] { return probes[nPass++]; },
                           [&] { ++nWaits; }));
  EXPECT_EQ(4, nWaits);
  EXPECT_EQ("02", getLastKeySerial());
  EXPECT_EQ("pkiInit\npkiInit\n", Calls());
}
