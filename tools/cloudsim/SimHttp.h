#pragma once

// One HTTP/1.1 request read from a TLS connection, and its reply.

#include <openssl/ssl.h>

#include <chrono>
#include <string>

// Bounds on what a client may send.
const size_t kSimMaxHeader = 16 * 1024;
const size_t kSimMaxBody = 1024 * 1024;

struct CSimRequest {
  std::string strMethod;
  std::string strPath;  // without a query string
  std::string strBody;
};

enum class ESimRead {
  Ok,
  Closed,       // the peer closed, broke the connection or sent nothing in time
  Malformed,    // not an HTTP/1.x request we can frame: answer 400
  TooLarge,     // headers or Content-Length over the bounds: answer 413
  Unsupported,  // a transfer coding other than none: answer 501
};

// Reads the request line, the headers and a body of Content-Length bytes,
// answering "Expect: 100-continue" with an interim 100 first. Gives up at
// deadline (checked between reads; each read is bounded by the socket's own
// time-out).
ESimRead SimReadRequest(SSL* pSsl, std::chrono::steady_clock::time_point deadline,
                        CSimRequest& request);

// Writes a whole reply with Content-Length and "Connection: close".
bool SimWriteReply(SSL* pSsl, int nStatus, const std::string& strContentType,
                   const std::string& strBody);

// The value of strName in an application/x-www-form-urlencoded text, decoded.
// False when the name is absent or its value is not well encoded.
bool SimFormValue(const std::string& strForm, const std::string& strName, std::string& strValue);
