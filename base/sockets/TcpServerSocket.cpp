#include "base/sockets/TcpServerSocket.h"

#include <algorithm>
#include <cstdio>

#include "base/sockets/SocketException.h"

CTcpServerSocket::CTcpServerSocket(bool bCreate, bool bReuse)
    : CTcpSocket(bCreate, bReuse), m_nAllowFlag(0) {}

CTcpServerSocket::CTcpServerSocket(int nPort, int nBacklog, const char* szAddress, bool bReuse)
    : CTcpSocket(), m_nAllowFlag(0) {
  CloseSocket();
  m_hSocket = SockOpenTcp();
  if (!IsValidSocket())
    throw CSocketException("Can not create socket, do you invoke CBaseSocket::InitWinSock2()?");
  if (bReuse && SockSetReuseAddr(m_hSocket, true) != 0) {
    CloseSocket();
    throw CSocketException("Can not create socket, do you invoke CBaseSocket::InitWinSock2()?");
  }
  // The object never exists when the constructor throws, so nobody else
  // could close the socket: close it here.
  if (!Bind(static_cast<unsigned short>(nPort), szAddress)) {
    CloseSocket();
    throw CSocketException("Can not bind port!");
  }
  if (!Listen(nBacklog)) {
    CloseSocket();
    throw CSocketException("Can not listen port!");
  }
}

CTcpServerSocket::CTcpServerSocket(const CTcpServerSocket& other)
    : CTcpSocket(other), m_nAllowFlag(other.m_nAllowFlag), m_vecIP(other.m_vecIP) {}

CTcpServerSocket& CTcpServerSocket::operator=(const CTcpServerSocket& other) {
  CTcpSocket::operator=(other);
  m_nAllowFlag = other.m_nAllowFlag;
  m_vecIP = other.m_vecIP;
  return *this;
}

CTcpServerSocket::~CTcpServerSocket() = default;

bool CTcpServerSocket::CreateSocket(bool bReuse) { return CTcpSocket::CreateSocket(bReuse); }

void CTcpServerSocket::CloseSocket() { CTcpSocket::CloseSocket(); }

bool CTcpServerSocket::Listen(int nBacklog) {
  if (!IsValidSocket()) return false;
  return SockListen(m_hSocket, nBacklog) == 0;
}

CTcpSocket CTcpServerSocket::Accept() {
  if (!IsValidSocket()) return CTcpSocket();
  const SocketHandle hAccepted = SockAccept(m_hSocket);
  return CTcpSocket(hAccepted);
}

bool CTcpServerSocket::HasAcceptError() {
  const int nError = SockLastError();
  return nError != SOCK_ERR_WOULD_BLOCK && nError != SOCK_ERR_ACCEPT_ABORTED &&
         nError != SOCK_ERR_ACCEPT_PROTO && nError != SOCK_ERR_INTERRUPTED &&
         nError != SOCK_ERR_TRY_AGAIN;
}

void CTcpServerSocket::SetAllowFlag(int nFlag) { m_nAllowFlag = nFlag; }

void CTcpServerSocket::AddIP(const std::string& strAddress) { m_vecIP.push_back(strAddress); }

void CTcpServerSocket::DeleteIP(const std::string& strAddress) {
  m_vecIP.erase(std::remove(m_vecIP.begin(), m_vecIP.end(), strAddress), m_vecIP.end());
}

void CTcpServerSocket::ClearIP() { m_vecIP.clear(); }

void CTcpServerSocket::ShowIP() const {
  if (m_nAllowFlag == 0) {
    std::fputs("The allow ip address list:\n", stdout);
    std::fflush(stdout);
  } else if (m_nAllowFlag == 1) {
    std::fputs("The reject ip address list:\n", stdout);
    std::fflush(stdout);
  }
  for (const std::string& strAddress : m_vecIP) {
    std::fwrite(strAddress.data(), 1, strAddress.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

bool CTcpServerSocket::IsAllowIP(const std::string& strAddress) const {
  if (m_vecIP.empty()) return true;
  const bool bListed = std::find(m_vecIP.begin(), m_vecIP.end(), strAddress) != m_vecIP.end();
  return m_nAllowFlag == 0 ? bListed : !bListed;
}
