#include "libs/pkicard/DerReader.h"

namespace {

void AppendLength(ByteVector& out, size_t nLen) {
  if (nLen < 0x80) {
    out.push_back(static_cast<unsigned char>(nLen));
    return;
  }
  unsigned char bytes[sizeof(size_t)];
  size_t nBytes = 0;
  for (size_t n = nLen; n != 0; n >>= 8) bytes[nBytes++] = static_cast<unsigned char>(n & 0xff);
  out.push_back(static_cast<unsigned char>(0x80 | nBytes));
  while (nBytes != 0) out.push_back(bytes[--nBytes]);
}

}  // namespace

ByteVector DerWrap(unsigned char nTag, const ByteVector& content) {
  ByteVector out;
  out.push_back(nTag);
  AppendLength(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}


bool CDerReader::Next(DerElement& element) {
  const size_t nLeft = static_cast<size_t>(m_pEnd - m_p);
  if (nLeft < 2) return false;
  const unsigned char nTag = m_p[0];
  if ((nTag & 0x1f) == 0x1f) return false;  // multi-byte tags are not used here
  size_t nHeader = 2;
  size_t nLen = m_p[1];
  if (nLen & 0x80) {
    const size_t nBytes = nLen & 0x7f;
    if (nBytes == 0 || nBytes > sizeof(size_t) || nLeft < 2 + nBytes) return false;  // indefinite or huge
    nLen = 0;
    for (size_t i = 0; i < nBytes; ++i) nLen = (nLen << 8) | m_p[2 + i];
    nHeader += nBytes;
  }
  if (nLen > nLeft - nHeader) return false;
  element.m_nTag = nTag;
  element.m_pHeader = m_p;
  element.m_pValue = m_p + nHeader;
  element.m_nValueLen = nLen;
  m_p += nHeader + nLen;
  return true;
}
