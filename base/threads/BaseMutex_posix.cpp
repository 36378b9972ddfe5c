#include "base/threads/BaseMutex.h"

#include <pthread.h>

class CBaseMutexImpl {
public:
  CBaseMutexImpl() {
    pthread_mutexattr_t attr;
    m_nInitError = ::pthread_mutexattr_init(&attr);
    if (m_nInitError != 0) return;
    m_nInitError = ::pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (m_nInitError == 0) m_nInitError = ::pthread_mutex_init(&m_mtx, &attr);
    ::pthread_mutexattr_destroy(&attr);
  }
  ~CBaseMutexImpl() {
    if (m_nInitError == 0) ::pthread_mutex_destroy(&m_mtx);
  }
  pthread_mutex_t m_mtx;
  // What initialisation failed with; a mutex that never came to be is
  // never used, and every call answers this.
  int m_nInitError = 0;
};

CBaseMutex::CBaseMutex() : m_pImpl(std::make_unique<CBaseMutexImpl>()) {}

CBaseMutex::~CBaseMutex() = default;

int CBaseMutex::Lock() const {
  if (m_pImpl->m_nInitError != 0) return m_pImpl->m_nInitError;
  return ::pthread_mutex_lock(&m_pImpl->m_mtx);
}

int CBaseMutex::Unlock() const {
  if (m_pImpl->m_nInitError != 0) return m_pImpl->m_nInitError;
  return ::pthread_mutex_unlock(&m_pImpl->m_mtx);
}

int CBaseMutex::Lock_Try() const {
  if (m_pImpl->m_nInitError != 0) return m_pImpl->m_nInitError;
  // EBUSY, 16, when another thread holds it; any other failure as it came.
  return ::pthread_mutex_trylock(&m_pImpl->m_mtx);
}
