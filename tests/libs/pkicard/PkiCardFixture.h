#pragma once

// Shared set-up of the card library tests: key material made once per run with
// the openssl command line, a SoftHSM2 token directory per test, and helpers
// that run the command-line tools.

#include <gtest/gtest.h>

#include <string>

#include <p11-kit/pkcs11.h>

#include "PkiCardCalls.h"
#include "libs/pkicard/pkiCard.h"
#include "tests/support/TempDir.h"

constexpr char kUserPin[] = "1234";
constexpr char kTokenLabel[] = "T1";
constexpr char kSpareTokenLabel[] = "Spare";
constexpr char kSoftHsmModule[] = "/usr/lib/softhsm/libsofthsm2.so";
// Labels of the certificates on the token; the keys carry other labels.
constexpr char kRsaCertLabel[] = "RSA_SIG";
constexpr char kEcCertLabel[] = "EC_SIG";

Bytes ReadFileBytes(const std::string& strPath);
void WriteFileBytes(const std::string& strPath, const Bytes& data);
void WriteFileText(const std::string& strPath, const std::string& strText);
std::string Hex(const Bytes& data);
Bytes FromHex(const std::string& strHex);
std::string ShellQuote(const std::string& s);

// Runs a shell command in strDir with its output in strDir/last-command.log.
// Returns its exit status.
int RunIn(const std::string& strDir, const std::string& strCommand);

// Key material shared by every test: made once, read-only afterwards.
struct PkiMaterial {
  std::string m_strDir;  // all files below live here
  std::string File(const std::string& strName) const { return m_strDir + "/" + strName; }
  // ca.pem/ca.key: trust anchor (EC P-256). rsa.key/rsa.der/rsa.pem: RSA-2048
  // signer issued by the CA; ec.key/ec.der/ec.pem: P-256 signer issued by the CA;
  // other.key/other.pem: a self-signed RSA-2048 stranger; expired.der: issued
  // by the CA, already expired; sm2.key/sm2.pem: self-signed SM2;
  // p384.der: self-signed P-384; odd.der: subject with XML special characters;
  // tokens/: the template token directory (tokens T1 and Spare).
};
const PkiMaterial& Material();

// One SoftHSM2 token directory per test, and the environment that points
// the library at it. pkiEnd runs at the end of every test.
class PkiCardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string ConfPath() const { return m_dir.Join("softhsm2.conf"); }

  CTempDir m_dir{"pkicard-test"};
};

// A second, independent user of the SoftHSM module in this process (p11-kit
// managed loading), for looking at the token from outside the library.
class CTestModule {
 public:
  CTestModule();
  ~CTestModule();
  CTestModule(const CTestModule&) = delete;
  CTestModule& operator=(const CTestModule&) = delete;
  bool Ok() const { return m_hSession != CK_INVALID_HANDLE; }
  // The session state of a fresh session on token T1 (CKS_RO_PUBLIC_SESSION
  // while nobody in this process is logged in).
  CK_STATE SessionState() const;
  std::string TokenSerial() const;
  bool Login(const char* szPin) const;

 private:
  CK_FUNCTION_LIST* m_pModule = nullptr;
  bool m_bInitialised = false;
  CK_SLOT_ID m_nSlot = 0;
  CK_SESSION_HANDLE m_hSession = CK_INVALID_HANDLE;
};

Bytes AsBytes(const std::string& s);
// A file of the shared key material.
inline Bytes MaterialBytes(const std::string& strName) { return ReadFileBytes(Material().File(strName)); }
