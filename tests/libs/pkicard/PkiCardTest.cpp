// The card library against a real SoftHSM2 token, and its OpenSSL side (hashing, symmetric
// ciphers, Base64, verification and certificates): every output is checked with the openssl
// command line or published test vectors.

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "PkiCardFixture.h"
#include "libs/pkicard/P11Result.h"
#include "tests/support/TestText.h"

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

std::string Hex(const Bytes& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : data) s += std::string{kDigits[c >> 4], kDigits[c & 0x0f]};
  return s;
}

std::string XmlElement(const std::string& strXml, const std::string& strName) {
  const std::string strOpen = "<" + strName + ">";
  const size_t nStart = strXml.find(strOpen);
  const size_t nEnd = strXml.find("</" + strName + ">");
  if (nStart == std::string::npos || nEnd == std::string::npos) return "<missing>";
  return strXml.substr(nStart + strOpen.size(), nEnd - nStart - strOpen.size());
}

std::string CertXml(const Bytes& cert) {
  Bytes xml;
  EXPECT_EQ(PKI_OK, WithBlob(4096, xml, [&](PkiBlob* p) {
              return pkiGetXMLCertInfo(static_cast<uint32_t>(cert.size()), cert.data(), p);
            }));
  return std::string(xml.begin(), xml.end());
}

int CheckCert(const Bytes& cert) {
  return pkiCheckCert(static_cast<uint32_t>(cert.size()), cert.data(), 0, 0, 0, 0, 0, 0);
}

int Verify(const Bytes& cert, const Bytes& data, const Bytes& sig) {
  return pkiVerifySignature(static_cast<uint32_t>(cert.size()), cert.data(), static_cast<uint32_t>(data.size()),
                            data.data(), static_cast<uint32_t>(sig.size()), sig.data());
}

const unsigned char* U(const char* sz) { return reinterpret_cast<const unsigned char*>(sz); }

}  // namespace

using PkiCardInit = PkiCardTest;
using PkiCardSign = PkiCardTest;
using PkiCardEnvelope = PkiCardTest;
using PkiCardCrypto = PkiCardTest;
using PkiCardCert = PkiCardTest;

TEST_F(PkiCardInit, TokenChosenByLabelOrSerial) {
  Bytes der, a, b;
  const auto random = [](Bytes& out) {
    return WithBlob(32, out, [](PkiBlob* p) { return pkiGenerateRandom(32, p); });
  };
  ASSERT_EQ(PKI_OK, random(a));  // without a token OpenSSL's generator serves
  setenv("PKICARD_TOKEN_LABEL", "NoSuchToken", 1);
  EXPECT_EQ(PKI_ERR_TOKEN_NOT_FOUND, pkiInit());
  // The spare token has no certificates.
  setenv("PKICARD_TOKEN_LABEL", "Spare", 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, ReadLabel(kRsaCertLabel, der));
  const std::string strSerial = CSharedModule().TokenSerial();
  ASSERT_FALSE(strSerial.empty());
  pkiEnd();
  unsetenv("PKICARD_TOKEN_LABEL");
  setenv("PKICARD_TOKEN_SERIAL", strSerial.c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, ReadLabel(kRsaCertLabel, der));
  EXPECT_EQ(MaterialBytes("rsa.der"), der);
  ASSERT_EQ(PKI_OK, random(b));  // the token's
  EXPECT_TRUE(a.size() == 32u && b.size() == 32u);
  EXPECT_NE(a, b);
  // The key's label is not a certificate's.
  EXPECT_EQ(PKI_ERR_OBJECT_NOT_FOUND, ReadLabel("rsakey", der));
  EXPECT_EQ(PKI_ERR_INVALID_ARG, pkiReadLabel(kRsaCertLabel, 1, der.data(), nullptr));
  EXPECT_EQ(PKI_OK, pkiEnd());
  EXPECT_EQ(PKI_ERR_NOT_INITIALISED, ReadLabel(kRsaCertLabel, der));
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
      const std::string strPub = MaterialFile(std::string(szKey) + ".pub");
      EXPECT_TRUE(OpensslVerifies(m_dir.Str(), strPub, kDigestNames[nAlgo - 1], data, sig));
      EXPECT_EQ(PKI_OK, Verify(MaterialBytes(std::string(szKey) + ".der"), data, sig));
    }
  }
  // Every session on the token closed underneath the library, as a token reset would: the
  // next call reopens its session. Without a certificate under the label, the key's own
  // label is used.
  {
    CSharedModule module;
    ASSERT_TRUE(module.Ok());
    ASSERT_EQ(CKR_OK, module->C_CloseAllSessions(module.Slot()));
  }
  Bytes sig;
  ASSERT_EQ(PKI_OK, Sign("eckey", kUserPin, 2, data, sig));
  EXPECT_TRUE(OpensslVerifies(m_dir.Str(), MaterialFile("ec.pub"), "sha256", data, sig));
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

