// CIpcMutex: the named lock "IpcMutex_<n>", shared by every object of that
// number, not recursive, and unlocked by any thread.
#include "base/threads/IpcMutex.h"

#include "base/system/NamedLock.h"
#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

class IpcMutex : public childrole::CLockDirFixture {};

TEST_F(IpcMutex, FirstObjectIsTheCreatorTheNameIsSharedAndAnyThreadMayUnlock) {
  const int nNumber = static_cast<int>(GetCurrentPid() % 1000000);
  CIpcMutex first(nNumber, true);
  CIpcMutex second(nNumber);
  EXPECT_TRUE(first.IsCreater());
  EXPECT_FALSE(second.IsCreater());
  CNamedLock probe(("IpcMutex_" + std::to_string(nNumber)).c_str());
  EXPECT_EQ(second.Lock(), 0);
  EXPECT_FALSE(probe.Acquire(0)) << "the lock is the named lock \"IpcMutex_<n>\"";
  EXPECT_EQ(second.Unlock(), 0);
  EXPECT_EQ(second.Unlock(), 0) << "unlocking a free lock does nothing";

  ASSERT_EQ(first.Lock(), 0);
  EXPECT_FALSE(probe.Acquire(0)) << "an extra Unlock must not let two holders in";
  std::atomic<bool> bSecondIn{false};
  std::thread waiter([&] {
    first.Lock();  // waits: the lock is taken, by this object too
    bSecondIn = true;
  });
  std::thread unlocker([&] { first.Unlock(); });
  unlocker.join();
  waiter.join();
  EXPECT_TRUE(bSecondIn);
  EXPECT_FALSE(probe.Acquire(0)) << "the second Lock holds it now";
  first.Unlock();
  EXPECT_TRUE(probe.Acquire(0));
}
