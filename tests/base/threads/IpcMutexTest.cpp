#include "base/threads/IpcMutex.h"

#include "base/system/NamedLock.h"
#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

TOLVAN_TEST_CHILD_HOOK;

namespace {

// A number of its own for each test, so parallel runs never share a name.
int UniqueNumber() {
  static int s_nNext = 0;
  return static_cast<int>((GetCurrentPid() % 100000) * 100 + static_cast<unsigned long>(++s_nNext));
}

std::string IpcName(int nNumber) { return "IpcMutex_" + std::to_string(nNumber); }

}  // namespace

class IpcMutex : public childrole::CLockDirFixture {};

TEST_F(IpcMutex, FirstObjectIsTheCreatorTheNameIsSharedAndAnyThreadMayUnlock) {
  int nNumber = UniqueNumber();
  CIpcMutex first(nNumber, true);
  CIpcMutex second(nNumber);
  EXPECT_TRUE(first.IsCreater());
  EXPECT_FALSE(second.IsCreater());

  EXPECT_EQ(first.Lock(), 0);
  CNamedLock probe(IpcName(nNumber).c_str());
  EXPECT_FALSE(probe.Acquire(0)) << "the lock is the named lock \"IpcMutex_<n>\"";
  EXPECT_EQ(first.Unlock(), 0);
  EXPECT_EQ(first.Unlock(), 0) << "unlocking a free lock does nothing";
  EXPECT_EQ(second.Lock(), 0);
  EXPECT_FALSE(probe.Acquire(0)) << "an extra Unlock must not let two holders in";
  EXPECT_EQ(second.Unlock(), 0);

  // Not recursive, and any thread may unlock.
  const CIpcMutex& mutex = first;
  ASSERT_EQ(mutex.Lock(), 0);
  std::atomic<bool> bSecondIn{false};
  std::thread waiter([&] {
    mutex.Lock();  // waits: the lock is taken, by this object too
    bSecondIn = true;
  });
  std::thread unlocker([&] { mutex.Unlock(); });
  unlocker.join();
  waiter.join();
  EXPECT_TRUE(bSecondIn);
  EXPECT_FALSE(probe.Acquire(0)) << "the second Lock holds it now";
  mutex.Unlock();
  EXPECT_TRUE(probe.Acquire(0));
}

TEST_F(IpcMutex, ChildHolderExcludesAndItsDeathFreesTheLockAtOnce) {
  for (bool bOpenDuringKill : childrole::OpenDuringKillCases()) {
    SCOPED_TRACE(bOpenDuringKill);
    int nNumber = UniqueNumber();
    std::unique_ptr<CIpcMutex> mine;
    if (bOpenDuringKill) mine = std::make_unique<CIpcMutex>(nNumber);
    childrole::CChild child;
    ASSERT_TRUE(child.StartHolding("ipc:" + std::to_string(nNumber),
                                   {bOpenDuringKill ? "opener" : "creator", "held"}));
    {
      CIpcMutex other(nNumber);
      EXPECT_FALSE(other.IsCreater());
      CNamedLock probe(IpcName(nNumber).c_str());
      EXPECT_FALSE(probe.Acquire(1000));
    }
    ASSERT_TRUE(child.KillAndWait());
    if (!mine) {
      mine = std::make_unique<CIpcMutex>(nNumber);
      EXPECT_TRUE(mine->IsCreater()) << "nobody else has the name open any more";
    }
    CNamedLock probe(IpcName(nNumber).c_str());
    EXPECT_TRUE(probe.Acquire(0));
    probe.Release();
    EXPECT_EQ(mine->Lock(), 0);
    EXPECT_FALSE(probe.Acquire(0));
    EXPECT_EQ(mine->Unlock(), 0);
  }
}
