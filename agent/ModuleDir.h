#pragma once

// Splitting the agent's executable path: the directory part and the
// separator to append file names with.

#include <string>

// The directory of a full file name: the text before its last separator.
// Windows: the last '\', found character by character in the ANSI code page,
// so that the second byte of a double-byte character never counts as one.
// POSIX: the last '/'. Empty when the name holds no separator.
std::string ModuleDirectory(const std::string& strPath);

// The separator written between a directory and a file name.
char ModulePathSeparator();
