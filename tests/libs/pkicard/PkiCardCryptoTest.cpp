// The card library's OpenSSL side: hashing, symmetric ciphers, Base64,
// verification and certificates, checked against the openssl command line
// and published test vectors.

#include <algorithm>
#include <cstring>

#include "PkiCardFixture.h"
#include "tests/support/TestText.h"

namespace {

// Runs an openssl command in dir and returns its standard output, without the line end.
std::string OpensslOutput(const std::string& strDir, const std::string& strArgs) {
  EXPECT_EQ(0, RunIn(strDir, "openssl " + strArgs));
  const std::string s = ReadFile(strDir + "/last-command.log");
  return s.substr(0, s.find_last_not_of("\r\n") + 1);
}

std::string XmlElement(const std::string& strXml, const std::string& strName) {
  const std::string strOpen = "<" + strName + ">";
  const size_t nStart = strXml.find(strOpen);
  const size_t nEnd = strXml.find("</" + strName + ">");
  if (nStart == std::string::npos || nEnd == std::string::npos) return "<missing>";
  return strXml.substr(nStart + strOpen.size(), nEnd - nStart - strOpen.size());
}

std::string XmlUnescape(std::string s) {
  const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& entity : kEntities) {
    for (size_t n = s.find(entity.first); n != std::string::npos; n = s.find(entity.first, n + 1)) {
      s.replace(n, std::strlen(entity.first), entity.second);
    }
  }
  return s;
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

using PkiCardCrypto = PkiCardTest;
using PkiCardCert = PkiCardTest;

TEST_F(PkiCardCrypto, HashMatchesOpensslDgst) {
  const Bytes data = AsBytes(std::string("The quick brown fox\n\x00\xfe", 22));
  WriteFileBytes(m_dir.Join("data.bin"), data);
  const char* const kNames[] = {"sha1", "sha256", "sm3", "sha384", "sha512"};
  Bytes digest;
  for (int nAlgo = 1; nAlgo <= 5; ++nAlgo) {
    ASSERT_EQ(PKI_OK, Hash(nAlgo, data, digest)) << nAlgo;
    ASSERT_EQ(0, RunIn(m_dir.Str(), std::string("openssl dgst -binary -") + kNames[nAlgo - 1] +
                                         " -out digest.bin data.bin"));
    EXPECT_EQ(ReadFileBytes(m_dir.Join("digest.bin")), digest) << kNames[nAlgo - 1];
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
}

TEST_F(PkiCardCrypto, SymmetricBadKeysAndInputs) {
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
  Bytes out(16, 0);
  PkiBlob blob{16, out.data()};
  ASSERT_EQ(PKI_OK, pkiBase64Decode(sizeof szWrapped - 1, szWrapped, &blob));
  EXPECT_EQ("ABCDEFGH", std::string(out.begin(), out.begin() + blob.nLen));
  char text[4] = {'x', 'x', 'x', 'x'};
  PkiBlob exact{4, reinterpret_cast<unsigned char*>(text)};
  EXPECT_EQ(PKI_OK, pkiBase64Encode(3, U("ABC"), &exact));
  EXPECT_EQ("QUJD", std::string(text, 4));  // no room for the NUL, none written past
}

TEST_F(PkiCardCrypto, VerifiesOpensslAndTokenSignatures) {
  const Bytes data = AsBytes("signed by the command line");
  WriteFileBytes(m_dir.Join("data.bin"), data);
  const std::pair<const char*, const char*> kCases[] = {
      {"rsa", "-sha256"}, {"ec", "-sha384"}, {"sm2", "-sm3 -sigopt distid:1234567812345678"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.first) + " " + c.second);
    const std::string strName = c.first;
    ASSERT_EQ(0, RunIn(m_dir.Str(), std::string("openssl dgst ") + c.second + " -sign " +
                                         ShellQuote(Material().File(strName + ".key")) + " -out sig.bin data.bin"));
    const Bytes sig = ReadFileBytes(m_dir.Join("sig.bin"));
    const Bytes cert = MaterialBytes(strName + ".der");
    EXPECT_EQ(PKI_OK, Verify(cert, data, sig));
    EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(cert, AsBytes("signed by the command linE"), sig));
  }
  // An SM2 signature made with another distinguishing id does not verify.
  ASSERT_EQ(0, RunIn(m_dir.Str(), "openssl dgst -sm3 -sigopt distid:other -sign " +
                                       ShellQuote(Material().File("sm2.key")) + " -out sig.bin data.bin"));
  EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(MaterialBytes("sm2.der"), data, ReadFileBytes(m_dir.Join("sig.bin"))));
  EXPECT_EQ(PKI_ERR_SIGNATURE_INVALID, Verify(MaterialBytes("ec.der"), data, Bytes()));

  // A token signature of RSA with SM3, for which openssl dgst has no DigestInfo.
  Bytes sig;
  ASSERT_EQ(PKI_OK, pkiInit());
  ASSERT_EQ(PKI_OK, Sign(kRsaCertLabel, kUserPin, 3, data, sig));
  EXPECT_EQ(PKI_OK, Verify(MaterialBytes("rsa.der"), data, sig));
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
  setenv("PKICARD_TRUST_STORE", Material().File("other.pem").c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_OK, CheckCert(MaterialBytes("other.der")));
  EXPECT_EQ(PKI_ERR_CERT_UNTRUSTED, CheckCert(MaterialBytes("rsa.der")));
  setenv("PKICARD_TRUST_STORE", m_dir.Join("missing.pem").c_str(), 1);
  ASSERT_EQ(PKI_OK, pkiInit());
  EXPECT_EQ(PKI_ERR_TRUST_STORE, CheckCert(MaterialBytes("rsa.der")));
}

