#pragma once

// Shared set-up of the card library tests: key material made once per run with
// the openssl command line, a SoftHSM2 token directory per test, and helpers
// that run the command-line tools.

#include <gtest/gtest.h>

#include <string>

#include <p11-kit/pkcs11.h>

#include "PkiCardCalls.h"
#include "libs/pkicard/pkiCard.h"
#include "tests/support/CommandLine.h"
#include "tests/support/TempDir.h"

constexpr char kUserPin[] = "1234";
constexpr char kTokenLabel[] = "T1";
// Labels of the certificates on the token; the keys carry other labels.
constexpr char kRsaCertLabel[] = "RSA_SIG";
constexpr char kEcCertLabel[] = "EC_SIG";

inline Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes ReadFileBytes(const std::string& strPath) { return AsBytes(ReadFile(strPath)); }
inline void WriteFileBytes(const std::string& strPath, const Bytes& data) {
  WriteFile(strPath, std::string(data.begin(), data.end()));
}

// A file of the key material shared by every test (the files the commands in
// PkiCardFixture.cpp make, and the template token directory tokens/): made once, read-only
// afterwards.
std::string MaterialFile(const std::string& strName);
inline Bytes MaterialBytes(const std::string& strName) {
  return ReadFileBytes(MaterialFile(strName));
}

// One SoftHSM2 token directory per test, and the environment that points
// the library at it. pkiEnd runs at the end of every test.
class PkiCardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { pkiEnd(); }

  CTempDir m_dir{"pkicard-test"};
};

// The SoftHSM module instance the library has initialised (its logins and
// sessions are shared), for working on token T1 from outside the library.
class CSharedModule {
 public:
  CSharedModule();
  ~CSharedModule();
  CSharedModule(const CSharedModule&) = delete;
  CSharedModule& operator=(const CSharedModule&) = delete;
  CK_FUNCTION_LIST* operator->() const { return m_pModule; }
  bool Ok() const { return m_hSession != CK_INVALID_HANDLE; }
  CK_SLOT_ID Slot() const { return m_nSlot; }
  CK_SESSION_HANDLE Session() const { return m_hSession; }
  std::string TokenSerial() const;

 private:
  CK_FUNCTION_LIST* m_pModule = nullptr;
  CK_SLOT_ID m_nSlot = 0;
  CK_SESSION_HANDLE m_hSession = CK_INVALID_HANDLE;
};
