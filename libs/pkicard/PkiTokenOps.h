#pragma once

#include <string>

#include "libs/pkicard/P11Token.h"

// Private-key work on the token. Each runs inside CP11Token::Run and returns a
// card library code.

// The DER value of the certificate object labelled szLabel.
int ReadTokenCertificate(const CP11Token& token, const char* szLabel, ByteVector& der);

// Signs a digest made on the host: RSA keys sign the DigestInfo with
// CKM_RSA_PKCS, EC keys sign the hash with CKM_ECDSA and the token's r||s
// comes back as DER ECDSA-Sig-Value. Logs in with szPin and out again.
int SignOnToken(CP11Token& token, const char* szLabel, const char* szPin, int nDigestAlgo,
                const ByteVector& digest, ByteVector& signature);

// Opens a CMS envelope for the key whose certificate is labelled szLabel:
// the content key is decrypted on the token, the content on the host.
int OpenEnvelopeOnToken(const CP11Token& token, const char* szLabel, const char* szPin,
                        const unsigned char* pEnvelope, size_t nLen, ByteVector& plain);
