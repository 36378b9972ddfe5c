#pragma once
/*
 * pkiCard: the card library. Private-key operations (signing, opening an
 * envelope) run on a PKCS#11 token; everything public (verifying, sealing,
 * hashing, random bytes, symmetric ciphers, certificate parsing and checking)
 * runs in OpenSSL 3. The Windows build (pkiCard.dll) keeps every interface,
 * code and output format below over the current user's "MY" certificate
 * store, CNG and CryptoAPI (README.md beside this file says where it differs).
 *
 * Calling conventions
 * -------------------
 * - Every function returns 0 on success or one of the PKI_ERR_* codes below.
 * - Text arguments are NUL-terminated byte strings, passed on unchanged (a
 *   label is compared byte for byte with the token's CKA_LABEL).
 * - "Data" arguments are a 32-bit length followed by a byte pointer.
 * - Outputs go to a PkiBlob: nLen holds the capacity of pData on entry and
 *   the number of bytes produced on return. An output longer than the capacity
 *   is never written: the call fails with PKI_ERR_BUFFER_TOO_SMALL and nLen
 *   is set to the length needed. On any other failure nLen is set to 0.
 * - Base64 functions follow the two-call protocol: a call with pData == NULL
 *   only sets nLen to the length needed and returns 0. pkiBase64Encode
 *   reports the text length without the terminating NUL; it writes the NUL
 *   after the text when the capacity has room for it.
 * - Functions that use the token (pkiReadLabel, pkiGetSignature,
 *   pkiOpenEnvelope) need pkiInit; all others work without it.
 * - The PIN is never kept: a call that needs the private key logs in with the
 *   PIN it is given and logs out before it returns.
 *
 * Algorithm numbers
 * -----------------
 *   digest (nDigestAlgo, nHashAlgo): 1 SHA-1, 2 SHA-256, 3 SM3, 4 SHA-384,
 *                                    5 SHA-512
 *   symmetric (nSymmAlgo):           1 AES-128-CBC, 2 AES-256-CBC, 3 SM4-CBC,
 *                                    4 3DES-CBC (EDE3, 24-byte key)
 *
 * Output formats
 * --------------
 *   signature: PKCS#1 v1.5 for RSA keys; DER ECDSA-Sig-Value for EC keys.
 *   envelope:  CMS EnvelopedData, DER.
 *   symmetric: IV || CBC cipher text with PKCS#7 padding (encrypting makes a
 *              fresh random IV; decrypting takes it from the front).
 *
 * Configuration
 * -------------
 * Read at pkiInit (and at the first call that needs it) from the environment,
 * else from "pkiCard.ini" beside the library (or the file named by
 * PKICARD_INI), section [pkiCard]:
 *   PKICARD_MODULE       / Module       PKCS#11 module path; default the
 *                                       p11-kit proxy module
 *   PKICARD_TOKEN_LABEL  / TokenLabel   use the token with this label
 *   PKICARD_TOKEN_SERIAL / TokenSerial  use the token with this serial number
 *   PKICARD_TRUST_STORE  / TrustStore   PEM file or hashed directory of trust
 *                                       anchors for pkiCheckCert; default the
 *                                       system's
 * Without a label or serial the first token that requires a login is used,
 * else the first token present. Tokens are found by label or serial, never by
 * slot number, so a re-inserted token is found again by pkiEnd + pkiInit.
 *
 * XML layout of pkiGetXMLCertInfo (UTF-8, one element per line, text
 * XML-escaped; names in RFC 2253 form; times in UTC):
 *   <?xml version="1.0" encoding="UTF-8"?>
 *   <CertInfo>
 *   <Version>3</Version>
 *   <SerialNumber>upper-case hex, no separators</SerialNumber>
 *   <Subject>CN=...,O=...</Subject>
 *   <SubjectCN>common name or empty</SubjectCN>
 *   <Issuer>CN=...,O=...</Issuer>
 *   <IssuerCN>common name or empty</IssuerCN>
 *   <NotBefore>YYYY-MM-DD HH:MM:SS</NotBefore>
 *   <NotAfter>YYYY-MM-DD HH:MM:SS</NotAfter>
 *   <SignatureAlgorithm>e.g. sha256WithRSAEncryption</SignatureAlgorithm>
 *   <PublicKeyAlgorithm>RSA | EC | SM2</PublicKeyAlgorithm>
 *   <PublicKeyBits>2048</PublicKeyBits>
 *   <KeyUsage>comma-separated names, empty when absent</KeyUsage>
 *   <SubjectKeyIdentifier>upper-case hex, empty when absent</SubjectKeyIdentifier>
 *   <Thumbprint>SHA-1 of the DER certificate, upper-case hex</Thumbprint>
 *   <PreferredDigest>digest number, as pkiGetCertInfoEx</PreferredDigest>
 *   </CertInfo>
 */

#include <stdint.h>

/* The build of the library defines PKICARD_API as its export attribute;
   callers see plain declarations. */
#ifndef PKICARD_API
#define PKICARD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PkiBlob {
  uint32_t nLen;         /* in: capacity of pData; out: bytes produced or needed */
  unsigned char* pData;  /* caller's buffer */
} PkiBlob;

