#pragma once

// Child processes for the process and lock tests: the test executable starts itself with
// TOLVAN_TEST_CHILD=<role>; TOLVAN_TEST_CHILD_HOOK runs the role before main and exits. Roles
// (see RunRole) say one fact a line; "wait" holds on until its input ends.

#include "base/system/ExePath.h"
#include "base/system/NamedLock.h"
#include "base/system/Process.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace childrole {

inline std::string SelfPath() {
  char szPath[4096] = {};
  return GetExePath(szPath, sizeof szPath) ? szPath : "";
}

// The child's own argument list (after the program name).
inline std::vector<std::string> OwnArgs() {
  std::vector<std::string> vecArgs;
#ifdef _WIN32
  for (int i = 1; i < __argc; ++i) vecArgs.emplace_back(__argv[i]);
#else
  std::istringstream in(ReadFile("/proc/self/cmdline"));
  std::string strArg;
  std::getline(in, strArg, '\0');  // the program
  while (std::getline(in, strArg, '\0')) vecArgs.push_back(strArg);
#endif
  return vecArgs;
}

#ifdef _WIN32
// What a child started without standard streams sees: one word per stream ("none" or "some"),
// whether the handle the parent named in TOLVAN_TEST_CHILD_HANDLE was inherited, and the error
// mode.
inline std::string SeenStdHandles() {
  std::string strSeen;
  for (DWORD dwStd : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = ::GetStdHandle(dwStd);
    strSeen += (h == nullptr || h == INVALID_HANDLE_VALUE) ? "none " : "some ";
  }
  std::string strHandle = "0";
  GetEnvVar("TOLVAN_TEST_CHILD_HANDLE", strHandle);
  HANDLE hParent = reinterpret_cast<HANDLE>(
      static_cast<std::uintptr_t>(std::strtoull(strHandle.c_str(), nullptr, 10)));
  DWORD dwInfo = 0;
  const bool bInherited = hParent != nullptr && ::GetHandleInformation(hParent, &dwInfo) &&
                          ::WaitForSingleObject(hParent, 0) == WAIT_OBJECT_0;
  strSeen += bInherited ? "inherited " : "not-inherited ";
  strSeen += (::GetErrorMode() & SEM_NOGPFAULTERRORBOX) != 0 ? "parent-mode" : "default-mode";
  return strSeen;
}
#endif

inline void Say(const std::string& strLine) {
  std::fputs((strLine + "\n").c_str(), stdout);
  std::fflush(stdout);
}

inline int RunRole(const std::string& strRole) {
  std::string::size_type nColon = strRole.find(':');
  std::string strKind = strRole.substr(0, nColon);
  std::string strArg = nColon == std::string::npos ? std::string() : strRole.substr(nColon + 1);
  if (strKind == "wait") {  // "wait:<name>" holds the named lock while it waits
    CNamedLock lock(strArg.c_str());
    Say(strArg.empty() ? "ready" : lock.Acquire(0) ? "held" : "busy");
    while (std::fgetc(stdin) != EOF) {  // until the input ends
    }
#ifdef _WIN32
  } else if (strKind == "std") {
    WriteFile(strArg, SeenStdHandles());  // no standard output to say it on
#endif
  } else if (strKind == "exit") {  // says its arguments, then exits with the code given
    for (const std::string& s : OwnArgs()) Say("[" + s + "]");
    return std::atoi(strArg.c_str());
  } else {
    return 99;
  }
  return 0;
}

struct CChildHook {
  CChildHook() {
    std::string strRole;
    if (!GetEnvVar("TOLVAN_TEST_CHILD", strRole)) return;
    int nCode = RunRole(strRole);
    std::fflush(stdout);
    std::_Exit(nCode);
  }
};

// A child of the test executable in a role, its standard input and output piped to this process.
class CChild {
public:
  bool Start(const std::string& strRole, std::vector<std::string> vecArgs = {}) {
    std::vector<std::string> vecEnv = GetProcessEnvironment();
    vecEnv.push_back("TOLVAN_TEST_CHILD=" + strRole);
    vecArgs.insert(vecArgs.begin(), SelfPath());
    return m_Process.Start(vecArgs[0].c_str(), vecArgs, &vecEnv,
                           CProcess::emPipeStdin | CProcess::emPipeStdout);
  }
  std::string ReadLine() {
    std::string strLine;
    return m_Process.ReadOutputLine(strLine) ? strLine : std::string("<end of output>");
  }
  bool KillAndWait() { return m_Process.Kill() && m_Process.Wait(60000); }
  CProcess& Process() { return m_Process; }

private:
  CProcess m_Process;
};

// Points the per-user lock directory (POSIX) at a fresh temporary directory
// for the life of the fixture; children inherit it.
class CLockDirFixture : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Ok()); }
  CTempDir m_dir{"tolvan-rt"};
  CEnvOverride m_runtime{"XDG_RUNTIME_DIR", m_dir.Str()};
};

}  // namespace childrole

#define TOLVAN_TEST_CHILD_HOOK static childrole::CChildHook s_ChildHook
