// Where settings and state go: beside the executable when its directory is
// writable, in the per-user directories when not.

#include "base/system/AppDirs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/system/ConfigDir.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

TEST(AppDirs, OnlyAnExistingDirectoryIsWritableAndKeepsSettingsAndStateThere) {
  CTempDir dir("appdirs-exe");
  ASSERT_TRUE(dir.Ok());
  WriteFile(dir.Path() / "file", "x");
  ASSERT_TRUE(IsDirWritable(dir.Str()));
  EXPECT_FALSE(IsDirWritable(dir.Join("missing")));
  EXPECT_FALSE(IsDirWritable(dir.Join("file")));
  EXPECT_FALSE(IsDirWritable(""));
  // The probe leaves nothing behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  EXPECT_EQ(SettingsDirFor(dir.Str()), dir.Str());
  EXPECT_EQ(StateDirFor(dir.Str()), dir.Str());

  const CAppDirs kept = AppDirsFor(dir.Str(), true);
  EXPECT_EQ(kept.m_strSettingsDir, dir.Str());
  EXPECT_EQ(kept.m_strStateDir, dir.Str());
  const CAppDirs moved = AppDirsFor(dir.Str(), false);
  EXPECT_EQ(moved.m_strSettingsDir, GetConfigDir());
  EXPECT_EQ(moved.m_strStateDir, GetStateHomeDir());
}

TEST(AppDirs, MakePrivateDirectoryMakesEveryLevel) {
  CTempDir dir("appdirs-make");
  ASSERT_TRUE(dir.Ok());
  const fs::path nested = dir.Path() / "a" / "b" / "c";
  EXPECT_TRUE(MakePrivateDirectory(nested.string()));
  EXPECT_TRUE(fs::is_directory(nested));
  EXPECT_TRUE(MakePrivateDirectory(nested.string())) << "an existing directory is fine";
  WriteFile(dir.Path() / "file", "x");
  EXPECT_FALSE(MakePrivateDirectory((dir.Path() / "file" / "sub").string()));
  EXPECT_FALSE(MakePrivateDirectory(""));
}

// The executable's directory is missing here: it reads as not writable for
// every user, root included.
TEST(AppDirs, UnwritableExeDirUsesTheUserDirectories) {
  CTempDir dir("appdirs-user");
  ASSERT_TRUE(dir.Ok());
  const std::string strExeDir = dir.Join("install");
  CEnvOverride config("TOLVAN_CONFIG_DIR", nullptr);
  CEnvOverride localAppData("LOCALAPPDATA", dir.Join("local"));
  CEnvOverride home("HOME", dir.Join("home"));
  CEnvOverride xdgConfig("XDG_CONFIG_HOME", nullptr);
  CEnvOverride xdgState("XDG_STATE_HOME", nullptr);

  EXPECT_EQ(SettingsDirFor(strExeDir), GetConfigDir());
  const std::string strState = StateDirFor(strExeDir);
  EXPECT_EQ(strState, GetStateHomeDir());
  EXPECT_TRUE(fs::is_directory(strState)) << strState;
  EXPECT_FALSE(fs::exists(strExeDir));

  // An unknown executable directory is no place to write either.
  EXPECT_EQ(SettingsDirFor(""), GetConfigDir());
  EXPECT_EQ(StateDirFor(""), GetStateHomeDir());
}
