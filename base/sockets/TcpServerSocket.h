#pragma once

// CTcpServerSocket: a listening IPv4 TCP socket with a list of client
// addresses that is an allow list (m_nAllowFlag 0) or a reject list (any
// other value; 1 is the one ShowIP names). Accept does not consult the list;
// callers ask IsAllowIP with the peer's address.
//
// The destructor frees the list only: the owner closes the socket first
// with CloseSocket().

#include <string>
#include <vector>

#include "base/sockets/TcpSocket.h"

class CTcpServerSocket : public CTcpSocket {
 public:
  explicit CTcpServerSocket(bool bCreate = false, bool bReuse = false);
  // Creates, binds (szAddress null: any address) and listens. Throws
  // CSocketException: "Can not create socket, do you invoke
  // CBaseSocket::InitWinSock2()?", "Can not bind port!" or "Can not listen
  // port!". No socket is left open when it throws.
  CTcpServerSocket(int nPort, int nBacklog, const char* szAddress, bool bReuse);
  CTcpServerSocket(const CTcpServerSocket& other);
  CTcpServerSocket& operator=(const CTcpServerSocket& other);
  ~CTcpServerSocket() override;

  bool CreateSocket(bool bReuse) override;
  void CloseSocket() override;

  bool Listen(int nBacklog);
  // The accepted connection (no socket when nothing could be accepted). On a
  // non-blocking listening socket the connection is non-blocking too.
  CTcpSocket Accept();
  // True when the last socket error is not one that only means "try again"
  // (would block, interrupted, try again, or a connection that went away
  // before it was accepted).
  static bool HasAcceptError();

  void SetAllowFlag(int nFlag);
  void AddIP(const std::string& strAddress);     // appends, duplicates allowed
  void DeleteIP(const std::string& strAddress);  // removes every equal entry
  void ClearIP();
  // Prints the list heading (flag 0: allow, 1: reject) and one line per entry.
  void ShowIP() const;
  // An empty list allows everything; else an allow list allows exactly its
  // entries and a reject list everything else.
  bool IsAllowIP(const std::string& strAddress) const;

  int m_nAllowFlag;
  std::vector<std::string> m_vecIP;
};
