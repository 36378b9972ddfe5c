#pragma once

#include <cstdint>
#include <memory>

#include "base/sockets/TcpSocket.h"
#include "http/HttpExchange.h"
#include "http/RequestParams.h"

class CConnTracker;

// How long a connection may take, from its accept, to deliver its whole
// request.
constexpr unsigned kRequestTimeoutMs = 5000;
// Fewer request bytes than this are refused.
constexpr uint32_t kMinRequestBytes = 100;
// How long sending a response may wait for the client to make room.
constexpr unsigned kSendTimeoutMs = 5000;

// One accepted connection: it reads one request, answers it and is then reset.
// It owns the accepted socket handle and both buffers.
class CClientConn : public CTcpSocket, public CHttpExchange {
 public:
  // Takes over the accepted socket's handle; the client number is its value.
  // pfnHandler answers the decoded request.
  CClientConn(const CTcpSocket& accepted, RequestHandler pfnHandler);
  // Resets the connection (linger on, time 0) and closes the socket.
  ~CClientConn() override;

  // Reads the request, with readiness waits, until it is complete or refused,
  // the client closes, kRequestTimeoutMs have passed since the accept, or it
  // outgrows kMaxRequestSize; then frames it and composes the response.
  // False: the connection fails without a response. True with nothing to
  // send: the request never completed.
  bool HandleInput();

  // Routes a decoded request and composes its response; false when routing
  // failed or no response could be composed.
  bool ProcessRequest(const RequestParams& request);

  // Sends the unsent part of the response, waiting for room when the client
  // reads slowly (at most kSendTimeoutMs). False on a send error.
  bool HandleOutput();

  // Tick count (milliseconds) of the accept.
  uint64_t m_nAcceptTick;

 private:
  RequestHandler m_pfnHandler;
};

// Serves one accepted connection on a connection thread: input, output, then
// the connection goes to the tracker's closer (or is reset at once when it
// failed).
void threadFun(std::unique_ptr<CClientConn> pConn, CConnTracker& tracker);
