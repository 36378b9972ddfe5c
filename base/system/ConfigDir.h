#pragma once

#include <string>

// The per-user configuration directory that holds the key label file
// "Client.conf": TOLVAN_CONFIG_DIR when that is set and not empty; otherwise
// $XDG_CONFIG_HOME/Tolvan (or ~/.config/Tolvan) on POSIX and C:\Config on
// Windows. Returned without a trailing separator.
std::string GetConfigDir();

// strFile inside the configuration directory.
std::string GetConfigFilePath(const char* szFile);