TEST_F(PkiCardCert, XmlMatchesOpensslAndIsEscaped) {
  const std::string strPem = ShellQuote(Material().File("rsa.pem"));
  const std::string strXml = CertXml(MaterialBytes("rsa.der"));
  auto openssl = [&](const std::string& strArgs) { return OpensslOutput(m_dir.Str(), "x509 -noout " + strArgs); };
  EXPECT_EQ(0u, strXml.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CertInfo>\n"));
  EXPECT_EQ(strXml.size() - std::string("</CertInfo>\n").size(), strXml.rfind("</CertInfo>\n"));
  EXPECT_EQ("serial=" + XmlElement(strXml, "SerialNumber"), openssl("-serial -in " + strPem));
  EXPECT_EQ("subject=" + XmlUnescape(XmlElement(strXml, "Subject")),
            openssl("-subject -nameopt RFC2253 -in " + strPem));
  EXPECT_EQ("issuer=" + XmlUnescape(XmlElement(strXml, "Issuer")), openssl("-issuer -nameopt RFC2253 -in " + strPem));
  std::string strFingerprint = openssl("-fingerprint -sha1 -in " + strPem);
  strFingerprint.erase(std::remove(strFingerprint.begin(), strFingerprint.end(), ':'),
                       strFingerprint.end());
  EXPECT_EQ(strFingerprint.substr(strFingerprint.find('=') + 1), XmlElement(strXml, "Thumbprint"));
  // notAfter as openssl prints it in ISO 8601 ("2027-12-06 11:21:27Z").
  EXPECT_EQ("notAfter=" + XmlElement(strXml, "NotAfter") + "Z", openssl("-enddate -dateopt iso_8601 -in " + strPem));
  EXPECT_EQ("Rsa Signer", XmlElement(strXml, "SubjectCN"));
  EXPECT_EQ("ecdsa-with-SHA256", XmlElement(strXml, "SignatureAlgorithm"));  // issued by the EC root
  EXPECT_EQ("RSA", XmlElement(strXml, "PublicKeyAlgorithm"));
  EXPECT_EQ("2048", XmlElement(strXml, "PublicKeyBits"));
  EXPECT_EQ("digitalSignature,nonRepudiation,keyEncipherment", XmlElement(strXml, "KeyUsage"));
  EXPECT_EQ("2", XmlElement(strXml, "PreferredDigest"));

  // XML special characters in the subject are escaped; no key usage is an empty element.
  const std::string strOdd = CertXml(MaterialBytes("odd.der"));
  EXPECT_EQ("A&lt;b&gt; &amp; &quot;c&quot;", XmlElement(strOdd, "SubjectCN"));
  EXPECT_EQ(std::string::npos, XmlElement(strOdd, "Subject").find_first_of("<>\""));
  EXPECT_EQ("subject=" + XmlUnescape(XmlElement(strOdd, "Subject")),
            openssl("-subject -nameopt RFC2253 -inform DER -in " + ShellQuote(Material().File("odd.der"))));
  EXPECT_EQ("", XmlElement(strOdd, "KeyUsage"));
}

TEST_F(PkiCardCert, PreferredDigestSuitsTheKey) {
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
