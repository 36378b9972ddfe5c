#include "base/system/Process.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

void CloseIfOpen(std::intptr_t& h) {
  if (h != 0) {
    ::CloseHandle(AsHandle(h));
    h = 0;
  }
}

void CloseIfOpen(HANDLE& h) {
  if (h != nullptr) {
    ::CloseHandle(h);
    h = nullptr;
  }
}

// Quotes one argument so that the C runtime's command-line parser gives it
// back unchanged: backslashes double only before a quote or the closing quote.
void AppendQuoted(std::string& strCmd, const std::string& strArg) {
  if (!strArg.empty() && strArg.find_first_of(" \t\n\v\"") == std::string::npos) {
    strCmd += strArg;
    return;
  }
  strCmd += '"';
  size_t nSlashes = 0;
  for (char c : strArg) {
    if (c == '\\') {
      ++nSlashes;
      continue;
    }
    if (c == '"') strCmd.append(nSlashes * 2 + 1, '\\');
    else strCmd.append(nSlashes, '\\');
    nSlashes = 0;
    strCmd += c;
  }
  strCmd.append(nSlashes * 2, '\\');
  strCmd += '"';
}

// The variable name of a "NAME=value" entry; entries such as "=C:=C:\x"
// keep their leading '='.
std::string EnvName(const std::string& strEntry) {
  std::string::size_type nEq = strEntry.find('=', 1);
  return strEntry.substr(0, nEq);
}

// An environment block sorted by name, without regard to case, as
// CreateProcess expects.
std::string MakeEnvBlock(const std::vector<std::string>& vecEnv) {
  std::vector<std::string> vecSorted(vecEnv);
  std::stable_sort(vecSorted.begin(), vecSorted.end(),
                   [](const std::string& a, const std::string& b) {
                     return ::lstrcmpiA(EnvName(a).c_str(), EnvName(b).c_str()) < 0;
                   });
  std::string strBlock;
  for (const std::string& s : vecSorted) {
    if (s.empty()) continue;
    strBlock.append(s.c_str(), std::strlen(s.c_str()));
    strBlock += '\0';
  }
  if (strBlock.empty()) strBlock += '\0';
  strBlock += '\0';
  return strBlock;
}

// Inheritable pipe ends live only between their creation and CreateProcess;
// serialising that window keeps them out of children started by other threads.
std::mutex g_mtxSpawn;

}  // namespace

CProcess::CProcess() : m_hStdinWrite(0), m_hStdoutRead(0) {}

void CProcess::ReleaseChild() {
  CloseIfOpen(m_hStdinWrite);
  CloseIfOpen(m_hStdoutRead);
  if (m_hProcess != nullptr) {
    ::CloseHandle(static_cast<HANDLE>(m_hProcess));
    m_hProcess = nullptr;
  }
}

