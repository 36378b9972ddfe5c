#pragma once

#include <cstdint>
#include <string>

#include "base/sockets/TcpSocket.h"

// A blocking test client on 127.0.0.1 that reads whole responses by their
// Content-Length. Every wait is bounded, so a broken server fails a test
// instead of hanging it.
class CLoopbackClient {
 public:
  explicit CLoopbackClient(uint16_t nPort, const char* szHost = "127.0.0.1");
  ~CLoopbackClient();

  bool IsConnected() const { return m_bConnected; }
  bool SendAll(const std::string& strBytes);
  // Ends the sending side (the server sees the end of the request stream).
  void ShutdownSend();

  // Reads one whole response: the header block and Content-Length body
  // bytes. "" when the connection ended (or nTimeoutMs passed) first; what
  // did arrive is then in Partial().
  std::string ReadResponse(unsigned nTimeoutMs = 20000);
  const std::string& Partial() const { return m_strReceived; }

  // Reads until the server ends the connection; true when it did within
  // nTimeoutMs. Bytes that arrive meanwhile are added to Partial().
  bool WaitEnded(unsigned nTimeoutMs = 20000);

  // True when something can be read (or the connection ended) within nMs.
  bool Readable(unsigned nMs);

 private:
  // Reads until fnDone holds (1), the connection ends (0) or nTimeoutMs
  // pass (-1).
  int ReadUntil(bool (*fnDone)(const std::string&), unsigned nTimeoutMs);

  CTcpSocket m_socket;
  bool m_bConnected = false;
  std::string m_strReceived;
};

// "POST /Tolvan HTTP/1.1" with a Content-Length header and the body.
std::string MakePost(const std::string& strBody);
// "GET /Tolvan?<query> HTTP/1.1" with a few headers.
std::string MakeGet(const std::string& strQuery);
// The body of a response (after the header block).
std::string ResponseBody(const std::string& strResponse);
