#pragma once

// The card library's calls with vectors as buffers, for the tests on both
// platforms.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "libs/pkicard/pkiCard.h"

using Bytes = std::vector<unsigned char>;

// Runs fn with a PkiBlob over nCapacity bytes of out; out keeps what was
// written, nothing on failure.
template <typename F>
int WithBlob(size_t nCapacity, Bytes& out, F fn) {
  out.assign(nCapacity, 0);
  PkiBlob blob{static_cast<uint32_t>(nCapacity), out.data()};
  const int nResult = fn(&blob);
  out.resize(nResult == PKI_OK ? blob.nLen : 0);
  return nResult;
}

// Library calls with a vector as the output buffer.
inline int Sign(const char* szLabel, const char* szPin, int nAlgo, const Bytes& data, Bytes& sig) {
  return WithBlob(4096, sig, [&](PkiBlob* p) {
    return pkiGetSignature(szLabel, szPin, nAlgo, static_cast<uint32_t>(data.size()), data.data(), p);
  });
}
inline int Hash(int nAlgo, const Bytes& data, Bytes& digest) {
  return WithBlob(4096, digest, [&](PkiBlob* p) {
    return pkiHashData(nAlgo, static_cast<uint32_t>(data.size()), data.data(), p);
  });
}
inline int SymmCrypt(int nMode, int nAlgo, const Bytes& key, const Bytes& in, Bytes& out) {
  return WithBlob(in.size() + 64, out, [&](PkiBlob* p) {
    return pkiSymmCryptData(nMode, nAlgo, static_cast<uint32_t>(key.size()), key.data(),
                            static_cast<uint32_t>(in.size()), in.data(), p);
  });
}
inline int Seal(const Bytes& cert, int nAlgo, const Bytes& plain, Bytes& envelope) {
  return WithBlob(plain.size() + 8192, envelope, [&](PkiBlob* p) {
    return pkiSealEnvelope(static_cast<uint32_t>(cert.size()), cert.data(), nAlgo,
                           static_cast<uint32_t>(plain.size()), plain.data(), p);
  });
}
inline int Open(const char* szLabel, const char* szPin, const Bytes& envelope, Bytes& plain) {
  return WithBlob(envelope.size() + 64, plain, [&](PkiBlob* p) {
    return pkiOpenEnvelope(szLabel, szPin, static_cast<uint32_t>(envelope.size()), envelope.data(), p);
  });
}
// The certificate under szLabel, in a 4,096-byte buffer.
inline int ReadLabel(const char* szLabel, Bytes& der) {
  der.assign(4096, 0);
  uint32_t nLen = 4096;
  const int nResult = pkiReadLabel(szLabel, 1, der.data(), &nLen);
  der.resize(nResult == PKI_OK ? nLen : 0);
  return nResult;
}
