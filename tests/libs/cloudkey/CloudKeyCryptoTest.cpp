// The fresh key pair and certificate, the CMS envelopes both ways against
// the openssl command line, the serial text, the key pool and the QR image
// file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "libs/cloudkey/CloudKey.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestText.h"

namespace {

// Runs a shell command line; its exit code.
int Shell(const std::string& strCommand) { return std::system((strCommand + " 2>/dev/null").c_str()); }

class CloudKeyCrypto : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    // A recipient made by the command line, standing in for the service.
    ASSERT_EQ(0, Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=service"
                     " -keyout " + Path("svc.key") + " -out " + Path("svc.pem")));
  }
  std::string Path(const char* szName) const { return m_dir.Join(szName); }

  CTempDir m_dir{"tolvan-cloudkey-crypto"};
};

TEST_F(CloudKeyCrypto, FreshCertificateIsSelfSignedRsa2048) {
  PkiHandler pki;
  std::string strCert, strKey;
  EXPECT_EQ(CK_ERR_KEY, pki.CreateCert(strCert));  // no key yet
  ASSERT_EQ(0, pki.GenerateRSAKey());
  ASSERT_EQ(0, pki.CreateCert(strCert));
  ASSERT_EQ(0, pki.GetPriKey(strKey));
  WriteFile(Path("fresh.der"), FromBase64(strCert));
  WriteFile(Path("fresh.key"), strKey);
  ASSERT_EQ(0, Shell("openssl x509 -inform DER -in " + Path("fresh.der") + " -out " +
                   Path("fresh.pem")));
  EXPECT_EQ(0, Shell("openssl verify -CAfile " + Path("fresh.pem") + " " + Path("fresh.pem") +
                   " >/dev/null"));
  EXPECT_EQ(0, Shell("openssl x509 -in " + Path("fresh.pem") + " -noout -text | grep -q "
                   "'Public-Key: (2048 bit)'"));
  // The private key belongs to the certificate.
  EXPECT_EQ(0, Shell("test \"$(openssl x509 -in " + Path("fresh.pem") + " -noout -pubkey)\" = "
                   "\"$(openssl pkey -in " + Path("fresh.key") + " -pubout)\""));

  // The serial text is the form the key probe uses.
  ASSERT_EQ(0, Shell("openssl x509 -in " + Path("fresh.pem") + " -noout -serial > " +
                   Path("serial.txt")));
  std::string strSerial = ReadFile(Path("serial.txt"));  // "serial=ABCD...\n"
  strSerial = strSerial.substr(7, strSerial.find('\n') - 7);
  for (char& c : strSerial) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(strSerial, pki.GetSN(strCert.c_str()));
  EXPECT_STREQ("", pki.GetSN("not base64!"));
  EXPECT_STREQ("", pki.GetSN(ToBase64("not a certificate").c_str()));
}

TEST_F(CloudKeyCrypto, SealedRequestOpensWithOpensslCms) {
  PkiHandler pki;
  const std::string strRequest = "{\"verifyCode\":\"123456\",\"authCode\":\"abc\"}";
  std::string strEnvelope;
  ASSERT_EQ(0, pki.CreatePKCS7(ReadFile(Path("svc.pem")), strRequest.data(), strRequest.size(),
                               strEnvelope));
  EXPECT_EQ(std::string::npos, strEnvelope.find('\n'));  // one line
  WriteFile(Path("req.der"), FromBase64(strEnvelope));
  ASSERT_EQ(0, Shell("openssl cms -decrypt -binary -inform DER -in " + Path("req.der") + " -recip " +
                   Path("svc.pem") + " -inkey " + Path("svc.key") + " -out " + Path("req.txt")));
  EXPECT_EQ(strRequest, ReadFile(Path("req.txt")));
  // One recipient by issuer and serial, RSA key transport, AES-256-CBC.
  ASSERT_EQ(0, Shell("openssl cms -cmsout -print -inform DER -in " + Path("req.der") + " > " +
                   Path("req.print")));
  const std::string strPrint = ReadFile(Path("req.print"));
  EXPECT_NE(std::string::npos, strPrint.find("issuerAndSerialNumber"));
  EXPECT_NE(std::string::npos, strPrint.find("rsaEncryption"));
  EXPECT_NE(std::string::npos, strPrint.find("aes-256-cbc"));

  EXPECT_EQ(CK_ERR_CERT, pki.CreatePKCS7("not a certificate", "x", 1, strEnvelope));
  EXPECT_TRUE(strEnvelope.empty());
}

