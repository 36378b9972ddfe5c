#include "http/OriginPolicy.h"

#include <algorithm>
#include <cctype>

#include "base/logging/LogText.h"

namespace {

std::string Lower(std::string strText) {
  for (char& c : strText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return strText;
}

// An origin as compared: scheme and host are case-blind, so lower case;
// without a trailing "/".
std::string NormalOrigin(const std::string& strOrigin) {
  std::string strOut = Lower(strOrigin);
  if (!strOut.empty() && strOut.back() == '/') strOut.pop_back();
  return strOut;
}

}  // namespace

COriginPolicy::COriginPolicy(const std::string& strAllowed) {
  size_t nPos = 0;
  while (nPos < strAllowed.size()) {
    const size_t nStart = strAllowed.find_first_not_of(" \t", nPos);
    if (nStart == std::string::npos) break;
    size_t nEnd = strAllowed.find_first_of(" \t", nStart);
    if (nEnd == std::string::npos) nEnd = strAllowed.size();
    const std::string strOrigin = NormalOrigin(strAllowed.substr(nStart, nEnd - nStart));
    if (!strOrigin.empty()) m_vecOrigins.push_back(strOrigin);
    nPos = nEnd;
  }
}

bool IsLocalHostHeader(const std::string& strHost) {
  std::string strName = Lower(strHost);
  if (!strName.empty() && strName[0] == '[') {
    const size_t nClose = strName.find(']');
    if (nClose == std::string::npos) return false;
    const std::string strRest = strName.substr(nClose + 1);
    if (!strRest.empty() && (strRest[0] != ':' || strRest.size() == 1 ||
                             strRest.find_first_not_of("0123456789", 1) != std::string::npos)) {
      return false;
    }
    return strName.substr(1, nClose - 1) == "::1";
  }
  const size_t nColon = strName.find(':');
  if (nColon != std::string::npos) {
    const std::string strPort = strName.substr(nColon + 1);
    if (strPort.empty() || strPort.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    strName.erase(nColon);
  }
  return strName == "127.0.0.1" || strName == "localhost";
}

bool COriginPolicy::Allows(const CHttpExchange& request, std::string& strWhy) const {
  strWhy.clear();
  if (m_vecOrigins.empty()) return true;
  if (request.m_bHasOrigin &&
      std::find(m_vecOrigins.begin(), m_vecOrigins.end(), NormalOrigin(request.m_strOrigin)) ==
          m_vecOrigins.end()) {
    strWhy = "origin \"" + EscapeControlBytes(request.m_strOrigin) + "\" is not allowed";
    return false;
  }
  if (!request.m_bHasHost || !IsLocalHostHeader(request.m_strHost)) {
    strWhy = request.m_bHasHost
                 ? "host \"" + EscapeControlBytes(request.m_strHost) + "\" is not the local host"
                 : "no Host header";
    return false;
  }
  return true;
}
