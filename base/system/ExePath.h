#pragma once

// The running executable's full file name and directory, from the operating
// system (Windows: the module file name of the process; POSIX: /proc/self/exe).
// Everything that needs the agent's own directory asks here.

#include <string>

// Writes the executable's full file name, NUL-terminated, into szBuffer of
// nSize bytes. Returns false when the name cannot be read or does not fit in
// full: a cut-off path names the wrong file, so it is never returned.
bool GetExePath(char* szBuffer, int nSize);

// The separator between directory names in the paths GetExePath returns:
// '\\' on Windows, '/' on POSIX.
char GetExePathSeparator();

// Position of the last directory separator in a path, or npos. On Windows the
// path is read character by character in the process's multi-byte code page,
// so the second byte of a double-byte character (GBK 0x5C) never counts as a
// separator.
size_t FindLastPathSeparator(const std::string& strPath);

// The directory part of a full file name (the text before its last
// separator); empty when the name has none.
std::string PathDirectory(const std::string& strPath);

// The executable's directory without a trailing separator; empty when it
// cannot be read.
std::string GetExeDir();

// The same into szBuffer of nSize bytes, NUL-terminated ("/opt/tolvan" on
// Linux, "C:\\Tolvan" on Windows). Returns false, with an empty buffer when it
// has room for one, when the executable's full file name cannot be read or
// does not fit in nSize bytes.
bool GetAppPath(char* szBuffer, int nSize);

// strDir and strName joined with one separator of this platform (strDir may
// end with one already; an empty strDir gives strName).
std::string JoinPath(const std::string& strDir, const std::string& strName);
