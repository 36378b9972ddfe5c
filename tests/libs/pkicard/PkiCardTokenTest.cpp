// The card library against a real SoftHSM2 token: every output is checked
// with the openssl command line.

#include <cctype>
#include <filesystem>

#include <p11-kit/p11-kit.h>

#include "PkiCardFixture.h"

namespace fs = std::filesystem;

namespace {

struct DigestCase {
  int m_nAlgo;
  const char* m_szOpenssl;
};
const DigestCase kDigests[] = {
    {1, "sha1"}, {2, "sha256"}, {3, "sm3"}, {4, "sha384"}, {5, "sha512"},
};

// Verifies sig over data with `openssl dgst`; true when it says OK. OpenSSL
// has no RSA DigestInfo for SM3, so there the signature is opened with
// `openssl pkeyutl -verifyrecover` and the DigestInfo read with asn1parse.
bool OpensslVerifies(const std::string& strDir, const std::string& strPub, const char* szDigest,
                     const Bytes& data, const Bytes& sig) {
  WriteFileBytes(strDir + "/data.bin", data);
  WriteFileBytes(strDir + "/data.sig", sig);
  if (std::string(szDigest) == "sm3" && strPub.find("rsa") != std::string::npos) {
    if (RunIn(strDir, "openssl pkeyutl -verifyrecover -pubin -inkey " + ShellQuote(strPub) +
                          " -in data.sig -out info.der") != 0 ||
        RunIn(strDir, "openssl dgst -sm3 -binary -out digest.bin data.bin") != 0 ||
        RunIn(strDir, "openssl asn1parse -inform DER -in info.der") != 0) {
      return false;
    }
    const Bytes parsed = ReadFileBytes(strDir + "/last-command.log");
    const std::string strParsed(parsed.begin(), parsed.end());
    std::string strHex = Hex(ReadFileBytes(strDir + "/digest.bin"));
    for (char& c : strHex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // SEQUENCE { SEQUENCE { OID sm3, NULL }, OCTET STRING digest }
    return strParsed.find(":sm3") != std::string::npos && strParsed.find("prim: NULL") != std::string::npos &&
           strParsed.find("[HEX DUMP]:" + strHex) != std::string::npos;
  }
  return RunIn(strDir, std::string("openssl dgst -") + szDigest + " -verify " + ShellQuote(strPub) +
                           " -signature data.sig data.bin") == 0;
}

}  // namespace

using PkiCardInit = PkiCardTest;
using PkiCardReadLabel = PkiCardTest;
using PkiCardSign = PkiCardTest;
using PkiCardEnvelope = PkiCardTest;
using PkiCardRandom = PkiCardTest;

TEST_F(PkiCardInit, TokenFunctionsNeedInit) {
  Bytes sig;
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("x"), sig));
  unsigned char buf[16];
  uint32_t nLen = sizeof buf;
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("x"), sig));
  EXPECT_EQ(PKI_OK, pkiEnd());
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("x"), sig));
}

