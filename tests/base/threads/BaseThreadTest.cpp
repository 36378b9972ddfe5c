#include "base/threads/BaseThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <future>
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
  unsigned long m_dwSeenThreadId = 0;
  void* m_pSeenParam = nullptr;
  int m_nSeenPriority = -999;

protected:
  bool OnThreadStart() override {
    m_strCalls += "start;";
    return m_bStartOk;
  }
  void Execute() override {
    m_strCalls += "execute;";
    m_dwSeenThreadId = GetCurrentThreadId();
    m_pSeenParam = m_pParam;
    m_nSeenPriority = ReadOwnPriority();
  }
  void OnThreadEnd() override { m_strCalls += "end;"; }

private:
  bool m_bStartOk;
};

unsigned long ReturnArgument(void* pArg) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pArg));
}

}  // namespace

TEST(BaseThread, RunsHooksInOrderWithItsParameterEachStart) {
  CRecordingThread thread;
  int nParam = 0;
  ASSERT_TRUE(thread.Start(&nParam));
  EXPECT_EQ(thread.RunToEnd(), 0u);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;");
  EXPECT_EQ(thread.m_pSeenParam, &nParam);
  EXPECT_EQ(thread.m_dwSeenThreadId, thread.GetNewThreadId());
  EXPECT_NE(thread.GetNewThreadId(), CBaseThread::GetCurrentThreadId());
  // A second start begins a new thread.
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.RunToEnd(), 0u);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;start;execute;end;");
  EXPECT_EQ(thread.m_dwSeenThreadId, thread.GetNewThreadId());

  // A failed OnThreadStart ends the thread with -1 and runs nothing else.
  CRecordingThread refused(false);
  ASSERT_TRUE(refused.Start());
  EXPECT_EQ(refused.RunToEnd(), static_cast<unsigned long>(-1));
  EXPECT_EQ(refused.m_strCalls, "start;");
}

TEST(BaseThread, LongStartRunsAnyRoutineAndWithoutAThreadAllFailsQuietly) {
  CBaseThread thread;
  EXPECT_EQ(thread.SetDetach(), 0);
  thread.Join(TOLVAN_INFINITE);  // returns at once
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode));
  EXPECT_EQ(thread.Suspend(), 0xFFFFFFFFUL);
  EXPECT_EQ(thread.Resume(), 0xFFFFFFFFUL);
  EXPECT_EQ(thread.Terminate(1), 0);
  EXPECT_FALSE(thread.Start(nullptr, nullptr, 0, 0, 0, PThread_Scope_System, PThread_Joinable));
  EXPECT_EQ(thread.GetNewThreadId(), 0u) << "a failed start leaves no thread";

  ASSERT_TRUE(thread.Start(&ReturnArgument, reinterpret_cast<void*>(std::uintptr_t{42}), 0, 0, 0,
                           PThread_Scope_System, PThread_Joinable));
  thread.Join(TOLVAN_INFINITE);
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 42u);
}

TEST(BaseThread, CreatedSuspendedRunsOnlyAfterResume) {
  CRecordingThread thread(true, 0, 1);
  ASSERT_TRUE(thread.Start());
  unsigned long dwCode = 0;
  thread.Join(50);
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "a suspended thread has not ended";
  EXPECT_EQ(thread.Suspend(), 1u);
  EXPECT_EQ(thread.Resume(), 2u);
  thread.Join(50);
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "still suspended once";
  EXPECT_EQ(thread.Resume(), 1u);
  EXPECT_EQ(thread.RunToEnd(), 0u);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;");
  EXPECT_EQ(thread.Resume(), 0u) << "resuming a thread that is not suspended";
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

namespace {

// Runs until released, so the test can act while it is alive.
class CGatedThread : public CBaseThread {
public:
  std::promise<void> m_Running, m_Release, m_Done;

protected:
  void Execute() override {
    m_Running.set_value();
    m_Release.get_future().wait();
  }
  void OnThreadEnd() override { m_Done.set_value(); }
};

}  // namespace

TEST(BaseThread, JoinWithTimeOutReturnsWhileTheThreadRunsAndDetachLetsItRunOn) {
  for (bool bDetach : {false, true}) {
    CGatedThread thread;
    std::future<void> running = thread.m_Running.get_future(), done = thread.m_Done.get_future();
    ASSERT_TRUE(thread.Start());
    running.wait();
    if (bDetach) {
      EXPECT_EQ(thread.SetDetach(), 0);
    } else {
      thread.Join(20);
    }
    unsigned long dwCode = 0;
    EXPECT_FALSE(thread.GetExitCode(dwCode)) << bDetach;
    thread.m_Release.set_value();
    done.wait();
    thread.Join(TOLVAN_INFINITE);
    EXPECT_EQ(thread.GetExitCode(dwCode), !bDetach) << "a detached thread leaves no handle";
  }
}
