// The current user's "MY" store and the key probe over it: the serial text, install, find and
// remove, the key-usage rule and the order of the store. POSIX: a store directory under a
// temporary XDG_DATA_HOME and no PKCS#11 module; Windows: the real store of the Wine prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ProbeTestCerts.h"
#include "base/system/CertStore.h"
#include "base/system/KeyProbe.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

namespace {

// The store as the tests fill it: every certificate added is removed on destruction.
class CProbeTestStore {
 public:
  ~CProbeTestStore() {
    for (const std::string& strSerial : m_vecSerials) RemoveUserCertBySerial(strSerial);
  }
  bool Ok() const { return m_dir.Ok(); }
  std::string Dir() const { return m_dir.Str(); }
  // POSIX orders the store by serial number.
  bool Add(const CertDer& vDer) {
    m_vecSerials.push_back(CertSerialText(vDer));
    return InstallUserCert(vDer);
  }

 private:
  CTempDir m_dir{"keyprobe-test"};
  CEnvOverride m_data{"XDG_DATA_HOME", m_dir.Str()};
  CEnvOverride m_module{"PKICARD_MODULE", m_dir.Join("absent-module.so")};
  CEnvOverride m_ini{"PKICARD_INI", m_dir.Join("absent.ini")};
  std::vector<std::string> m_vecSerials;
};

// How often the store holds vCert.
int StoreHolds(const CertDer& vCert) {
  const std::vector<CertDer> vAll = ListUserCerts();
  return static_cast<int>(std::count(vAll.begin(), vAll.end(), vCert));
}

}  // namespace

TEST(CertSerialText, ReadsTheSerialAndRefusesWhatIsNotACertificate) {
  // Serial 0x8001: the encoder keeps a leading 00 byte.
  const CertDer vCert = kCertNoKeyUsage;
  EXPECT_EQ("008001", CertSerialText(vCert));

  struct CCase {
    const char* szName;
    CertDer vDer;
  };
  CertDer vTrailing = vCert;
  vTrailing.push_back(0);
  CertDer vCut(vCert.begin(), vCert.end() - 1);
  CertDer vNotSequence = vCert;
  vNotSequence[0] = 0x31;
  CertDer vSerialNotInteger = vCert;
  vSerialNotInteger[13] = 0x04;  // the serial's INTEGER tag
  const CCase cases[] = {
      {"empty", {}},
      {"trailing byte", vTrailing},
      {"cut short", vCut},
      {"not a sequence", vNotSequence},
      {"serial not an integer", vSerialNotInteger},
      {"indefinite length", CertDer{0x30, 0x80, 0x00, 0x00}},
  };
  ASSERT_EQ(0x02, vCert[13]);
  for (const CCase& c : cases) EXPECT_EQ("", CertSerialText(c.vDer)) << c.szName;
}

TEST(CertStore, InstallFindRemove) {
  CProbeTestStore store;  // its own store directory, no serials to remove
  ASSERT_TRUE(store.Ok());

  const CertDer vCert = kCertDigitalSignature;
  const std::string strSerial = "0a1b2c3d";
  ASSERT_TRUE(RemoveUserCertBySerial(strSerial));
  EXPECT_EQ(0, StoreHolds(vCert));
  EXPECT_FALSE(InstallUserCert(CertDer{0x30, 0x00}));

  ASSERT_TRUE(InstallUserCert(vCert));
  ASSERT_TRUE(InstallUserCert(vCert));  // replaces, does not add a second
  EXPECT_EQ(1, StoreHolds(vCert));
  const std::string strDir = UserCertStoreDir();
  if (!strDir.empty()) {
    EXPECT_EQ(store.Dir() + "/Tolvan/certstore/MY", strDir);
    EXPECT_TRUE(std::filesystem::is_regular_file(strDir + "/" + strSerial + ".cer"));
    EXPECT_EQ(std::filesystem::perms::owner_all,
              std::filesystem::status(strDir).permissions() & std::filesystem::perms::all);
  }

  // Letter case of the serial text does not matter.
  EXPECT_TRUE(RemoveUserCertBySerial("0A1B2C3D"));
  EXPECT_EQ(0, StoreHolds(vCert));
}

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
