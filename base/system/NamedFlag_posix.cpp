#include "base/system/NamedFlag.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "base/system/RuntimeDir_posix.h"

namespace {

// Writes the whole state byte into a fresh temporary file and renames it over
// the flag, so a reader never sees a half-written file.
bool WriteFlagFile(const std::string& strPath, char cState) {
  std::string strTemp = strPath + ".tmp." + std::to_string(static_cast<long>(::getpid()));
  int nFd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (nFd < 0) return false;
  bool bOk = ::write(nFd, &cState, 1) == 1;
  bOk = (::close(nFd) == 0) && bOk;
  if (bOk) bOk = ::rename(strTemp.c_str(), strPath.c_str()) == 0;
  if (!bOk) ::unlink(strTemp.c_str());
  return bOk;
}

}  // namespace

CNamedFlag::CNamedFlag(const char* szName, emOpenMode eMode) {
  if (szName == nullptr || szName[0] == '\0') return;
  std::string strDir = RuntimeDirectory();
  if (strDir.empty()) return;
  std::string strFile = RuntimeFileName(szName, ".flag");
  if (strFile.size() > 255) return;
  std::string strPath = strDir + "/" + strFile;
  if (eMode == emCreate) {
    if (!WriteFlagFile(strPath, '0')) return;
  } else if (::access(strPath.c_str(), F_OK) != 0) {
    return;
  }
  m_strPath = strPath;
}

CNamedFlag::~CNamedFlag() = default;

bool CNamedFlag::IsValid() const { return !m_strPath.empty(); }

bool CNamedFlag::Set() {
  if (m_strPath.empty()) return false;
  return WriteFlagFile(m_strPath, '1');
}

bool CNamedFlag::IsSet() const {
  if (m_strPath.empty()) return false;
  int nFd = ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (nFd < 0) return false;
  char cState = 0;
  ssize_t n;
  do {
    n = ::read(nFd, &cState, 1);
  } while (n < 0 && errno == EINTR);
  ::close(nFd);
  return n == 1 && cState == '1';
}

void CNamedFlag::Remove() {
  if (!m_strPath.empty()) ::unlink(m_strPath.c_str());
}
