#pragma once

// CBaseSocket: the abstract owner of one IPv4 socket handle, with the
// library's one-time sockets start-up and static helpers that work on a raw
// handle. Every member operation has a static twin that takes the handle as
// its first argument; the member form passes its own handle.
//
// Handles are plain values: copying an object copies the handle, so both
// objects name the same socket, and the destructor closes nothing. Owners
// close with CloseSocket() (see CTcpSocket).
//
// With the handle INVALID_SOCKET_HANDLE (-1) Bind, GetLocalPeerInfo,
// IsValidSocket, CanSend and CanReceive give false / -1 without any system
// call; SetBlockMode, SetSockOpt and ShutDown hand -1 on to the platform
// layer, which fails and sets the last socket error.

#include <string>
#include <vector>

#include "base/sockets/SocketApi.h"

class CBaseSocket {
 public:
  // True once the sockets library has been started by InitWinSock2(). Read
  // and set without a lock: start the library on the start-up path, before
  // other threads make socket objects.
  static bool s_bInitWinSock2;

  // Starts the sockets library once (Windows Sockets 2.2; nothing to start on
  // POSIX). True at once when already started.
  static bool InitWinSock2();
  // Clears the started flag and releases the library once per call.
  static void CleanupWinSock2();

  explicit CBaseSocket(SocketHandle hSocket = INVALID_SOCKET_HANDLE);
  CBaseSocket(const CBaseSocket& other);
  CBaseSocket& operator=(const CBaseSocket& other);
  virtual ~CBaseSocket();

  // shutdown(); how: 0 receive, 1 send, 2 both. The system call's result.
  virtual int ShutDown(int nHow);
  static int ShutDown(SocketHandle hSocket, int nHow);
  virtual bool CreateSocket(bool bReuse) = 0;
  virtual void CloseSocket() = 0;

  // Binds to szAddress (dotted text through inet_addr; null: any address).
  bool Bind(unsigned short nPort, const char* szAddress = nullptr);
  static bool Bind(SocketHandle hSocket, unsigned short nPort, const char* szAddress);

  // Non-blocking mode on when bBlock is false, off when true (FIONBIO).
  bool SetBlockMode(bool bBlock);
  static bool SetBlockMode(SocketHandle hSocket, bool bBlock);

  // The socket's local address (dotted text) and port (host order).
  bool GetLocalPeerInfo(std::string& strAddress, unsigned short& nPort) const;
  static bool GetLocalPeerInfo(SocketHandle hSocket, std::string& strAddress,
                               unsigned short& nPort);

  bool IsValidSocket() const;
  static bool IsValidSocket(SocketHandle hSocket);

  // setsockopt with the platform's level and name (SOCK_SOL_SOCKET, ...).
  int SetSockOpt(int nLevel, int nOptName, const void* pValue, int nLen);
  static int SetSockOpt(SocketHandle hSocket, int nLevel, int nOptName, const void* pValue,
                        int nLen);

  // One wait for writability: >0 ready, 0 time-out, -1 error. When ready and
  // bCheckError is set, -1 if the pending socket error cannot be read or is
  // not zero (a connection attempt that failed).
  int CanSend(long nSec, long nUsec, bool bCheckError = false) const;
  static int CanSend(SocketHandle hSocket, long nSec, long nUsec, bool bCheckError);

  // One wait for readability: >0 ready, 0 time-out, -1 error.
  int CanReceive(long nSec, long nUsec) const;
  static int CanReceive(SocketHandle hSocket, long nSec, long nUsec);

  // The local host name. Throws CSocketException when it cannot be read.
  static std::string GetHostName();
  // Appends the IPv4 addresses of strHost in text form; leaves the list
  // unchanged when the name does not resolve.
  static void GetHostAllIP(const std::string& strHost, std::vector<std::string>& vecIP);
  static void GetHostAllIP(std::vector<std::string>& vecIP);
  // Appends each network adapter's name and its MAC address
  // ("00-15-5D-01-A2-B3" when bDashed, else "00155D01A2B3"). Both lists stay
  // unchanged when the adapter list cannot be read.
  static void GetHostAllMac(std::vector<std::string>& vecName, std::vector<std::string>& vecMac,
                            bool bDashed);

  SocketHandle m_hSocket;
};
