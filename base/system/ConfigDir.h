#pragma once

#include <string>

// The per-user configuration directory that holds the key label file
// "Client.conf": TOLVAN_CONFIG_DIR when that is set and not empty; otherwise
// $XDG_CONFIG_HOME/Tolvan (or ~/.config/Tolvan) on POSIX and C:\Config on
// Windows. Returned without a trailing separator.
std::string GetConfigDir();

// strFile inside the configuration directory.
std::string GetConfigFilePath(const char* szFile);

// The per-user directory for state and logs: $XDG_STATE_HOME/Tolvan (or
// ~/.local/state/Tolvan) on POSIX, %LOCALAPPDATA%\Tolvan on Windows (the
// configuration directory when that is not set). A relative XDG value is
// ignored like an unset one. Returned without a trailing separator; nothing
// is created here.
std::string GetStateHomeDir();
