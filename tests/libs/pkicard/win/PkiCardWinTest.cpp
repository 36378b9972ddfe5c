// The card library built for Windows, under Wine: the key comes from a PFX
// imported into the current user's "MY" store (and removed at the end), the
// public work from CNG and CryptoAPI. Run by cross-check.sh, which makes the
// material in PKICARD_TEST_DIR and checks the files written to its out/ with
// the openssl command line.

#include <gtest/gtest.h>

#include <windows.h>

#include <ncrypt.h>
#include <wincrypt.h>

#include <cstdlib>
#include <string>

#include "libs/pkicard/pkiCard.h"
#include "tests/libs/pkicard/PkiCardCalls.h"
#include "tests/support/MyStorePfx.h"
#include "tests/support/TestFiles.h"

namespace {

constexpr char kLabel[] = "RSA_SIG";
constexpr char kPin[] = "1234";

std::string Dir() {
  const char* szDir = std::getenv("PKICARD_TEST_DIR");
  return szDir != nullptr ? szDir : "";
}

Bytes ReadBytes(const std::string& strName) {
  const std::string s = ReadFile(Dir() + "/" + strName);
  return Bytes(s.begin(), s.end());
}

void WriteOut(const std::string& strName, const Bytes& data) {
  WriteFile(Dir() + "/out/" + strName, std::string(data.begin(), data.end()));
}

bool RunningUnderWine() {
  HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
  return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

uint32_t Len(const Bytes& b) { return static_cast<uint32_t>(b.size()); }

int Verify(const Bytes& cert, const Bytes& data, const Bytes& sig) {
  return pkiVerifySignature(Len(cert), cert.data(), Len(data), data.data(), Len(sig), sig.data());
}
int Check(const Bytes& cert) { return pkiCheckCert(Len(cert), cert.data(), 0, 0, 0, 0, 0, 0); }

// Imports rsa.pfx into the current user's "MY" store with a persisted key,
// named as the Linux token names the certificate; removes both at the end.
class PkiCardWin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(Dir().empty()) << "run through cross-check.sh";
    ASSERT_EQ("", s_store.Import(ReadFile(Dir() + "/rsa.pfx"), L"1234", L"RSA_SIG"));
    // Where the import put the key: CNG key storage, or a legacy CSP (as
    // Wine does).
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hKey = 0;
    DWORD nSpec = 0;
    BOOL bFree = FALSE;
    ASSERT_TRUE(CryptAcquireCertificatePrivateKey(
        s_store.Cert(), CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG, nullptr, &hKey, &nSpec, &bFree));
    s_bCngKey = nSpec == CERT_NCRYPT_KEY_SPEC;
    if (bFree && s_bCngKey) NCryptFreeObject(hKey);
    if (bFree && !s_bCngKey) CryptReleaseContext(hKey, 0);
  }

  static void TearDownTestSuite() { s_store.Remove(); }

  void SetUp() override { ASSERT_EQ(PKI_OK, pkiInit()); }
  void TearDown() override { pkiEnd(); }

  static inline CMyStorePfx s_store;
  static inline bool s_bCngKey = false;
};

}  // namespace

TEST_F(PkiCardWin, HashesMatchOpensslAndRandomBytesDiffer) {
  const Bytes data = ReadBytes("data.bin");
  Bytes digest;
  for (int nAlgo = 1; nAlgo <= 5; ++nAlgo) {
    ASSERT_EQ(PKI_OK, Hash(nAlgo, data, digest)) << nAlgo;
    EXPECT_EQ(ReadBytes("hash-" + std::to_string(nAlgo) + ".bin"), digest) << nAlgo;
  }
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Hash(6, data, digest));

  Bytes a(32, 0), b(32, 0);
  PkiBlob blobA{32, a.data()}, blobB{32, b.data()};
  ASSERT_EQ(PKI_OK, pkiGenerateRandom(32, &blobA));
  ASSERT_EQ(PKI_OK, pkiGenerateRandom(32, &blobB));
  EXPECT_EQ(32u, blobA.nLen);
  EXPECT_NE(a, b);
}

