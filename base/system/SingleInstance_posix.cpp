#include "base/system/SingleInstance.h"

#include "base/system/NamedLock.h"

CSingleInstance::CSingleInstance(const char* szName)
    : m_pLock(std::make_unique<CNamedLock>(szName)) {
  if (!m_pLock->IsValid()) {
    m_pLock.reset();
    return;
  }
  m_bHeld = m_pLock->Acquire(0);
  m_bAnother = !m_bHeld;
  if (!m_bHeld) m_pLock.reset();
}

CSingleInstance::~CSingleInstance() = default;
