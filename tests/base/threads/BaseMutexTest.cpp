#include "base/threads/BaseMutex.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

int TryFromAnotherThread(const CBaseMutex& mutex) {
  int nResult = -1;
  std::thread t([&] {
    nResult = mutex.Lock_Try();
    if (nResult == 0) mutex.Unlock();
  });
  t.join();
  return nResult;
}

}  // namespace

TEST(BaseMutex, OwnerMayEnterAgainAndMustLeaveAsOften) {
  CBaseMutex mutex;
  EXPECT_EQ(mutex.Lock(), 0);
  EXPECT_EQ(mutex.Lock_Try(), 0) << "re-entry by the owner";
  {
    CAutoMutexT<CBaseMutex> guard(mutex);
    CAutoMutexT<CBaseMutex> none(static_cast<const CBaseMutex*>(nullptr));
  }
  EXPECT_EQ(mutex.Unlock(), 0);
  EXPECT_EQ(TryFromAnotherThread(mutex), 16) << "still entered once";
  EXPECT_EQ(mutex.Unlock(), 0);
  EXPECT_EQ(TryFromAnotherThread(mutex), 0);
  {
    CAutoMutexT<CBaseMutex> guard(&mutex);
    EXPECT_EQ(TryFromAnotherThread(mutex), 16);
  }
  EXPECT_EQ(TryFromAnotherThread(mutex), 0);
}
