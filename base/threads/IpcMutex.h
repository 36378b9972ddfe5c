#pragma once

// CIpcMutex: a lock shared between processes under the name "IpcMutex_<n>".
// It is a two-state semaphore, not an owned mutex: Lock waits without a
// time-out until the lock is free and takes it; Unlock frees it. A second
// Lock by the holder blocks (it is not recursive). Lock and Unlock always
// return 0. When the named object cannot be made, both do nothing.
//
// Windows: a named auto-reset event, created initially signalled (Lock waits
//   on it, Unlock sets it); any thread or process may Unlock.
// POSIX: the named lock of base/system/NamedLock.h under the same name. Any
//   thread may Unlock what another thread of this object took, but only the
//   object that took the lock can free it: another process's Unlock does not
//   free it (there it frees only what that process's object holds). The
//   kernel frees it when the holding process dies.

#include <memory>

class CIpcEvent;

class CIpcMutex {
public:
  // bFlag is stored only.
  explicit CIpcMutex(int nNumber, bool bFlag = false);
  ~CIpcMutex();

  CIpcMutex(const CIpcMutex&) = delete;
  CIpcMutex& operator=(const CIpcMutex&) = delete;

  int Lock() const;
  int Unlock() const;
  // True when this object brought the name into being: no other object, in
  // any process, had it open.
  bool IsCreater() const { return m_bIsCreater; }

private:
  std::unique_ptr<CIpcEvent> m_hEvent;  // null when the named object could not be made
  bool m_bIsCreater;
  bool m_bFlag;
};
