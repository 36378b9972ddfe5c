#pragma once

// Writes the directory of the running executable, NUL-terminated and without a
// trailing separator, into szBuffer of nSize bytes ("/opt/tolvan" on Linux,
// "C:\\Tolvan" on Windows). Returns false, with an empty buffer when it has
// room for one, when the executable's full file name cannot be read or does not
// fit in nSize bytes.
bool GetAppPath(char* szBuffer, int nSize);
