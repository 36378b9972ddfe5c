// A child started with emNoStdHandles gets none of the parent's standard
// streams (on Windows it inherits none of its handles either); with
// emDefaultErrorMode (Windows) it does not take over the parent's error mode. The test executable starts
// itself as that child: with TOLVAN_TEST_STDCHILD=<file> in its environment a
// static object writes what it sees into the file, before main, and exits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/system/ExePath.h"
#include "base/system/Process.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const char kChildVar[] = "TOLVAN_TEST_STDCHILD";
const char kHandleVar[] = "TOLVAN_TEST_STDCHILD_HANDLE";

// One word per standard stream ("none" or "some"); on Windows then whether
// the handle the parent named was inherited, and the error mode.
std::string SeenByChild() {
  std::string strSeen;
#ifdef _WIN32
  for (DWORD dwStd : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = ::GetStdHandle(dwStd);
    strSeen += (h == nullptr || h == INVALID_HANDLE_VALUE) ? "none " : "some ";
  }
  const char* szHandle = std::getenv(kHandleVar);
  HANDLE hParent = reinterpret_cast<HANDLE>(
      static_cast<std::uintptr_t>(std::strtoull(szHandle ? szHandle : "0", nullptr, 10)));
  DWORD dwInfo = 0;
  const bool bInherited = hParent != nullptr && ::GetHandleInformation(hParent, &dwInfo) &&
                          ::WaitForSingleObject(hParent, 0) == WAIT_OBJECT_0;
  strSeen += bInherited ? "inherited " : "not-inherited ";
  strSeen += (::GetErrorMode() & SEM_NOGPFAULTERRORBOX) != 0 ? "parent-mode" : "default-mode";
#else
  for (int nFd : {0, 1, 2}) {
    char szTarget[256] = {};
    const std::string strLink = "/proc/self/fd/" + std::to_string(nFd);
    const ssize_t nLen = ::readlink(strLink.c_str(), szTarget, sizeof(szTarget) - 1);
    strSeen += nLen > 0 && std::string(szTarget) == "/dev/null" ? "none " : "some ";
  }
  strSeen.pop_back();
#endif
  return strSeen;
}

struct CStdChild {
  CStdChild() {
    const char* szFile = std::getenv(kChildVar);
    if (szFile == nullptr) return;
    {
      std::ofstream out(szFile, std::ios::binary);
      out << SeenByChild();
    }
    std::_Exit(0);
  }
};
CStdChild s_StdChild;

std::string Self() {
  char szPath[4096] = {};
  return GetExePath(szPath, sizeof szPath) ? szPath : "";
}

TEST(ProcessStdHandles, TheWatchdogStartGivesNoStreamsNoHandlesAndTheDefaultErrorMode) {
  CTempDir dir("tolvan-stdchild");
  const std::string strFile = (dir.Path() / "seen").string();
#ifdef _WIN32
  // An inheritable, signalled event that the child must not see.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE hEvent = ::CreateEventA(&sa, TRUE, TRUE, nullptr);
  ASSERT_NE(hEvent, nullptr);
  const std::string strHandle = std::to_string(reinterpret_cast<std::uintptr_t>(hEvent));
  const UINT nOldMode = ::SetErrorMode(0);
  ::SetErrorMode(nOldMode | SEM_NOGPFAULTERRORBOX);
#else
  // Descriptors are close-on-exec throughout: only the streams to check.
  const std::string strHandle = "-1";
#endif
  std::vector<std::string> vecEnv = GetProcessEnvironment();
  vecEnv.push_back(std::string(kChildVar) + "=" + strFile);
  vecEnv.push_back(std::string(kHandleVar) + "=" + strHandle);

  CProcess child;
  ASSERT_TRUE(child.Start(Self().c_str(), {Self()}, &vecEnv,
                          CProcess::emNoStdHandles | CProcess::emDefaultErrorMode));
  ASSERT_TRUE(child.Wait(60000));
  std::ifstream in(strFile, std::ios::binary);
  const std::string strSeen((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#ifdef _WIN32
  EXPECT_EQ(strSeen, "none none none not-inherited default-mode");
  ::SetErrorMode(nOldMode);
  ::CloseHandle(hEvent);
#else
  EXPECT_EQ(strSeen, "none none none");
#endif
}

}  // namespace