bool CProcess::SpawnChild(const char* szPath, const std::vector<std::string>& vecArgs,
                          const std::vector<std::string>* pvecEnv, int nPipes) {
  std::string strCmd;
  if (vecArgs.empty()) {
    AppendQuoted(strCmd, szPath);
  } else {
    for (size_t i = 0; i < vecArgs.size(); ++i) {
      if (i != 0) strCmd += ' ';
      AppendQuoted(strCmd, vecArgs[i]);
    }
  }
  std::vector<char> vecCmd(strCmd.begin(), strCmd.end());
  vecCmd.push_back('\0');

  std::string strEnv;
  if (pvecEnv != nullptr) strEnv = MakeEnvBlock(*pvecEnv);

  std::lock_guard<std::mutex> guard(g_mtxSpawn);
  SECURITY_ATTRIBUTES sa;
  sa.nLength = sizeof(sa);
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  HANDLE hInRead = nullptr, hInWrite = nullptr, hOutRead = nullptr, hOutWrite = nullptr;
  auto closeAll = [&] {
    CloseIfOpen(hInRead);
    CloseIfOpen(hInWrite);
    CloseIfOpen(hOutRead);
    CloseIfOpen(hOutWrite);
  };
  if ((nPipes & emPipeStdin) != 0) {
    if (!::CreatePipe(&hInRead, &hInWrite, &sa, 0) ||
        !::SetHandleInformation(hInWrite, HANDLE_FLAG_INHERIT, 0)) {
      closeAll();
      return false;
    }
  }
  if ((nPipes & emPipeStdout) != 0) {
    if (!::CreatePipe(&hOutRead, &hOutWrite, &sa, 0) ||
        !::SetHandleInformation(hOutRead, HANDLE_FLAG_INHERIT, 0)) {
      closeAll();
      return false;
    }
  }

  STARTUPINFOA si;
  std::memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  BOOL bInherit = FALSE;
  const bool bNoStd = (nPipes & emNoStdHandles) != 0;
  if ((nPipes & (emPipeStdin | emPipeStdout)) != 0) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = hInRead != nullptr ? hInRead : bNoStd ? nullptr : ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput =
        hOutWrite != nullptr ? hOutWrite : bNoStd ? nullptr : ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = bNoStd ? nullptr : ::GetStdHandle(STD_ERROR_HANDLE);
    bInherit = TRUE;
  } else if (bNoStd) {
    // All three null; nothing is inherited.
    si.dwFlags = STARTF_USESTDHANDLES;
  }
  const DWORD dwCreation = (nPipes & emDefaultErrorMode) != 0 ? CREATE_DEFAULT_ERROR_MODE : 0;
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof(pi));
  BOOL bOk = ::CreateProcessA(szPath, vecCmd.data(), nullptr, nullptr, bInherit, dwCreation,
                              pvecEnv != nullptr ? &strEnv[0] : nullptr, nullptr, &si, &pi);
  CloseIfOpen(hInRead);
  CloseIfOpen(hOutWrite);
  if (!bOk) {
    closeAll();
    return false;
  }
  ::CloseHandle(pi.hThread);
  m_hProcess = pi.hProcess;
  m_dwPid = pi.dwProcessId;
  m_hStdinWrite = reinterpret_cast<std::intptr_t>(hInWrite);
  m_hStdoutRead = reinterpret_cast<std::intptr_t>(hOutRead);
  return true;
}

bool CProcess::Wait(unsigned long dwTimeoutMs) {
  if (m_bEnded) return true;
  if (m_hProcess == nullptr) return false;
  if (::WaitForSingleObject(static_cast<HANDLE>(m_hProcess), dwTimeoutMs) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD dwCode = 0;
  if (!::GetExitCodeProcess(static_cast<HANDLE>(m_hProcess), &dwCode)) return false;
  m_dwExitCode = dwCode;
  m_bEnded = true;
  return true;
}

bool CProcess::Kill() {
  if (m_hProcess == nullptr || m_bEnded) return false;
  return ::TerminateProcess(static_cast<HANDLE>(m_hProcess), 137) != FALSE;
}

long CProcess::ReadRaw(void* pBuf, unsigned long nLen) {
  if (m_hStdoutRead == 0 || pBuf == nullptr) return -1;
  DWORD dwRead = 0;
  DWORD dwWant = nLen > 0x10000000UL ? 0x10000000UL : static_cast<DWORD>(nLen);
  if (!::ReadFile(AsHandle(m_hStdoutRead), pBuf, dwWant, &dwRead, nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<long>(dwRead);
}

void CProcess::CloseInput() { CloseIfOpen(m_hStdinWrite); }

unsigned long GetCurrentPid() { return ::GetCurrentProcessId(); }

bool GetEnvVar(const char* szName, std::string& strValue) {
  if (szName == nullptr || szName[0] == '\0') return false;
  std::vector<char> vecBuf(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    DWORD n = ::GetEnvironmentVariableA(szName, vecBuf.data(), static_cast<DWORD>(vecBuf.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      strValue.clear();
      return true;
    }
    if (n < vecBuf.size()) {
      strValue.assign(vecBuf.data(), n);
      return true;
    }
    vecBuf.resize(n);  // n counts the terminator when the buffer was short
  }
}

bool SetEnvVar(const char* szName, const char* szValue) {
  if (szName == nullptr || szName[0] == '\0' || std::strchr(szName, '=') != nullptr) return false;
  return ::SetEnvironmentVariableA(szName, szValue) != FALSE;
}

std::vector<std::string> GetProcessEnvironment() {
  std::vector<std::string> vecEnv;
  LPCH pBlock = ::GetEnvironmentStringsA();
  if (pBlock == nullptr) return vecEnv;
  for (const char* p = pBlock; *p != '\0'; p += std::strlen(p) + 1) vecEnv.emplace_back(p);
  ::FreeEnvironmentStringsA(pBlock);
  return vecEnv;
}
