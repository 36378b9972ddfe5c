#pragma once

#include <cstddef>

#include <openssl/x509.h>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/EnvelopeDer.h"

// Seals data for the certificate's key as DER CMS EnvelopedData with the
// numbered symmetric cipher. Returns a card library code.
int SealEnvelope(X509* pCert, int nSymmAlgo, const unsigned char* pData, size_t nLen, ByteVector& out);

// The key-transport recipient that names the certificate (by issuer and
// serial number or by subject key identifier), read from BER or DER.
// Returns PKI_OK, PKI_ERR_BAD_ENVELOPE or PKI_ERR_NO_RECIPIENT.
int FindEnvelopeRecipient(const unsigned char* pEnvelope, size_t nLen, X509* pCert,
                          EnvelopeRecipient& recipient);

// Decrypts the content with the recovered content key. Returns a card library code.
int DecryptEnvelopeContent(const ByteVector& encryptedContentInfo, const ByteVector& contentKey,
                           ByteVector& plain);
