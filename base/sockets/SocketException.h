#pragma once

// Exceptions of the socket layer. Only two places throw: CBaseSocket::
// GetHostName and the listening constructor of CTcpServerSocket, both with
// CSocketException. CLocalSocketException is declared for callers; nothing in
// the library throws it.

#include <string>

class CSocketException {
 public:
  CSocketException();  // "Unknown Exception!"
  explicit CSocketException(const std::string& strMessage);
  CSocketException(const CSocketException& other);
  CSocketException& operator=(const CSocketException& other);
  virtual ~CSocketException();

  std::string What() const;

  std::string m_strMessage;
};

class CLocalSocketException : public CSocketException {
 public:
  CLocalSocketException();
  explicit CLocalSocketException(const std::string& strMessage);
  CLocalSocketException(const CLocalSocketException& other);
  CLocalSocketException& operator=(const CLocalSocketException& other);
};