TEST_F(PkiCardWin, SymmetricAcrossPlatforms) {
  const Bytes data = ReadBytes("data.bin");
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    const std::string n = std::to_string(nAlgo);
    const Bytes key = ReadBytes("key-" + n + ".bin");
    Bytes plain, cipher, back;
    ASSERT_EQ(PKI_OK, SymmCrypt(0, nAlgo, key, ReadBytes("enc-" + n + ".bin"), plain)) << nAlgo;
    EXPECT_EQ(data, plain) << "openssl enc output, algorithm " << nAlgo;
    ASSERT_EQ(PKI_OK, SymmCrypt(1, nAlgo, key, data, cipher)) << nAlgo;
    WriteOut("symm-" + n + ".bin", cipher);
    const Bytes shortKey(key.begin(), key.end() - 1);
    EXPECT_EQ(PKI_ERR_INVALID_ARG, SymmCrypt(1, nAlgo, shortKey, data, cipher));
    EXPECT_EQ(PKI_ERR_DECRYPT, SymmCrypt(0, nAlgo, key, Bytes(5, 0), back));
  }
}

TEST_F(PkiCardWin, SignsWithTheKeyInTheStore) {
  const Bytes data = ReadBytes("data.bin");
  const Bytes cert = ReadBytes("rsa.der");
  for (int nAlgo = 1; nAlgo <= 5; ++nAlgo) {
    Bytes sig;
    if (nAlgo == 3 && !s_bCngKey) {
      // A legacy CSP hashes by its own algorithm ids, and has none for SM3.
      EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Sign(kLabel, kPin, nAlgo, data, sig));
      WriteFile(Dir() + "/out/sign-3.skip", "the key is in a legacy CSP, which cannot sign with SM3");
      continue;
    }
    ASSERT_EQ(PKI_OK, Sign(kLabel, kPin, nAlgo, data, sig)) << nAlgo;
    EXPECT_EQ(PKI_OK, Verify(cert, data, sig)) << nAlgo;
    WriteOut("sign-" + std::to_string(nAlgo) + ".bin", sig);
  }
  Bytes der;
  ASSERT_EQ(PKI_OK, ReadLabel(kLabel, der));
  EXPECT_EQ(cert, der);
  Bytes sig;
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, Sign("NO_SUCH_LABEL", kPin, 2, data, sig));
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Sign(kLabel, kPin, 9, data, sig));
  // A key with a PIN (a smart card's key storage provider) refuses a wrong
  // one; the imported software key has none (Wine's CSP takes none) and signs.
  const int nWrongPin = Sign(kLabel, "0000", 2, data, sig);
  EXPECT_TRUE(nWrongPin == PKI_OK || nWrongPin == PKI_ERR_PIN_INCORRECT) << nWrongPin;
  pkiEnd();
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, Sign(kLabel, kPin, 2, data, sig));
}

TEST_F(PkiCardWin, VerifiesOpensslSignatures) {
  const Bytes data = ReadBytes("data.bin");
  const Bytes rsa = ReadBytes("rsa.der");
  const Bytes ec = ReadBytes("ec.der");
  EXPECT_EQ(PKI_OK, Verify(rsa, data, ReadBytes("rsasig-2.bin")));
  EXPECT_EQ(PKI_OK, Verify(ec, data, ReadBytes("ecsig-4.bin")));
  EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(ReadBytes("other.der"), data, ReadBytes("rsasig-2.bin")));
  EXPECT_EQ(PKI_ERR_BAD_CERT, Verify(Bytes(10, 0x30), data, ReadBytes("rsasig-2.bin")));
  // RSA with SM3 needs PKCS#1 v1.5 without an algorithm id (CNG names no SM3),
  // which Windows' CNG verifies and Wine's does not.
  EXPECT_TRUE(RunningUnderWine() || Verify(rsa, data, ReadBytes("rsasig-3.bin")) == PKI_OK);
}

