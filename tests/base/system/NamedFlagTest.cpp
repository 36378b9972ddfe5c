#include "base/system/NamedFlag.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/base/system/ChildRole.h"

namespace {

using NamedFlag = childrole::CLockDirFixture;

std::string FlagName() { return childrole::UniqueName("vex50_quit_flag"); }

TEST_F(NamedFlag, CreatedUnsetAndSeenSetByAnotherHolder) {
  std::string strName = FlagName();
  CNamedFlag creator(strName.c_str(), CNamedFlag::emCreate);
  ASSERT_TRUE(creator.IsValid());
  CNamedFlag watcher(strName.c_str(), CNamedFlag::emOpenExisting);
  ASSERT_TRUE(watcher.IsValid());
  EXPECT_FALSE(watcher.IsSet());
  EXPECT_FALSE(creator.IsSet());

  ASSERT_TRUE(creator.Set());
  EXPECT_TRUE(watcher.IsSet());
  EXPECT_TRUE(creator.IsSet());
}

TEST_F(NamedFlag, OutlivesItsCreatorWhileWatched) {
  std::string strName = FlagName();
  auto watcher = std::unique_ptr<CNamedFlag>();
  {
    CNamedFlag creator(strName.c_str(), CNamedFlag::emCreate);
    watcher = std::make_unique<CNamedFlag>(strName.c_str(), CNamedFlag::emOpenExisting);
    ASSERT_TRUE(creator.Set());
  }
  EXPECT_TRUE(watcher->IsSet());
  watcher->Remove();
}

TEST_F(NamedFlag, CreatingAgainResetsIt) {
  std::string strName = FlagName();
  CNamedFlag first(strName.c_str(), CNamedFlag::emCreate);
  ASSERT_TRUE(first.Set());
  CNamedFlag second(strName.c_str(), CNamedFlag::emCreate);
  ASSERT_TRUE(second.IsValid());
  EXPECT_FALSE(second.IsSet());
  EXPECT_FALSE(first.IsSet());
}

TEST_F(NamedFlag, UnknownOrUnusableNamesAreInvalid) {
  CNamedFlag missing(FlagName().c_str(), CNamedFlag::emOpenExisting);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_FALSE(missing.Set());
  EXPECT_FALSE(missing.IsSet());
  CNamedFlag empty("", CNamedFlag::emCreate);
  EXPECT_FALSE(empty.IsValid());
  CNamedFlag null(nullptr, CNamedFlag::emCreate);
  EXPECT_FALSE(null.IsValid());
  // A name with path characters stays inside the runtime directory.
  CNamedFlag tricky("../../escape/flag", CNamedFlag::emCreate);
  EXPECT_TRUE(tricky.IsValid());
  EXPECT_TRUE(tricky.Set());
  CNamedFlag same("../../escape/flag", CNamedFlag::emOpenExisting);
  EXPECT_TRUE(same.IsSet());
  tricky.Remove();
}

}  // namespace
