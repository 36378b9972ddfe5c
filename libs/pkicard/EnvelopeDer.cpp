#include "libs/pkicard/EnvelopeDer.h"

#include <cstring>
#include <initializer_list>

#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// OID contents (without tag and length).
const unsigned char kOidEnvelopedData[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
const unsigned char kOidRsaEncryption[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};

template <size_t N>
bool IsOid(const DerElement& element, const unsigned char (&oid)[N]) {
  return element.m_nTag == kTagOid && element.m_nValueLen == N &&
         std::memcmp(element.m_pValue, oid, N) == 0;
}


const unsigned char kOidData[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x01};
const unsigned char kOidAes128Cbc[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x02};
const unsigned char kOidAes256Cbc[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x2a};
const unsigned char kOidSm4Cbc[] = {0x2a, 0x81, 0x1c, 0xcf, 0x55, 0x01, 0x68, 0x02};
const unsigned char kOidDesEde3Cbc[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x03, 0x07};

// An INTEGER's contents as an unsigned big-endian number of exactly nHalf bytes.
bool UnsignedFixed(const DerElement& integer, size_t nHalf, unsigned char* pOut) {
  const unsigned char* p = integer.m_pValue;
  size_t n = integer.m_nValueLen;
  while (n > 0 && *p == 0) {
    ++p;
    --n;
  }
  if (n > nHalf) return false;
  std::memset(pOut, 0, nHalf - n);
  std::memcpy(pOut + nHalf - n, p, n);
  return true;
}

ByteVector UnsignedInteger(const unsigned char* p, size_t n) {
  while (n > 1 && *p == 0) {
    ++p;
    --n;
  }
  ByteVector value;
  if (n == 0 || (*p & 0x80) != 0) value.push_back(0);
  value.insert(value.end(), p, p + n);
  return DerWrap(kTagInteger, value);
}

}  // namespace

int FindKeyTransportRecipient(const unsigned char* pDer, size_t nLen, const RecipientMatcher& matches,
                              EnvelopeRecipient& recipient) {
  CDerReader top(pDer, nLen);
  DerElement contentInfo, oid, explicitContent, enveloped, version, recipientInfos, encryptedContent;
  if (!top.Expect(kTagSequence, contentInfo)) return PKI_ERR_BAD_ENVELOPE;
  CDerReader ci(contentInfo);
  if (!ci.Expect(kTagOid, oid) || !IsOid(oid, kOidEnvelopedData) ||
      !ci.Expect(kTagContext0, explicitContent)) {
    return PKI_ERR_BAD_ENVELOPE;
  }
  CDerReader ex(explicitContent);
  if (!ex.Expect(kTagSequence, enveloped)) return PKI_ERR_BAD_ENVELOPE;
  CDerReader env(enveloped);
  if (!env.Expect(kTagInteger, version)) return PKI_ERR_BAD_ENVELOPE;
  if (env.PeekTag() == kTagContext0) {  // originatorInfo
    DerElement originator;
    if (!env.Next(originator)) return PKI_ERR_BAD_ENVELOPE;
  }
  if (!env.Expect(kTagSet, recipientInfos) || !env.Expect(kTagSequence, encryptedContent)) {
    return PKI_ERR_BAD_ENVELOPE;
  }

  CDerReader ris(recipientInfos);
  while (!ris.AtEnd()) {
    DerElement ri;
    if (!ris.Next(ri)) return PKI_ERR_BAD_ENVELOPE;
    if (ri.m_nTag != kTagSequence) continue;  // not key transport
    CDerReader ktri(ri);
    DerElement riVersion, rid, keyAlgo, encryptedKey, keyAlgoOid;
    if (!ktri.Expect(kTagInteger, riVersion) || !ktri.Next(rid) ||
        !ktri.Expect(kTagSequence, keyAlgo) || !ktri.Expect(kTagOctetString, encryptedKey)) {
      return PKI_ERR_BAD_ENVELOPE;
    }
    CDerReader algo(keyAlgo);
    if (!algo.Expect(kTagOid, keyAlgoOid) || !IsOid(keyAlgoOid, kOidRsaEncryption)) continue;
    if (!matches(rid)) continue;
    recipient.m_encryptedKey.assign(encryptedKey.m_pValue, encryptedKey.m_pValue + encryptedKey.m_nValueLen);
    recipient.m_encryptedContentInfo.assign(encryptedContent.m_pHeader,
                                            encryptedContent.m_pHeader + encryptedContent.TotalLen());
    return PKI_OK;
  }
  return PKI_ERR_NO_RECIPIENT;
}