// Envelopes both ways: sealed here and opened by openssl, made by openssl and opened on the token.
TEST_F(PkiCardEnvelope, OpensslEnvelopesOpenOnTheToken) {
  ASSERT_EQ(PKI_OK, pkiInit());
  Bytes plain(3000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i * 7);
  WriteFileBytes(m_dir.Join("plain.bin"), plain);
  const std::string strRsa = ShellQuote(MaterialFile("rsa.pem"));
  const std::string strOther = ShellQuote(MaterialFile("other.pem"));
  // Sealed here, the envelope opens with openssl and names its cipher.
  const Bytes cert = MaterialBytes("rsa.der");
  const char* const kCiphers[] = {"aes-128-cbc", "aes-256-cbc", "sm4-cbc", "des-ede3-cbc"};
  Bytes envelope;
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    SCOPED_TRACE(kCiphers[nAlgo - 1]);
    ASSERT_EQ(PKI_OK, Seal(cert, nAlgo, plain, envelope));
    WriteFileBytes(m_dir.Join("env.der"), envelope);
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -decrypt -binary -inform DER -in env.der -recip " +
                                         strRsa + " -inkey " + ShellQuote(MaterialFile("rsa.key")) +
                                         " -out opened.bin"));
    EXPECT_EQ(plain, ReadFileBytes(m_dir.Join("opened.bin")));
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -cmsout -print -inform DER -in env.der > env.txt"));
    EXPECT_NE(std::string::npos, ReadFile(m_dir.Join("env.txt")).find(kCiphers[nAlgo - 1]));
  }
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Seal(cert, 7, plain, envelope));
  // Our recipient is never first: matched by issuer and serial, or by key id.
  const std::string kVariants[] = {
      "-aes256 " + strOther + " " + strRsa,
      "-aes128 -keyid " + strOther + " " + strRsa,
      "-sm4-cbc " + ShellQuote(MaterialFile("ec.pem")) + " " + strRsa,
      "-des-ede3-cbc -stream " + strOther + " " + strRsa,
  };
  for (const std::string& strArgs : kVariants) {
    ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl cms -encrypt -binary -outform DER -in plain.bin -out env.der " + strArgs))
        << strArgs;
    Bytes opened;
    ASSERT_EQ(PKI_OK, Open(kRsaCertLabel, kUserPin, ReadFileBytes(m_dir.Join("env.der")), opened)) << strArgs;
    EXPECT_EQ(plain, opened) << strArgs;
  }
  Bytes theirs, mine, opened;
  ASSERT_EQ(PKI_OK, Seal(MaterialBytes("other.der"), 1, AsBytes("hello"), theirs));
  ASSERT_EQ(PKI_OK, Seal(cert, 1, AsBytes("hello"), mine));
  EXPECT_EQ(PKI_ERR_NO_RECIPIENT, Open(kRsaCertLabel, kUserPin, theirs, opened));
  const Bytes truncated(mine.begin(), mine.begin() + static_cast<long>(mine.size() / 2));
  EXPECT_EQ(PKI_ERR_BAD_ENVELOPE, Open(kRsaCertLabel, kUserPin, truncated, opened));
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