TEST_F(PkiCardInit, TokenChosenByLabelOrSerial) {
  setenv("PKICARD_TOKEN_LABEL", "NoSuchToken", 1);
  EXPECT_EQ(PKI_ERR_TOKEN_NOT_FOUND, pkiInit());

  // The spare token has no certificates.
  setenv("PKICARD_TOKEN_LABEL", kSpareTokenLabel, 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  unsigned char buf[4096];
  uint32_t nLen = sizeof buf;
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
  pkiEnd();

  std::string strSerial;
  {
    CTestModule module;
    ASSERT_TRUE(module.Ok());
    strSerial = module.TokenSerial();
  }
  ASSERT_FALSE(strSerial.empty());
  unsetenv("PKICARD_TOKEN_LABEL");
  setenv("PKICARD_TOKEN_SERIAL", strSerial.c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  nLen = sizeof buf;
  EXPECT_EQ(PKI_OK, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
}

TEST_F(PkiCardInit, ConfigurationFromIniFile) {
  unsetenv("PKICARD_MODULE");
  unsetenv("PKICARD_TOKEN_LABEL");
  WriteFileText(m_dir.Join("pkiCard.ini"),
                "; card library\n[Other]\nModule=/nowhere.so\n\n[pkiCard]\n"
                " Module = " + std::string(kSoftHsmModule) + "\nTokenLabel=" + kTokenLabel + "\n");
  setenv("PKICARD_INI", m_dir.Join("pkiCard.ini").c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  unsigned char buf[4096];
  uint32_t nLen = sizeof buf;
  EXPECT_EQ(PKI_OK, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
  pkiEnd();

  // The environment wins over the file.
  setenv("PKICARD_MODULE", "/nonexistent/module.so", 1);
  EXPECT_EQ(PKI_ERR_MODULE_LOAD, pkiInit());
}

TEST_F(PkiCardInit, DefaultModuleIsTheProxy) {
  // SoftHSM is registered with p11-kit, so the proxy reaches the test token.
  unsetenv("PKICARD_MODULE");
  if (!fs::exists("/usr/share/p11-kit/modules/softhsm2.module")) {
    GTEST_SKIP() << "SoftHSM2 is not registered with p11-kit here";
  }
  ASSERT_EQ(PKI_OK, pkiInit());
  unsigned char buf[4096];
  uint32_t nLen = sizeof buf;
  ASSERT_EQ(PKI_OK, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
  EXPECT_EQ(ReadFileBytes(Material().File("rsa.der")), Bytes(buf, buf + nLen));
}

TEST_F(PkiCardInit, TokenRemovedAndReinserted) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("before"), sig));

  const std::string strToken = TokenDir();
  const std::string strAway = m_dir.Join("away");
  ASSERT_FALSE(strToken.empty());
  fs::rename(strToken, strAway);
  // The module sees the change only after finalise and initialise.
  pkiEnd();
  EXPECT_EQ(PKI_ERR_TOKEN_NOT_FOUND, pkiInit());

  fs::rename(strAway, strToken);
  pkiEnd();
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("after"), sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("rsa.pub"), "sha256", AsBytes("after"), sig));
}

TEST_F(PkiCardInit, LostSessionIsReopened) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, 2, AsBytes("one"), sig));

  // Close every session of the module from underneath the library, as a
  // token reset would: the next call reopens its session and succeeds.
  CK_FUNCTION_LIST* pRaw = p11_kit_module_load(kSoftHsmModule, P11_KIT_MODULE_UNMANAGED);
  ASSERT_NE(nullptr, pRaw);
  EXPECT_EQ(CKR_CRYPTOKI_ALREADY_INITIALIZED, pRaw->C_Initialize(nullptr));
  CK_SLOT_ID slots[8];
  CK_ULONG nSlots = 8;
  ASSERT_EQ(CKR_OK, pRaw->C_GetSlotList(CK_TRUE, slots, &nSlots));
  for (CK_ULONG i = 0; i < nSlots; ++i) pRaw->C_CloseAllSessions(slots[i]);
  p11_kit_module_release(pRaw);

  ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, 2, AsBytes("two"), sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), "sha256", AsBytes("two"), sig));
  unsigned char buf[4096];
  uint32_t nLen = sizeof buf;
  EXPECT_EQ(PKI_OK, pkiReadLabel(kRsaCertLabel, 1, buf, &nLen));
}

TEST_F(PkiCardReadLabel, ReturnsCertificateDer) {
  ASSERT_EQ(PKI_OK, pkiInit());
  for (const auto& item : {std::make_pair(kRsaCertLabel, "rsa.der"), std::make_pair(kEcCertLabel, "ec.der")}) {
    const Bytes expected = ReadFileBytes(Material().File(item.second));
    Bytes buf(4096, 0);
    uint32_t nLen = static_cast<uint32_t>(buf.size());
    ASSERT_EQ(PKI_OK, pkiReadLabel(item.first, 1, buf.data(), &nLen)) << item.first;
    EXPECT_EQ(expected, Bytes(buf.begin(), buf.begin() + nLen)) << item.first;
  }
}

