#pragma once

// The single-instance lock: the first process of a logon to construct it under
// a name holds it for as long as the object lives (normally the life of the
// process); a later process constructing one under the same name learns that
// another instance runs. The agent uses the name "Orv_Vex5.0".
//
// Windows: a named mutex created initially owned; if it already existed,
//   another instance runs and the handle is closed at once.
// POSIX: the lock file of CNamedLock under the same name (see NamedLock.h),
//   taken without waiting. The kernel drops it when the holding process dies,
//   so a crashed instance never blocks the next start.

#include <memory>

class CNamedLock;

class CSingleInstance {
public:
  explicit CSingleInstance(const char* szName);
  ~CSingleInstance();

  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // True when another live instance holds the name: the caller should leave.
  bool IsAnotherInstance() const { return m_bAnother; }
  // True when this object holds the single-instance lock. Both are false when
  // the lock could not be set up at all (the caller may then run unguarded,
  // as the Windows form does when the mutex cannot be created).
  bool IsHeld() const { return m_bHeld; }

private:
  bool m_bAnother = false;
  bool m_bHeld = false;
  // Windows: the mutex handle; POSIX: unused.
  void* m_hMutex = nullptr;
  // POSIX: the held lock; Windows: unused.
  std::unique_ptr<CNamedLock> m_pLock;
};
