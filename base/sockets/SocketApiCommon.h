#pragma once

// Pieces of the socket seam that its two halves share, written over the
// platform's own address types so that they need none of its headers here:
// SocketApi_posix.cpp and SocketApi_win.cpp instantiate them with their
// sockaddr_in and addrinfo. Not for use outside the seam. Include it after
// the platform's socket headers: Windows' define s_addr as a macro.

#include "base/sockets/SocketApi.h"

#include <cstring>
#include <vector>

// The platform's sockaddr_in for addr: always of family AF_INET, zero-padded.
template <typename TSockaddrIn>
TSockaddrIn SockToPlatformAddr(const SockAddrIn4& addr) {
  TSockaddrIn sa;
  static_assert(sizeof sa == sizeof addr, "sockaddr_in size");
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = static_cast<decltype(sa.sin_family)>(SOCK_AF_INET);
  sa.sin_port = addr.nPort;
  sa.sin_addr.s_addr = addr.nAddr;
  return sa;
}

template <typename TSockaddrIn>
SockAddrIn4 SockFromPlatformAddr(const TSockaddrIn& sa) {
  SockAddrIn4 addr;
  std::memset(&addr, 0, sizeof addr);
  addr.nFamily = static_cast<std::uint16_t>(sa.sin_family);
  addr.nPort = sa.sin_port;
  addr.nAddr = sa.sin_addr.s_addr;
  return addr;
}

// Appends the IPv4 addresses (network order) of a getaddrinfo list to
// vecAddrs, in the list's order; entries of another family or too short an
// address are passed over.
template <typename TSockaddrIn, typename TAddrInfo>
void SockCollectIPv4(const TAddrInfo* pList, std::vector<std::uint32_t>& vecAddrs) {
  for (const TAddrInfo* p = pList; p != nullptr; p = p->ai_next) {
    if (p->ai_family == SOCK_AF_INET && p->ai_addr != nullptr &&
        p->ai_addrlen >= sizeof(TSockaddrIn)) {
      TSockaddrIn sa;
      std::memcpy(&sa, p->ai_addr, sizeof sa);
      vecAddrs.push_back(sa.sin_addr.s_addr);
    }
  }
}
