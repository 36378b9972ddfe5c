// The key probe over the current user's "MY" store: the key-usage rule, the
// serial text and the order of the store, with certificates the test adds
// (Windows: to the real store under Wine; POSIX: to a store directory of its
// own, with no PKCS#11 module).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProbeTestCerts.h"
#include "base/system/KeyProbe.h"
#include "tests/base/system/ProbeTestStore.h"

TEST(KeyProbe, KeyUsageRuleAndSerialText) {
  const struct {
    const char* szName;
    std::vector<const CertDer*> vecCerts;  // added in this order, and in order of serial
    const char* szExpected;
  } kCases[] = {
      {"data encipherment alone is skipped", {&kCertDataEnciphermentOnly}, ""},
      {"no key usage is taken, the sign byte kept", {&kCertNoKeyUsage}, "008001"},
      {"signature with encipherment is taken", {&kCertSignatureAndEncipherment}, "33"},
      {"a skipped certificate leaves the next, taken for key encipherment",
       {&kCertDataEnciphermentOnly, &kCertKeyEnciphermentOnly},
       "22"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.szName);
    CProbeTestStore store;
    ASSERT_TRUE(store.Ok());
    for (const CertDer* pCert : c.vecCerts) ASSERT_TRUE(store.Add(*pCert));
    EXPECT_EQ(c.szExpected, ProbeUserKey());
  }
  // An empty store has no key: every certificate added was removed again.
  CProbeTestStore empty;
  EXPECT_EQ("", ProbeUserKey());
}

TEST(KeyProbe, StoreFilesThatAreNotCertificatesAreReportedAndSkipped) {
  CProbeTestStore store;
  ASSERT_TRUE(store.Ok());
  const std::string strJunk = store.AddFile({'n', 'o', 't', ' ', 'a', ' ', 'c', 'e', 'r', 't'}, "a.cer");
  if (ProbeUserKeyEx().m_nTokens == emKeyProbeNoTokenPart) GTEST_SKIP() << "no store files here";
  ASSERT_FALSE(strJunk.empty());
  const std::string strCut = store.AddFile(
      CertDer(kCertDigitalSignature.begin(), kCertDigitalSignature.end() - 1), "b.cer");
  ASSERT_TRUE(store.Add(kCertKeyEnciphermentOnly));

  const CKeyProbeResult result = ProbeUserKeyEx();
  EXPECT_EQ("22", result.m_strSerial);
  EXPECT_EQ((std::vector<std::string>{strJunk, strCut}), result.m_vecNotCerts);
  // No module is configured: the tokens add nothing and say why.
  EXPECT_EQ(emKeyProbeNoModule, result.m_nTokens);
}