TEST_F(CloudKeyCrypto, ReplySealedByOpensslCmsOpensWithTheFreshKey) {
  PkiHandler pki, other;
  std::string strCert, strKey, strOtherCert, strOtherKey;
  ASSERT_EQ(0, pki.GenerateRSAKey());
  ASSERT_EQ(0, pki.CreateCert(strCert));
  ASSERT_EQ(0, pki.GetPriKey(strKey));
  ASSERT_EQ(0, other.GenerateRSAKey());
  ASSERT_EQ(0, other.CreateCert(strOtherCert));
  ASSERT_EQ(0, other.GetPriKey(strOtherKey));
  EXPECT_NE(strKey, strOtherKey);  // every exchange has a key of its own

  WriteFile(Path("fresh.der"), FromBase64(strCert));
  ASSERT_EQ(0, Shell("openssl x509 -inform DER -in " + Path("fresh.der") + " -out " +
                   Path("fresh.pem")));
  const std::string strContent = "{\"certB64\":\"MIIB\"}";
  WriteFile(Path("reply.txt"), strContent);
  ASSERT_EQ(0, Shell("openssl cms -encrypt -binary -aes256 -outform DER -in " + Path("reply.txt") +
                   " -out " + Path("reply.der") + " " + Path("fresh.pem")));
  const std::string strEnvelope = ToBase64(ReadFile(Path("reply.der")));

  std::string strOut;
  ASSERT_EQ(0, pki.DecryptPKCS7(strCert, strKey, strEnvelope.data(), strEnvelope.size(), strOut));
  EXPECT_EQ(strContent, strOut);

  // Another exchange's key, and envelopes that are not envelopes, open nothing.
  const std::string strNotCms = ToBase64("certainly not a CMS structure");
  const std::string strCut = ToBase64(ReadFile(Path("reply.der")).substr(0, 100));
  struct CCase {
    const char* szName;
    const std::string& strCert;
    const std::string& strKey;
    std::string strEnvelope;
  } cases[] = {
      {"other key", strOtherCert, strOtherKey, strEnvelope},
      {"not Base64", strCert, strKey, "***not base64***"},
      {"not CMS", strCert, strKey, strNotCms},
      {"cut short", strCert, strKey, strCut},
  };
  for (const CCase& c : cases) {
    strOut = "stale";
    EXPECT_NE(0, c.strEnvelope.empty() ? -1 : pki.DecryptPKCS7(c.strCert, c.strKey,
                                                               c.strEnvelope.data(),
                                                               c.strEnvelope.size(), strOut))
        << c.szName;
    EXPECT_EQ("", strOut) << c.szName;
  }
}

TEST_F(CloudKeyCrypto, QrImageIsWrittenOrRefused) {
  const std::string strText = "tolvan-cloudkey:0123456789abcdef0123456789abcdef";
  const std::string strPng = m_dir.Join("new/sub/qrcode.png");  // missing directories are made
  // What the image reads as: CloudE2E.EnrolGetCertificateSignVerifyAndEnd (zbarimg).
  ASSERT_TRUE(CK_TOOL::MakeQREncode(strText.c_str(), 6, strPng.c_str()));
  EXPECT_EQ("\x89PNG", ReadFile(strPng).substr(0, 4));

  EXPECT_FALSE(CK_TOOL::MakeQREncode("", 6, Path("empty.png").c_str()));
  EXPECT_FALSE(CK_TOOL::MakeQREncode("x", 0, Path("zero.png").c_str()));
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
  // Without a pool a key is made on the spot.
  PkiHandler third;
  EXPECT_EQ(0, third.GenerateRSAKey());
  CK_StartKeyPool(1);  // and it can start again; the exit stops it
}

}  // namespace
