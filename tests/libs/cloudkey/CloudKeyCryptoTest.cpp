// The fresh key pair and certificate, the CMS envelopes both ways against the openssl command
// line, the key pool and the QR image file.
#include <gtest/gtest.h>

#include <string>

#include "libs/cloudkey/CloudKey.h"
#include "tests/support/CommandLine.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

namespace {

class CloudKeyCrypto : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    // A recipient made by the command line, standing in for the service.
    ASSERT_TRUE(Openssl("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=service"
                        " -keyout svc.key -out svc.pem"));
  }
  std::string Path(const char* szName) const { return m_dir.Join(szName); }
  // The openssl command line in the temporary directory; true when it exits 0.
  bool Openssl(const std::string& strArgs) { return RunIn(m_dir.Str(), "openssl " + strArgs) == 0; }
  // A fresh key pair and its certificate, the certificate also in szPem.
  void MakeFresh(PkiHandler& pki, std::string& strCert, std::string& strKey, const char* szPem) {
    ASSERT_EQ(0, pki.GenerateRSAKey());
    ASSERT_EQ(0, pki.CreateCert(strCert));
    ASSERT_EQ(0, pki.GetPriKey(strKey));
    WriteFile(Path("fresh.der"), FromBase64(strCert));
    ASSERT_TRUE(Openssl(std::string("x509 -inform DER -in fresh.der -out ") + szPem));
  }

  CTempDir m_dir{"tolvan-cloudkey-crypto"};
};

TEST_F(CloudKeyCrypto, SealedRequestOpensWithOpensslCms) {
  PkiHandler pki;
  const std::string strRequest = "{\"verifyCode\":\"123456\",\"authCode\":\"abc\"}";
  std::string strEnvelope;
  ASSERT_EQ(0, pki.CreatePKCS7(ReadFile(Path("svc.pem")), strRequest.data(), strRequest.size(),
                               strEnvelope));
  EXPECT_EQ(std::string::npos, strEnvelope.find('\n'));  // one line
  WriteFile(Path("req.der"), FromBase64(strEnvelope));
  ASSERT_TRUE(Openssl("cms -decrypt -binary -inform DER -in req.der -recip svc.pem -inkey svc.key"
                      " -out req.txt"));
  EXPECT_EQ(strRequest, ReadFile(Path("req.txt")));
  // One recipient by issuer and serial, RSA key transport, AES-256-CBC.
  ASSERT_TRUE(Openssl("cms -cmsout -print -inform DER -in req.der > req.print"));
  const std::string strPrint = ReadFile(Path("req.print"));
  for (const char* szPart : {"issuerAndSerialNumber", "rsaEncryption", "aes-256-cbc"}) {
    EXPECT_NE(std::string::npos, strPrint.find(szPart)) << szPart;
  }
  EXPECT_EQ(CK_ERR_CERT, pki.CreatePKCS7("not a certificate", "x", 1, strEnvelope));
  EXPECT_TRUE(strEnvelope.empty());
}

// The fresh certificate is self-signed RSA-2048; a reply sealed to it opens with its key only.
TEST_F(CloudKeyCrypto, FreshCertificateAndTheReplySealedToItByOpensslCms) {
  PkiHandler pki, other;
  std::string strCert, strKey, strOtherCert, strOtherKey;
  EXPECT_EQ(CK_ERR_KEY, pki.CreateCert(strCert));  // no key yet
  MakeFresh(other, strOtherCert, strOtherKey, "other.pem");
  MakeFresh(pki, strCert, strKey, "fresh.pem");
  EXPECT_TRUE(Openssl("verify -CAfile fresh.pem fresh.pem >/dev/null"));
  EXPECT_TRUE(Openssl("x509 -in fresh.pem -noout -text | grep -q 'Public-Key: (2048 bit)'"));
  const std::string strContent = "{\"certB64\":\"MIIB\"}";
  WriteFile(Path("reply.txt"), strContent);
  ASSERT_TRUE(Openssl("cms -encrypt -binary -aes256 -outform DER -in reply.txt -out reply.der"
                      " fresh.pem"));
  const std::string strEnvelope = ToBase64(ReadFile(Path("reply.der")));
  std::string strOut;
  ASSERT_EQ(0, pki.DecryptPKCS7(strCert, strKey, strEnvelope.data(), strEnvelope.size(), strOut));
  EXPECT_EQ(strContent, strOut);

  // Another exchange's key, and an envelope that is no Base64, open nothing.
  strOut = "stale";
  EXPECT_NE(0, pki.DecryptPKCS7(strOtherCert, strOtherKey, strEnvelope.data(), strEnvelope.size(),
                                strOut));
  EXPECT_EQ("", strOut);
  strOut = "stale";
  EXPECT_NE(0, pki.DecryptPKCS7(strCert, strKey, "***not base64***", 16, strOut));
  EXPECT_EQ("", strOut);
}

TEST_F(CloudKeyCrypto, QrImageIsWrittenOrRefused) {
  // What the image reads as: CloudE2E.EnrolGetCertificateSignVerifyAndEnd (zbarimg).
  const std::string strPng = m_dir.Join("new/sub/qrcode.png");  // missing directories are made
  ASSERT_TRUE(CK_TOOL::MakeQREncode("tolvan-cloudkey:0123456789abcdef", 6, strPng.c_str()));
  EXPECT_EQ("\x89PNG", ReadFile(strPng).substr(0, 4));
  EXPECT_FALSE(CK_TOOL::MakeQREncode("", 6, Path("empty.png").c_str()));
  EXPECT_FALSE(CK_TOOL::MakeQREncode(std::string(8000, 'x').c_str(), 6, Path("big.png").c_str()));
  // A directory that cannot be made: its parent is a file.
  EXPECT_FALSE(CK_TOOL::MakeQREncode("x", 6, (Path("svc.pem") + "/x.png").c_str()));
}

TEST(CloudKeyPool, StartsStopsAndHandsEachKeyOnce) {
  CK_StartKeyPool(2);
  CK_StartKeyPool(2);  // a running pool is left as it is
  PkiHandler first, second;
  std::string strKey1, strKey2;
  ASSERT_EQ(0, first.GenerateRSAKey());
  ASSERT_EQ(0, second.GenerateRSAKey());
  ASSERT_EQ(0, first.GetPriKey(strKey1));
  ASSERT_EQ(0, second.GetPriKey(strKey2));
  EXPECT_NE(strKey1, strKey2);
  CK_StopKeyPool();
  EXPECT_EQ(0, CK_KeyPoolReady());
}

}  // namespace
