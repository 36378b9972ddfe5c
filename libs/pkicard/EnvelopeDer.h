#pragma once

#include <cstddef>
#include <functional>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/DerReader.h"

// Reading and writing the parts of CMS EnvelopedData (DER) that opening an
// envelope needs, the same on every platform.

// The encrypted content key of the key-transport (rsaEncryption) recipient
// whose identifier names the key, and the DER EncryptedContentInfo.
struct EnvelopeRecipient {
  ByteVector m_encryptedKey;
  ByteVector m_encryptedContentInfo;
};

// Tells whether a RecipientIdentifier (IssuerAndSerialNumber SEQUENCE, or [0]
// SubjectKeyIdentifier) names the key's certificate.
using RecipientMatcher = std::function<bool(const DerElement& rid)>;

// Walks DER ContentInfo(EnvelopedData). Returns PKI_OK, PKI_ERR_BAD_ENVELOPE
// or PKI_ERR_NO_RECIPIENT.
int FindKeyTransportRecipient(const unsigned char* pDer, size_t nLen, const RecipientMatcher& matches,
                              EnvelopeRecipient& recipient);

// The content cipher (symmetric algorithm number, 0 when unknown), its IV and
// the cipher text of a DER EncryptedContentInfo. False when malformed.
bool ReadEncryptedContentInfo(const ByteVector& eci, int& nSymmAlgo, ByteVector& iv, ByteVector& cipher);

// DER ECDSA-Sig-Value from r||s and back (r, s each nHalf bytes).
bool EcdsaRawToDer(const unsigned char* pRaw, size_t nLen, ByteVector& der);
bool EcdsaDerToRaw(const unsigned char* pDer, size_t nLen, size_t nHalf, ByteVector& raw);

// DER ContentInfo(EnvelopedData) for one key-transport recipient named by
// issuer (DER Name) and serial number (INTEGER contents), its content key
// encrypted with rsaEncryption (PKCS#1 v1.5), the content with the numbered
// CBC cipher. False for an unknown cipher number.
bool BuildEnvelopedData(const ByteVector& issuer, const ByteVector& serial, const ByteVector& encryptedKey,
                        int nSymmAlgo, const ByteVector& iv, const ByteVector& cipher, ByteVector& der);
