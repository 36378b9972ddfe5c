// The running agent on Windows end to end: the service object as the agent
// runs it, the real card library (pkiCard.dll beside this program) and the key
// watch over the user's "MY" store. With a PFX (made by my-store-e2e.sh, in
// TOLVAN_E2E_DIR) imported, a page's signature request over HTTP is signed
// with its key, and refused once the certificate leaves the store.

#include <gtest/gtest.h>

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "card/CardLifecycle.h"
#include "card/KeyWatchThread.h"
#include "http/TolvanServer.h"
#include "tests/e2e/AgentE2E.h"
#include "tests/support/MyStorePfx.h"
#include "tests/support/TempDir.h"

namespace {

constexpr unsigned kDeadlineMs = 60000;
constexpr unsigned kWatchIntervalMs = 100;
// The friendly name given to the certificate in the store: the label pages use.
constexpr char kLabel[] = "E2E_SIG";
constexpr wchar_t kLabelWide[] = L"E2E_SIG";

std::string Dir() {
  const char* szDir = std::getenv("TOLVAN_E2E_DIR");
  return szDir != nullptr ? szDir : "";
}

// True when CNG verifies strSig as an RSA PKCS#1 v1.5 SHA-256 signature of
// strText by the public key of pCert.
bool CngVerifies(PCCERT_CONTEXT pCert, const std::string& strText, const std::string& strSig) {
  BYTE digest[32];
  DWORD nDigest = sizeof(digest);
  BCRYPT_KEY_HANDLE hKey = nullptr;
  if (!CryptHashCertificate(0, CALG_SHA_256, 0, reinterpret_cast<const BYTE*>(strText.data()),
                            static_cast<DWORD>(strText.size()), digest, &nDigest) ||
      !CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, &pCert->pCertInfo->SubjectPublicKeyInfo, 0,
                                   nullptr, &hKey)) {
    return false;
  }
  const std::unique_ptr<void, decltype(&BCryptDestroyKey)> key(hKey, BCryptDestroyKey);
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
  return BCryptVerifySignature(hKey, &padding, digest, sizeof(digest),
                               reinterpret_cast<PUCHAR>(const_cast<char*>(strSig.data())),
                               static_cast<ULONG>(strSig.size()), BCRYPT_PAD_PKCS1) == 0;
}

}  // namespace

class MyStoreSignE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Dir().empty()) << "run through my-store-e2e.sh";
    ASSERT_TRUE(m_app.Ok());
    WriteFile(m_app.Join("TolvanService.ini"), "[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=4\n");
  }

  void TearDown() override {
    EXPECT_EQ(0u, StopAgentServer(m_pServer));
    EXPECT_TRUE(m_store.Remove());
    resetCardLibrary();
  }

  Answer Sign(const std::string& strText) {
    return PostToAgent(m_pServer->GetListenPort(), std::string("Fun=advSignData&label=") + kLabel +
                       "&keyPasswd=any&digestAlgo=2&signType=1&clearText=" + strText);
  }

  CTempDir m_app{"mystore-e2e-app"};
  CMyStorePfx m_store;
  std::unique_ptr<CTolvanServer> m_pServer;
};

TEST_F(MyStoreSignE2E, CertificateInMyStoreSignsOverHttpAndIsRefusedOnceRemoved) {
  const std::string strPfx = ReadFile(Dir() + "/e2e.pfx");
  ASSERT_FALSE(strPfx.empty());
  ASSERT_EQ("", m_store.Import(strPfx, L"1234", kLabelWide));

  m_pServer = StartAgentServer(m_app.Str(), kWatchIntervalMs, kDeadlineMs);
  ASSERT_TRUE(m_pServer);
  // A watch pass finds the key in the store and initialises the library.
  ASSERT_TRUE(
      WaitUntil([] { return pasIsInitialised() && !getLastKeySerial().empty(); }, kDeadlineMs));

  const std::string strText = "signed under Wine";
  const Answer answer = Sign(strText);
  ASSERT_EQ("0", answer.m_strReturn);
  std::string sig = FromBase64(answer.m_strOut);
  ASSERT_EQ(256u, sig.size()) << answer.m_strOut;
  EXPECT_TRUE(CngVerifies(m_store.Cert(), strText, sig));
  // The verification is a real one: other text, or a changed signature, fails.
  EXPECT_FALSE(CngVerifies(m_store.Cert(), strText + ".", sig));
  sig[100] ^= 0x01;
  EXPECT_FALSE(CngVerifies(m_store.Cert(), strText, sig));

  // Out of the store: a pass whose probe starts after the removal has ended
  // once the count has gone up by two, and card operations are refused.
  const unsigned long nAtRemoval = KeyWatchPassCount();
  ASSERT_TRUE(m_store.Remove());
  ASSERT_TRUE(WaitUntil([&] { return KeyWatchPassCount() >= nAtRemoval + 2; }, kDeadlineMs));
  EXPECT_EQ("-101", Sign(strText).m_strReturn);
  EXPECT_FALSE(pasIsInitialised());
  EXPECT_EQ("", getLastKeySerial());
}
