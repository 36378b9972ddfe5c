#pragma once

// The shell that runs the command-line tools (openssl, softhsm2-util...) with which the POSIX
// tests make and check their material, and SoftHSM2 token directories for the card library.

#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "tests/support/TestFiles.h"

constexpr char kSoftHsmModule[] = "/usr/lib/softhsm/libsofthsm2.so";

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command in strDir with its output (standard error joined) in
// strDir/last-command.log, and in *pOutput when given. Returns its exit
// status; -1 when it did not exit.
inline int RunIn(const std::string& strDir, const std::string& strCommand,
                 std::string* pOutput = nullptr) {
  const std::string strFull = "cd " + ShellQuote(strDir) + " && ( " + strCommand + " ) > " +
                              ShellQuote(strDir + "/last-command.log") + " 2>&1";
  const int nStatus = std::system(strFull.c_str());
  if (pOutput != nullptr) *pOutput = ReadFile(strDir + "/last-command.log");
  return nStatus == -1 || !WIFEXITED(nStatus) ? -1 : WEXITSTATUS(nStatus);
}

// Writes strDir/softhsm2.conf for the tokens in strTokenDir and points the
// card library of this process (and its children) at it and at the token
// labelled szLabel; no INI takes part.
inline void UseSoftHsm(const std::string& strDir, const std::string& strTokenDir,
                       const char* szLabel) {
  WriteFile(strDir + "/softhsm2.conf", "directories.tokendir = " + strTokenDir +
                                           "\nobjectstore.backend = file\nlog.level = ERROR\n");
  setenv("SOFTHSM2_CONF", (strDir + "/softhsm2.conf").c_str(), 1);
  setenv("PKICARD_MODULE", kSoftHsmModule, 1);
  setenv("PKICARD_TOKEN_LABEL", szLabel, 1);
  unsetenv("PKICARD_TOKEN_SERIAL");
  setenv("PKICARD_INI", (strDir + "/absent.ini").c_str(), 1);
}