/* Failure codes: a range of their own, -2000001 to -2000099. */
enum emPkiResult {
  PKI_OK = 0,
  PKI_ERR_GENERAL = -2000001,           /* unexpected internal failure */
  PKI_ERR_INVALID_ARG = -2000002,       /* null pointer, bad number, bad key length */
  PKI_ERR_BUFFER_TOO_SMALL = -2000003,  /* output longer than the capacity; needed length returned */
  PKI_ERR_NOT_INITIALISED = -2000004,   /* token function called without pkiInit */
  PKI_ERR_CONFIG = -2000005,            /* configuration unreadable or invalid */
  PKI_ERR_MODULE_LOAD = -2000006,       /* the PKCS#11 module could not be loaded or initialised */
  PKI_ERR_TOKEN_NOT_FOUND = -2000007,   /* no (matching) token present */
  PKI_ERR_TOKEN_REMOVED = -2000008,     /* the token went away during the call */
  PKI_ERR_PIN_INCORRECT = -2000009,     /* wrong PIN (or a PIN of invalid length or form) */
  PKI_ERR_PIN_LOCKED = -2000010,        /* PIN locked or expired */
  PKI_ERR_OBJECT_NOT_FOUND = -2000011,  /* no certificate with that label */
  PKI_ERR_KEY_NOT_FOUND = -2000012,     /* no private key for that certificate */
  PKI_ERR_UNSUPPORTED_ALGO = -2000013,  /* unknown algorithm number or unsupported key type */
  PKI_ERR_TOKEN_FAILURE = -2000014,     /* any other PKCS#11 failure */
  PKI_ERR_CRYPTO = -2000015,            /* OpenSSL failed */
  PKI_ERR_BAD_BASE64 = -2000016,        /* input is not valid Base64 */
  PKI_ERR_BAD_CERT = -2000017,          /* input is not a certificate (DER or PEM) */
  PKI_ERR_BAD_ENVELOPE = -2000018,      /* input is not a CMS EnvelopedData */
  PKI_ERR_NO_RECIPIENT = -2000019,      /* the envelope has no recipient for this key */
  PKI_ERR_DECRYPT = -2000020,           /* decryption failed (wrong key, corrupt data, bad padding) */
  PKI_ERR_SIGNATURE_INVALID = -2000021, /* the signature does not verify */
  PKI_ERR_CERT_EXPIRED = -2000022,      /* certificate past its notAfter */
  PKI_ERR_CERT_NOT_YET_VALID = -2000023,/* certificate before its notBefore */
  PKI_ERR_CERT_UNTRUSTED = -2000024,    /* no chain to a trust anchor */
  PKI_ERR_CERT_INVALID = -2000025,      /* any other verification failure */
  PKI_ERR_TRUST_STORE = -2000026        /* the configured trust store could not be loaded */
};

/* Loads the PKCS#11 module, initialises it, finds the token and opens the
   session that stays open between calls. Calling it again re-initialises. */
PKICARD_API int pkiInit(void);
/* Closes the session and finalises and releases the module. Always 0. */
PKICARD_API int pkiEnd(void);

PKICARD_API int pkiBase64Decode(uint32_t nTextLen, const char* pText, PkiBlob* pOut);
PKICARD_API int pkiBase64Encode(uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut);

/* The DER bytes of the certificate object whose CKA_LABEL is szLabel.
   nObjectType must be 1 (certificate). *pnLength: capacity in, length out. */
PKICARD_API int pkiReadLabel(const char* szLabel, int nObjectType, unsigned char* pBuffer,
                             uint32_t* pnLength);

/* 0 when the certificate (DER or PEM) is within its validity period and
   chains to the configured trust store. The six words are reserved. */
PKICARD_API int pkiCheckCert(uint32_t nCertLen, const unsigned char* pCert, uint32_t nReserved1,
                             uint32_t nReserved2, uint32_t nReserved3, uint32_t nReserved4,
                             uint32_t nReserved5, uint32_t nReserved6);

PKICARD_API int pkiGetXMLCertInfo(uint32_t nCertLen, const unsigned char* pCert, PkiBlob* pOut);

/* *pnPreferredAlgo receives the digest number suited to the certificate's key
   (SM2: 3, EC P-384: 4, EC P-521: 5, otherwise 2). pRecord is not touched. */
PKICARD_API int pkiGetCertInfoEx(uint32_t nCertLen, const unsigned char* pCert, void* pRecord,
                                 int* pnPreferredAlgo);

PKICARD_API int pkiSealEnvelope(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo,
                                uint32_t nPlainLen, const unsigned char* pPlain, PkiBlob* pOut);

PKICARD_API int pkiOpenEnvelope(const char* szKeyLabel, const char* szPin, uint32_t nEnvLen,
                                const unsigned char* pEnvelope, PkiBlob* pOut);

PKICARD_API int pkiGetSignature(const char* szKeyLabel, const char* szPin, int nDigestAlgo,
                                uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut);

/* 0 when pSig is a valid signature of pData by the certificate's key. RSA:
   the digest is the one named in the signature's DigestInfo. EC: any of the
   digests above. SM2: SM3 with the distinguishing id "1234567812345678". */
PKICARD_API int pkiVerifySignature(uint32_t nCertLen, const unsigned char* pCert,
                                   uint32_t nDataLen, const unsigned char* pData,
                                   uint32_t nSigLen, const unsigned char* pSig);

/* The token's generator while a token session is open, else OpenSSL's. */
PKICARD_API int pkiGenerateRandom(int nCount, PkiBlob* pOut);

PKICARD_API int pkiHashData(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData,
                            PkiBlob* pOut);

/* nMode 1 encrypts, 0 decrypts. */
PKICARD_API int pkiSymmCryptData(int nMode, int nSymmAlgo, uint32_t nKeyLen,
                                 const unsigned char* pKey, uint32_t nInLen,
                                 const unsigned char* pIn, PkiBlob* pOut);

#ifdef __cplusplus
}
#endif
