#pragma once

// The cloud key operations routed by the dispatcher for a Fun that begins
// with "cloud" (cloudEnd is with the state store, cloud/CloudState.h). Each
// returns its result code (cloud/CloudResult.h); only a success writes into
// the result map.

#include <cstdint>

#include "http/RequestParams.h"

// Gets an authorisation code, stores it and writes the QR image of its
// enrolment to the configuration directory ("qrcode.png").
int cloudMakeQr();
// The service's state number for the stored code; the QR image is deleted
// once it is not 0.
int cloudGetState();
// Fetches the user's certificate with "verifyCode", installs it in the
// current user's store, stores its serial number and answers its Base64
// text in "outData".
int cloudGetCert(const RequestParams& request, RequestParams& result);
// Has the service sign "clearText" with "verifyCode"; "outData" is the
// signature in Base64 (most significant byte first).
int cloudSignData(const RequestParams& request, RequestParams& result);

// Checks a signature: pfnVerify gets the certificate (DER), the data and the
// signature and returns 0 when it is valid. The card library's
// pkiVerifySignature has this form.
using CloudVerifyFn = int (*)(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                              const unsigned char* pData, uint32_t nSigLen,
                              const unsigned char* pSig);
// Checks "signText" (Base64) over the GBK "clearText" (taken as UTF-8) with
// the Base64 certificate "cert", through pfnVerify.
int cloudVerifyData(const RequestParams& request, CloudVerifyFn pfnVerify);
