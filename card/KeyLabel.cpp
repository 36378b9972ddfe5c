#include "card/KeyLabel.h"

#include "base/system/ConfigDir.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

int readKeyLabel(char* pBuf, size_t nSize) {
  if (pBuf == nullptr || nSize == 0) return -1;
  std::ifstream file(GetConfigFilePath(KEY_LABEL_FILE), std::ios::in | std::ios::binary);
  if (!file) return -1;
  std::vector<char> vContent(KEY_LABEL_FILE_MAX);
  file.read(vContent.data(), static_cast<std::streamsize>(vContent.size()));
  if (file.bad()) return -1;
  std::string strContent(vContent.data(), static_cast<size_t>(file.gcount()));

  char szOpen[50];
  char szClose[50];
  std::snprintf(szOpen, sizeof(szOpen), "<%s>", "KeyLabel");
  std::snprintf(szClose, sizeof(szClose), "</%s>", "KeyLabel");
  size_t nOpen = strContent.find(szOpen);
  if (nOpen == std::string::npos) return -1;
  size_t nStart = nOpen + std::strlen(szOpen);
  size_t nEnd = strContent.find(szClose, nStart);
  if (nEnd == std::string::npos) return -1;

  size_t nCopy = nEnd - nStart;
  if (nCopy > nSize - 1) nCopy = nSize - 1;  // leaves the caller's terminator in place
  std::memcpy(pBuf, strContent.data() + nStart, nCopy);
  return 0;
}
