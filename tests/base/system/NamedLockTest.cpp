#include "base/system/NamedLock.h"

#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using childrole::CChild;
using childrole::UniqueName;

class NamedLock : public childrole::CLockDirFixture {};

TEST_F(NamedLock, TwoObjectsInOneProcessExcludeEachOther) {
  std::string strName = UniqueName("lock");
  CNamedLock first(strName.c_str());
  CNamedLock second(strName.c_str());
  ASSERT_TRUE(first.IsValid());
  EXPECT_TRUE(first.IsCreator());
  EXPECT_FALSE(second.IsCreator());

  ASSERT_TRUE(first.Acquire(0));
  EXPECT_TRUE(first.Acquire(0)) << "the holder asks again";
  EXPECT_FALSE(second.Acquire(0));
  EXPECT_FALSE(second.Acquire(30));
  EXPECT_FALSE(second.IsHeld());

  CNamedLock other(UniqueName("other").c_str());
  EXPECT_TRUE(other.Acquire(0)) << "another name is another lock";

  first.Release();
  EXPECT_FALSE(first.IsHeld());
  EXPECT_TRUE(second.Acquire(0));
}

TEST_F(NamedLock, DestructorReleasesAndTimedConstructorTakes) {
  std::string strName = UniqueName("lock");
  {
    CNamedLock held(strName.c_str(), 1000);
    ASSERT_TRUE(held.IsHeld());
    CNamedLock refused(strName.c_str(), 0);
    EXPECT_FALSE(refused.IsHeld());
  }
  CNamedLock again(strName.c_str(), 0);
  EXPECT_TRUE(again.IsHeld());
}

TEST_F(NamedLock, WaiterGetsTheLockWhenItIsReleased) {
  std::string strName = UniqueName("lock");
  CNamedLock holder(strName.c_str());
  ASSERT_TRUE(holder.Acquire(0));
  std::atomic<int> nTimed{-1}, nForever{-1};
  std::thread timed([&] {
    CNamedLock waiter(strName.c_str());
    nTimed = waiter.Acquire(60000) ? 1 : 0;
  });
  std::thread forever([&] {
    CNamedLock waiter(strName.c_str());
    nForever = waiter.Acquire(TOLVAN_INFINITE) ? 1 : 0;
  });
  holder.Release();
  timed.join();
  forever.join();
  EXPECT_EQ(nTimed, 1);
  EXPECT_EQ(nForever, 1);
}

TEST_F(NamedLock, BadNamesGiveAnInvalidLock) {
  CNamedLock nullName(nullptr);
  CNamedLock emptyName("");
  CNamedLock longName(std::string(300, 'n').c_str());
  for (CNamedLock* p : {&nullName, &emptyName, &longName}) {
    EXPECT_FALSE(p->IsValid());
    EXPECT_FALSE(p->Acquire(0));
    p->Release();
  }
}

TEST_F(NamedLock, NamesThatNeedEscapingStayDistinct) {
  std::string strBase = UniqueName("esc");
  CNamedLock slash((strBase + "a/b c").c_str());
  CNamedLock escaped((strBase + "a%2Fb%20c").c_str());
  ASSERT_TRUE(slash.Acquire(0));
  EXPECT_TRUE(escaped.Acquire(0));
  CNamedLock slashAgain((strBase + "a/b c").c_str());
  EXPECT_FALSE(slashAgain.Acquire(0));
}

TEST_F(NamedLock, ChildHoldingTheLockMakesTheOneSecondWaitFail) {
  std::string strName = UniqueName("cross");
  CChild child;
  ASSERT_TRUE(child.Start("lock:" + strName));
  ASSERT_EQ(child.ReadLine(), "held");
  {
    CNamedLock mine(strName.c_str());
    EXPECT_FALSE(mine.IsCreator());
    EXPECT_FALSE(mine.Acquire(1000));
  }
  ASSERT_TRUE(child.KillAndWait());
  CNamedLock after(strName.c_str());
  EXPECT_TRUE(after.Acquire(0)) << "a killed holder leaves the lock free";
}

TEST_F(NamedLock, ChildEndingNormallyGivesTheLockBack) {
  std::string strName = UniqueName("cross");
  CChild child;
  ASSERT_TRUE(child.Start("lock:" + strName));
  ASSERT_EQ(child.ReadLine(), "held");
  child.Process().CloseInput();
  ASSERT_TRUE(child.Process().Wait(60000));
  CNamedLock after(strName.c_str());
  EXPECT_TRUE(after.Acquire(0));
}

TEST_F(NamedLock, LockStaysOpenWhileItsHolderIsKilled) {
#ifdef _WIN32
  GTEST_SKIP() << "a named event stays unsignalled while any handle to it is open; "
                  "only a fresh event (all handles closed) is free again";
#else
  std::string strName = UniqueName("cross");
  CNamedLock mine(strName.c_str());
  CChild child;
  ASSERT_TRUE(child.Start("lock:" + strName));
  ASSERT_EQ(child.ReadLine(), "held");
  EXPECT_FALSE(mine.Acquire(1000));
  ASSERT_TRUE(child.KillAndWait());
  EXPECT_TRUE(mine.Acquire(0)) << "the kernel frees the lock of a dead holder at once";
#endif
}

TEST_F(NamedLock, ChildDoesNotInheritAHeldLock) {
  std::string strName = UniqueName("inherit");
  CNamedLock mine(strName.c_str());
  ASSERT_TRUE(mine.Acquire(0));
  CChild child;
  ASSERT_TRUE(child.Start("lock:" + UniqueName("unrelated")));
  ASSERT_EQ(child.ReadLine(), "held");
  mine.Release();
  // The child is still running with every descriptor it inherited: the lock
  // must be free all the same.
  CNamedLock probe(strName.c_str());
  EXPECT_TRUE(probe.Acquire(0));
  child.Process().CloseInput();
  ASSERT_TRUE(child.Process().Wait(60000));
}

#ifndef _WIN32
TEST_F(NamedLock, LockFilesLiveInAPrivateDirectory) {
  std::string strName = UniqueName("file");
  CNamedLock lock(strName.c_str());
  ASSERT_TRUE(lock.IsValid());
  std::string strDir = m_strDir + "/tolvan";
  struct stat st;
  ASSERT_EQ(::stat(strDir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::exists(strDir + "/" + strName + ".lock"));
}

TEST_F(NamedLock, RefusesADirectoryOthersCanEnter) {
  std::string strDir = m_strDir + "/tolvan";
  ASSERT_EQ(::mkdir(strDir.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(strDir.c_str(), 0755), 0);
  CNamedLock lock(UniqueName("open").c_str());
  EXPECT_FALSE(lock.IsValid());
  EXPECT_FALSE(lock.Acquire(0));
}
#endif
