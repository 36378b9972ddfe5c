#include "base/system/Process.h"

#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TOLVAN_TEST_CHILD_HOOK;

using childrole::CChild;
using childrole::SelfPath;

namespace {

// Runs the test executable in a role with exactly the given environment (plus
// the role) and returns its output lines.
std::vector<std::string> RunWithEnv(const std::string& strRole, std::vector<std::string> vecEnv,
                                    bool bInherit) {
  std::string strSelf = SelfPath();
  CProcess proc;
  bool bStarted;
  if (bInherit) {
    SetEnvVar("TOLVAN_TEST_CHILD", strRole.c_str());
    bStarted = proc.Start(strSelf.c_str(), {strSelf}, nullptr, CProcess::emPipeStdout);
    SetEnvVar("TOLVAN_TEST_CHILD", nullptr);
  } else {
    vecEnv.push_back("TOLVAN_TEST_CHILD=" + strRole);
    bStarted = proc.Start(strSelf.c_str(), {strSelf}, &vecEnv, CProcess::emPipeStdout);
  }
  std::vector<std::string> vecLines;
  if (!bStarted) return vecLines;
  std::string strLine;
  while (proc.ReadOutputLine(strLine)) vecLines.push_back(strLine);
  proc.Wait(60000);
  return vecLines;
}

}  // namespace

TEST(Process, ExitCodeIsReported) {
  CChild child;
  ASSERT_TRUE(child.Start("exit:7"));
  ASSERT_TRUE(child.Process().Wait(60000));
  unsigned long dwCode = 0;
  ASSERT_TRUE(child.Process().GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 7u);
  EXPECT_TRUE(child.Process().Wait(0)) << "an ended child stays ended";
}

TEST(Process, ChildSeesItsOwnPid) {
  CChild child;
  ASSERT_TRUE(child.Start("pid"));
  EXPECT_NE(child.Process().GetPid(), 0u);
  EXPECT_NE(child.Process().GetPid(), GetCurrentPid());
  EXPECT_EQ(child.ReadLine(), std::to_string(child.Process().GetPid()));
  EXPECT_TRUE(child.Process().Wait(60000));
}

TEST(Process, WaitTimesOutWhileTheChildRunsAndKillEndsIt) {
  CChild child;
  ASSERT_TRUE(child.Start("wait"));
  ASSERT_EQ(child.ReadLine(), "ready");
  EXPECT_FALSE(child.Process().Wait(0));
  EXPECT_FALSE(child.Process().Wait(50));
  unsigned long dwCode = 0;
  EXPECT_FALSE(child.Process().GetExitCode(dwCode));
  ASSERT_TRUE(child.Process().Kill());
  ASSERT_TRUE(child.Process().Wait(60000));
  ASSERT_TRUE(child.Process().GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 137u);
  EXPECT_FALSE(child.Process().Kill()) << "nothing left to kill";
}

TEST(Process, ClosingInputLetsTheChildEnd) {
  CChild child;
  ASSERT_TRUE(child.Start("wait"));
  ASSERT_EQ(child.ReadLine(), "ready");
  child.Process().CloseInput();
  ASSERT_TRUE(child.Process().Wait(TOLVAN_INFINITE));
  unsigned long dwCode = 1;
  ASSERT_TRUE(child.Process().GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 0u);
}

TEST(Process, GivenEnvironmentIsTheWholeEnvironment) {
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_PARENT_ONLY", "1"));
  std::vector<std::string> vecEnv{"TOLVAN_TEST_VALUE=a b=c"};
  std::vector<std::string> vecOut = RunWithEnv("env:TOLVAN_TEST_VALUE", vecEnv, false);
  EXPECT_EQ(vecOut, std::vector<std::string>{"=a b=c"});
  vecOut = RunWithEnv("env:TOLVAN_TEST_PARENT_ONLY", vecEnv, false);
  EXPECT_EQ(vecOut, std::vector<std::string>{"unset"});
  vecOut = RunWithEnv("env:TOLVAN_TEST_PARENT_ONLY", {}, true);
  EXPECT_EQ(vecOut, std::vector<std::string>{"=1"}) << "a null environment passes ours";
  SetEnvVar("TOLVAN_TEST_PARENT_ONLY", nullptr);
}

TEST(Process, ArgumentsArriveUnchanged) {
  std::vector<std::string> vecArgs{"plain", "with space", "quote\"inside", "trailing\\",
                                   "back\\\\\"slash", "", "tab\there"};
  CChild child;
  ASSERT_TRUE(child.Start("args", vecArgs));
  std::vector<std::string> vecOut;
  std::string strLine;
  while (child.Process().ReadOutputLine(strLine)) vecOut.push_back(strLine);
  ASSERT_TRUE(child.Process().Wait(60000));
  std::vector<std::string> vecWant;
  for (const std::string& s : vecArgs) vecWant.push_back("[" + s + "]");
  EXPECT_EQ(vecOut, vecWant);
}

TEST(Process, MissingProgramDoesNotStart) {
  CProcess proc;
  EXPECT_FALSE(proc.Start("no-such-program-tolvan", {}));
  EXPECT_FALSE(proc.Start(nullptr, {}));
  EXPECT_EQ(proc.GetPid(), 0u);
  EXPECT_FALSE(proc.Wait(0));
  EXPECT_FALSE(proc.Kill());
  char aBuf[4];
  EXPECT_EQ(proc.ReadOutput(aBuf, sizeof(aBuf)), -1);
}

TEST(ProcessEnvironment, SetGetAndRemove) {
  std::string strValue;
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", "v1"));
  ASSERT_TRUE(GetEnvVar("TOLVAN_TEST_ENV", strValue));
  EXPECT_EQ(strValue, "v1");
  std::vector<std::string> vecEnv = GetProcessEnvironment();
  EXPECT_NE(std::find(vecEnv.begin(), vecEnv.end(), "TOLVAN_TEST_ENV=v1"), vecEnv.end());

  std::string strLong(5000, 'L');
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", strLong.c_str()));
  ASSERT_TRUE(GetEnvVar("TOLVAN_TEST_ENV", strValue));
  EXPECT_EQ(strValue, strLong);

  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", ""));
  EXPECT_TRUE(GetEnvVar("TOLVAN_TEST_ENV", strValue)) << "set but empty is set";
  EXPECT_EQ(strValue, "");

  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", nullptr));
  EXPECT_FALSE(GetEnvVar("TOLVAN_TEST_ENV", strValue));

  EXPECT_FALSE(SetEnvVar("", "x"));
  EXPECT_FALSE(SetEnvVar(nullptr, "x"));
  EXPECT_FALSE(SetEnvVar("A=B", "x"));
  EXPECT_FALSE(GetEnvVar(nullptr, strValue));
}
