#pragma once

#include "base/search/DecimalText.h"
#include "http/RequestParams.h"

#include <cstdint>
#include <string>
#include <vector>

struct CCardFunctions;

// The value of a request key, or null when the key is absent (an empty value
// is present).
const std::string* FindParam(const RequestParams& request, const char* szKey);

// Largest decoded size accepted from a Base64 text of nTextLen bytes: a
// library asking for more is answered API_BAD_LIBRARY_OUTPUT.
uint64_t MaxDecodedSize(uint64_t nTextLen);

// Decodes Base64 text with the card library's pkiBase64Decode (two-call
// protocol). 0 with the bytes in vOut; the library's code; API_PARAM_TOO_LARGE
// when the bytes would exceed nMaxOut; API_BAD_LIBRARY_OUTPUT when the library
// asks for or reports an impossible size.
int PkiDecodeBase64(const CCardFunctions& funcs, const std::string& strText,
                    std::vector<unsigned char>& vOut, size_t nMaxOut = SIZE_MAX);

// Decodes strText with PkiDecodeBase64 and, when that succeeds, returns
// fnUse(bytes), bytes being a const std::vector<unsigned char>&; else the
// decoding's failure.
template <typename TUse>
int WithDecodedBase64(const CCardFunctions& funcs, const std::string& strText, TUse fnUse) {
  std::vector<unsigned char> vData;
  int nResult = PkiDecodeBase64(funcs, strText, vData);
  return nResult != 0 ? nResult : fnUse(vData);
}

// Encodes bytes as Base64 text with pkiBase64Encode (two-call protocol).
// 0 with the text in strOut; the library's code, or API_BAD_LIBRARY_OUTPUT.
int PkiEncodeBase64(const CCardFunctions& funcs, const unsigned char* pData, uint32_t nLen,
                    std::string& strOut);

// Pointer to pass for a byte range that may be empty: never null.
const unsigned char* BytesOf(const std::vector<unsigned char>& vData);
const unsigned char* BytesOf(const std::string& strData);
