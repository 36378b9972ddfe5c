#include "base/system/CertStore.h"

#include "base/system/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <iterator>

namespace {

const char kCertExt[] = ".cer";
constexpr size_t kCertExtLen = sizeof(kCertExt) - 1;
// Larger files are not certificates of this store.
constexpr std::streamoff kMaxCertFile = 64 * 1024;

std::string EnvValue(const char* szName) {
  std::string strValue;
  return GetEnvVar(szName, strValue) ? strValue : std::string();
}

// Creates every missing level of strDir with mode 0700.
bool MakePrivateDirs(const std::string& strDir) {
  for (size_t nPos = 1; nPos <= strDir.size(); ++nPos) {
    if (nPos != strDir.size() && strDir[nPos] != '/') continue;
    const std::string strPart = strDir.substr(0, nPos);
    if (::mkdir(strPart.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(strDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadCertFile(const std::string& strPath, CertDer& vDer) {
  std::ifstream in(strPath, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff nSize = in.tellg();
  if (nSize <= 0 || nSize > kMaxCertFile) return false;
  in.seekg(0);
  vDer.resize(static_cast<size_t>(nSize));
  return static_cast<bool>(in.read(reinterpret_cast<char*>(vDer.data()), nSize));
}

// The names of the ".cer" files of the store, sorted.
std::vector<std::string> CertFileNames(const std::string& strDir) {
  std::vector<std::string> vNames;
  DIR* pDir = ::opendir(strDir.c_str());
  if (pDir == nullptr) return vNames;
  while (const dirent* pEntry = ::readdir(pDir)) {
    const std::string strName = pEntry->d_name;
    if (strName.size() > kCertExtLen && strName[0] != '.' &&
        strName.compare(strName.size() - kCertExtLen, kCertExtLen, kCertExt) == 0) {
      vNames.push_back(strName);
    }
  }
  ::closedir(pDir);
  std::sort(vNames.begin(), vNames.end());
  return vNames;
}

std::string Lower(std::string strText) {
  std::transform(strText.begin(), strText.end(), strText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return strText;
}

// Writes the bytes to a fresh temporary file in the directory and renames it
// over strPath, so that a reader sees the old file or the whole new one.
bool WriteAtomically(const std::string& strDir, const std::string& strPath, const CertDer& vDer) {
  std::string strTemp = strDir + "/.cert-XXXXXX";
  const int fd = ::mkstemp(&strTemp[0]);
  if (fd < 0) return false;
  size_t nDone = 0;
  bool bOk = true;
  while (bOk && nDone < vDer.size()) {
    const ssize_t n = ::write(fd, vDer.data() + nDone, vDer.size() - nDone);
    if (n < 0 && errno == EINTR) continue;
    bOk = n > 0;
    if (bOk) nDone += static_cast<size_t>(n);
  }
  bOk = ::fsync(fd) == 0 && bOk;
  bOk = ::close(fd) == 0 && bOk;
  if (bOk && ::rename(strTemp.c_str(), strPath.c_str()) == 0) return true;
  ::unlink(strTemp.c_str());
  return false;
}

}  // namespace

std::string UserCertStoreDir() {
  std::string strBase = EnvValue("XDG_DATA_HOME");
  // XDG asks for an absolute path; a relative one is ignored like an unset one.
  if (strBase.empty() || strBase[0] != '/') {
    std::string strHome = EnvValue("HOME");
    if (strHome.empty()) strHome = ".";
    strBase = strHome + "/.local/share";
  }
  while (strBase.size() > 1 && strBase.back() == '/') strBase.pop_back();
  return strBase + "/Tolvan/certstore/MY";
}

bool InstallUserCert(const CertDer& vDer) {
  const std::string strSerial = CertSerialText(vDer);
  if (strSerial.empty()) return false;
  const std::string strDir = UserCertStoreDir();
  if (!MakePrivateDirs(strDir)) return false;
  // Another file holding the same serial (written by hand, say) goes first.
  if (!RemoveUserCertBySerial(strSerial)) return false;
  return WriteAtomically(strDir, strDir + "/" + strSerial + kCertExt, vDer);
}

bool RemoveUserCertBySerial(const std::string& strSerial) {
  const std::string strWanted = Lower(strSerial);
  if (strWanted.empty()) return true;
  const std::string strDir = UserCertStoreDir();
  bool bAllGone = true;
  for (const std::string& strName : CertFileNames(strDir)) {
    const std::string strPath = strDir + "/" + strName;
    bool bMatch = Lower(strName.substr(0, strName.size() - kCertExtLen)) == strWanted;
    CertDer vDer;
    if (!bMatch && ReadCertFile(strPath, vDer)) bMatch = CertSerialText(vDer) == strWanted;
    if (bMatch && ::unlink(strPath.c_str()) != 0 && errno != ENOENT) bAllGone = false;
  }
  return bAllGone;
}

std::vector<CertDer> ListUserCerts() {
  std::vector<CertDer> vCerts;
  const std::string strDir = UserCertStoreDir();
  for (const std::string& strName : CertFileNames(strDir)) {
    CertDer vDer;
    if (ReadCertFile(strDir + "/" + strName, vDer) && !CertSerialText(vDer).empty()) {
      vCerts.push_back(std::move(vDer));
    }
  }
  return vCerts;
}
