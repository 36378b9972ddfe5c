#include "libs/pkicard/DerReader.h"

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
