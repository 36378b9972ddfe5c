#pragma once

// Named locks shared between threads and processes, with a bounded wait.
//
// A lock is known by its name only: every CNamedLock object with the same
// name, in this process or any other process of the same user, excludes every
// other one. This is what the card operations serialise on ("VEX5_FUNC_LOCK",
// "PK_INIT_LOCK") and what CIpcMutex ("IpcMutex_%d") is built from.
//
// Windows: a named auto-reset event, created initially signalled. Acquire
//   waits on it, Release signals it again. If a holder dies, the event stays
//   unsignalled for as long as any other handle to it is open; once the last
//   handle is closed the name is free and the next object starts afresh.
// POSIX: an exclusive lock on the lock file "<name>.lock" (bytes outside
//   [A-Za-z0-9._-] written as %XX) in the per-user runtime directory:
//   "$XDG_RUNTIME_DIR/tolvan" when XDG_RUNTIME_DIR is set, else
//   "/tmp/tolvan-<uid>", created with mode 0700 and refused when it is not a
//   private directory of this user. The lock is an open-file-description lock
//   (fcntl F_OFD_SETLK), so two objects in one process exclude each other like
//   two processes do, and the kernel drops it when its holder dies: a crash
//   never leaves a lock taken. A bounded wait polls (at most every 10 ms), so
//   a release may be seen up to that much later than on Windows. The
//   descriptor is close-on-exec: a spawned child never inherits a lock.

#include <cstdint>

#ifndef TOLVAN_INFINITE
// Wait without a time-out (the value of Windows' INFINITE).
#define TOLVAN_INFINITE 0xFFFFFFFFUL
#endif

class CNamedLock {
public:
  // Opens (or creates) the named lock without taking it. A null or empty
  // name, or one whose lock file name would be longer than 255 bytes, gives
  // an invalid object whose Acquire fails.
  explicit CNamedLock(const char* szName);
  // Opens the named lock and tries to take it within dwTimeoutMs
  // (TOLVAN_INFINITE waits for ever); IsHeld() tells the outcome.
  CNamedLock(const char* szName, unsigned long dwTimeoutMs);
  // Releases the lock if this object holds it, and closes it.
  ~CNamedLock();

  CNamedLock(const CNamedLock&) = delete;
  CNamedLock& operator=(const CNamedLock&) = delete;

  // Takes the lock, waiting at most dwTimeoutMs milliseconds (0 = one try,
  // TOLVAN_INFINITE = no limit). True when taken. When this object already
  // holds the lock it returns true at once (the lock does not count).
  bool Acquire(unsigned long dwTimeoutMs);
  // Gives the lock up if this object holds it; otherwise does nothing.
  void Release();

  bool IsHeld() const { return m_bHeld; }
  // False when the named object could not be opened or created.
  bool IsValid() const;
  // True when no other object, in any process, had the name open when this
  // one was constructed (Windows: the event did not exist before).
  bool IsCreater() const { return m_bCreater; }

private:
  void Open(const char* szName);

  // Windows: the event handle; POSIX: the lock file's descriptor.
  std::intptr_t m_hLock;
  bool m_bHeld = false;
  bool m_bCreater = false;
};
