#pragma once

// Support for tests that run the agent and its watchdog as real processes:
// an install directory of their own, an environment of their own, and
// bounded waits on what the processes leave behind (logs, listening ports).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

// A path given by the build (a POSIX path) in the form this platform's file
// functions take (under Wine: "Z:" and backslashes).
std::filesystem::path BuildPath(const char* szPosixPath);

// A port on 127.0.0.1 that nothing listened on a moment ago.
uint16_t PickFreePort();

// This process's environment with the given "NAME=value" entries replacing or
// adding to it.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& vecOverrides);

// True when the agent on nPort answers a request (a cloud name it does not
// know: -10000).
bool AgentServes(uint16_t nPort);

class CProcess;

// The exit code of process once it has ended, waiting at most nTimeoutMs;
// -1 when it is still running then.
long ExitCodeWithin(CProcess& process, unsigned nTimeoutMs);
