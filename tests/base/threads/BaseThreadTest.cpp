#include "base/threads/BaseThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Records which hooks ran, on which thread, with which parameter.
class CRecordingThread : public CBaseThread {
public:
  explicit CRecordingThread(bool bStartOk = true, int nPriority = 0, int nSuspended = 0)
      : CBaseThread(nPriority, 0, nSuspended, PThread_Scope_System, PThread_Joinable),
        m_bStartOk(bStartOk) {}

  std::string m_strCalls;
  std::atomic<unsigned long> m_dwSeenThreadId{0};
  std::atomic<void*> m_pSeenParam{nullptr};
  std::atomic<int> m_nSeenPriority{-999};

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
  // Windows: the thread priority value; POSIX: the nice value.
  static int ReadOwnPriority() {
#ifdef _WIN32
    return ::GetThreadPriority(::GetCurrentThread());
#else
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
#endif
  }
  bool m_bStartOk;
};

unsigned long ReturnArgument(void* pArg) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pArg));
}

}  // namespace

TEST(BaseThread, RunsHooksInOrderWithItsParameter) {
  CRecordingThread thread;
  int nParam = 0;
  ASSERT_TRUE(thread.Start(&nParam));
  thread.Join(TOLVAN_INFINITE);
  unsigned long dwCode = 1;
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 0u);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;");
  EXPECT_EQ(thread.m_pSeenParam.load(), &nParam);
  EXPECT_NE(thread.GetNewThreadId(), 0u);
  EXPECT_EQ(thread.m_dwSeenThreadId.load(), thread.GetNewThreadId());
  EXPECT_NE(thread.GetNewThreadId(), CBaseThread::GetCurrentThreadId());
}

TEST(BaseThread, FailedOnThreadStartEndsWithMinusOneAndRunsNothingElse) {
  CRecordingThread thread(false);
  ASSERT_TRUE(thread.Start());
  thread.Join(TOLVAN_INFINITE);
  unsigned long dwCode = 0;
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, static_cast<unsigned long>(-1));
  EXPECT_EQ(thread.m_strCalls, "start;");
}

TEST(BaseThread, LongStartRunsAnyRoutine) {
  CBaseThread thread;
  ASSERT_TRUE(thread.Start(&ReturnArgument, reinterpret_cast<void*>(std::uintptr_t{42}), 0, 0, 0,
                           PThread_Scope_System, PThread_Joinable));
  thread.Join(TOLVAN_INFINITE);
  unsigned long dwCode = 0;
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 42u);
  EXPECT_FALSE(thread.Start(nullptr, nullptr, 0, 0, 0, PThread_Scope_System, PThread_Joinable));
  EXPECT_EQ(thread.GetNewThreadId(), 0u) << "a failed start leaves no thread";
}

TEST(BaseThread, CreatedSuspendedRunsOnlyAfterResume) {
  CRecordingThread thread(true, 0, 1);
  ASSERT_TRUE(thread.Start());
  thread.Join(50);
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "a suspended thread has not ended";
  EXPECT_EQ(thread.Suspend(), 1u);
  EXPECT_EQ(thread.Resume(), 2u);
  thread.Join(50);
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "still suspended once";
  EXPECT_EQ(thread.Resume(), 1u);
  thread.Join(TOLVAN_INFINITE);
  ASSERT_TRUE(thread.GetExitCode(dwCode));
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;");
  EXPECT_EQ(thread.Resume(), 0u) << "resuming a thread that is not suspended";
}

TEST(BaseThread, NonZeroPriorityHoldsFromTheStart) {
  CRecordingThread thread(true, -1);  // below normal
#ifndef _WIN32
  errno = 0;
  int nBase = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  ASSERT_EQ(errno, 0);
#endif
  ASSERT_TRUE(thread.Start());
  thread.Join(TOLVAN_INFINITE);
  EXPECT_EQ(thread.GetPriority(), -1);
#ifdef _WIN32
  EXPECT_EQ(thread.m_nSeenPriority.load(), THREAD_PRIORITY_BELOW_NORMAL);
#else
  EXPECT_EQ(thread.m_nSeenPriority.load(), std::min(19, nBase + 5));
#endif
}

TEST(BaseThread, ZeroPriorityLeavesTheDefault) {
  CRecordingThread thread;
#ifndef _WIN32
  int nBase = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
#endif
  ASSERT_TRUE(thread.Start());
  thread.Join(TOLVAN_INFINITE);
#ifdef _WIN32
  EXPECT_EQ(thread.m_nSeenPriority.load(), THREAD_PRIORITY_NORMAL);
#else
  EXPECT_EQ(thread.m_nSeenPriority.load(), nBase);
#endif
}

TEST(BaseThread, WithoutAThreadEverythingFailsQuietly) {
  CBaseThread thread;
  EXPECT_EQ(thread.SetDetach(), 0);
  thread.Join(TOLVAN_INFINITE);  // returns at once
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode));
  EXPECT_EQ(thread.Suspend(), 0xFFFFFFFFUL);
  EXPECT_EQ(thread.Resume(), 0xFFFFFFFFUL);
  EXPECT_EQ(thread.Terminate(1), 0);
  EXPECT_EQ(thread.SetPriority(1), 0);
  EXPECT_EQ(thread.GetPriority(), 1) << "the value is stored all the same";
  EXPECT_EQ(thread.GetNewThreadId(), 0u);
}

namespace {

// Runs until told to stop, so the test can act while it is alive.
class CGatedThread : public CBaseThread {
public:
  std::mutex m_mtx;
  std::condition_variable m_cv;
  bool m_bRunning = false;
  bool m_bRelease = false;
  bool m_bDone = false;

  void WaitRunning() {
    std::unique_lock<std::mutex> lock(m_mtx);
    m_cv.wait(lock, [this] { return m_bRunning; });
  }
  void ReleaseAndWaitDone() {
    std::unique_lock<std::mutex> lock(m_mtx);
    m_bRelease = true;
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_bDone; });
  }

protected:
  void Execute() override {
    std::unique_lock<std::mutex> lock(m_mtx);
    m_bRunning = true;
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_bRelease; });
  }
  void OnThreadEnd() override {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_bDone = true;
    m_cv.notify_all();
  }
};

}  // namespace

TEST(BaseThread, DetachedThreadRunsOn) {
  CGatedThread thread;
  ASSERT_TRUE(thread.Start());
  thread.WaitRunning();
  EXPECT_EQ(thread.SetDetach(), 0);
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode)) << "no handle any more";
  thread.ReleaseAndWaitDone();
}

TEST(BaseThread, JoinWithTimeOutReturnsWhileTheThreadRuns) {
  CGatedThread thread;
  ASSERT_TRUE(thread.Start());
  thread.WaitRunning();
  thread.Join(20);
  unsigned long dwCode = 0;
  EXPECT_FALSE(thread.GetExitCode(dwCode));
  thread.ReleaseAndWaitDone();
  thread.Join(TOLVAN_INFINITE);
  EXPECT_TRUE(thread.GetExitCode(dwCode));
}

TEST(BaseThread, SecondStartBeginsANewThread) {
  CRecordingThread thread;
  ASSERT_TRUE(thread.Start());
  thread.Join(TOLVAN_INFINITE);
  ASSERT_TRUE(thread.Start());
  thread.Join(TOLVAN_INFINITE);
  EXPECT_EQ(thread.m_strCalls, "start;execute;end;start;execute;end;");
  EXPECT_EQ(thread.m_dwSeenThreadId.load(), thread.GetNewThreadId());
}
