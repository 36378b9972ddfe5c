// Passes of the key watch against the card library double.

#include "base/system/NamedLock.h"
#include "card/CardLifecycle.h"
#include "card/KeyWatch.h"
#include "card/NamedEventLock.h"
#include "tests/card/CardTestSupport.h"

#include <string>
#include <vector>

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
