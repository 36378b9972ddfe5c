#include "base/system/SingleInstance.h"

#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <string>

class SingleInstance : public childrole::CLockDirFixture {};

TEST_F(SingleInstance, FirstHoldsSecondSeesAnotherAndAGoneHolderFreesTheName) {
  std::string strName = childrole::UniqueName("inst");
  {
    CSingleInstance first(strName.c_str());
    EXPECT_TRUE(first.IsHeld());
    EXPECT_FALSE(first.IsAnotherInstance());
    CSingleInstance second(strName.c_str());
    EXPECT_FALSE(second.IsHeld());
    EXPECT_TRUE(second.IsAnotherInstance());
  }
  CSingleInstance next(strName.c_str());
  EXPECT_TRUE(next.IsHeld());
  EXPECT_FALSE(next.IsAnotherInstance());
  CSingleInstance none("");
  EXPECT_FALSE(none.IsHeld());
  EXPECT_FALSE(none.IsAnotherInstance()) << "no name guards nothing";
}
