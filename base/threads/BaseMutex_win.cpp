#include "base/threads/BaseMutex.h"

#include <windows.h>

class CBaseMutexImpl {
public:
  CBaseMutexImpl() { ::InitializeCriticalSection(&m_cs); }
  ~CBaseMutexImpl() { ::DeleteCriticalSection(&m_cs); }
  CRITICAL_SECTION m_cs;
};

CBaseMutex::CBaseMutex() : m_pImpl(std::make_unique<CBaseMutexImpl>()) {}

CBaseMutex::~CBaseMutex() = default;

int CBaseMutex::Lock() const {
  ::EnterCriticalSection(&m_pImpl->m_cs);
  return 0;
}

int CBaseMutex::Unlock() const {
  ::LeaveCriticalSection(&m_pImpl->m_cs);
  return 0;
}

int CBaseMutex::Lock_Try() const { return ::TryEnterCriticalSection(&m_pImpl->m_cs) ? 0 : 16; }
