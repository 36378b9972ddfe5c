#pragma once

#include "base/system/NamedLock.h"

// Names of the two locks shared by every process of the user.
constexpr const char* FUNC_LOCK_NAME = "VEX5_FUNC_LOCK";  // card operations and initialisation
constexpr const char* INIT_LOCK_NAME = "PK_INIT_LOCK";    // the card library's initialised state
// How long every card-side lock is waited for.
constexpr unsigned NAMED_LOCK_WAIT_MS = 1000;

// Scoped guard over a named lock with a bounded wait: construction waits up to
// the wait time for the lock, destruction gives it back (writing "setting
// event" to the debugger output channel) when it was taken.
class NamedEventLock {
 public:
  enum emLockState { LOCK_NOT_ACQUIRED = 1, LOCK_ACQUIRED = 2 };

  NamedEventLock(const char* szName, unsigned nWaitMs);
  ~NamedEventLock();
  NamedEventLock(const NamedEventLock&) = delete;
  NamedEventLock& operator=(const NamedEventLock&) = delete;

  bool IsAcquired() const { return m_nState == LOCK_ACQUIRED; }

 private:
  int m_nState = LOCK_NOT_ACQUIRED;
  CNamedLock m_lock;
  unsigned m_nWaitMs;
};
