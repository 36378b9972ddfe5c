#pragma once

#include <string>

#include "http/TolvanServer.h"

// The agent's settings file and daily log, both in the agent's directory
// unless that is read-only (base/system/AppDirs.h says where they are then).

// Reads section "Config" of "TolvanService.ini" in strSettingsDir: "IP" (default
// 127.0.0.1), "Port" (8888), "DebugLevel" (4) and "LogMaxMB" (256; a value
// that is not a positive number gives 256), numbers read as strtol reads
// them, and "AllowedOrigins" (none: every page may call). A missing file
// gives the defaults.
CServerSettings ReadAgentSettings(const std::string& strSettingsDir);

// Points the process log at "Log" in strStateDir: daily files "Tolvan<date>.log",
// kept 7 days, written from level nLevel down, every file in "Log" together
// within nLogMaxMB MiB.
void ConfigureProcessLog(const std::string& strStateDir, int nLevel,
                         int nLogMaxMB = CServerSettings().m_nLogMaxMB);
