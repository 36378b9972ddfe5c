#pragma once

#include <memory>
#include <string>

#include "http/TolvanServer.h"

// The service object as the agent runs it: settings from "TolvanService.ini"
// in strSettingsDir, the daily log in "Log" in strStateDir, requests routed to
// chEnvParm and the dispatcher, and the key watch. The caller adds the
// watchdog launcher.
std::unique_ptr<CTolvanServer> CreateAgentServer(const std::string& strSettingsDir,
                                                 const std::string& strStateDir);
