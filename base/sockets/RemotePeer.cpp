#include "base/sockets/RemotePeer.h"

#include <cstring>

CRemotePeer::CRemotePeer() : m_nAddrLen(sizeof(SockAddrIn4)) {
  std::memset(&m_stAddr, 0, sizeof m_stAddr);
}

CRemotePeer::CRemotePeer(const char* szAddress, unsigned short nPort)
    : m_stAddr(SockMakeAddr(SockInetAddr(szAddress), nPort)), m_nAddrLen(sizeof(SockAddrIn4)) {}

void CRemotePeer::GetPeerInfo(std::string& strAddress, unsigned short& nPort) const {
  strAddress = SockFormatIPv4(m_stAddr.nAddr);
  nPort = SockNetToHost16(m_stAddr.nPort);
}
