#pragma once

// The HTTPS listener: accepts on loopback, serves each connection (one
// request, then close) on a thread of its own, and stops when asked.

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tools/cloudsim/SimOssl.h"
#include "tools/cloudsim/SimService.h"

class CSimServer {
 public:
  CSimServer(CSimService& service, const CSimPki& pki) : m_service(service), m_pki(pki) {}
  ~CSimServer();
  CSimServer(const CSimServer&) = delete;
  CSimServer& operator=(const CSimServer&) = delete;

  // Sets up TLS and binds strHost:nPort (0: any free port). Gives the bound
  // port, or an error text.
  bool Listen(const std::string& strHost, unsigned short nPort, unsigned short& nBound,
              std::string& strError);

  // Accepts until nStopFd becomes readable, then ends every connection and
  // waits for their threads.
  void Run(int nStopFd);

 private:
  struct CWorker {
    std::thread thread;
    int nFd = -1;
    std::shared_ptr<std::atomic<bool>> pDone;
  };

  void Serve(int nFd);
  void Reap(bool bAll);

  CSimService& m_service;
  const CSimPki& m_pki;
  SimSslCtx m_ctx;
  int m_nListenFd = -1;
  std::list<CWorker> m_listWorkers;
};
