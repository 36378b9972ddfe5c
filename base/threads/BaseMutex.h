#pragma once

// CBaseMutex: an in-process lock, recursive for its owner (critical-section
// semantics: the owning thread may Lock again and must Unlock as often).
// CAutoMutexT: a scoped lock over such a lock object.
//
// Windows: a CRITICAL_SECTION. POSIX: a recursive pthread mutex.
// Results are POSIX-style on both: 0 success, 16 busy; on POSIX any other
// failure is the system's own error number (EPERM for an Unlock by a thread
// that does not hold it, or the error the mutex's creation failed with).

#include <memory>

class CBaseMutexImpl;

class CBaseMutex {
public:
  CBaseMutex();
  ~CBaseMutex();

  CBaseMutex(const CBaseMutex&) = delete;
  CBaseMutex& operator=(const CBaseMutex&) = delete;

  // Enters, waiting as long as another thread holds it. 0 when entered.
  int Lock() const;
  // Leaves once. 0 when left. Only the owning thread may call it.
  int Unlock() const;
  // Enters without waiting: 0 when entered (also when this thread holds it
  // already), 16 when another thread holds it, else the system's error.
  int Lock_Try() const;

private:
  std::unique_ptr<CBaseMutexImpl> m_pImpl;  // the critical section / pthread mutex
};

// Locks the given lock object for the life of the guard. A null pointer gives
// a guard that does nothing.
template <class TLock>
class CAutoMutexT {
public:
  explicit CAutoMutexT(const TLock& lock) : m_pLock(&lock) { m_pLock->Lock(); }
  explicit CAutoMutexT(const TLock* pLock) : m_pLock(pLock) {
    if (m_pLock != nullptr) m_pLock->Lock();
  }
  virtual ~CAutoMutexT() {
    if (m_pLock != nullptr) m_pLock->Unlock();
  }

  CAutoMutexT(const CAutoMutexT&) = delete;
  CAutoMutexT& operator=(const CAutoMutexT&) = delete;

private:
  const TLock* m_pLock;
};
