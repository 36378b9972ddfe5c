#pragma once

#include "card/CardLibrary.h"
#include "http/RequestParams.h"

// Certificate operations. Each runs while the dispatcher holds the operation
// lock and returns a result code; missing keys give -10001 before any library
// call.

// Largest certificate advGetCertPreferAlg accepts, decoded.
constexpr size_t PREFER_ALG_CERT_MAX = 10240;
// Longest key label that leaves room for the "_SIG" / "_ENC" suffix in the
// 60-byte label name.
constexpr size_t KEY_LABEL_MAX_FOR_NAME = 55;

// Reads the signing (CertType other than 1) or encryption (CertType 1)
// certificate stored under the configured key label into pOut.
int advGetCert(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
// Asks the card library to check the certificate in "cert64".
int advCheckCert(const CCardFunctions& funcs, const RequestParams& request);
// The library's XML description of the certificate in "cert64", into pOut.
int advGetCertInfo(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
// The library's preferred algorithm number for the certificate in "cert64",
// as decimal text under "outData" of result. Never resets the library.
int advGetCertPreferAlg(const CCardFunctions& funcs, const RequestParams& request, RequestParams& result);
