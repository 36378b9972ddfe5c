#include "base/threads/BaseThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Windows: the thread priority value; POSIX: the nice value.
int ReadOwnPriority() {
#ifdef _WIN32
  return ::GetThreadPriority(::GetCurrentThread());
#else
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
#endif
}

// Records which hooks ran, on which thread, with which parameter.
class CRecordingThread : public CBaseThread {
public:
  explicit CRecordingThread(bool bStartOk = true, int nPriority = 0, int nSuspended = 0)
      : CBaseThread(nPriority, 0, nSuspended, PThread_Scope_System, PThread_Joinable),
        m_bStartOk(bStartOk) {}

  unsigned long RunToEnd() {
    Join(TOLVAN_INFINITE);
    unsigned long dwCode = 12345;
    EXPECT_TRUE(GetExitCode(dwCode));
    return dwCode;
  }

  std::string m_strCalls;  // written by the thread, read after it ended
  void* m_pSeenParam = nullptr;
  int m_nSeenPriority = -999;

protected:
  bool OnThreadStart() override {
    m_strCalls += "start;";
    return m_bStartOk;
  }
  void Execute() override {
    m_strCalls += "execute;";
    m_pSeenParam = m_pParam;
    m_nSeenPriority = ReadOwnPriority();
  }
  void OnThreadEnd() override { m_strCalls += "end;"; }

private:
  bool m_bStartOk;
};

}  // namespace

TEST(BaseThread, CreatedSuspendedRunsHooksInOrderWithItsParameterOnlyAfterResume) {
  CRecordingThread thread(true, 0, 1);
  int nParam = 0;
  ASSERT_TRUE(thread.Start(&nParam));
  unsigned long dwCode = 0;
  thread.Join(50);
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "a suspended thread has not ended";
  EXPECT_EQ(thread.Suspend(), 1u);
  EXPECT_EQ(thread.Resume(), 2u);
  EXPECT_EQ(thread.Resume(), 1u);
  EXPECT_EQ(thread.RunToEnd(), 0u);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;");
  EXPECT_EQ(thread.m_pSeenParam, &nParam);

  // A failed OnThreadStart ends the thread with -1 and runs nothing else.
  CRecordingThread refused(false);
  ASSERT_TRUE(refused.Start());
  EXPECT_EQ(refused.RunToEnd(), static_cast<unsigned long>(-1));
  EXPECT_EQ(refused.m_strCalls, "start;");
}

TEST(BaseThread, LongStartRunsAnyRoutineAndWithoutAThreadAllFailsQuietly) {
  CBaseThread thread;
  thread.Join(TOLVAN_INFINITE);  // returns at once
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode));
  EXPECT_EQ(thread.Resume(), 0xFFFFFFFFUL);
  EXPECT_FALSE(thread.Start(nullptr, nullptr, 0, 0, 0, PThread_Scope_System, PThread_Joinable));
  EXPECT_EQ(thread.GetNewThreadId(), 0u) << "a failed start leaves no thread";

  auto fnEcho = [](void* p) -> unsigned long { return reinterpret_cast<std::uintptr_t>(p); };
  ASSERT_TRUE(thread.Start(fnEcho, reinterpret_cast<void*>(std::uintptr_t{42}), 0, 0, 0,
                           PThread_Scope_System, PThread_Joinable));
  thread.Join(TOLVAN_INFINITE);
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 42u);
}

TEST(BaseThread, PriorityHoldsFromTheStartAndZeroLeavesTheDefault) {
#ifdef _WIN32
  const int nNormal = THREAD_PRIORITY_NORMAL, nBelow = THREAD_PRIORITY_BELOW_NORMAL;
#else
  const int nNormal = ReadOwnPriority(), nBelow = std::min(19, nNormal + 5);
#endif
  for (int nPriority : {0, -1}) {  // -1: below normal
    CRecordingThread thread(true, nPriority);
    ASSERT_TRUE(thread.Start());
    thread.RunToEnd();
    EXPECT_EQ(thread.GetPriority(), nPriority);
    EXPECT_EQ(thread.m_nSeenPriority, nPriority ? nBelow : nNormal);
  }
}
