// The card library against a real SoftHSM2 token: every output is checked
// with the openssl command line.

#include <filesystem>

#include "PkiCardFixture.h"
#include "libs/pkicard/P11Result.h"

namespace fs = std::filesystem;

namespace {

const char* const kDigestNames[] = {"sha1", "sha256", "sm3", "sha384", "sha512"};  // numbers 1 to 5

// Verifies sig over data with `openssl dgst`; true when it says OK. OpenSSL
// has no RSA DigestInfo for SM3, so there the signature is opened with
// `openssl pkeyutl -verifyrecover` and compared with the DigestInfo
// SEQUENCE { SEQUENCE { OID sm3, NULL }, OCTET STRING digest }.
bool OpensslVerifies(const std::string& strDir, const std::string& strPub, const std::string& strDigest,
                     const Bytes& data, const Bytes& sig) {
  WriteFileBytes(strDir + "/data.bin", data);
  WriteFileBytes(strDir + "/data.sig", sig);
  if (strDigest == "sm3" && strPub.find("rsa") != std::string::npos) {
    Bytes info = {0x30, 0x30, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x81, 0x1c,
                  0xcf, 0x55, 0x01, 0x83, 0x11, 0x05, 0x00, 0x04, 0x20};
    if (RunIn(strDir, "openssl pkeyutl -verifyrecover -pubin -inkey " + ShellQuote(strPub) +
                          " -in data.sig -out info.der && openssl dgst -sm3 -binary -out digest.bin data.bin") != 0) {
      return false;
    }
    const Bytes digest = ReadFileBytes(strDir + "/digest.bin");
    info.insert(info.end(), digest.begin(), digest.end());
    return digest.size() == 32 && ReadFileBytes(strDir + "/info.der") == info;
  }
  return RunIn(strDir, "openssl dgst -" + strDigest + " -verify " + ShellQuote(strPub) +
                           " -signature data.sig data.bin") == 0;
}

}  // namespace

using PkiCardInit = PkiCardTest;
using PkiCardSign = PkiCardTest;
using PkiCardEnvelope = PkiCardTest;

TEST_F(PkiCardInit, TokenChosenByLabelOrSerial) {
  Bytes der;
  setenv("PKICARD_TOKEN_LABEL", "NoSuchToken", 1);
  EXPECT_EQ(PKI_ERR_TOKEN_NOT_FOUND, pkiInit());
  // The spare token has no certificates.
  setenv("PKICARD_TOKEN_LABEL", kSpareTokenLabel, 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, ReadLabel(kRsaCertLabel, der));
  const std::string strSerial = CSharedModule().TokenSerial();
  ASSERT_FALSE(strSerial.empty());
  pkiEnd();
  unsetenv("PKICARD_TOKEN_LABEL");
  setenv("PKICARD_TOKEN_SERIAL", strSerial.c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, ReadLabel(kRsaCertLabel, der));
}

TEST_F(PkiCardInit, ConfigurationFromIniFileOrTheProxy) {
  unsetenv("PKICARD_MODULE");
  unsetenv("PKICARD_TOKEN_LABEL");
  WriteFile(m_dir.Join("pkiCard.ini"), "; card library\n[Other]\nModule=/nowhere.so\n\n" +
                                           ("[pkiCard]\n Module = " + std::string(kSoftHsmModule)) +
                                           "\nTokenLabel=" + kTokenLabel + "\n");
  setenv("PKICARD_INI", m_dir.Join("pkiCard.ini").c_str(), 1);
  Bytes der;
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, ReadLabel(kRsaCertLabel, der));
  pkiEnd();
  // The environment wins over the file.
  setenv("PKICARD_MODULE", "/nonexistent/module.so", 1);
  EXPECT_EQ(PKI_ERR_MODULE_LOAD, pkiInit());

  // Neither: the default module is the proxy, which reaches SoftHSM when it
  // is registered with p11-kit.
  unsetenv("PKICARD_MODULE");
  setenv("PKICARD_INI", m_dir.Join("absent.ini").c_str(), 1);
  setenv("PKICARD_TOKEN_LABEL", kTokenLabel, 1);
  if (!fs::exists("/usr/share/p11-kit/modules/softhsm2.module")) {
    GTEST_SKIP() << "SoftHSM2 is not registered with p11-kit here";
  }
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, ReadLabel(kRsaCertLabel, der));
  EXPECT_EQ(MaterialBytes("rsa.der"), der);
}

TEST_F(PkiCardInit, LostSessionIsReopened) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, 2, AsBytes("one"), sig));
  // Every session on the token closed underneath the library, as a token
  // reset would: the next call reopens its session and succeeds.
  {
    CSharedModule module;
    ASSERT_TRUE(module.Ok());
    ASSERT_EQ(CKR_OK, module->C_CloseAllSessions(module.Slot()));
  }
  ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, 2, AsBytes("two"), sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), "sha256", AsBytes("two"), sig));
}

