#pragma once

#include <cstddef>

#include "libs/pkicard/ByteVector.h"

// The identifier octets the card library reads and writes.
constexpr unsigned char kTagInteger = 0x02;
constexpr unsigned char kTagOctetString = 0x04;
constexpr unsigned char kTagOid = 0x06;
constexpr unsigned char kTagSequence = 0x30;
constexpr unsigned char kTagSet = 0x31;
constexpr unsigned char kTagContext0 = 0xa0;           // [0] constructed
constexpr unsigned char kTagContext0Primitive = 0x80;  // [0] primitive

// A reader over definite-length DER: one TLV at a time, every length checked
// against what is left. Reading never goes past the end of the input.
struct DerElement {
  unsigned char m_nTag = 0;            // identifier octet (single-byte tags only)
  const unsigned char* m_pHeader = nullptr;  // start of the whole TLV
  const unsigned char* m_pValue = nullptr;
  size_t m_nValueLen = 0;
  size_t TotalLen() const { return static_cast<size_t>(m_pValue - m_pHeader) + m_nValueLen; }
};

class CDerReader {
 public:
  CDerReader(const unsigned char* pData, size_t nLen) : m_p(pData), m_pEnd(pData + nLen) {}
  explicit CDerReader(const DerElement& parent)
      : m_p(parent.m_pValue), m_pEnd(parent.m_pValue + parent.m_nValueLen) {}

  bool AtEnd() const { return m_p == m_pEnd; }
  // The next element's tag, or 0 at the end.
  unsigned char PeekTag() const { return AtEnd() ? 0 : *m_p; }
  // Reads the next element; false on malformed or truncated input.
  bool Next(DerElement& element);
  // Reads the next element and requires its tag.
  bool Expect(unsigned char nTag, DerElement& element) {
    return PeekTag() == nTag && Next(element);
  }

 private:
  const unsigned char* m_p;
  const unsigned char* m_pEnd;
};

// One DER element: tag, definite length, content.
ByteVector DerWrap(unsigned char nTag, const ByteVector& content);
