#pragma once

#include "card/CardLibrary.h"
#include "http/RequestParams.h"

// Cryptographic operations. Each reads all its keys first (a missing one gives
// -10001 before any library call), then decodes its Base64 keys and makes one
// card library call. Operations with output write into out, whose length is
// its capacity on entry and the bytes produced on return.

int advSignData(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advVerifySign(const CCardFunctions& funcs, const RequestParams& request);
int advSealEnvelope(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advOpenEnvelope(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advGenRandom(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advHashData(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advSymmEncrypt(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
int advSymmDecrypt(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out);
