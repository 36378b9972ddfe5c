#include "base/system/Process.h"

#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

TOLVAN_TEST_CHILD_HOOK;

using childrole::CChild;

namespace {

// Runs the test executable in a role with the given environment (null: ours)
// and returns its output lines.
std::vector<std::string> RunWithEnv(const std::string& strRole,
                                    const std::vector<std::string>* pEnv) {
  const std::string strSelf = childrole::SelfPath();
  std::vector<std::string> vecEnv = pEnv ? *pEnv : std::vector<std::string>{};
  vecEnv.push_back("TOLVAN_TEST_CHILD=" + strRole);
  if (!pEnv) SetEnvVar("TOLVAN_TEST_CHILD", strRole.c_str());
  CProcess proc;
  const bool bStarted =
      proc.Start(strSelf.c_str(), {strSelf}, pEnv ? &vecEnv : nullptr, CProcess::emPipeStdout);
  if (!pEnv) SetEnvVar("TOLVAN_TEST_CHILD", nullptr);
  std::vector<std::string> vecLines;
  std::string strLine;
  while (bStarted && proc.ReadOutputLine(strLine)) vecLines.push_back(strLine);
  proc.Wait(60000);
  return vecLines;
}

unsigned long ExitCode(CChild& child) {
  unsigned long dwCode = 12345;
  EXPECT_TRUE(child.Process().GetExitCode(dwCode));
  return dwCode;
}

}  // namespace

TEST(Process, ReportsPidAndExitCode) {
  CChild child;
  ASSERT_TRUE(child.Start("pid"));
  EXPECT_NE(child.Process().GetPid(), GetCurrentPid());
  EXPECT_EQ(child.ReadLine(), std::to_string(child.Process().GetPid()));
  ASSERT_TRUE(child.Process().Wait(60000));
  EXPECT_EQ(ExitCode(child), 0u);

  CChild seven;
  ASSERT_TRUE(seven.Start("exit:7"));
  ASSERT_TRUE(seven.Process().Wait(60000));
  EXPECT_EQ(ExitCode(seven), 7u);
  EXPECT_TRUE(seven.Process().Wait(0)) << "an ended child stays ended";
}

TEST(Process, WaitTimesOutWhileTheChildRunsUntilKilledOrItsInputCloses) {
  for (bool bKill : {true, false}) {
    CChild child;
    ASSERT_TRUE(child.Start("wait"));
    ASSERT_EQ(child.ReadLine(), "ready");
    EXPECT_FALSE(child.Process().Wait(0));
    EXPECT_FALSE(child.Process().Wait(50));
    unsigned long dwCode = 0;
    EXPECT_FALSE(child.Process().GetExitCode(dwCode));
    if (bKill) {
      ASSERT_TRUE(child.KillAndWait());
      EXPECT_EQ(ExitCode(child), 137u);
      EXPECT_FALSE(child.Process().Kill()) << "nothing left to kill";
    } else {
      child.Process().CloseInput();
      ASSERT_TRUE(child.Process().Wait(TOLVAN_INFINITE));
      EXPECT_EQ(ExitCode(child), 0u);
    }
  }
}

TEST(Process, GivenEnvironmentIsTheWholeEnvironment) {
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_PARENT_ONLY", "1"));
  const std::vector<std::string> vecEnv{"TOLVAN_TEST_VALUE=a b=c"};
  EXPECT_EQ(RunWithEnv("env:TOLVAN_TEST_VALUE", &vecEnv), std::vector<std::string>{"=a b=c"});
  EXPECT_EQ(RunWithEnv("env:TOLVAN_TEST_PARENT_ONLY", &vecEnv), std::vector<std::string>{"unset"});
  EXPECT_EQ(RunWithEnv("env:TOLVAN_TEST_PARENT_ONLY", nullptr), std::vector<std::string>{"=1"})
      << "a null environment passes ours";
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
  for (std::string& s : vecArgs) s = "[" + s + "]";
  EXPECT_EQ(vecOut, vecArgs);
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
  const std::string strLong(5000, 'L');
  for (const std::string& strSet : {std::string("v1"), strLong, std::string()}) {
    ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", strSet.c_str()));
    ASSERT_TRUE(GetEnvVar("TOLVAN_TEST_ENV", strValue)) << "set, even when empty";
    EXPECT_EQ(strValue, strSet);
    std::vector<std::string> vecEnv = GetProcessEnvironment();
    EXPECT_NE(std::find(vecEnv.begin(), vecEnv.end(), "TOLVAN_TEST_ENV=" + strSet), vecEnv.end());
  }
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", nullptr));
  EXPECT_FALSE(GetEnvVar("TOLVAN_TEST_ENV", strValue));
  EXPECT_FALSE(SetEnvVar("", "x"));
  EXPECT_FALSE(SetEnvVar(nullptr, "x"));
  EXPECT_FALSE(SetEnvVar("A=B", "x"));
  EXPECT_FALSE(GetEnvVar(nullptr, strValue));
}

// A child started for the watchdog gets none of the parent's standard streams
// (on Windows none of its handles either) and not the parent's error mode.
TEST(Process, NoStdHandlesGivesNoStreamsNoHandlesAndTheDefaultErrorMode) {
  CTempDir dir("tolvan-stdchild");
  const std::string strFile = dir.Join("seen");
#ifdef _WIN32
  // An inheritable, signalled event that the child must not see.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE hEvent = ::CreateEventA(&sa, TRUE, TRUE, nullptr);
  ASSERT_NE(hEvent, nullptr);
  const std::string strHandle = std::to_string(reinterpret_cast<std::uintptr_t>(hEvent));
  const UINT nOldMode = ::SetErrorMode(0);
  ::SetErrorMode(nOldMode | SEM_NOGPFAULTERRORBOX);
#else
  const std::string strHandle = "-1";  // descriptors are close-on-exec throughout
#endif
  std::vector<std::string> vecEnv = GetProcessEnvironment();
  vecEnv.push_back("TOLVAN_TEST_CHILD=std:" + strFile);
  vecEnv.push_back("TOLVAN_TEST_CHILD_HANDLE=" + strHandle);
  const std::string strSelf = childrole::SelfPath();
  CProcess child;
  ASSERT_TRUE(child.Start(strSelf.c_str(), {strSelf}, &vecEnv,
                          CProcess::emNoStdHandles | CProcess::emDefaultErrorMode));
  ASSERT_TRUE(child.Wait(60000));
#ifdef _WIN32
  EXPECT_EQ(ReadFile(strFile), "none none none not-inherited default-mode");
  ::SetErrorMode(nOldMode);
  ::CloseHandle(hEvent);
#else
  EXPECT_EQ(ReadFile(strFile), "none none none");
#endif
}
