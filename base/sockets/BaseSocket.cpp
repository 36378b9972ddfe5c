#include "base/sockets/BaseSocket.h"

#include <cstdio>

#include "base/sockets/SocketException.h"

bool CBaseSocket::s_bInitWinSock2 = false;

bool CBaseSocket::InitWinSock2() {
  if (s_bInitWinSock2) return true;
  if (!SockStartup()) return false;
  s_bInitWinSock2 = true;
  return true;
}

void CBaseSocket::CleanupWinSock2() {
  s_bInitWinSock2 = false;
  SockCleanup();
}

CBaseSocket::CBaseSocket(SocketHandle hSocket) : m_hSocket(INVALID_SOCKET_HANDLE) {
  InitWinSock2();
  m_hSocket = hSocket;
}

CBaseSocket::CBaseSocket(const CBaseSocket& other) : m_hSocket(INVALID_SOCKET_HANDLE) {
  InitWinSock2();
  m_hSocket = other.m_hSocket;
}

CBaseSocket& CBaseSocket::operator=(const CBaseSocket& other) {
  m_hSocket = other.m_hSocket;
  return *this;
}

CBaseSocket::~CBaseSocket() = default;

int CBaseSocket::ShutDown(int nHow) { return ShutDown(m_hSocket, nHow); }

int CBaseSocket::ShutDown(SocketHandle hSocket, int nHow) { return SockShutdown(hSocket, nHow); }

bool CBaseSocket::Bind(unsigned short nPort, const char* szAddress) {
  return Bind(m_hSocket, nPort, szAddress);
}

bool CBaseSocket::Bind(SocketHandle hSocket, unsigned short nPort, const char* szAddress) {
  if (!IsValidSocket(hSocket)) return false;
  const std::uint32_t nAddr = szAddress == nullptr ? SOCK_INADDR_ANY : SockInetAddr(szAddress);
  return SockBind(hSocket, SockMakeAddr(nAddr, nPort)) == 0;
}

bool CBaseSocket::SetBlockMode(bool bBlock) { return SetBlockMode(m_hSocket, bBlock); }

bool CBaseSocket::SetBlockMode(SocketHandle hSocket, bool bBlock) {
  return SockSetNonBlocking(hSocket, !bBlock) == 0;
}

bool CBaseSocket::GetLocalPeerInfo(std::string& strAddress, unsigned short& nPort) const {
  return GetLocalPeerInfo(m_hSocket, strAddress, nPort);
}

bool CBaseSocket::GetLocalPeerInfo(SocketHandle hSocket, std::string& strAddress,
                                   unsigned short& nPort) {
  if (!IsValidSocket(hSocket)) return false;
  SockAddrIn4 addr;
  if (SockLocalName(hSocket, addr) != 0) return false;
  strAddress = SockFormatIPv4(addr.nAddr);
  nPort = SockNetToHost16(addr.nPort);
  return true;
}

bool CBaseSocket::IsValidSocket() const { return IsValidSocket(m_hSocket); }

bool CBaseSocket::IsValidSocket(SocketHandle hSocket) { return hSocket != INVALID_SOCKET_HANDLE; }

int CBaseSocket::SetSockOpt(int nLevel, int nOptName, const void* pValue, int nLen) {
  return SetSockOpt(m_hSocket, nLevel, nOptName, pValue, nLen);
}

int CBaseSocket::SetSockOpt(SocketHandle hSocket, int nLevel, int nOptName, const void* pValue,
                            int nLen) {
  return SockSetOption(hSocket, nLevel, nOptName, pValue, nLen);
}

int CBaseSocket::CanSend(long nSec, long nUsec, bool bCheckError) const {
  return CanSend(m_hSocket, nSec, nUsec, bCheckError);
}

int CBaseSocket::CanSend(SocketHandle hSocket, long nSec, long nUsec, bool bCheckError) {
  if (!IsValidSocket(hSocket)) return -1;
  const int nReady = SockWait(hSocket, true, nSec, nUsec);
  if (nReady > 0 && bCheckError) {
    int nError = 0;
    if (SockPendingError(hSocket, nError) != 0 || nError != 0) {
      if (nError != 0) SockSetLastError(nError);
      return -1;
    }
  }
  return nReady;
}

int CBaseSocket::CanReceive(long nSec, long nUsec) const {
  return CanReceive(m_hSocket, nSec, nUsec);
}

int CBaseSocket::CanReceive(SocketHandle hSocket, long nSec, long nUsec) {
  if (!IsValidSocket(hSocket)) return -1;
  return SockWait(hSocket, false, nSec, nUsec);
}

std::string CBaseSocket::GetHostName() {
  // Room for the longest name the platforms allow (a DNS name is at most 255).
  char szName[256];
  if (SockHostName(szName, sizeof szName) != 0)
    throw CSocketException("Can't get the host name, do you invoke CBaseSocket::InitWinSock2()?");
  return szName;
}

void CBaseSocket::GetHostAllIP(const std::string& strHost, std::vector<std::string>& vecIP) {
  std::vector<std::uint32_t> vecAddrs;
  if (!SockResolveIPv4(strHost.c_str(), vecAddrs)) return;
  for (std::uint32_t nAddr : vecAddrs) vecIP.push_back(SockFormatIPv4(nAddr));
}

void CBaseSocket::GetHostAllIP(std::vector<std::string>& vecIP) {
  GetHostAllIP(GetHostName(), vecIP);
}

void CBaseSocket::GetHostAllMac(std::vector<std::string>& vecName,
                                std::vector<std::string>& vecMac, bool bDashed) {
  std::vector<SockAdapter> vecAdapters;
  if (!SockAdapterList(vecAdapters)) return;
  const char* szFormat =
      bDashed ? "%02X-%02X-%02X-%02X-%02X-%02X" : "%02X%02X%02X%02X%02X%02X";
  for (const SockAdapter& adapter : vecAdapters) {
    char szMac[18];
    std::snprintf(szMac, sizeof szMac, szFormat, adapter.szMac[0], adapter.szMac[1],
                  adapter.szMac[2], adapter.szMac[3], adapter.szMac[4], adapter.szMac[5]);
    vecName.push_back(adapter.strDescription);
    vecMac.push_back(szMac);
  }
}
