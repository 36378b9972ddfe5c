#pragma once

// Full file name of the running executable, from the operating system
// (Windows: the module file name of the process; POSIX: /proc/self/exe).

// Writes the executable's full file name, NUL-terminated, into szBuffer of
// nSize bytes. Returns false when the name cannot be read or does not fit in
// full: a cut-off path names the wrong file, so it is never returned.
bool GetExePath(char* szBuffer, int nSize);

// The separator between directory names in the paths GetExePath returns:
// '\\' on Windows, '/' on POSIX.
char GetExePathSeparator();
