// CProcess, with children of the test executable in their roles (ChildRole.h),
// and the environment functions.
#include "base/system/Process.h"

#include "tests/base/system/ChildRole.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

TOLVAN_TEST_CHILD_HOOK;

using childrole::CChild;

namespace {

unsigned long ExitCode(CChild& child) {
  unsigned long dwCode = 12345;
  EXPECT_TRUE(child.Process().GetExitCode(dwCode));
  return dwCode;
}

}  // namespace

TEST(Process, ArgumentsArriveUnchangedExitCodeIsReportedAndRunsUntilKilledOrItsInputCloses) {
  std::vector<std::string> vecArgs{"plain", "with space", "quote\"inside", "trailing\\",
                                   "back\\\\\"slash", "", "tab\there"};
  CChild seven;
  ASSERT_TRUE(seven.Start("exit:7", vecArgs));
  for (std::string& s : vecArgs) s = "[" + s + "]";
  std::vector<std::string> vecSaid;
  for (std::string strLine; seven.Process().ReadOutputLine(strLine);) vecSaid.push_back(strLine);
  EXPECT_EQ(vecSaid, vecArgs);
  ASSERT_TRUE(seven.Process().Wait(60000));
  EXPECT_EQ(ExitCode(seven), 7u);
  EXPECT_TRUE(seven.Process().Wait(0)) << "an ended child stays ended";

  for (bool bKill : {true, false}) {
    CChild child;
    ASSERT_TRUE(child.Start("wait"));
    ASSERT_EQ(child.ReadLine(), "ready");
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

TEST(Process, MissingProgramDoesNotStart) {
  CProcess proc;
  EXPECT_FALSE(proc.Start("no-such-program-tolvan", {}));
  EXPECT_FALSE(proc.Start(nullptr, {}));
  EXPECT_EQ(proc.GetPid(), 0u);
  EXPECT_FALSE(proc.Wait(0) || proc.Kill());
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
  }
  ASSERT_TRUE(SetEnvVar("TOLVAN_TEST_ENV", nullptr));
  EXPECT_FALSE(GetEnvVar("TOLVAN_TEST_ENV", strValue));
  EXPECT_FALSE(SetEnvVar("", "x"));
  EXPECT_FALSE(SetEnvVar(nullptr, "x"));
  EXPECT_FALSE(SetEnvVar("A=B", "x"));
  EXPECT_FALSE(GetEnvVar(nullptr, strValue));
}

#ifdef _WIN32
// A child started for the watchdog gets none of the parent's standard streams, none of its
// handles and not its error mode.
TEST(Process, NoStdHandlesGivesNoStreamsNoHandlesAndTheDefaultErrorMode) {
  CTempDir dir("tolvan-stdchild");
  const std::string strFile = dir.Join("seen");
  // An inheritable, signalled event that the child must not see.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE hEvent = ::CreateEventA(&sa, TRUE, TRUE, nullptr);
  ASSERT_NE(hEvent, nullptr);
  const UINT nOldMode = ::SetErrorMode(0);
  ::SetErrorMode(nOldMode | SEM_NOGPFAULTERRORBOX);
  std::vector<std::string> vecEnv = GetProcessEnvironment();
  vecEnv.push_back("TOLVAN_TEST_CHILD=std:" + strFile);
  vecEnv.push_back("TOLVAN_TEST_CHILD_HANDLE=" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(hEvent)));
  const std::string strSelf = childrole::SelfPath();
  CProcess child;
  ASSERT_TRUE(child.Start(strSelf.c_str(), {strSelf}, &vecEnv,
                          CProcess::emNoStdHandles | CProcess::emDefaultErrorMode));
  ASSERT_TRUE(child.Wait(60000));
  EXPECT_EQ(ReadFile(strFile), "none none none not-inherited default-mode");
  ::SetErrorMode(nOldMode);
  ::CloseHandle(hEvent);
}
#endif
