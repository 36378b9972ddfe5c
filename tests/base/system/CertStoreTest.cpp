// The current user's "MY" store: the serial text reader, and install, find
// and remove on the platform's real store (POSIX: a store directory under a
// temporary XDG_DATA_HOME; Windows: the system store of the Wine prefix).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "ProbeTestCerts.h"
#include "base/system/CertStore.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

namespace {

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

// How often the store holds vCert.
int StoreHolds(const CertDer& vCert) {
  const std::vector<CertDer> vAll = ListUserCerts();
  return static_cast<int>(std::count(vAll.begin(), vAll.end(), vCert));
}

TEST(CertStore, InstallFindRemove) {
  CTempDir dir("tolvan-certstore");
  ASSERT_TRUE(dir.Ok());
  CEnvOverride data("XDG_DATA_HOME", dir.Str());

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
    EXPECT_EQ(dir.Str() + "/Tolvan/certstore/MY", strDir);
    EXPECT_TRUE(std::filesystem::is_regular_file(strDir + "/" + strSerial + ".cer"));
    EXPECT_EQ(std::filesystem::perms::owner_all,
              std::filesystem::status(strDir).permissions() & std::filesystem::perms::all);
  }

  // Letter case of the serial text does not matter.
  EXPECT_TRUE(RemoveUserCertBySerial("0A1B2C3D"));
  EXPECT_EQ(0, StoreHolds(vCert));
  EXPECT_TRUE(RemoveUserCertBySerial(strSerial));  // none left is success
}

}  // namespace
