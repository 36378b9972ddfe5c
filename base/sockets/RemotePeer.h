#pragma once

// CRemotePeer: an IPv4 socket address (the platform's sockaddr_in layout) and
// its length, always 16.

#include <string>

#include "base/sockets/SocketApi.h"

class CRemotePeer {
 public:
  CRemotePeer();  // all zero, length 16
  // Family IPv4, the port in network order, the address through inet_addr.
  CRemotePeer(const char* szAddress, unsigned short nPort);
  CRemotePeer(const CRemotePeer& other) = default;
  CRemotePeer& operator=(const CRemotePeer& other) = default;

  // The address as dotted text and the port in host order.
  void GetPeerInfo(std::string& strAddress, unsigned short& nPort) const;

  SockAddrIn4 m_stAddr;
  int m_nAddrLen;
};
