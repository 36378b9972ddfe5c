// The platform-independent half of CProcess: the object's state around a
// child, exit code bookkeeping and the buffering of the child's output into
// lines. The platform halves (Process_posix.cpp, Process_win.cpp) spawn, wait
// for, kill and let go of the child and do the single reads from its output
// pipe (ReadRaw).
#include "base/system/Process.h"

#include <cstring>

CProcess::~CProcess() { Release(); }

void CProcess::Release() {
  ReleaseChild();
  m_dwPid = 0;
  m_bEnded = false;
  m_dwExitCode = 0;
  m_strPending.clear();
}

bool CProcess::Start(const char* szPath, const std::vector<std::string>& vecArgs,
                     const std::vector<std::string>* pvecEnv, int nPipes) {
  Release();
  if (szPath == nullptr || szPath[0] == '\0') return false;
  return SpawnChild(szPath, vecArgs, pvecEnv, nPipes);
}

bool CProcess::GetExitCode(unsigned long& dwExitCode) const {
  if (!m_bEnded) return false;
  dwExitCode = m_dwExitCode;
  return true;
}

long CProcess::ReadOutput(void* pBuf, unsigned long nLen) {
  if (m_strPending.empty() || pBuf == nullptr) return ReadRaw(pBuf, nLen);
  unsigned long n = m_strPending.size() < nLen ? m_strPending.size() : nLen;
  std::memcpy(pBuf, m_strPending.data(), n);
  m_strPending.erase(0, n);
  return static_cast<long>(n);
}

bool CProcess::ReadOutputLine(std::string& strLine) {
  for (;;) {
    std::string::size_type nEol = m_strPending.find('\n');
    if (nEol != std::string::npos) {
      strLine.assign(m_strPending, 0, nEol);
      m_strPending.erase(0, nEol + 1);
      if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
      return true;
    }
    char aBuf[256];
    long n = ReadRaw(aBuf, sizeof(aBuf));
    if (n <= 0) {
      if (m_strPending.empty()) return false;
      strLine.swap(m_strPending);
      m_strPending.clear();
      return true;
    }
    m_strPending.append(aBuf, static_cast<size_t>(n));
  }
}