TEST_F(PkiCardWin, EnvelopesAcrossPlatforms) {
  const Bytes data = ReadBytes("data.bin");
  const Bytes cert = ReadBytes("rsa.der");
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    const std::string n = std::to_string(nAlgo);
    Bytes plain, env;
    ASSERT_EQ(PKI_OK, Open(kLabel, kPin, ReadBytes("env-" + n + ".der"), plain)) << "openssl envelope, algorithm " << nAlgo;
    EXPECT_EQ(data, plain);
    ASSERT_EQ(PKI_OK, Seal(cert, nAlgo, data, env)) << nAlgo;
    WriteOut("seal-" + n + ".der", env);
    ASSERT_EQ(PKI_OK, Open(kLabel, kPin, env, plain));
    EXPECT_EQ(data, plain);
  }
  Bytes env, plain;
  ASSERT_EQ(PKI_OK, Seal(ReadBytes("other.der"), 1, data, env));
  EXPECT_EQ(PKI_ERR_NO_RECIPIENT, Open(kLabel, kPin, env, plain));
  EXPECT_EQ(PKI_ERR_BAD_ENVELOPE, Open(kLabel, kPin, Bytes(40, 0x30), plain));
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Seal(cert, 7, data, env));
}

TEST_F(PkiCardWin, CertificateChecksUseTheChainEngineAndInformationIsRead) {
  EXPECT_EQ(PKI_ERR_BAD_CERT, Check(Bytes(20, 0x41)));
  EXPECT_EQ(PKI_ERR_CERT_EXPIRED, Check(ReadBytes("expired.der")));
  EXPECT_EQ(PKI_ERR_CERT_UNTRUSTED, Check(ReadBytes("other.der")));
  EXPECT_EQ(PKI_ERR_CERT_UNTRUSTED, Check(ReadBytes("rsa.der")));  // its root is in no trust store
  ASSERT_EQ(0, _putenv_s("PKICARD_TRUST_STORE", (Dir() + "/ca.pem").c_str()));
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, Check(ReadBytes("rsa.der")));
  ASSERT_EQ(0, _putenv_s("PKICARD_TRUST_STORE", (Dir() + "/no-such.pem").c_str()));
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_ERR_TRUST_STORE, Check(ReadBytes("rsa.der")));
  ASSERT_EQ(0, _putenv_s("PKICARD_TRUST_STORE", ""));

  // The XML (checked by cross-check.sh) and the preferred digest.
  for (const char* szName : {"rsa", "odd"}) {
    const Bytes cert = ReadBytes(std::string(szName) + ".der");
    Bytes xml;
    ASSERT_EQ(PKI_OK, WithBlob(8192, xml, [&](PkiBlob* p) { return pkiGetXMLCertInfo(Len(cert), cert.data(), p); }));
    WriteOut(std::string("xml-") + szName + ".xml", xml);
  }
  const struct {
    const char* m_szFile;
    int m_nPreferred;
  } kCases[] = {{"rsa.der", 2}, {"ec.der", 2}, {"p384.der", 4}, {"sm2.der", 3}};
  for (const auto& c : kCases) {
    const Bytes cert = ReadBytes(c.m_szFile);
    int nAlgo = 0;
    ASSERT_EQ(PKI_OK, pkiGetCertInfoEx(Len(cert), cert.data(), nullptr, &nAlgo)) << c.m_szFile;
    EXPECT_EQ(c.m_nPreferred, nAlgo) << c.m_szFile;
  }
  const Bytes pem = ReadBytes("ca.pem");
  int nAlgo = 0;
  EXPECT_EQ(PKI_OK, pkiGetCertInfoEx(Len(pem), pem.data(), nullptr, &nAlgo));
}
