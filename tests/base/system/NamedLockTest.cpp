// The named locks, flags and single-instance guard that keep one agent per user.
#include "base/system/NamedLock.h"

#include "base/system/NamedFlag.h"
#include "base/system/SingleInstance.h"
#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using childrole::CChild;

class NamedLock : public childrole::CLockDirFixture {};
using NamedFlag = childrole::CLockDirFixture;

namespace {

// A lock name of its own for each call, so that parallel runs (and Windows'
// session-wide names) never meet.
std::string UniqueName(const char* szWhat) {
  static int s_nCounter = 0;
  return std::string("tolvan_test_") + szWhat + "_" + std::to_string(GetCurrentPid()) + "_" +
         std::to_string(++s_nCounter);
}

}  // namespace

TEST_F(NamedLock, ObjectsExcludeEachOtherUntilReleasedBadNamesAreInvalidAndSingleInstanceGuards) {
  std::string strName = UniqueName("lock");
  {
    CNamedLock first(strName.c_str());
    CNamedLock second(strName.c_str());
    ASSERT_TRUE(first.IsValid());
    EXPECT_TRUE(first.IsCreater());
    EXPECT_FALSE(second.IsCreater());
    ASSERT_TRUE(first.Acquire(0));
    EXPECT_TRUE(first.Acquire(0)) << "the holder asks again";
    EXPECT_FALSE(second.Acquire(30));
    CNamedLock other(UniqueName("other").c_str());
    EXPECT_TRUE(other.Acquire(0)) << "another name is another lock";
    first.Release();
    EXPECT_TRUE(second.Acquire(0));
  }
  CNamedLock again(strName.c_str(), 1000);  // the timed constructor
  EXPECT_TRUE(again.IsHeld()) << "the destructor releases";

  // Bad names are invalid, escaped names stay distinct.
  const std::string strLong(300, 'n');
  for (const char* szName : {static_cast<const char*>(nullptr), "", strLong.c_str()}) {
    CNamedLock bad(szName);
    EXPECT_FALSE(bad.IsValid());
    EXPECT_FALSE(bad.Acquire(0));
  }
  std::string strBase = UniqueName("esc");
  CNamedLock slash((strBase + "a/b c").c_str());
  CNamedLock escaped((strBase + "a%2Fb%20c").c_str());
  ASSERT_TRUE(slash.Acquire(0));
  EXPECT_TRUE(escaped.Acquire(0));

  // The single-instance guard: the first holds, a second sees it, a gone holder frees the name.
  const std::string strInst = UniqueName("inst");
  {
    CSingleInstance first(strInst.c_str());
    EXPECT_TRUE(first.IsHeld() && !first.IsAnotherInstance());
    CSingleInstance second(strInst.c_str());
    EXPECT_TRUE(!second.IsHeld() && second.IsAnotherInstance());
  }
  CSingleInstance next(strInst.c_str()), none("");
  EXPECT_TRUE(next.IsHeld() && !next.IsAnotherInstance());
  EXPECT_TRUE(!none.IsHeld() && !none.IsAnotherInstance()) << "no name guards nothing";
}

// A child holding a lock makes a one-second wait fail until it is killed; a killed holder leaves
// the lock free at once, on POSIX also while this process has the name open (a named event on
// Windows stays unsignalled while any handle to it is open: only a fresh one is free again).
// The child does not inherit the lock this process held when it started.
TEST_F(NamedLock, ChildHolderExcludesUntilKilledAndInheritsNoLock) {
  std::string strName = UniqueName("cross"), strHeld = UniqueName("inherit");
  CNamedLock held(strHeld.c_str());
  ASSERT_TRUE(held.Acquire(0));
  CChild child;
  ASSERT_TRUE(child.Start("wait:" + strName));
  ASSERT_EQ(child.ReadLine(), "held");
  held.Release();
  EXPECT_TRUE(CNamedLock(strHeld.c_str()).Acquire(0)) << "free while the child runs on";
  {
    CNamedLock probe(strName.c_str());
    EXPECT_FALSE(probe.IsCreater());
    EXPECT_FALSE(probe.Acquire(1000));
  }
  std::unique_ptr<CNamedLock> mine;
#ifndef _WIN32
  mine = std::make_unique<CNamedLock>(strName.c_str());
#endif
  ASSERT_TRUE(child.KillAndWait());
  if (!mine) mine = std::make_unique<CNamedLock>(strName.c_str());
  EXPECT_TRUE(mine->Acquire(0));
}

TEST_F(NamedFlag, SetIsSeenByAnotherHolderAndOutlivesItsCreatorAndBadNamesAreInvalid) {
  std::string strName = UniqueName("quit_flag");
  std::unique_ptr<CNamedFlag> watcher;
  {
    CNamedFlag creator(strName.c_str(), CNamedFlag::emCreate);
    ASSERT_TRUE(creator.IsValid());
    watcher = std::make_unique<CNamedFlag>(strName.c_str(), CNamedFlag::emOpenExisting);
    ASSERT_TRUE(watcher->IsValid());
    EXPECT_FALSE(watcher->IsSet());
    ASSERT_TRUE(creator.Set());
    EXPECT_TRUE(creator.IsSet());
  }
  EXPECT_TRUE(watcher->IsSet());
  // Creating it again resets it for every holder.
  CNamedFlag again(strName.c_str(), CNamedFlag::emCreate);
  ASSERT_TRUE(again.IsValid());
  EXPECT_TRUE(!again.IsSet() && !watcher->IsSet());
  again.Remove();

  // Unknown or unusable names are invalid.
  CNamedFlag missing(UniqueName("quit_flag").c_str(), CNamedFlag::emOpenExisting);
  EXPECT_FALSE(missing.IsValid() || missing.Set());
  EXPECT_FALSE(CNamedFlag("", CNamedFlag::emCreate).IsValid());
  // A name with path characters stays inside the runtime directory.
  CNamedFlag tricky("../../escape/flag", CNamedFlag::emCreate);
  EXPECT_TRUE(tricky.Set());
  EXPECT_TRUE(CNamedFlag("../../escape/flag", CNamedFlag::emOpenExisting).IsSet());
  tricky.Remove();
}

#ifndef _WIN32
TEST_F(NamedLock, LockFilesLiveInAPrivateDirectoryOnly) {
  std::string strName = UniqueName("file");
  std::string strDir = m_dir.Str() + "/tolvan";
  {
    CNamedLock lock(strName.c_str());
    ASSERT_TRUE(lock.IsValid());
    struct stat st;
    ASSERT_EQ(::stat(strDir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(std::filesystem::exists(strDir + "/" + strName + ".lock"));
  }
  // A directory others can enter is refused.
  ASSERT_EQ(::chmod(strDir.c_str(), 0755), 0);
  CNamedLock lock(UniqueName("open").c_str());
  EXPECT_FALSE(lock.IsValid());
  EXPECT_FALSE(lock.Acquire(0));
}
#endif
