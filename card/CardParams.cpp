#include "card/CardParams.h"

#include "card/ApiResult.h"
#include "card/CardLibrary.h"

#include <climits>
#include <cstring>

namespace {

const unsigned char s_byEmpty[1] = {0};

}  // namespace

const std::string* FindParam(const RequestParams& request, const char* szKey) {
  auto it = request.find(szKey);
  return it == request.end() ? nullptr : &it->second;
}

uint64_t MaxDecodedSize(uint64_t nTextLen) {
  // Four characters carry three bytes; a little slack for a library that
  // counts a terminator or a partial group.
  return nTextLen / 4 * 3 + 4;
}

int PkiDecodeBase64(const CCardFunctions& funcs, const std::string& strText,
                    std::vector<unsigned char>& vOut, size_t nMaxOut) {
  vOut.clear();
  if (strText.size() > UINT32_MAX) return API_PARAM_TOO_LARGE;
  uint32_t nTextLen = static_cast<uint32_t>(strText.size());

  PkiBlob blob = {0, nullptr};
  funcs.pkiBase64Decode(nTextLen, strText.c_str(), &blob);  // asks for the size only
  uint32_t nNeed = blob.nLen;
  if (nNeed > MaxDecodedSize(nTextLen)) return API_BAD_LIBRARY_OUTPUT;
  if (nNeed > nMaxOut) return API_PARAM_TOO_LARGE;

  std::vector<unsigned char> vBuf(nNeed > 0 ? nNeed : 1);
  blob.nLen = nNeed;
  blob.pData = vBuf.data();
  int nResult = funcs.pkiBase64Decode(nTextLen, strText.c_str(), &blob);
  if (nResult != 0) return nResult;
  if (blob.nLen > nNeed) return API_BAD_LIBRARY_OUTPUT;
  vBuf.resize(blob.nLen);
  vOut.swap(vBuf);
  return 0;
}

int PkiEncodeBase64(const CCardFunctions& funcs, const unsigned char* pData, uint32_t nLen,
                    std::string& strOut) {
  strOut.clear();
  if (pData == nullptr) pData = s_byEmpty;
  PkiBlob blob = {0, nullptr};
  funcs.pkiBase64Encode(nLen, pData, &blob);  // asks for the size only
  uint32_t nNeed = blob.nLen;
  // Base64 of n bytes is about 4n/3 characters; line breaks at most double
  // that. Anything larger is not a size worth allocating.
  if (static_cast<uint64_t>(nNeed) > 2ull * nLen + 64) return API_BAD_LIBRARY_OUTPUT;

  std::vector<unsigned char> vBuf(static_cast<size_t>(nNeed) + 1, 0);  // one more for the NUL
  blob.nLen = nNeed + 1;
  blob.pData = vBuf.data();
  int nResult = funcs.pkiBase64Encode(nLen, pData, &blob);
  if (nResult != 0) return nResult;
  if (blob.nLen > nNeed + 1) return API_BAD_LIBRARY_OUTPUT;
  // The text ends at the produced length or at a NUL the library counted.
  const char* szText = reinterpret_cast<const char*>(vBuf.data());
  size_t nText = 0;
  while (nText < blob.nLen && szText[nText] != '\0') ++nText;
  strOut.assign(szText, nText);
  return 0;
}

const unsigned char* BytesOf(const std::vector<unsigned char>& vData) {
  return vData.empty() ? s_byEmpty : vData.data();
}

const unsigned char* BytesOf(const std::string& strData) {
  return reinterpret_cast<const unsigned char*>(strData.data());
}
