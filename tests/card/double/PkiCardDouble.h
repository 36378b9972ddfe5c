#pragma once

// Control interface of the card library test double. The double implements
// the card library's functions deterministically:
//   certificate under label L   "CERT:" + L            (pkiReadLabel, flag 1)
//   pkiCheckCert                0 for data starting "CERT:" with six zero words
//   pkiGetXMLCertInfo           "<cert>" + data + "</cert>"
//   pkiGetCertInfoEx            preferred algorithm 7 ("CERT:ZERO..." gives 0)
//   pkiGetSignature             "SIG(" + label + "," + algo + "):" + data;
//                               password "1234" only
//   pkiVerifySignature          0 when the signature is "SIG(...):" + data
//   pkiSealEnvelope             "ENV" + algo digit + ":" + data
//   pkiOpenEnvelope             the data after "ENVn:"; password "1234" only
//   pkiGenerateRandom           byte i = (i * 37 + 11) & 0xFF
//   pkiHashData                 8 bytes: FNV-1a 64 of the data, first byte
//                               xored with the algorithm (1..5)
//   pkiSymmCryptData            encrypt: "E" + data xor key; decrypt: reverse
//   Base64                      standard alphabet with padding, two-call
//                               protocol (null pointer: size only, result 0)
// Token functions (pkiReadLabel, pkiGetSignature, pkiOpenEnvelope) need
// pkiInit and fail after pkiEnd. An output longer than the capacity is never
// written: DBL_ERR_BUFFER_TOO_SMALL with the needed length.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum emDoubleResult {
  DBL_ERR_INVALID_ARG = -3000002,
  DBL_ERR_BUFFER_TOO_SMALL = -3000003,
  DBL_ERR_NOT_INITIALISED = -3000004,
  DBL_ERR_PIN_INCORRECT = -3000009,
  DBL_ERR_BAD_BASE64 = -3000016,
  DBL_ERR_BAD_CERT = -3000017,
  DBL_ERR_BAD_ENVELOPE = -3000018,
  DBL_ERR_SIGNATURE_INVALID = -3000021,
};

// Forgets the recorded calls and every switch below; the library is closed.
typedef void (*PFN_dblReset)(void);
// Forgets the recorded calls only.
typedef void (*PFN_dblClearLog)(void);
// From now on the named function fails with nCode (0 switches it back).
typedef void (*PFN_dblFailWith)(const char* szFunction, int nCode);
// From now on the named function reports one byte more than the capacity it
// was given as produced (it writes nothing beyond the capacity).
typedef void (*PFN_dblOverreport)(const char* szFunction);
// The named function calls pfn(pArg) when it is entered.
typedef void (*PFN_dblOnCall)(const char* szFunction, void (*pfn)(void*), void* pArg);
// Copies the recorded calls, one line each, NUL-terminated, into pBuf of
// nSize bytes (cut when it does not fit). Returns the full length.
typedef int (*PFN_dblCallLog)(char* pBuf, int nSize);

#ifdef __cplusplus
}
#endif
