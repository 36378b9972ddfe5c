#include "base/system/NamedFlag.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/base/system/ChildRole.h"

namespace {

using NamedFlag = childrole::CLockDirFixture;

std::string FlagName() { return childrole::UniqueName("vex50_quit_flag"); }

TEST_F(NamedFlag, SetIsSeenByAnotherHolderAndOutlivesItsCreatorAndBadNamesAreInvalid) {
  std::string strName = FlagName();
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
  EXPECT_FALSE(again.IsSet());
  EXPECT_FALSE(watcher->IsSet());
  again.Remove();

  // Unknown or unusable names are invalid.
  CNamedFlag missing(FlagName().c_str(), CNamedFlag::emOpenExisting);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_FALSE(missing.Set());
  EXPECT_FALSE(CNamedFlag("", CNamedFlag::emCreate).IsValid());
  // A name with path characters stays inside the runtime directory.
  CNamedFlag tricky("../../escape/flag", CNamedFlag::emCreate);
  EXPECT_TRUE(tricky.Set());
  EXPECT_TRUE(CNamedFlag("../../escape/flag", CNamedFlag::emOpenExisting).IsSet());
  tricky.Remove();
}

}  // namespace
