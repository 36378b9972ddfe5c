#pragma once

// The per-user runtime directory that holds the files standing in for
// Windows' named kernel objects on POSIX (lock files, flag files). Internal to
// the POSIX seams of base/system.

#include <string>

// "$XDG_RUNTIME_DIR/tolvan" when XDG_RUNTIME_DIR is an absolute path, else
// "/tmp/tolvan-<uid>"; created with mode 0700 when missing. Empty when it
// cannot be made or is not a private directory of this user (a directory
// another user could write to would let them fake or steal our objects).
std::string RuntimeDirectory();

// A file name for an object name: bytes outside [A-Za-z0-9._-] written as
// %XX, then szSuffix. Never holds a '/', so it cannot leave the directory.
std::string RuntimeFileName(const char* szName, const char* szSuffix);
