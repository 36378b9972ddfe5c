// Where settings and state go: beside the executable when its directory is
// writable, in the per-user directories when not (on POSIX the XDG base
// directories, the state one created open to the user only).

#include "base/system/AppDirs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
  // Making a private directory (every level; see below) fails where a file is in the way.
  EXPECT_FALSE(MakePrivateDirectory((dir.Path() / "file" / "sub").string()));
  EXPECT_FALSE(MakePrivateDirectory(""));
}

#ifdef _WIN32
#include "base/system/ConfigDir.h"

// A missing executable directory: settings and state go to the user's directories, the state
// one made level by level.
TEST(AppDirs, UnwritableExeDirUsesTheUserDirectories) {
  CTempDir dir("appdirs-user");
  ASSERT_TRUE(dir.Ok());
  const std::string strExeDir = dir.Join("install");
  CEnvOverride config("TOLVAN_CONFIG_DIR", nullptr);
  CEnvOverride localAppData("LOCALAPPDATA", dir.Join("local") + "/a/b");
  EXPECT_EQ(SettingsDirFor(strExeDir), GetConfigDir());
  const std::string strState = StateDirFor(strExeDir);
  EXPECT_EQ(strState, GetStateHomeDir());
  EXPECT_TRUE(fs::is_directory(strState)) << strState;
  EXPECT_FALSE(fs::exists(strExeDir));
}
#else
#include <sys/stat.h>

namespace {

unsigned ModeOf(const std::string& strPath) {
  struct stat st {};
  return ::stat(strPath.c_str(), &st) == 0 ? (st.st_mode & 07777u) : 0u;
}

}  // namespace

TEST(AppDirsXdg, SetUnsetAndRelativeBaseDirectoriesTheOverrideAndAnExistingStateDirsMode) {
  CTempDir dir("appdirs-xdg");
  ASSERT_TRUE(dir.Ok());
  const std::string strHome = dir.Join("home");
  const std::string strExeDir = dir.Join("usr-lib-tolvan");  // missing: not writable
  const std::string strXdg = dir.Join("xdg");
  const std::string strCfg = strXdg + "/cfg", strCfgSlash = strCfg + "/";
  const std::string strSt = strXdg + "/state", strStSlashes = strSt + "//";
  const std::string strHomeCfg = strHome + "/.config/Tolvan";
  const std::string strHomeState = strHome + "/.local/state/Tolvan";
  const struct {
    const char* szConfigHome;  // null: unset
    const char* szStateHome;
    std::string strSettings, strState;
  } cases[] = {
      {nullptr, nullptr, strHomeCfg, strHomeState},
      {"cfg", "state", strHomeCfg, strHomeState},  // relative: ignored
      {strCfgSlash.c_str(), strStSlashes.c_str(), strCfg + "/Tolvan", strSt + "/Tolvan"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.szConfigHome ? c.szConfigHome : "unset");
    CEnvOverride config("TOLVAN_CONFIG_DIR", nullptr);
    CEnvOverride home("HOME", strHome);
    CEnvOverride xdgConfig("XDG_CONFIG_HOME", c.szConfigHome);
    CEnvOverride xdgState("XDG_STATE_HOME", c.szStateHome);

    EXPECT_EQ(SettingsDirFor(strExeDir), c.strSettings);
    EXPECT_EQ(StateDirFor(strExeDir), c.strState);
    EXPECT_EQ(ModeOf(c.strState), 0700u);
    EXPECT_FALSE(std::filesystem::exists(c.strSettings)) << "read there, never made";
    std::filesystem::remove_all(dir.Path() / "home");
    std::filesystem::remove_all(strXdg);
  }
  // The override holds the settings; an existing state directory keeps its mode.
  CEnvOverride config("TOLVAN_CONFIG_DIR", dir.Join("conf") + "/");
  EXPECT_EQ(SettingsDirFor(strExeDir), dir.Join("conf"));
  const std::string strState = dir.Join("state");
  ASSERT_EQ(::mkdir(strState.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((strState + "/Tolvan").c_str(), 0750), 0);
  CEnvOverride xdgState("XDG_STATE_HOME", strState);
  EXPECT_EQ(StateDirFor(strExeDir), strState + "/Tolvan");
  EXPECT_EQ(ModeOf(strState + "/Tolvan"), 0750u);
}
#endif
