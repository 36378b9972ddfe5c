#include "base/system/CertStore.h"

#include <cstddef>

// A small DER reader, enough to find a certificate's serial number:
//   Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signature }
//   tbsCertificate ::= SEQUENCE { [0] version OPTIONAL, serialNumber INTEGER, ... }
// Every length is checked against the bytes that hold it.

namespace {

constexpr unsigned char kTagSequence = 0x30;
constexpr unsigned char kTagInteger = 0x02;
constexpr unsigned char kTagBitString = 0x03;
constexpr unsigned char kTagVersion = 0xA0;
// RFC 5280 allows 20 octets; some issuers write a few more.
constexpr size_t kMaxSerialBytes = 64;

struct CDerItem {
  unsigned char nTag = 0;
  size_t nContent = 0;  // offset of the content bytes
  size_t nLen = 0;      // length of the content
  size_t nEnd = 0;      // offset just past the item
};

// Reads the item at nPos, which must end at or before nLimit.
bool ReadItem(const CertDer& vDer, size_t nPos, size_t nLimit, CDerItem& item) {
  if (nPos >= nLimit || nLimit > vDer.size() || nLimit - nPos < 2) return false;
  item.nTag = vDer[nPos];
  size_t nAt = nPos + 1;
  size_t nLen = vDer[nAt++];
  if (nLen & 0x80) {
    const size_t nBytes = nLen & 0x7F;
    // Indefinite lengths are not DER; more than 4 length bytes cannot fit.
    if (nBytes == 0 || nBytes > 4 || nLimit - nAt < nBytes) return false;
    nLen = 0;
    for (size_t i = 0; i < nBytes; ++i) nLen = (nLen << 8) | vDer[nAt++];
    if (nLen < 0x80) return false;  // not the shortest form
  }
  if (nLen > nLimit - nAt) return false;
  item.nContent = nAt;
  item.nLen = nLen;
  item.nEnd = nAt + nLen;
  return true;
}

}  // namespace

std::string CertSerialText(const CertDer& vDer) {
  CDerItem cert, tbs, field, alg, sig;
  if (!ReadItem(vDer, 0, vDer.size(), cert) || cert.nTag != kTagSequence ||
      cert.nEnd != vDer.size()) {
    return std::string();
  }
  if (!ReadItem(vDer, cert.nContent, cert.nEnd, tbs) || tbs.nTag != kTagSequence) {
    return std::string();
  }
  // The two items after the TBS part must fill the certificate exactly.
  if (!ReadItem(vDer, tbs.nEnd, cert.nEnd, alg) || alg.nTag != kTagSequence ||
      !ReadItem(vDer, alg.nEnd, cert.nEnd, sig) || sig.nTag != kTagBitString ||
      sig.nEnd != cert.nEnd) {
    return std::string();
  }
  if (!ReadItem(vDer, tbs.nContent, tbs.nEnd, field)) return std::string();
  if (field.nTag == kTagVersion && !ReadItem(vDer, field.nEnd, tbs.nEnd, field)) {
    return std::string();
  }
  if (field.nTag != kTagInteger || field.nLen == 0 || field.nLen > kMaxSerialBytes) {
    return std::string();
  }
  static const char kHex[] = "0123456789abcdef";
  std::string strSerial;
  strSerial.reserve(field.nLen * 2);
  for (size_t i = field.nContent; i < field.nEnd; ++i) {
    strSerial += kHex[vDer[i] >> 4];
    strSerial += kHex[vDer[i] & 0x0F];
  }
  return strSerial;
}