TEST_F(PkiCardInit, ReadLabelReturnsCertificateDerBetweenInitAndEnd) {
  Bytes der;
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, ReadLabel(kEcCertLabel, der));
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, ReadLabel(kEcCertLabel, der));
  EXPECT_EQ(MaterialBytes("ec.der"), der);
  // A short buffer is left alone and told the length needed.
  const size_t nDer = MaterialBytes("rsa.der").size();
  Bytes buf(nDer, 0xAB);
  uint32_t nLen = static_cast<uint32_t>(nDer - 1);
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiReadLabel(kRsaCertLabel, 1, buf.data(), &nLen));
  EXPECT_EQ(nDer, nLen);
  EXPECT_EQ(Bytes(nDer, 0xAB), buf);
  // The key's label is not a certificate's.
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, ReadLabel("rsakey", der));
  EXPECT_EQ(PKI_ERR_INVALID_ARG, pkiReadLabel(kRsaCertLabel, 1, buf.data(), nullptr));
  EXPECT_EQ(PKI_OK, pkiEnd());
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, ReadLabel(kEcCertLabel, der));
}

TEST_F(PkiCardSign, EveryDigestVerifiesWithOpenssl) {
  ASSERT_EQ(PKI_OK, pkiInit());
  const Bytes data = AsBytes("Pay 100 to account 42\n\x01\xff");
  for (const char* szKey : {"rsa", "ec"}) {
    for (int nAlgo = 1; nAlgo <= 5; ++nAlgo) {
      SCOPED_TRACE(std::string(szKey) + " " + kDigestNames[nAlgo - 1]);
      const bool bRsa = szKey == std::string("rsa");
      Bytes sig;
      ASSERT_EQ(PKI_OK, Sign(bRsa ? kRsaCertLabel : kEcCertLabel, kUserPin, nAlgo, data, sig));
      EXPECT_TRUE(bRsa ? sig.size() == 256u : sig.at(0) == 0x30);  // ECDSA in DER, not r||s
      const std::string strPub = Material().File(std::string(szKey) + ".pub");
      EXPECT_TRUE(OpensslVerifies(m_dir.Str(), strPub, kDigestNames[nAlgo - 1], data, sig));
    }
  }
  // Without a certificate under the label, the key's own label is used.
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign("eckey", kUserPin, 2, data, sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), "sha256", data, sig));
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Sign(kRsaCertLabel, kUserPin, 9, data, sig));
}

TEST_F(PkiCardSign, WrongPinNeverSignsAndLeavesNothingLoggedIn) {
  ASSERT_EQ(PKI_OK, pkiInit());
  CSharedModule observer;
  ASSERT_TRUE(observer.Ok());
  const auto state = [&] {
    CK_SESSION_INFO info{};
    const CK_RV rv = observer->C_GetSessionInfo(observer.Session(), &info);
    return rv == CKR_OK ? info.state : ~CK_STATE(0);
  };
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("a"), sig));
  EXPECT_EQ(CKS_RO_PUBLIC_SESSION, state());

  // A right PIN just before must not carry a wrong one.
  Bytes buf(4096, 0xCD);
  PkiBlob out{static_cast<uint32_t>(buf.size()), buf.data()};
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT,
            pkiGetSignature(kRsaCertLabel, "0000", 2, 1, reinterpret_cast<const unsigned char*>("a"), &out));
  EXPECT_EQ(0u, out.nLen);
  EXPECT_EQ(Bytes(4096, 0xCD), buf);
  EXPECT_EQ(CKS_RO_PUBLIC_SESSION, state());

  // Nor does a login by another user of the module in this process.
  CK_UTF8CHAR szPin[] = {'1', '2', '3', '4'};
  ASSERT_EQ(CKR_OK, observer->C_Login(observer.Session(), CKU_USER, szPin, sizeof szPin));
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT, Sign(kRsaCertLabel, "9999", 2, AsBytes("a"), sig));
}

TEST_F(PkiCardEnvelope, SealedEnvelopesOpenWithOpenssl) {
  const char kPlain[] = "sealed secret \x00\x01\x02 end";
  const Bytes plain(kPlain, kPlain + sizeof kPlain - 1);
  const Bytes cert = MaterialBytes("rsa.der");
  const char* const kCiphers[] = {"aes-128-cbc", "aes-256-cbc", "sm4-cbc", "des-ede3-cbc"};
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    SCOPED_TRACE(kCiphers[nAlgo - 1]);
    Bytes envelope;
    ASSERT_EQ(PKI_OK, Seal(cert, nAlgo, plain, envelope));
    WriteFileBytes(m_dir.Join("env.der"), envelope);
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -decrypt -binary -inform DER -in env.der -recip " +
                                         ShellQuote(Material().File("rsa.pem")) + " -inkey " +
                                         ShellQuote(Material().File("rsa.key")) + " -out plain.bin"));
    EXPECT_EQ(plain, ReadFileBytes(m_dir.Join("plain.bin")));
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -cmsout -print -inform DER -in env.der > env.txt"));
    EXPECT_NE(std::string::npos, ReadFile(m_dir.Join("env.txt")).find(kCiphers[nAlgo - 1]));
  }
  Bytes envelope;
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Seal(cert, 7, plain, envelope));
}

