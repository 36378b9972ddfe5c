#pragma once

// The agent and the simulated cloud signing service, for the end-to-end test and the benchmark:
// the simulator a child process on a port of its choosing, the agent's service object on port 0
// in this process, the cloud key settings pointing at the simulator through the environment.

#include <cstdint>
#include <memory>
#include <string>

#include "base/system/Process.h"
#include "http/RequestParams.h"
#include "http/TolvanServer.h"
#include "tests/cloud/CloudTestSupport.h"

class CCloudAgentFixture {
 public:
  // Starts both; Ok() tells whether they run. nTimeoutMs: the exchanges' time-out.
  CCloudAgentFixture(long nTimeoutMs, int nKeyPool);
  ~CCloudAgentFixture();

  bool Ok() const { return m_bOk; }
  CCloudWorld& World() { return m_world; }
  std::string SimFile(const char* szName) const;

  // One API call over the agent's HTTP interface: the answer's members, or {"error": why}.
  RequestParams Call(const RequestParams& params);
  // A POST to the simulator; the reply's member szField, empty when it has none.
  std::string Post(const char* szPath, const std::string& strBody, const char* szField);
  // The stored state file's value of a key ("" when absent).
  std::string Stored(const char* szKey) const;

 private:
  CCloudWorld m_world;
  CProcess m_sim;
  uint16_t m_nSimPort = 0;
  std::unique_ptr<CTolvanServer> m_pServer;
  bool m_bOk = false;
};
