#pragma once

// Shared by the signing benchmarks: operations per second in interleaved
// slices, and the raw PKCS#11 signing sequence they are compared with.

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <p11-kit/p11-kit.h>

// Operations per second of each op. After a short warm-up the ops take turns
// in ten slices, so that a machine whose load changes treats them alike.
// Empty when an op failed.
inline std::vector<double> InterleavedRates(const std::vector<std::function<bool()>>& ops,
                                            double dSeconds) {
  using Clock = std::chrono::steady_clock;
  const int kSlices = 10;
  std::vector<long> counts(ops.size(), 0);
  std::vector<double> times(ops.size(), 0.0);
  for (const auto& op : ops) {
    for (int i = 0; i < 3; ++i) {
      if (!op()) return {};
    }
  }
  for (int nSlice = 0; nSlice < kSlices; ++nSlice) {
    for (size_t i = 0; i < ops.size(); ++i) {
      const Clock::time_point start = Clock::now();
      double dElapsed = 0;
      do {
        for (int n = 0; n < 5; ++n) {
          if (!ops[i]()) return {};
        }
        counts[i] += 5;
        dElapsed = std::chrono::duration<double>(Clock::now() - start).count();
      } while (dElapsed < dSeconds / kSlices);
      times[i] += dElapsed;
    }
  }
  std::vector<double> rates;
  for (size_t i = 0; i < ops.size(); ++i) rates.push_back(counts[i] / times[i]);
  return rates;
}

inline std::vector<unsigned char> Sha256(const std::vector<unsigned char>& data) {
  std::vector<unsigned char> digest(32);
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &n, EVP_sha256(), nullptr);
  return digest;
}

// The DigestInfo of SHA-256 over data, as CKM_RSA_PKCS signs it.
inline std::vector<unsigned char> Sha256DigestInfo(const std::vector<unsigned char>& data) {
  std::vector<unsigned char> in = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  const std::vector<unsigned char> digest = Sha256(data);
  in.insert(in.end(), digest.begin(), digest.end());
  return in;
}

// The bare PKCS#11 sequence on a kept-open session of one token (found by
// its label): log in, find the private key by label, sign, log out.
class CRawPkcs11Token {
 public:
  CRawPkcs11Token(std::string strModule, std::string strTokenLabel, std::string strPin)
      : m_strModule(std::move(strModule)),
        m_strTokenLabel(std::move(strTokenLabel)),
        m_strPin(std::move(strPin)) {}
  ~CRawPkcs11Token() {
    if (m_pModule == nullptr) return;
    if (m_hSession != CK_INVALID_HANDLE) m_pModule->C_CloseSession(m_hSession);
    p11_kit_module_finalize(m_pModule);
    p11_kit_module_release(m_pModule);
  }
  CRawPkcs11Token(const CRawPkcs11Token&) = delete;
  CRawPkcs11Token& operator=(const CRawPkcs11Token&) = delete;

  bool Open() {
    m_pModule = p11_kit_module_load(m_strModule.c_str(), 0);
    if (m_pModule == nullptr || p11_kit_module_initialize(m_pModule) != CKR_OK) return false;
    CK_SLOT_ID slots[8];
    CK_ULONG nSlots = 8;
    if (m_pModule->C_GetSlotList(CK_TRUE, slots, &nSlots) != CKR_OK) return false;
    std::string strPadded = m_strTokenLabel;
    strPadded.resize(32, ' ');
    for (CK_ULONG i = 0; i < nSlots; ++i) {
      CK_TOKEN_INFO info{};
      if (m_pModule->C_GetTokenInfo(slots[i], &info) == CKR_OK &&
          std::memcmp(info.label, strPadded.data(), sizeof info.label) == 0) {
        return m_pModule->C_OpenSession(slots[i], CKF_SERIAL_SESSION, nullptr, nullptr,
                                        &m_hSession) == CKR_OK;
      }
    }
    return false;
  }

  bool Sign(const char* szKeyLabel, CK_MECHANISM_TYPE nMech, const std::vector<unsigned char>& in) {
    CK_FUNCTION_LIST* f = m_pModule;
    if (f->C_Login(m_hSession, CKU_USER, (CK_UTF8CHAR_PTR)m_strPin.data(), m_strPin.size()) != CKR_OK) {
      return false;
    }
    CK_OBJECT_CLASS nClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE attrs[] = {{CKA_CLASS, &nClass, sizeof nClass},
                            {CKA_LABEL, const_cast<char*>(szKeyLabel), std::strlen(szKeyLabel)}};
    CK_OBJECT_HANDLE hKey = CK_INVALID_HANDLE;
    CK_ULONG nFound = 0;
    bool bOk = f->C_FindObjectsInit(m_hSession, attrs, 2) == CKR_OK;
    bOk = bOk && f->C_FindObjects(m_hSession, &hKey, 1, &nFound) == CKR_OK && nFound == 1;
    f->C_FindObjectsFinal(m_hSession);
    CK_MECHANISM mech{nMech, nullptr, 0};
    unsigned char sig[512];
    CK_ULONG nSig = sizeof sig;
    bOk = bOk && f->C_SignInit(m_hSession, &mech, hKey) == CKR_OK &&
          f->C_Sign(m_hSession, const_cast<unsigned char*>(in.data()), in.size(), sig, &nSig) == CKR_OK;
    f->C_Logout(m_hSession);
    return bOk;
  }

 private:
  std::string m_strModule;
  std::string m_strTokenLabel;
  std::string m_strPin;
  CK_FUNCTION_LIST* m_pModule = nullptr;
  CK_SESSION_HANDLE m_hSession = CK_INVALID_HANDLE;
};
