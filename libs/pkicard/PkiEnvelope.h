#pragma once

#include <cstddef>

#include <openssl/x509.h>

#include "libs/pkicard/ByteVector.h"

// Seals data for the certificate's key as DER CMS EnvelopedData with the
// numbered symmetric cipher. Returns a card library code.
int SealEnvelope(X509* pCert, int nSymmAlgo, const unsigned char* pData, size_t nLen, ByteVector& out);

// The parts of an EnvelopedData that opening it on a token needs: the
// encrypted content key of the key-transport recipient that names the
// certificate (by issuer and serial number or by subject key identifier), and
// the DER EncryptedContentInfo.
struct EnvelopeRecipient {
  ByteVector m_encryptedKey;
  ByteVector m_encryptedContentInfo;
};

// Returns PKI_OK, PKI_ERR_BAD_ENVELOPE or PKI_ERR_NO_RECIPIENT.
int FindEnvelopeRecipient(const unsigned char* pEnvelope, size_t nLen, X509* pCert,
                          EnvelopeRecipient& recipient);

// Decrypts the content with the recovered content key. Returns a card library code.
int DecryptEnvelopeContent(const ByteVector& encryptedContentInfo, const ByteVector& contentKey,
                           ByteVector& plain);
