#include "base/system/ConfigDir.h"

#include "base/system/ExePath.h"

std::string GetConfigFilePath(const char* szFile) {
  return JoinPath(GetConfigDir(), szFile != nullptr ? szFile : "");
}
