#pragma once

#include <string>

#include "http/TolvanServer.h"

// The agent's settings file and daily log, both in the agent's directory.

// Reads section "Config" of "TolvanService.ini" in strAppDir: "IP" (default
// 127.0.0.1), "Port" (8888), "DebugLevel" (4) and "LogMaxMB" (256; a value
// that is not a positive number gives 256), numbers read as strtol reads
// them, and "AllowedOrigins" (none: every page may call). A missing file
// gives the defaults.
CServerSettings ReadAgentSettings(const std::string& strAppDir);

// Points the process log at "Log" in strAppDir: daily files "Tolvan<date>.log",
// kept 7 days, written from level nLevel down, every file in "Log" together
// within nLogMaxMB MiB.
void ConfigureProcessLog(const std::string& strAppDir, int nLevel,
                         int nLogMaxMB = CServerSettings().m_nLogMaxMB);
