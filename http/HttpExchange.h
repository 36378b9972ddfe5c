#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/RequestParams.h"

// Framing of one request and composition of its response, on the buffers of one
// connection. Nothing here touches a socket: the connection (CClientConn)
// receives into the receive buffer and sends from the send buffer.

// Fewer received bytes than this are never examined.
constexpr uint32_t kMinExaminedBytes = 64;
// Size of the receive buffer before the first receive.
constexpr uint32_t kFirstRecvBufSize = 4096;
// Largest request the agent takes in, header block and body together. A POST
// whose stated length needs a bigger buffer is refused.
constexpr uint32_t kMaxRequestSize = 2u * 1024u * 1024u;
// Room added to the body for the header block of a response.
constexpr uint32_t kResponseHeadroom = 256;

class CHttpExchange {
 public:
  CHttpExchange() = default;
  CHttpExchange(const CHttpExchange&) = delete;
  CHttpExchange& operator=(const CHttpExchange&) = delete;
  virtual ~CHttpExchange() = default;

  // Makes sure the receive buffer holds at least nWanted bytes, keeping the
  // bytes received so far. False when no such buffer could be had (the old
  // buffer is then kept as it was) or nWanted passes kMaxRequestSize.
  bool ReserveRecvBuf(uint32_t nWanted);

  // Copies up to nLen bytes behind the received bytes, as far as the buffer
  // has room; returns how many were taken. For callers that receive into a
  // buffer of their own (tests, fuzzing).
  uint32_t AppendRecv(const char* pData, uint32_t nLen);

  // Frames the received bytes: 1 a complete request was decoded into params;
  // 0 not complete yet (params untouched; the buffer may have grown to make
  // room for the announced body); -1 not an acceptable request.
  int ParseRequest(RequestParams& params);

  // Decodes form-encoded text (up to its first 0 byte, then cDisplaced when
  // bRestore is set) into params; later names replace earlier ones, values
  // are URL-decoded, names are not.
  void ParseParams(const char* szText, bool bRestore, char cDisplaced, RequestParams& params) const;
  // The same for form text in a string.
  void ParseForm(const std::string& strText, RequestParams& params) const;

  // Writes the HTTP 200 response for a result map into the send buffer, dated
  // now (UTC). False when the buffer could not be had.
  bool BuildResponse(const RequestParams& result);

  // The same with a given date text (29 bytes in an HTTP date).
  bool BuildResponseDated(const RequestParams& result, const std::string& strDate);

  // Writes a complete request to the debugger output channel: strHead and
  // strTail as received, the form text between them with the key passwords
  // masked as in the log and control bytes escaped. Nothing is written while
  // a request is incomplete, so a password never goes out in pieces.
  void TraceRequest(const std::string& strHead, const std::string& strForm,
                    const std::string& strTail) const;

  // Reads the Origin and Host headers from the header block pBlock (nLen
  // bytes, from the request line to the blank line).
  void ReadHeaders(const char* pBlock, size_t nLen);

  // The Origin and Host headers of the last complete request ("" when the
  // request had none; the flags tell an empty value from a missing header).
  std::string m_strOrigin;
  std::string m_strHost;
  bool m_bHasOrigin = false;
  bool m_bHasHost = false;

  // Number that identifies the connection in log lines.
  int m_nClientNo = 0;

  // Receive buffer: raw bytes as received, not terminated.
  std::unique_ptr<char[]> m_pRecvBuf;
  uint32_t m_nRecvBufSize = 0;
  uint32_t m_nRecvLen = 0;

  // Send buffer: the response text, zero-terminated (the body itself may hold
  // 0 bytes; m_nSendLen counts them).
  std::unique_ptr<char[]> m_pSendBuf;
  uint32_t m_nSendBufSize = 0;
  uint32_t m_nSendLen = 0;
  uint32_t m_nSendPos = 0;
};

// The body of a response: "\r\n\r\n{", one "name":"value" member per entry in
// key order (a comma before every member after the first), "}\r\n\r\n".
// Names and values are copied byte for byte, without escaping.
std::string ComposeResponseBody(const RequestParams& result);

// The current UTC time as an HTTP date, e.g. "Fri, 04 Dec 2026 14:55:16 GMT".
std::string CurrentHttpDate();
