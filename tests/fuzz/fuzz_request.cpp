// Framing and decoding of request bytes that arrive in pieces.
//
// Input: byte 0 picks the first buffer size (64..319 bytes, so that the
// buffer-growing paths are reached by short inputs), byte 1 the size of the
// pieces; the rest are the bytes as the connection would receive them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "http/HttpExchange.h"
#include "http/UrlCodec.h"

namespace {

void Check(bool bCondition) {
  if (!bCondition) __builtin_trap();
}

// Every byte escaped must decode to itself, up to the first 0 byte.
void CheckEscapedRoundTrip(const uint8_t* pData, size_t nSize) {
  std::string strPlain(reinterpret_cast<const char*>(pData), nSize);
  std::string strEscaped;
  for (unsigned char c : strPlain) strEscaped += "%" + ByteToHex(c);
  const std::string strDecoded = UrlDecode(strEscaped);
  Check(strDecoded == std::string(strPlain.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  if (nSize < 2) return 0;
  const uint32_t nFirstSize = 64u + pData[0];
  const size_t nPiece = 1u + pData[1] % 97u;
  const char* pBytes = reinterpret_cast<const char*>(pData + 2);
  const size_t nBytes = nSize - 2;

  CHttpExchange exchange;
  Check(exchange.ReserveRecvBuf(nFirstSize));
  RequestParams params;
  size_t nFed = 0;
  int nFramed = 0;
  while (nFed < nBytes && nFramed == 0) {
    Check(exchange.m_nRecvLen <= exchange.m_nRecvBufSize);
    // Framing grows the buffer when it wants more; a full buffer that it
    // left full ends the request, as the connection ends it.
    if (exchange.m_nRecvLen == exchange.m_nRecvBufSize) break;
    const size_t nWant = nBytes - nFed < nPiece ? nBytes - nFed : nPiece;
    nFed += exchange.AppendRecv(pBytes + nFed, static_cast<uint32_t>(nWant));
    const uint32_t nSizeBefore = exchange.m_nRecvBufSize;
    nFramed = exchange.ParseRequest(params);
    Check(nFramed >= -1 && nFramed <= 1);
    Check(nFramed == 1 || params.empty());
    Check(exchange.m_nRecvBufSize >= nSizeBefore);
    Check(exchange.m_nRecvBufSize <= kMaxRequestSize);
  }
  // Decoded names and values hold no 0 byte past their end.
  for (const auto& entry : params) {
    Check(entry.second.find('\0') == std::string::npos);
  }

  // The decoder on its own, on the whole input as one value.
  const std::string strValue(pBytes, nBytes);
  const std::string strDecoded = UrlDecode(strValue);
  Check(strDecoded.size() <= strValue.size());
  CheckEscapedRoundTrip(pData + 2, nBytes);
  return 0;
}
