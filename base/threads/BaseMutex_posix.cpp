#include "base/threads/BaseMutex.h"

#include <pthread.h>

class CBaseMutexImpl {
public:
  CBaseMutexImpl() {
    pthread_mutexattr_t attr;
    ::pthread_mutexattr_init(&attr);
    ::pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    ::pthread_mutex_init(&m_mtx, &attr);
    ::pthread_mutexattr_destroy(&attr);
  }
  ~CBaseMutexImpl() { ::pthread_mutex_destroy(&m_mtx); }
  pthread_mutex_t m_mtx;
};

CBaseMutex::CBaseMutex() : m_pImpl(std::make_unique<CBaseMutexImpl>()) {}

CBaseMutex::~CBaseMutex() = default;

int CBaseMutex::Lock() const {
  ::pthread_mutex_lock(&m_pImpl->m_mtx);
  return 0;
}

int CBaseMutex::Unlock() const {
  ::pthread_mutex_unlock(&m_pImpl->m_mtx);
  return 0;
}

int CBaseMutex::Lock_Try() const {
  return ::pthread_mutex_trylock(&m_pImpl->m_mtx) == 0 ? 0 : 16;
}
