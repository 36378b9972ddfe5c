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

namespace {

using Der = std::vector<unsigned char>;

struct ProbeCase {
  const char* szName;
  std::vector<const Der*> vecCerts;  // added in this order
  const char* szExpected;
};

}  // namespace

TEST(KeyProbe, KeyUsageRuleAndSerialText) {
  const ProbeCase kCases[] = {
      {"digital signature is taken", {&kCertDigitalSignature}, "0a1b2c3d"},
      {"data encipherment alone is skipped", {&kCertDataEnciphermentOnly}, ""},
      {"no key usage is taken, the sign byte kept", {&kCertNoKeyUsage}, "008001"},
      {"key encipherment alone is taken", {&kCertKeyEnciphermentOnly}, "22"},
      {"signature with encipherment is taken", {&kCertSignatureAndEncipherment}, "33"},
      {"a skipped certificate leaves the next",
       {&kCertDataEnciphermentOnly, &kCertDigitalSignature},
       "0a1b2c3d"},
      {"an empty store has no key", {}, ""},
  };
  for (const ProbeCase& c : kCases) {
    SCOPED_TRACE(c.szName);
    CProbeTestStore store;
    ASSERT_TRUE(store.Ok());
    for (size_t i = 0; i < c.vecCerts.size(); ++i) {
      ASSERT_TRUE(store.Add(*c.vecCerts[i], "c" + std::to_string(i)));
    }
    EXPECT_EQ(c.szExpected, ProbeUserKey());
  }
  // Every certificate added was removed again.
  CProbeTestStore empty;
  EXPECT_EQ("", ProbeUserKey());
}

TEST(KeyProbe, StoreFilesThatAreNotCertificatesAreReportedAndSkipped) {
  CProbeTestStore store;
  ASSERT_TRUE(store.Ok());
  const std::string strJunk = store.AddFile({'n', 'o', 't', ' ', 'a', ' ', 'c', 'e', 'r', 't'}, "a.cer");
  if (ProbeUserKeyEx().m_nTokens == emKeyProbeNoTokenPart) GTEST_SKIP() << "no store files here";
  ASSERT_FALSE(strJunk.empty());
  Der truncated(kCertDigitalSignature.begin(), kCertDigitalSignature.end() - 1);
  const std::string strCut = store.AddFile(truncated, "b.cer");
  ASSERT_TRUE(store.Add(kCertKeyEnciphermentOnly, "c"));

  const CKeyProbeResult result = ProbeUserKeyEx();
  EXPECT_EQ("22", result.m_strSerial);
  EXPECT_EQ((std::vector<std::string>{strJunk, strCut}), result.m_vecNotCerts);
  // No module is configured: the tokens add nothing and say why.
  EXPECT_EQ(emKeyProbeNoModule, result.m_nTokens);
}