TEST_F(PkiCardReadLabel, ShortBufferUnknownLabelAndKeyLabel) {
  ASSERT_EQ(PKI_OK, pkiInit());
  const size_t nDer = ReadFileBytes(Material().File("rsa.der")).size();
  Bytes buf(nDer, 0xAB);
  uint32_t nLen = static_cast<uint32_t>(nDer - 1);
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiReadLabel(kRsaCertLabel, 1, buf.data(), &nLen));
  EXPECT_EQ(nDer, nLen);
  EXPECT_EQ(Bytes(nDer, 0xAB), buf);  // nothing written

  nLen = static_cast<uint32_t>(buf.size());
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, pkiReadLabel("NO_SUCH_SIG", 1, buf.data(), &nLen));
  // The key's label is not a certificate's.
  nLen = static_cast<uint32_t>(buf.size());
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, pkiReadLabel("rsakey", 1, buf.data(), &nLen));
  EXPECT_EQ(PKI_ERR_INVALID_ARG, pkiReadLabel(kRsaCertLabel, 1, buf.data(), nullptr));
}

TEST_F(PkiCardSign, RsaEveryDigestVerifiesWithOpenssl) {
  ASSERT_EQ(PKI_OK, pkiInit());
  const Bytes data = AsBytes("Pay 100 to account 42\n\x01\xff");
  for (const DigestCase& digest : kDigests) {
    Bytes sig;
    ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, digest.m_nAlgo, data, sig)) << digest.m_szOpenssl;
    EXPECT_EQ(256u, sig.size());
    EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("rsa.pub"), digest.m_szOpenssl, data, sig))
        << digest.m_szOpenssl;
  }
}

TEST_F(PkiCardSign, EcEveryDigestVerifiesWithOpenssl) {
  ASSERT_EQ(PKI_OK, pkiInit());
  const Bytes data = AsBytes("ec payload");
  for (const DigestCase& digest : kDigests) {
    Bytes sig;
    ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, digest.m_nAlgo, data, sig)) << digest.m_szOpenssl;
    EXPECT_EQ(0x30, sig.at(0));  // DER, not r||s
    EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), digest.m_szOpenssl, data, sig))
        << digest.m_szOpenssl;
  }
  // Empty data signs too.
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kEcCertLabel, kUserPin, 2, Bytes(), sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), "sha256", Bytes(), sig));
}

TEST_F(PkiCardSign, WrongPinNeverSignsAndLeavesNothingLoggedIn) {
  ASSERT_EQ(PKI_OK, pkiInit());
  CTestModule observer;
  ASSERT_TRUE(observer.Ok());
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("a"), sig));
  EXPECT_EQ(CKS_RO_PUBLIC_SESSION, observer.SessionState());

  // A right PIN just before must not carry a wrong one.
  Bytes buf(4096, 0xCD);
  PkiBlob out{static_cast<uint32_t>(buf.size()), buf.data()};
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT, pkiGetSignature(kRsaCertLabel, "0000", 2, 1,
                                                   reinterpret_cast<const unsigned char*>("a"), &out));
  EXPECT_EQ(0u, out.nLen);
  EXPECT_EQ(Bytes(4096, 0xCD), buf);
  EXPECT_EQ(CKS_RO_PUBLIC_SESSION, observer.SessionState());
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT, Sign(kEcCertLabel, "", 2, AsBytes("a"), sig));
  EXPECT_EQ(CKS_RO_PUBLIC_SESSION, observer.SessionState());

  // And the right PIN still works afterwards.
  EXPECT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 2, AsBytes("a"), sig));
}

TEST_F(PkiCardSign, LoginFromElsewhereIsNotUsed) {
  ASSERT_EQ(PKI_OK, pkiInit());
  // Another user of the module in this process logs in; the library must
  // still insist on the PIN it is given.
  CTestModule other;
  ASSERT_TRUE(other.Ok());
  ASSERT_TRUE(other.Login(kUserPin));
  Bytes sig;
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT, Sign(kRsaCertLabel, "9999", 2, AsBytes("a"), sig));
}

