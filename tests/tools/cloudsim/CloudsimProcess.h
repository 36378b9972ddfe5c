#pragma once

// The simulated cloud signing service as a child process (TOLVAN_CLOUDSIM_PATH from the build).

#include <string>

#include "base/system/Process.h"

// Starts the simulator with its files in strDir on a port of its choosing; the "127.0.0.1:<port>"
// it listens on, "" when it did not start.
inline std::string StartCloudsim(CProcess& process, const std::string& strDir) {
  const std::string strPrefix = "cloudsim listening on ";
  std::string strLine;
  if (!process.Start(TOLVAN_CLOUDSIM_PATH, {"cloudsim", "--dir", strDir, "--port", "0"}, nullptr,
                     CProcess::emPipeStdout) ||
      !process.ReadOutputLine(strLine) || strLine.compare(0, strPrefix.size(), strPrefix) != 0) {
    return "";
  }
  return strLine.substr(strPrefix.size());
}