TEST_F(PkiCardCrypto, HashMatchesOpensslDgst) {
  const Bytes data = AsBytes(std::string("The quick brown fox\n\x00\xfe", 22));
  WriteFileBytes(m_dir.Join("data.bin"), data);
  Bytes digest;
  for (int nAlgo = 1; nAlgo <= 5; ++nAlgo) {
    ASSERT_EQ(PKI_OK, Hash(nAlgo, data, digest)) << nAlgo;
    ASSERT_EQ(0, RunIn(m_dir.Str(), std::string("openssl dgst -binary -") + kDigestNames[nAlgo - 1] +
                                         " -out digest.bin data.bin"));
    EXPECT_EQ(ReadFileBytes(m_dir.Join("digest.bin")), digest) << kDigestNames[nAlgo - 1];
  }
  EXPECT_EQ(PKI_ERR_UNSUPPORTED_ALGO, Hash(6, data, digest));
  // Every output goes through one writer: a short buffer is an error with the
  // length needed, and untouched.
  Bytes buf(31, 0x5A);
  PkiBlob out{31, buf.data()};
  EXPECT_EQ(PKI_ERR_BUFFER_TOO_SMALL, pkiHashData(2, 3, U("abc"), &out));
  EXPECT_EQ(32u, out.nLen);
  EXPECT_EQ(Bytes(31, 0x5A), buf);
}

// Output decrypts with `openssl enc` (IV in front), and decrypts here again.
TEST_F(PkiCardCrypto, SymmetricAgainstOpensslEnc) {
  // Numbers 1 to 4, with their key lengths.
  const std::pair<const char*, size_t> kCiphers[] = {
      {"aes-128-cbc", 16}, {"aes-256-cbc", 32}, {"sm4-cbc", 16}, {"des-ede3-cbc", 24}};
  for (int nAlgo = 1; nAlgo <= 4; ++nAlgo) {
    const size_t nIv = nAlgo == 4 ? 8 : 16;
    for (size_t nLen : {size_t(0), size_t(1000)}) {
      SCOPED_TRACE(std::to_string(nAlgo) + " " + std::to_string(nLen));
      Bytes key(kCiphers[nAlgo - 1].second), plain(nLen), cipher, decrypted;
      for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 13 + 1);
      for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<unsigned char>(i);
      ASSERT_EQ(PKI_OK, SymmCrypt(1, nAlgo, key, plain, cipher));
      ASSERT_GE(cipher.size(), nIv);
      const auto itBody = cipher.begin() + static_cast<long>(nIv);
      const std::string strIv = Hex(Bytes(cipher.begin(), itBody));
      WriteFileBytes(m_dir.Join("c.bin"), Bytes(itBody, cipher.end()));
      const std::string strCipher = kCiphers[nAlgo - 1].first;
      ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl enc -d -" + strCipher + " -K " + Hex(key) +
                                           " -iv " + strIv + " -in c.bin -out p.bin"));
      EXPECT_EQ(plain, ReadFileBytes(m_dir.Join("p.bin")));
      ASSERT_EQ(PKI_OK, SymmCrypt(0, nAlgo, key, cipher, decrypted));
      EXPECT_EQ(plain, decrypted);
    }
  }
  const Bytes key(16, 1);
  Bytes out, cipher, again;
  EXPECT_EQ(PKI_ERR_INVALID_ARG, SymmCrypt(1, 2, key, AsBytes("x"), out));  // AES-256 wants 32

  ASSERT_EQ(PKI_OK, SymmCrypt(1, 1, key, AsBytes("attack at dawn"), cipher));
  ASSERT_EQ(32u, cipher.size());
  for (size_t nCut : {31, 16, 0}) {
    EXPECT_EQ(PKI_ERR_DECRYPT, SymmCrypt(0, 1, key, Bytes(cipher.begin(), cipher.begin() + nCut), out)) << nCut;
  }
  // Two encryptions of the same text differ (fresh IV).
  ASSERT_EQ(PKI_OK, SymmCrypt(1, 1, key, AsBytes("attack at dawn"), again));
  EXPECT_NE(cipher, again);
}