bool ReadEncryptedContentInfo(const ByteVector& eci, int& nSymmAlgo, ByteVector& iv, ByteVector& cipher) {
  CDerReader top(eci.data(), eci.size());
  DerElement seq, type, algo, algoOid, params, content;
  if (!top.Expect(kTagSequence, seq)) return false;
  CDerReader reader(seq);
  if (!reader.Expect(kTagOid, type) || !reader.Expect(kTagSequence, algo)) return false;
  CDerReader algoReader(algo);
  if (!algoReader.Expect(kTagOid, algoOid) || !algoReader.Expect(kTagOctetString, params)) return false;
  nSymmAlgo = IsOid(algoOid, kOidAes128Cbc)    ? PKI_SYMM_AES128
              : IsOid(algoOid, kOidAes256Cbc)  ? PKI_SYMM_AES256
              : IsOid(algoOid, kOidSm4Cbc)     ? PKI_SYMM_SM4
              : IsOid(algoOid, kOidDesEde3Cbc) ? PKI_SYMM_3DES
                                               : 0;
  iv.assign(params.m_pValue, params.m_pValue + params.m_nValueLen);
  cipher.clear();
  if (reader.AtEnd()) return true;  // no content
  if (!reader.Next(content)) return false;
  if (content.m_nTag == kTagContext0Primitive) {
    cipher.assign(content.m_pValue, content.m_pValue + content.m_nValueLen);
    return true;
  }
  if (content.m_nTag != kTagContext0) return false;
  CDerReader pieces(content);  // constructed: OCTET STRING pieces
  while (!pieces.AtEnd()) {
    DerElement piece;
    if (!pieces.Expect(kTagOctetString, piece)) return false;
    cipher.insert(cipher.end(), piece.m_pValue, piece.m_pValue + piece.m_nValueLen);
  }
  return true;
}

bool EcdsaRawToDer(const unsigned char* pRaw, size_t nLen, ByteVector& der) {
  if (nLen == 0 || nLen % 2 != 0) return false;
  ByteVector body = UnsignedInteger(pRaw, nLen / 2);
  const ByteVector s = UnsignedInteger(pRaw + nLen / 2, nLen / 2);
  body.insert(body.end(), s.begin(), s.end());
  der = DerWrap(kTagSequence, body);
  return true;
}

bool EcdsaDerToRaw(const unsigned char* pDer, size_t nLen, size_t nHalf, ByteVector& raw) {
  CDerReader top(pDer, nLen);
  DerElement seq, r, s;
  if (!top.Expect(kTagSequence, seq) || !top.AtEnd()) return false;
  CDerReader reader(seq);
  if (!reader.Expect(kTagInteger, r) || !reader.Expect(kTagInteger, s) || !reader.AtEnd()) return false;
  raw.resize(2 * nHalf);
  return UnsignedFixed(r, nHalf, raw.data()) && UnsignedFixed(s, nHalf, raw.data() + nHalf);
}

bool BuildEnvelopedData(const ByteVector& issuer, const ByteVector& serial, const ByteVector& encryptedKey,
                        int nSymmAlgo, const ByteVector& iv, const ByteVector& cipher, ByteVector& der) {
  const auto oid = [](const unsigned char* p, size_t n) { return DerWrap(kTagOid, ByteVector(p, p + n)); };
  const auto join = [](std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const ByteVector& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  ByteVector cipherOid;
  switch (nSymmAlgo) {
    case PKI_SYMM_AES128: cipherOid = oid(kOidAes128Cbc, sizeof kOidAes128Cbc); break;
    case PKI_SYMM_AES256: cipherOid = oid(kOidAes256Cbc, sizeof kOidAes256Cbc); break;
    case PKI_SYMM_SM4: cipherOid = oid(kOidSm4Cbc, sizeof kOidSm4Cbc); break;
    case PKI_SYMM_3DES: cipherOid = oid(kOidDesEde3Cbc, sizeof kOidDesEde3Cbc); break;
    default: return false;
  }
  const ByteVector kNull = {0x05, 0x00};
  const ByteVector recipient = DerWrap(
      kTagSequence,
      join({DerWrap(kTagInteger, {0x00}), DerWrap(kTagSequence, join({issuer, DerWrap(kTagInteger, serial)})),
            DerWrap(kTagSequence, join({oid(kOidRsaEncryption, sizeof kOidRsaEncryption), kNull})),
            DerWrap(kTagOctetString, encryptedKey)}));
  const ByteVector content = DerWrap(
      kTagSequence, join({oid(kOidData, sizeof kOidData),
                          DerWrap(kTagSequence, join({cipherOid, DerWrap(kTagOctetString, iv)})),
                          DerWrap(kTagContext0Primitive, cipher)}));
  const ByteVector enveloped =
      DerWrap(kTagSequence, join({DerWrap(kTagInteger, {0x00}), DerWrap(kTagSet, recipient), content}));
  der = DerWrap(kTagSequence,
                join({oid(kOidEnvelopedData, sizeof kOidEnvelopedData), DerWrap(kTagContext0, enveloped)}));
  return true;
}
