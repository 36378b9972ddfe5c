#pragma once

// What the end-to-end tests of the running agent share: the service object
// started as the agent runs it, a page's POST to it, and polling against a
// deadline.

#include <cstdint>
#include <memory>
#include <string>

#include "http/TolvanServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestText.h"

// The two fields of an answer the tests look at; both empty when the agent
// could not be reached.
struct Answer {
  std::string m_strReturn;
  std::string m_strOut;
};

// strBody POSTed to the agent listening on nPort of the loopback address.
Answer PostToAgent(uint16_t nPort, const std::string& strBody);

// The service object made by CreateAgentServer in strAppDir, with the key
// watch's interval set to nIntervalMs, started and listening within
// nTimeoutMs; null when it did not start. The process log is closed first,
// so that it opens on the file of this server's directory.
std::unique_ptr<CTolvanServer> StartAgentServer(const std::string& strAppDir, unsigned nIntervalMs,
                                                unsigned nTimeoutMs);

// Stops and destroys pServer (nothing when null), then closes the process log
// so that the server's directory can be removed. Returns the key watch
// threads still running after the stop (0 when the watch ended with it).
unsigned StopAgentServer(std::unique_ptr<CTolvanServer>& pServer);