TEST_F(PkiCardCrypto, Base64TwoCallProtocolAndStrictDecoding) {
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 31 + 7);
  for (size_t nLen : {size_t(0), size_t(2), size_t(3), size_t(1000)}) {  // "=", none, "=="
    SCOPED_TRACE(nLen);
    const Bytes part(data.begin(), data.begin() + static_cast<long>(nLen));
    PkiBlob size{0, nullptr};
    ASSERT_EQ(PKI_OK, pkiBase64Encode(static_cast<uint32_t>(part.size()), part.data(), &size));
    Bytes text(size.nLen + 1, 0xFF);
    PkiBlob out{size.nLen + 1, text.data()};
    ASSERT_EQ(PKI_OK, pkiBase64Encode(static_cast<uint32_t>(part.size()), part.data(), &out));
    EXPECT_EQ(0, text[size.nLen]);  // NUL after the text
    const std::string strText(text.begin(), text.begin() + out.nLen);
    EXPECT_EQ(ToBase64(std::string(part.begin(), part.end())), strText);

    PkiBlob dsize{0, nullptr};
    ASSERT_EQ(PKI_OK, pkiBase64Decode(static_cast<uint32_t>(strText.size()), strText.data(), &dsize));
    EXPECT_EQ(nLen, dsize.nLen);
    Bytes decoded;
    ASSERT_EQ(PKI_OK, WithBlob(nLen, decoded, [&](PkiBlob* p) {
                return pkiBase64Decode(static_cast<uint32_t>(strText.size()), strText.data(), p);
              }));
    EXPECT_EQ(part, decoded);
  }
  for (const char* szText : {"QUJ", "QUJD!", "QQ==QUJD", "Q==="}) {
    PkiBlob size{0, nullptr};
    EXPECT_EQ(PKI_ERR_BAD_BASE64, pkiBase64Decode(static_cast<uint32_t>(std::strlen(szText)), szText, &size))
        << szText;
  }
  // Line breaks, as openssl writes them, are fine.
  const char szWrapped[] = "QUJD\r\nREVG\nR0g=";
  Bytes out;
  EXPECT_EQ(PKI_OK,
            WithBlob(16, out, [&](PkiBlob* p) { return pkiBase64Decode(15, szWrapped, p); }));
  EXPECT_EQ(AsBytes("ABCDEFGH"), out);
  char text[4] = {'x', 'x', 'x', 'x'};
  PkiBlob exact{4, reinterpret_cast<unsigned char*>(text)};
  EXPECT_EQ(PKI_OK, pkiBase64Encode(3, U("ABC"), &exact));
  EXPECT_EQ("QUJD", std::string(text, 4));  // no room for the NUL, none written past
}

TEST_F(PkiCardCrypto, VerifiesOpensslSignatures) {
  const Bytes data = AsBytes("signed by the command line");
  WriteFileBytes(m_dir.Join("data.bin"), data);
  const std::pair<const char*, const char*> kCases[] = {
      {"rsa", "-sha256"}, {"ec", "-sha384"}, {"sm2", "-sm3 -sigopt distid:1234567812345678"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.first) + " " + c.second);
    const std::string strName = c.first;
    ASSERT_EQ(0, RunIn(m_dir.Str(), std::string("openssl dgst ") + c.second + " -sign " +
                                         ShellQuote(MaterialFile(strName + ".key")) + " -out sig.bin data.bin"));
    const Bytes sig = ReadFileBytes(m_dir.Join("sig.bin"));
    const Bytes cert = MaterialBytes(strName + ".der");
    EXPECT_EQ(PKI_OK, Verify(cert, data, sig));
    EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(cert, AsBytes("signed by the command linE"), sig));
  }
  // An SM2 signature made with another distinguishing id does not verify.
  ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl dgst -sm3 -sigopt distid:other -sign " +
                                       ShellQuote(MaterialFile("sm2.key")) + " -out sig.bin data.bin"));
  EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(MaterialBytes("sm2.der"), data, ReadFileBytes(m_dir.Join("sig.bin"))));
  EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(MaterialBytes("ec.der"), data, Bytes()));
}

TEST_F(PkiCardCert, CheckValidityAndTrust) {
  EXPECT_EQ(PKI_OK, CheckCert(MaterialBytes("rsa.der")));
  EXPECT_EQ(PKI_OK, CheckCert(MaterialBytes("ec.pem")));  // PEM too
  EXPECT_EQ(PKI_ERR_CERT_EXPIRED, CheckCert(MaterialBytes("expired.der")));
  EXPECT_EQ(PKI_ERR_CERT_UNTRUSTED, CheckCert(MaterialBytes("other.der")));
  Bytes truncated = MaterialBytes("rsa.der");
  truncated.pop_back();
  EXPECT_EQ(PKI_ERR_BAD_CERT, CheckCert(truncated));

  // The stranger is trusted once it is in the store; a store that cannot be
  // read is an error of its own. pkiInit reads the configuration again.
  setenv("PKICARD_TRUST_STORE", MaterialFile("other.pem").c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, CheckCert(MaterialBytes("other.der")));
  EXPECT_EQ(PKI_ERR_CERT_UNTRUSTED, CheckCert(MaterialBytes("rsa.der")));
  setenv("PKICARD_TRUST_STORE", m_dir.Join("missing.pem").c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_ERR_TRUST_STORE, CheckCert(MaterialBytes("rsa.der")));
}

