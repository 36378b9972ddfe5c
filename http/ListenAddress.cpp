#include "http/ListenAddress.h"

#include <cctype>

#include "base/sockets/SocketApi.h"

namespace {

const char kLoopback[] = "127.0.0.1";

bool IsLocalhostName(const std::string& strIP) {
  static const char kName[] = "localhost";
  if (strIP.size() != sizeof(kName) - 1) return false;
  for (size_t i = 0; i < strIP.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(strIP[i])) != kName[i]) return false;
  }
  return true;
}

// Dotted IPv4 text only: digits and dots, which is all inet_addr should see.
bool IsDottedText(const std::string& strIP) {
  if (strIP.empty()) return false;
  for (char c : strIP) {
    if (c != '.' && (c < '0' || c > '9')) return false;
  }
  return true;
}

}  // namespace

std::string LoopbackListenAddress(const std::string& strIP, std::string& strWhy) {
  strWhy.clear();
  if (IsLocalhostName(strIP)) return kLoopback;
  if (IsDottedText(strIP)) {
    const uint32_t nAddr = SockNetToHost32(SockInetAddr(strIP.c_str()));
    if (strIP != "255.255.255.255" && (nAddr >> 24) == 127) return strIP;
  }
  strWhy = "IP \"" + strIP + "\" is not a loopback address; listening on " + kLoopback +
           " instead";
  return kLoopback;
}