TEST_F(PkiCardSign, FailuresAndShortBuffer) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes sig;
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, Sign("NO_SUCH_SIG", kUserPin, 2, AsBytes("a"), sig));
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Sign(kRsaCertLabel, kUserPin, 9, AsBytes("a"), sig));
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Sign(kRsaCertLabel, kUserPin, 0, AsBytes("a"), sig));
  // Without a certificate under the label, the key's own label is used.
  ASSERT_EQ(PKI_OK, Sign("eckey", kUserPin, 2, AsBytes("k"), sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), Material().File("ec.pub"), "sha256", AsBytes("k"), sig));

  Bytes buf(255, 0xEE);
  PkiBlob out{static_cast<uint32_t>(buf.size()), buf.data()};
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiGetSignature(kRsaCertLabel, kUserPin, 2, 1,
                                                      reinterpret_cast<const unsigned char*>("a"), &out));
  EXPECT_EQ(256u, out.nLen);
  EXPECT_EQ(Bytes(255, 0xEE), buf);
  EXPECT_EQ(PKI_ERR_INVALID_ARG, pkiGetSignature(kRsaCertLabel, nullptr, 2, 0, nullptr, &out));
}

TEST_F(PkiCardEnvelope, SealedEnvelopesOpenWithOpenssl) {
  const char kPlain[] = "sealed secret \x00\x01\x02 end";
  const Bytes plain(kPlain, kPlain + sizeof kPlain - 1);
  const Bytes cert = ReadFileBytes(Material().File("rsa.der"));
  const char* const kCiphers[] = {"aes-128-cbc", "aes-256-cbc", "sm4-cbc", "des-ede3-cbc"};
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    Bytes envelope;
    ASSERT_EQ(PKI_OK, Seal(cert, nAlgo, plain, envelope)) << nAlgo;
    WriteFileBytes(m_dir.Join("env.der"), envelope);
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -decrypt -binary -inform DER -in env.der -recip " +
                                         ShellQuote(Material().File("rsa.pem")) + " -inkey " +
                                         ShellQuote(Material().File("rsa.key")) + " -out plain.bin"))
        << nAlgo;
    EXPECT_EQ(plain, ReadFileBytes(m_dir.Join("plain.bin"))) << nAlgo;
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -cmsout -print -inform DER -in env.der > env.txt"));
    const Bytes text = ReadFileBytes(m_dir.Join("env.txt"));
    EXPECT_NE(std::string::npos, std::string(text.begin(), text.end()).find(kCiphers[nAlgo - 1]))
        << nAlgo;
  }
  Bytes envelope;
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Seal(cert, 7, plain, envelope));
  EXPECT_EQ(PKI_ERR_BAD_CERT, Seal(AsBytes("not a cert"), 1, plain, envelope));
}

TEST_F(PkiCardEnvelope, OpensslEnvelopesOpenOnTheToken) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes plain(3000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i * 7);
  WriteFileBytes(m_dir.Join("plain.bin"), plain);
  const std::string strRsa = ShellQuote(Material().File("rsa.pem"));
  const std::string strOther = ShellQuote(Material().File("other.pem"));
  const std::string strEc = ShellQuote(Material().File("ec.pem"));
  // Our recipient is never first: matched by issuer and serial, or by key id.
  const char* const kVariants[] = {
      "-aes256 OTHER RSA", "-aes128 -keyid OTHER RSA", "-sm4-cbc EC RSA", "-des-ede3-cbc -stream OTHER RSA",
  };
  for (const char* szVariant : kVariants) {
    std::string strArgs = szVariant;
    for (const auto& sub : {std::make_pair(std::string("OTHER"), strOther), std::make_pair(std::string("RSA"), strRsa),
                            std::make_pair(std::string("EC"), strEc)}) {
      const size_t nPos = strArgs.find(" " + sub.first);
      if (nPos != std::string::npos) strArgs.replace(nPos + 1, sub.first.size(), sub.second);
    }
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -encrypt -binary -outform DER -in plain.bin -out env.der " + strArgs))
        << szVariant;
    Bytes opened;
    ASSERT_EQ(PKI_OK, Open(kRsaCertLabel, kUserPin, ReadFileBytes(m_dir.Join("env.der")), opened)) << szVariant;
    EXPECT_EQ(plain, opened) << szVariant;
  }
}

