#pragma once

#include <cstdint>
#include <memory>

#include "base/sockets/TcpSocket.h"
#include "http/HttpExchange.h"
#include "http/RequestParams.h"

// How long a connection may take, from its accept, to deliver its whole
// request.
constexpr unsigned kRequestTimeoutMs = 5000;
// Fewer request bytes than this are refused.
constexpr uint32_t kMinRequestBytes = 100;
// How long sending a response may wait for the client to make room.
constexpr unsigned kSendTimeoutMs = 5000;

// Where the reading of a request stands (ReadRequest).
enum emRequestState {
  emRequestFailed = -1,   // refused: reset it without a response
  emRequestWaiting = 0,   // more bytes are due
  emRequestComplete = 1,  // decoded into m_request: to be served
  emRequestEnded = 2,     // the client closed its side, or its time is up,
                          // with the request incomplete: no response
};

// One accepted connection: it reads one request, answers it and is then reset.
// It owns the accepted socket handle and both buffers.
//
// While its request arrives the connection belongs to the listener, which
// reads whatever has come (ReadRequest) whenever the socket is readable: a
// connection that sends nothing costs its socket and this object, no buffer
// and no thread. Once the request is complete a connection thread serves it
// (threadFun).
class CClientConn : public CTcpSocket, public CHttpExchange {
 public:
  // Takes over the accepted socket's handle; the client number is its value.
  // pfnHandler answers the decoded request.
  CClientConn(const CTcpSocket& accepted, RequestHandler pfnHandler);
  // Resets the connection (linger on, time 0) and closes the socket.
  ~CClientConn() override;

  // Reads what has arrived, without waiting, and frames it. The receive
  // buffer is made only when the first bytes are there (they are read into
  // pScratch, nScratch bytes, first); it grows as the request announces, up
  // to kMaxRequestSize. A complete request of fewer than kMinRequestBytes
  // bytes is refused.
  emRequestState ReadRequest(char* pScratch, uint32_t nScratch);

  // What a connection whose request did not complete comes to when its time
  // is up or its client closed: refused when it sent fewer than
  // kMinRequestBytes, else left without a response.
  emRequestState EndIncomplete() const;

  // True when kRequestTimeoutMs have passed since the accept.
  bool Expired(uint64_t nNowTick) const { return nNowTick - m_nAcceptTick >= kRequestTimeoutMs; }

  // Routes a decoded request and composes its response; false when routing
  // failed or no response could be composed.
  bool ProcessRequest(const RequestParams& request);

  // Sends the unsent part of the response, waiting for room when the client
  // reads slowly (at most kSendTimeoutMs). False on a send error.
  bool HandleOutput();

  // Tick count (milliseconds) of the accept, and of the last bytes received
  // (the accept until some arrive).
  uint64_t m_nAcceptTick;
  uint64_t m_nLastRecvTick;
  // Request bytes received in all.
  uint64_t m_nReceived = 0;
  // The decoded request, once complete.
  RequestParams m_request;

 private:
  RequestHandler m_pfnHandler;
};
