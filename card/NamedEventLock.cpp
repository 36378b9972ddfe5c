#include "card/NamedEventLock.h"

#include "base/system/DebugOutput.h"

NamedEventLock::NamedEventLock(const char* szName, unsigned nWaitMs)
    : m_lock(szName), m_nWaitMs(nWaitMs) {
  if (m_lock.Acquire(m_nWaitMs)) m_nState = LOCK_ACQUIRED;
}

NamedEventLock::~NamedEventLock() {
  if (m_nState == LOCK_ACQUIRED) {
    DebugOutput("setting event");
    m_lock.Release();
  }
}
