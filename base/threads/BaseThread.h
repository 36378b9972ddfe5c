#pragma once

// CBaseThread: a thread object whose work is a virtual hook (OnThreadStart,
// Execute, OnThreadEnd), or any routine the caller hands to the long Start.
//
// The object does not own the thread's life: destroying it (or SetDetach)
// lets the thread run on, and nothing waits for it. Join before destroying
// an object whose Execute uses it.
//
// Windows: CreateThread and the thread calls named after each member.
// POSIX (pthreads), where the behaviour differs:
//  - Suspend/Resume: a thread can be held only before it starts running.
//    A thread created suspended waits at a start gate until its suspend
//    count falls to 0. Suspend on a thread that is already running does
//    nothing and returns 0xFFFFFFFF (failure), since POSIX has no safe way
//    to stop a running thread.
//  - Terminate: POSIX has no safe way to end another thread; it fails
//    (returns 0) and the thread runs on. End threads cooperatively.
//  - Priority: Windows priority values map onto the thread's nice value
//    (IDLE -15 -> 19, LOWEST -2 -> 10, BELOW_NORMAL -1 -> 5, NORMAL 0 -> 0,
//    ABOVE_NORMAL 1 -> -5, HIGHEST 2 -> -10, TIME_CRITICAL 15 -> -20).
//    Raising a thread above normal needs privileges (CAP_SYS_NICE or
//    RLIMIT_NICE); without them SetPriority returns 0 and the stored value
//    is kept, and Start runs the thread at the default priority.
//  - Thread ids are the kernel's thread ids (gettid).
//  - The stack size is raised to the system minimum when smaller.

#include <memory>

#ifndef TOLVAN_INFINITE
// Wait without a time-out (the value of Windows' INFINITE).
#define TOLVAN_INFINITE 0xFFFFFFFFUL
#endif

// Kept for the interface; no behaviour depends on them.
enum PThread_Scope { PThread_Scope_System = 0, PThread_Scope_Process = 1 };
enum PThread_JoinOrDetach { PThread_Joinable = 0, PThread_Detached = 1 };

// A thread routine: one argument, the thread's exit code as result.
typedef unsigned long (*PThreadRoutine)(void* pArg);

// The platform thread behind a CBaseThread (defined per platform).
class CThreadHandle;

class CBaseThread {
public:
  CBaseThread();
  CBaseThread(int nPriority, unsigned nStackSize, int nCreateSuspended, PThread_Scope eScope,
              PThread_JoinOrDetach eJoinOrDetach);
  // Gives up the thread handle; neither waits for nor stops the thread.
  virtual ~CBaseThread();

  CBaseThread(const CBaseThread&) = delete;
  CBaseThread& operator=(const CBaseThread&) = delete;

  // Forcibly ends the thread with dwExitCode. Non-zero on success (see the
  // POSIX note above).
  virtual int Terminate(unsigned long dwExitCode);
  // Stores the settings and starts pfnRoutine(pArg) on a new thread. A
  // handle from an earlier start is given up first (the old thread runs on).
  // False only when the thread cannot be created.
  virtual bool Start(PThreadRoutine pfnRoutine, void* pArg, int nPriority, unsigned nStackSize,
                     int nCreateSuspended, PThread_Scope eScope,
                     PThread_JoinOrDetach eJoinOrDetach);
  // Stores pParam in m_pParam and starts s_ThreadProc on this object with the
  // stored settings.
  virtual bool Start(void* pParam = nullptr);
  // Waits at most dwMilliseconds (TOLVAN_INFINITE: for ever) for the thread
  // to end. The outcome is not reported; GetExitCode tells it.
  virtual void Join(unsigned long dwMilliseconds);

  // Stores the priority and applies it to the thread; non-zero on success.
  int SetPriority(int nPriority);
  int GetPriority() const { return m_nPriority; }
  // The previous suspend count, or 0xFFFFFFFF on failure.
  unsigned long Suspend();
  unsigned long Resume();
  // Gives up the thread handle (the thread runs on). Always 0.
  int SetDetach();
  unsigned long GetNewThreadId() const { return m_dwThreadId; }
  // The thread's exit code once it has ended; false while it runs or when
  // there is no handle.
  bool GetExitCode(unsigned long& dwExitCode) const;

  static unsigned long GetCurrentThreadId();
  static unsigned long GetCurrentProcessId();

protected:
  // Called first on the new thread; false ends the thread at once with exit
  // code -1 (all bits set), without Execute or OnThreadEnd.
  virtual bool OnThreadStart();
  virtual void Execute();
  virtual void OnThreadEnd();
  // The routine of the short Start: pSelf is the CBaseThread.
  static unsigned long s_ThreadProc(void* pSelf);

private:
  // Creates the platform thread for pfnRoutine(pArg) with the stored
  // priority, stack size and suspended flag; sets m_hThread and m_dwThreadId.
  // False when the thread cannot be created. (Defined per platform.)
  bool CreatePlatformThread(PThreadRoutine pfnRoutine, void* pArg);

protected:

  int m_nPriority;
  unsigned m_nStackSize;
  int m_nCreateSuspended;
  PThread_Scope m_eScope;
  PThread_JoinOrDetach m_eJoinOrDetach;
  void* m_pParam;
  std::shared_ptr<CThreadHandle> m_hThread;  // null when there is no thread handle
  unsigned long m_dwThreadId;
};
