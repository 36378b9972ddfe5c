#include "libs/pkicard/PkiBase64.h"

#include <cstdint>

#include "libs/pkicard/DerReader.h"

namespace {

bool IsAlphabet(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// The six bits a character of the alphabet stands for; '=' counts as 0.
uint32_t SextetOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;
}

}  // namespace

std::string Base64Encode(const unsigned char* pData, size_t nLen) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string strOut;
  strOut.reserve((nLen + 2) / 3 * 4);
  for (size_t i = 0; i < nLen; i += 3) {
    const size_t n = nLen - i < 3 ? nLen - i : 3;
    uint32_t nBits = static_cast<uint32_t>(pData[i]) << 16;
    if (n > 1) nBits |= static_cast<uint32_t>(pData[i + 1]) << 8;
    if (n > 2) nBits |= pData[i + 2];
    strOut += kAlphabet[(nBits >> 18) & 0x3f];
    strOut += kAlphabet[(nBits >> 12) & 0x3f];
    strOut += n > 1 ? kAlphabet[(nBits >> 6) & 0x3f] : '=';
    strOut += n > 2 ? kAlphabet[nBits & 0x3f] : '=';
  }
  return strOut;
}

bool Base64Decode(const char* pText, size_t nLen, ByteVector& out) {
  out.clear();
  if (nLen == 0) return true;
  if (pText == nullptr) return false;
  // Strict syntax first: the alphabet, then at most two '=' at the very end
  // (line breaks aside), and a whole number of quads.
  std::string strClean;
  strClean.reserve(nLen);
  for (size_t i = 0; i < nLen; ++i) {
    const unsigned char c = static_cast<unsigned char>(pText[i]);
    if (c == '\r' || c == '\n') continue;
    if (IsAlphabet(c)) {
      if (!strClean.empty() && strClean.back() == '=') return false;  // data after padding
      strClean += static_cast<char>(c);
    } else if (c == '=') {
      strClean += '=';
    } else {
      return false;
    }
  }
  if (strClean.size() % 4 != 0) return false;
  const size_t nPad = strClean.size() - strClean.find_last_not_of('=') - 1;
  if (strClean.empty()) return true;
  if (nPad > 2 || strClean.find('=') < strClean.size() - nPad) return false;
  out.reserve(strClean.size() / 4 * 3);
  for (size_t i = 0; i < strClean.size(); i += 4) {
    uint32_t nBits = 0;
    for (size_t k = 0; k < 4; ++k) nBits = (nBits << 6) | SextetOf(static_cast<unsigned char>(strClean[i + k]));
    out.push_back(static_cast<unsigned char>(nBits >> 16));
    if (strClean[i + 2] != '=') out.push_back(static_cast<unsigned char>(nBits >> 8));
    if (strClean[i + 3] != '=') out.push_back(static_cast<unsigned char>(nBits));
  }
  return true;
}

std::vector<ByteVector> PemCertificates(const char* pText, size_t nLen) {
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  const std::string strText(pText, nLen);
  std::vector<ByteVector> certificates;
  for (size_t nAt = strText.find(kBegin); nAt != std::string::npos; nAt = strText.find(kBegin, nAt)) {
    const size_t nBody = nAt + kBegin.size();
    const size_t nStop = strText.find(kEnd, nBody);
    if (nStop == std::string::npos) break;
    ByteVector der;
    if (Base64Decode(strText.data() + nBody, nStop - nBody, der) && !der.empty()) {
      certificates.push_back(std::move(der));
    }
    nAt = nStop + kEnd.size();
  }
  return certificates;
}

bool CertificateDer(const unsigned char* pData, size_t nLen, ByteVector& der) {
  if (pData == nullptr || nLen == 0) return false;
  CDerReader reader(pData, nLen);
  DerElement element;
  if (pData[0] == kTagSequence && reader.Next(element) && reader.AtEnd()) {
    der.assign(pData, pData + nLen);
    return true;
  }
  std::vector<ByteVector> pem = PemCertificates(reinterpret_cast<const char*>(pData), nLen);
  if (pem.empty()) return false;
  der = std::move(pem.front());
  return true;
}
