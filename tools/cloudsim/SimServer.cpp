#include "tools/cloudsim/SimServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tools/cloudsim/SimHttp.h"

namespace {

// A connection that sends nothing for this long is dropped; a whole request
// must arrive within kRequestTimeout.
const int kIdleSeconds = 5;
const auto kRequestTimeout = std::chrono::seconds(15);
const int kSendSeconds = 15;
const size_t kMaxConnections = 64;

void SetTimeout(int nFd, int nOption, int nSeconds) {
  timeval tv{};
  tv.tv_sec = nSeconds;
  setsockopt(nFd, SOL_SOCKET, nOption, &tv, sizeof(tv));
}

}  // namespace

CSimServer::~CSimServer() {
  Reap(true);
  if (m_nListenFd >= 0) close(m_nListenFd);
}

bool CSimServer::Listen(const std::string& strHost, unsigned short nPort, unsigned short& nBound,
                        std::string& strError) {
  m_ctx.reset(SSL_CTX_new(TLS_server_method()));
  if (!m_ctx || SSL_CTX_set_min_proto_version(m_ctx.get(), TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate(m_ctx.get(), m_pki.TlsCert()) != 1 ||
      SSL_CTX_use_PrivateKey(m_ctx.get(), m_pki.TlsKey()) != 1 ||
      SSL_CTX_check_private_key(m_ctx.get()) != 1) {
    strError = "TLS set-up failed";
    return false;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(nPort);
  if (inet_pton(AF_INET, strHost.c_str(), &addr.sin_addr) != 1) {
    strError = "not an IPv4 address: " + strHost;
    return false;
  }
  // Non-blocking, so that a connection reset between poll() and accept()
  // cannot hold the loop in accept().
  m_nListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int nOn = 1;
  socklen_t nLen = sizeof(addr);
  if (m_nListenFd < 0 ||
      setsockopt(m_nListenFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof(nOn)) != 0 ||
      bind(m_nListenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(m_nListenFd, 64) != 0 ||
      getsockname(m_nListenFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
    strError = std::string("cannot listen: ") + std::strerror(errno);
    return false;
  }
  nBound = ntohs(addr.sin_port);
  return true;
}

void CSimServer::Run(int nStopFd) {
  for (;;) {
    pollfd fds[2] = {{m_nListenFd, POLLIN, 0}, {nStopFd, POLLIN, 0}};
    int n = poll(fds, 2, 1000);
    Reap(false);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) continue;
    int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (nFd < 0) continue;
    if (m_listWorkers.size() >= kMaxConnections) {
      close(nFd);
      continue;
    }
    CWorker worker;
    worker.nFd = nFd;
    worker.pDone = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> pDone = worker.pDone;
    worker.thread = std::thread([this, nFd, pDone] {
      Serve(nFd);
      pDone->store(true);
    });
    m_listWorkers.push_back(std::move(worker));
  }
  m_service.Stop();
  for (CWorker& worker : m_listWorkers) shutdown(worker.nFd, SHUT_RDWR);
  Reap(true);
}

// Joins finished workers (all when bAll) and closes their sockets. A socket
// is closed only here, after its thread ended, so its number cannot be
// reused while a shutdown() above may still name it.
void CSimServer::Reap(bool bAll) {
  for (auto it = m_listWorkers.begin(); it != m_listWorkers.end();) {
    if (!bAll && !it->pDone->load()) {
      ++it;
      continue;
    }
    if (it->thread.joinable()) it->thread.join();
    close(it->nFd);
    it = m_listWorkers.erase(it);
  }
}

void CSimServer::Serve(int nFd) {
  SetTimeout(nFd, SO_RCVTIMEO, kIdleSeconds);
  SetTimeout(nFd, SO_SNDTIMEO, kSendSeconds);
  SimSsl ssl(SSL_new(m_ctx.get()));
  BIO* pBio = BIO_new_socket(nFd, BIO_NOCLOSE);
  if (!ssl || pBio == nullptr) {
    BIO_free(pBio);
    return;
  }
  SSL_set_bio(ssl.get(), pBio, pBio);
  if (SSL_accept(ssl.get()) != 1) return;

  CSimRequest request;
  switch (SimReadRequest(ssl.get(), std::chrono::steady_clock::now() + kRequestTimeout, request)) {
    case ESimRead::Ok: {
      CSimReply reply = m_service.Handle(request.strMethod, request.strPath, request.strBody);
      SimWriteReply(ssl.get(), reply.nStatus, reply.strContentType, reply.strBody);
      break;
    }
    case ESimRead::Malformed:
      SimWriteReply(ssl.get(), 400, "text/plain", "bad request\n");
      break;
    case ESimRead::TooLarge:
      SimWriteReply(ssl.get(), 413, "text/plain", "request too large\n");
      break;
    case ESimRead::Unsupported:
      SimWriteReply(ssl.get(), 501, "text/plain", "not implemented\n");
      break;
    case ESimRead::Closed:
      return;
  }
  SSL_shutdown(ssl.get());
  // Half-close, and let the peer read the reply before the socket goes: a
  // close with unread input would reset the connection under it.
  shutdown(nFd, SHUT_WR);
  SetTimeout(nFd, SO_RCVTIMEO, 1);
  char abDrain[4096];
  for (size_t nDrained = 0; nDrained < kSimMaxBody;) {
    ssize_t n = recv(nFd, abDrain, sizeof(abDrain), 0);
    if (n <= 0) break;
    nDrained += static_cast<size_t>(n);
  }
}