TEST_F(PkiCardEnvelope, OpensslEnvelopesOpenOnTheToken) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes plain(3000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i * 7);
  WriteFileBytes(m_dir.Join("plain.bin"), plain);
  const std::string strRsa = ShellQuote(Material().File("rsa.pem"));
  const std::string strOther = ShellQuote(Material().File("other.pem"));
  // Our recipient is never first: matched by issuer and serial, or by key id.
  const std::string kVariants[] = {
      "-aes256 " + strOther + " " + strRsa,
      "-aes128 -keyid " + strOther + " " + strRsa,
      "-sm4-cbc " + ShellQuote(Material().File("ec.pem")) + " " + strRsa,
      "-des-ede3-cbc -stream " + strOther + " " + strRsa,
  };
  for (const std::string& strArgs : kVariants) {
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -encrypt -binary -outform DER -in plain.bin -out env.der " + strArgs))
        << strArgs;
    Bytes opened;
    ASSERT_EQ(PKI_OK, Open(kRsaCertLabel, kUserPin, ReadFileBytes(m_dir.Join("env.der")), opened)) << strArgs;
    EXPECT_EQ(plain, opened) << strArgs;
  }
}

TEST_F(PkiCardEnvelope, OpenFailures) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes theirs, mine, opened;
  ASSERT_EQ(PKI_OK, Seal(MaterialBytes("other.der"), 1, AsBytes("hello"), theirs));
  ASSERT_EQ(PKI_OK, Seal(MaterialBytes("rsa.der"), 1, AsBytes("hello"), mine));
  EXPECT_EQ(PKI_ERR_NO_RECIPIENT, Open(kRsaCertLabel, kUserPin, theirs, opened));
  const Bytes truncated(mine.begin(), mine.begin() + static_cast<long>(mine.size() / 2));
  EXPECT_EQ(PKI_ERR_BAD_ENVELOPE, Open(kRsaCertLabel, kUserPin, truncated, opened));
}

TEST_F(PkiCardInit, RandomFromOpensslOrTheToken) {
  Bytes a, b;
  const auto random = [](int nCount, Bytes& out) {
    return WithBlob(32, out, [&](PkiBlob* p) { return pkiGenerateRandom(nCount, p); });
  };
  ASSERT_EQ(PKI_OK, random(32, a));  // without a token OpenSSL's generator serves
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, random(32, b));
  EXPECT_TRUE(a.size() == 32u && b.size() == 32u);
  EXPECT_NE(a, b);
  Bytes buf(16, 0);
  PkiBlob small{16, buf.data()};
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiGenerateRandom(17, &small));
  EXPECT_EQ(17u, small.nLen);
}

// The two passes of a sized PKCS#11 output, against a token that needs
// nNeeded bytes, answers the sizing query and may grow between the passes.
TEST(P11ReadSized, SecondPassOnlyWhenTheFirstIsShort) {
  struct Case { size_t nGuess, nNeeded, nGrowth; int nResult; int nCalls; };
  const Case cases[] = {{1024, 256, 0, PKI_OK, 1}, {0, 256, 0, PKI_OK, 2}, {16, 256, 0, PKI_OK, 2},
                        {16, 256, 1, PKI_ERR_TOKEN_FAILURE, 2}, {0, 0, 0, PKI_OK, 2}};
  for (const Case& c : cases) {
    int nCalls = 0;
    Bytes out;
    const int nResult = P11ReadSized(c.nGuess, out, [&](unsigned char* p, CK_ULONG* pnLen) {
      const size_t nNeeded = c.nNeeded + (nCalls++ == 0 ? 0 : c.nGrowth);
      const bool bShort = p != nullptr && *pnLen < nNeeded;
      if (p != nullptr && !bShort) std::fill(p, p + nNeeded, 0x5a);
      *pnLen = nNeeded;
      return bShort ? PKI_ERR_BUFFER_TOO_SMALL : PKI_OK;
    });
    EXPECT_EQ(c.nResult, nResult) << c.nGuess << "/" << c.nNeeded;
    EXPECT_EQ(c.nCalls, nCalls) << c.nGuess << "/" << c.nNeeded;
    if (nResult == PKI_OK) {
      EXPECT_EQ(Bytes(c.nNeeded, 0x5a), out);
    }
  }
}
