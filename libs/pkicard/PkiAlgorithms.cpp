#include "libs/pkicard/PkiAlgorithms.h"

namespace {

struct DigestEntry {
  int m_nAlgo;
  const char* m_szName;
  size_t m_nSize;
  // DER of DigestInfo up to the digest's OCTET STRING contents.
  std::vector<unsigned char> m_prefix;
};

const std::vector<DigestEntry>& DigestTable() {
  static const std::vector<DigestEntry> table = {
      {PKI_DIGEST_SHA1, "SHA1", 20,
       {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14}},
      {PKI_DIGEST_SHA256, "SHA256", 32,
       {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01,
        0x05, 0x00, 0x04, 0x20}},
      {PKI_DIGEST_SM3, "SM3", 32,
       {0x30, 0x30, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x81, 0x1c, 0xcf, 0x55, 0x01, 0x83, 0x11, 0x05,
        0x00, 0x04, 0x20}},
      {PKI_DIGEST_SHA384, "SHA384", 48,
       {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02,
        0x05, 0x00, 0x04, 0x30}},
      {PKI_DIGEST_SHA512, "SHA512", 64,
       {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03,
        0x05, 0x00, 0x04, 0x40}},
  };
  return table;
}

const DigestEntry* FindDigest(int nDigestAlgo) {
  for (const DigestEntry& entry : DigestTable()) {
    if (entry.m_nAlgo == nDigestAlgo) return &entry;
  }
  return nullptr;
}

}  // namespace

const char* DigestName(int nDigestAlgo) {
  const DigestEntry* pEntry = FindDigest(nDigestAlgo);
  return pEntry == nullptr ? nullptr : pEntry->m_szName;
}

bool MakeDigestInfo(int nDigestAlgo, const ByteVector& digest, ByteVector& digestInfo) {
  const DigestEntry* pEntry = FindDigest(nDigestAlgo);
  if (pEntry == nullptr || digest.size() != pEntry->m_nSize) return false;
  digestInfo = pEntry->m_prefix;
  digestInfo.insert(digestInfo.end(), digest.begin(), digest.end());
  return true;
}