TEST_F(PkiCardCert, XmlMatchesOpensslAndIsEscaped) {
  const std::string strXml = CertXml(MaterialBytes("rsa.der"));
  const std::string strPem = ShellQuote(MaterialFile("rsa.pem"));
  auto openssl = [&](const std::string& strArgs) {
    std::string s;
    EXPECT_EQ(0, RunIn(m_dir.Str(), "openssl x509 -noout -in " + strPem + " " + strArgs, &s));
    return s.substr(0, s.find_last_not_of("\r\n") + 1);
  };
  EXPECT_EQ(0u, strXml.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CertInfo>\n"));
  EXPECT_EQ(strXml.size() - std::string("</CertInfo>\n").size(), strXml.rfind("</CertInfo>\n"));
  EXPECT_EQ("serial=" + XmlElement(strXml, "SerialNumber"), openssl("-serial"));
  EXPECT_EQ("subject=" + XmlElement(strXml, "Subject"), openssl("-subject -nameopt RFC2253"));
  EXPECT_EQ("issuer=" + XmlElement(strXml, "Issuer"), openssl("-issuer -nameopt RFC2253"));
  std::string strFingerprint = openssl("-fingerprint -sha1");
  strFingerprint.erase(std::remove(strFingerprint.begin(), strFingerprint.end(), ':'),
                       strFingerprint.end());
  EXPECT_EQ(strFingerprint.substr(strFingerprint.find('=') + 1), XmlElement(strXml, "Thumbprint"));
  // notAfter as openssl prints it in ISO 8601 ("2027-12-06 11:21:27Z").
  EXPECT_EQ("notAfter=" + XmlElement(strXml, "NotAfter") + "Z",
            openssl("-enddate -dateopt iso_8601"));
  EXPECT_EQ("Rsa Signer", XmlElement(strXml, "SubjectCN"));
  EXPECT_EQ("ecdsa-with-SHA256", XmlElement(strXml, "SignatureAlgorithm"));  // issued by the EC root
  EXPECT_EQ("RSA", XmlElement(strXml, "PublicKeyAlgorithm"));
  EXPECT_EQ("2048", XmlElement(strXml, "PublicKeyBits"));
  EXPECT_EQ("digitalSignature,nonRepudiation,keyEncipherment", XmlElement(strXml, "KeyUsage"));
  EXPECT_EQ("2", XmlElement(strXml, "PreferredDigest"));

  // XML special characters in the subject (RFC 2253 as openssl prints it) are escaped; no key
  // usage is an empty element.
  const std::string strOdd = CertXml(MaterialBytes("odd.der"));
  EXPECT_EQ("A&lt;b&gt; &amp; &quot;c&quot;", XmlElement(strOdd, "SubjectCN"));
  EXPECT_EQ("O=X&amp;Y,CN=A\\&lt;b\\&gt; &amp; \\&quot;c\\&quot;", XmlElement(strOdd, "Subject"));
  EXPECT_EQ("", XmlElement(strOdd, "KeyUsage"));

  // The preferred digest suits the key; the information record is left as it was.
  const std::pair<const char*, int> kCases[] = {{"rsa.der", 2}, {"ec.der", 2}, {"sm2.der", 3}, {"p384.der", 4}};
  for (const auto& c : kCases) {
    const Bytes cert = MaterialBytes(c.first);
    Bytes record(5576, 0x5A);
    int nAlgo = 0;
    ASSERT_EQ(PKI_OK, pkiGetCertInfoEx(static_cast<uint32_t>(cert.size()), cert.data(), record.data(), &nAlgo));
    EXPECT_EQ(c.second, nAlgo) << c.first;
    EXPECT_EQ(Bytes(5576, 0x5A), record);
  }
  EXPECT_EQ("SM2", XmlElement(CertXml(MaterialBytes("sm2.der")), "PublicKeyAlgorithm"));
}
