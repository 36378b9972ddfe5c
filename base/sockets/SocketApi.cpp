// Portable helpers of the socket layer: byte order and address text, written
// without the platform's headers so that they read the same everywhere.
#include "base/sockets/SocketApi.h"

#include <cstdio>
#include <cstring>

std::uint16_t SockHostToNet16(std::uint16_t nValue) {
  const unsigned char szBytes[2] = {static_cast<unsigned char>(nValue >> 8),
                                    static_cast<unsigned char>(nValue & 0xFF)};
  std::uint16_t nResult;
  std::memcpy(&nResult, szBytes, sizeof nResult);
  return nResult;
}

std::uint16_t SockNetToHost16(std::uint16_t nValue) {
  unsigned char szBytes[2];
  std::memcpy(szBytes, &nValue, sizeof szBytes);
  return static_cast<std::uint16_t>((szBytes[0] << 8) | szBytes[1]);
}

std::uint32_t SockHostToNet32(std::uint32_t nValue) {
  const unsigned char szBytes[4] = {
      static_cast<unsigned char>(nValue >> 24), static_cast<unsigned char>(nValue >> 16),
      static_cast<unsigned char>(nValue >> 8), static_cast<unsigned char>(nValue)};
  std::uint32_t nResult;
  std::memcpy(&nResult, szBytes, sizeof nResult);
  return nResult;
}

std::uint32_t SockNetToHost32(std::uint32_t nValue) {
  unsigned char szBytes[4];
  std::memcpy(szBytes, &nValue, sizeof szBytes);
  return (std::uint32_t(szBytes[0]) << 24) | (std::uint32_t(szBytes[1]) << 16) |
         (std::uint32_t(szBytes[2]) << 8) | std::uint32_t(szBytes[3]);
}

std::string SockFormatIPv4(std::uint32_t nAddrNet) {
  unsigned char szBytes[4];
  std::memcpy(szBytes, &nAddrNet, sizeof szBytes);
  char szText[16];
  std::snprintf(szText, sizeof szText, "%u.%u.%u.%u", szBytes[0], szBytes[1], szBytes[2],
                szBytes[3]);
  return szText;
}

SockAddrIn4 SockMakeAddr(std::uint32_t nAddrNet, std::uint16_t nPortHost) {
  SockAddrIn4 addr;
  std::memset(&addr, 0, sizeof addr);
  addr.nFamily = SOCK_AF_INET;
  addr.nPort = SockHostToNet16(nPortHost);
  addr.nAddr = nAddrNet;
  return addr;
}

int SockSetReuseAddr(SocketHandle hSocket, bool bOn) {
  const int nOn = bOn ? 1 : 0;
  return SockSetOption(hSocket, SOCK_SOL_SOCKET, SOCK_SO_REUSEADDR, &nOn, sizeof nOn);
}
