#pragma once

// Control interface of the card library test double. Its answers:
//   pkiReadLabel (flag 1)   "CERT:" + label; data starting "CERT:" is a
//                           certificate (pkiCheckCert, pkiGetXMLCertInfo:
//                           "<cert>" + data + "</cert>", pkiGetCertInfoEx:
//                           algorithm 7, or 0 for "CERT:ZERO...")
//   pkiGetSignature         "SIG(" + label + "," + algo + "):" + data, which
//                           pkiVerifySignature accepts
//   pkiSealEnvelope         "ENV" + algo digit + ":" + data (pkiOpenEnvelope)
//   pkiGenerateRandom       bytes 0x5a
//   pkiHashData             "H" + algo + ":" + data
//   pkiSymmCryptData        encrypt: "E" + data xor key; decrypt: reverse
// Password "1234" only.
// An output longer than the capacity is never written:
// DBL_ERR_BUFFER_TOO_SMALL with the needed length.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum emDoubleResult {
  DBL_ERR_INVALID_ARG = -3000002,
  DBL_ERR_BUFFER_TOO_SMALL = -3000003,
  DBL_ERR_PIN_INCORRECT = -3000009,
  DBL_ERR_BAD_BASE64 = -3000016,
  DBL_ERR_BAD_CERT = -3000017,
  DBL_ERR_BAD_ENVELOPE = -3000018,
  DBL_ERR_SIGNATURE_INVALID = -3000021,
};

// From now on the named function fails with nFail (0: it works), reports one
// byte more than the capacity it was given as produced when bOverreport (it
// writes nothing beyond the capacity), and calls pfnHook when entered.
// A null szFunction forgets every switch.
typedef void (*PFN_dblSwitch)(const char* szFunction, int nFail, int bOverreport,
                              void (*pfnHook)());
// The recorded calls, one line each, *pnLen bytes valid until the next call;
// then forgets them when bClear.
typedef const char* (*PFN_dblCallLog)(int bClear, size_t* pnLen);

#ifdef __cplusplus
}
#endif
