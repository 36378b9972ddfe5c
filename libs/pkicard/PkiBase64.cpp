#include "libs/pkicard/PkiBase64.h"

#include <climits>
#include <memory>

#include <openssl/evp.h>

namespace {

struct CEncodeCtxDeleter {
  void operator()(EVP_ENCODE_CTX* p) const { EVP_ENCODE_CTX_free(p); }
};

bool IsAlphabet(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

}  // namespace

std::string Base64Encode(const unsigned char* pData, size_t nLen) {
  std::string strOut;
  // EVP_EncodeBlock takes int lengths: encode in pieces of whole triplets.
  const size_t kPiece = 3u * 1024u * 1024u;
  std::string strPiece;
  for (size_t nDone = 0; nDone < nLen; nDone += kPiece) {
    const size_t n = nLen - nDone < kPiece ? nLen - nDone : kPiece;
    strPiece.resize(4 * ((n + 2) / 3) + 1);
    const int nOut = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&strPiece[0]), pData + nDone,
                                     static_cast<int>(n));
    strOut.append(strPiece.data(), static_cast<size_t>(nOut));
  }
  return strOut;
}

bool Base64Decode(const char* pText, size_t nLen, ByteVector& out) {
  out.clear();
  if (nLen == 0) return true;
  if (pText == nullptr) return false;
  // Strict syntax first: the alphabet, then at most two '=' at the very end
  // (line breaks aside), and a whole number of quads.
  std::string strClean;
  strClean.reserve(nLen);
  for (size_t i = 0; i < nLen; ++i) {
    const unsigned char c = static_cast<unsigned char>(pText[i]);
    if (c == '\r' || c == '\n') continue;
    if (IsAlphabet(c)) {
      if (!strClean.empty() && strClean.back() == '=') return false;  // data after padding
      strClean += static_cast<char>(c);
    } else if (c == '=') {
      strClean += '=';
    } else {
      return false;
    }
  }
  if (strClean.size() % 4 != 0) return false;
  const size_t nPad = strClean.size() - strClean.find_last_not_of('=') - 1;
  if (strClean.empty()) return true;
  if (nPad > 2 || strClean.find('=') < strClean.size() - nPad) return false;
  if (strClean.size() > static_cast<size_t>(INT_MAX)) return false;

  std::unique_ptr<EVP_ENCODE_CTX, CEncodeCtxDeleter> ctx(EVP_ENCODE_CTX_new());
  if (!ctx) return false;
  EVP_DecodeInit(ctx.get());
  out.resize(strClean.size() / 4 * 3 + 3);
  int nUpdate = 0;
  int nFinal = 0;
  if (EVP_DecodeUpdate(ctx.get(), out.data(), &nUpdate,
                       reinterpret_cast<const unsigned char*>(strClean.data()),
                       static_cast<int>(strClean.size())) < 0 ||
      EVP_DecodeFinal(ctx.get(), out.data() + nUpdate, &nFinal) != 1) {
    out.clear();
    return false;
  }
  out.resize(static_cast<size_t>(nUpdate) + static_cast<size_t>(nFinal));
  return true;
}