TEST_F(PkiCardEnvelope, OpenFailures) {
  ASSERT_EQ(PKI_OK, pkiInit());
  WriteFileText(m_dir.Join("plain.bin"), "hello");
  ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -encrypt -binary -outform DER -in plain.bin -out other.der -aes256 " +
                                       ShellQuote(Material().File("other.pem"))));
  ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -encrypt -binary -outform DER -in plain.bin -out mine.der -aes256 " +
                                       ShellQuote(Material().File("rsa.pem"))));
  const Bytes mine = ReadFileBytes(m_dir.Join("mine.der"));
  Bytes opened;
  EXPECT_EQ(PKI_ERR_NO_RECIPIENT, Open(kRsaCertLabel, kUserPin, ReadFileBytes(m_dir.Join("other.der")), opened));
  EXPECT_EQ(PKI_ERR_PIN_INCORRECT, Open(kRsaCertLabel, "0000", mine, opened));
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, Open("NO_SUCH", kUserPin, mine, opened));
  EXPECT_EQ(PKI_ERR_BAD_ENVELOPE, Open(kRsaCertLabel, kUserPin, AsBytes("garbage"), opened));
  Bytes truncated(mine.begin(), mine.begin() + static_cast<long>(mine.size() / 2));
  EXPECT_EQ(PKI_ERR_BAD_ENVELOPE, Open(kRsaCertLabel, kUserPin, truncated, opened));
  // A flipped bit in the encrypted content is caught by the padding check or
  // yields other bytes; it never yields the plain text.
  Bytes flipped = mine;
  flipped[flipped.size() - 1] ^= 0x01;
  const int nFlipped = Open(kRsaCertLabel, kUserPin, flipped, opened);
  EXPECT_TRUE(nFlipped == PKI_ERR_DECRYPT || (nFlipped == PKI_OK && opened != AsBytes("hello")));

  Bytes small(4, 0x11);
  PkiBlob out{static_cast<uint32_t>(small.size()), small.data()};
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL,
            pkiOpenEnvelope(kRsaCertLabel, kUserPin, static_cast<uint32_t>(mine.size()), mine.data(), &out));
  EXPECT_EQ(5u, out.nLen);
  EXPECT_EQ(Bytes(4, 0x11), small);
}

TEST_F(PkiCardRandom, FromTokenOrOpenssl) {
  // Without a token OpenSSL's generator serves.
  Bytes a(32, 0), b(32, 0);
  PkiBlob outA{32, a.data()};
  ASSERT_EQ(PKI_OK, pkiGenerateRandom(32, &outA));
  EXPECT_EQ(32u, outA.nLen);
  ASSERT_EQ(PKI_OK, pkiInit());
  PkiBlob outB{32, b.data()};
  ASSERT_EQ(PKI_OK, pkiGenerateRandom(32, &outB));
  EXPECT_EQ(32u, outB.nLen);
  EXPECT_NE(a, b);
  EXPECT_NE(Bytes(32, 0), b);

  PkiBlob small{16, a.data()};
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiGenerateRandom(17, &small));
  EXPECT_EQ(17u, small.nLen);
  PkiBlob none{16, a.data()};
  EXPECT_EQ(PKI_OK, pkiGenerateRandom(0, &none));
  EXPECT_EQ(0u, none.nLen);
  EXPECT_EQ(PKI_ERR_INVALID_ARG, pkiGenerateRandom(-1, &none));
}
