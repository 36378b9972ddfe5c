#include "tools/cloudsim/SimHttp.h"

#include <algorithm>
#include <cctype>

#include "tools/cloudsim/SimBase64.h"

namespace {

std::string Lower(std::string str) {
  std::transform(str.begin(), str.end(), str.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return str;
}

std::string Trim(const std::string& str) {
  size_t nStart = str.find_first_not_of(" \t");
  if (nStart == std::string::npos) return std::string();
  size_t nEnd = str.find_last_not_of(" \t");
  return str.substr(nStart, nEnd - nStart + 1);
}

bool WriteAll(SSL* pSsl, const std::string& strData) {
  size_t nDone = 0;
  while (nDone < strData.size()) {
    int nChunk = static_cast<int>(std::min<size_t>(strData.size() - nDone, 64 * 1024));
    int n = SSL_write(pSsl, strData.data() + nDone, nChunk);
    if (n <= 0) return false;
    nDone += static_cast<size_t>(n);
  }
  return true;
}

// Appends what the connection gives to strBuffer; false on close, error or
// time-out.
bool ReadMore(SSL* pSsl, std::chrono::steady_clock::time_point deadline, std::string& strBuffer) {
  if (std::chrono::steady_clock::now() >= deadline) return false;
  char abChunk[16 * 1024];
  int n = SSL_read(pSsl, abChunk, sizeof(abChunk));
  if (n <= 0) return false;
  strBuffer.append(abChunk, static_cast<size_t>(n));
  return true;
}

const char* StatusText(int nStatus) {
  switch (nStatus) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    default:
      return "Unknown";
  }
}

}  // namespace

ESimRead SimReadRequest(SSL* pSsl, std::chrono::steady_clock::time_point deadline,
                        CSimRequest& request) {
  std::string strBuffer;
  size_t nHeaderEnd = std::string::npos;
  while ((nHeaderEnd = strBuffer.find("\r\n\r\n")) == std::string::npos) {
    if (strBuffer.size() > kSimMaxHeader) return ESimRead::TooLarge;
    if (!ReadMore(pSsl, deadline, strBuffer)) return ESimRead::Closed;
  }
  if (nHeaderEnd > kSimMaxHeader) return ESimRead::TooLarge;

  // Request line: METHOD SP target SP HTTP/1.x
  size_t nLineEnd = strBuffer.find("\r\n");
  std::string strLine = strBuffer.substr(0, nLineEnd);
  size_t nSp1 = strLine.find(' ');
  size_t nSp2 = nSp1 == std::string::npos ? nSp1 : strLine.find(' ', nSp1 + 1);
  if (nSp1 == 0 || nSp2 == std::string::npos || nSp2 == nSp1 + 1) return ESimRead::Malformed;
  std::string strVersion = strLine.substr(nSp2 + 1);
  if (strVersion != "HTTP/1.1" && strVersion != "HTTP/1.0") return ESimRead::Malformed;
  request.strMethod = strLine.substr(0, nSp1);
  request.strPath = strLine.substr(nSp1 + 1, nSp2 - nSp1 - 1);
  request.strPath = request.strPath.substr(0, request.strPath.find('?'));

  bool bHaveLength = false;
  bool bContinue = false;
  size_t nLength = 0;
  size_t nPos = nLineEnd + 2;
  while (nPos < nHeaderEnd + 2) {
    size_t nEnd = strBuffer.find("\r\n", nPos);
    std::string strHeader = strBuffer.substr(nPos, nEnd - nPos);
    nPos = nEnd + 2;
    size_t nColon = strHeader.find(':');
    if (nColon == std::string::npos || nColon == 0) return ESimRead::Malformed;
    std::string strName = Lower(strHeader.substr(0, nColon));
    std::string strValue = Trim(strHeader.substr(nColon + 1));
    if (strName == "content-length") {
      if (strValue.empty() || strValue.size() > 12 ||
          strValue.find_first_not_of("0123456789") != std::string::npos) {
        return ESimRead::Malformed;
      }
      size_t n = static_cast<size_t>(std::stoull(strValue));
      if (bHaveLength && n != nLength) return ESimRead::Malformed;
      bHaveLength = true;
      nLength = n;
    } else if (strName == "transfer-encoding") {
      return ESimRead::Unsupported;
    } else if (strName == "expect") {
      if (Lower(strValue) != "100-continue") return ESimRead::Unsupported;
      bContinue = true;
    }
  }
  if (nLength > kSimMaxBody) return ESimRead::TooLarge;

  request.strBody = strBuffer.substr(nHeaderEnd + 4);
  if (bContinue && request.strBody.size() < nLength &&
      !WriteAll(pSsl, "HTTP/1.1 100 Continue\r\n\r\n")) {
    return ESimRead::Closed;
  }
  while (request.strBody.size() < nLength) {
    if (!ReadMore(pSsl, deadline, request.strBody)) return ESimRead::Closed;
  }
  // Bytes past the body would be a second request; one is served.
  request.strBody.resize(nLength);
  return ESimRead::Ok;
}

bool SimWriteReply(SSL* pSsl, int nStatus, const std::string& strContentType,
                   const std::string& strBody) {
  std::string strHead = "HTTP/1.1 " + std::to_string(nStatus) + " " + StatusText(nStatus) +
                        "\r\nContent-Type: " + strContentType +
                        "\r\nContent-Length: " + std::to_string(strBody.size()) +
                        "\r\nConnection: close\r\n\r\n";
  return WriteAll(pSsl, strHead) && WriteAll(pSsl, strBody);
}

bool SimFormValue(const std::string& strForm, const std::string& strName, std::string& strValue) {
  size_t nPos = 0;
  while (nPos <= strForm.size()) {
    size_t nEnd = strForm.find('&', nPos);
    if (nEnd == std::string::npos) nEnd = strForm.size();
    std::string strPair = strForm.substr(nPos, nEnd - nPos);
    nPos = nEnd + 1;
    size_t nEq = strPair.find('=');
    if (nEq == std::string::npos || strPair.compare(0, nEq, strName) != 0 ||
        nEq != strName.size()) {
      continue;
    }
    std::string strOut;
    for (size_t i = nEq + 1; i < strPair.size(); ++i) {
      char c = strPair[i];
      if (c == '+') {
        strOut += ' ';
      } else if (c == '%') {
        if (i + 2 >= strPair.size()) return false;
        int nHi = SimHexDigit(strPair[i + 1]);
        int nLo = SimHexDigit(strPair[i + 2]);
        if (nHi < 0 || nLo < 0) return false;
        strOut += static_cast<char>(nHi * 16 + nLo);
        i += 2;
      } else {
        strOut += c;
      }
    }
    strValue.swap(strOut);
    return true;
  }
  return false;
}
