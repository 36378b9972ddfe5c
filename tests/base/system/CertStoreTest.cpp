// The current user's "MY" store: the serial text reader, and install, find
// and remove on the platform's real store (POSIX: a store directory under a
// temporary XDG_DATA_HOME; Windows: the system store of the Wine prefix).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/system/CertStore.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

namespace {

// A self-signed P-256 certificate whose serial, a1b2...90, has its top bit
// set, so that the encoder keeps a leading 00 byte.
const char kTestCertHex[] =
    "3082018c30820132a003020102021100a1b2c3d4e5f60718293a4b5c6d7e8f90300a06082a8648ce3d040302301c311a"
    "301806035504030c11546f6c76616e2073746f726520746573743020170d3236313230363232333234315a180f323132"
    "36313131323232333234315a301c311a301806035504030c11546f6c76616e2073746f72652074657374305930130607"
    "2a8648ce3d020106082a8648ce3d030107034200049d7b8056cefc96cc042c3f319f0f31a16f50ba16b0edab55551010"
    "c8b407937283d72c91a6ad3a6c843fd99ec5f3d3762d954f7b63186643f9b934acf7f357f8a3533051301d0603551d0e"
    "0416041403d8061cb8ba9e5a8548379aa1a19ff6cc33fee5301f0603551d2304183016801403d8061cb8ba9e5a854837"
    "9aa1a19ff6cc33fee5300f0603551d130101ff040530030101ff300a06082a8648ce3d0403020348003045022100aabc"
    "c6b3c49faff762855436fc7d5334e853309be2b9f4d412a66ccbab7cd3a502203e3db680cfa828ffb3b637f0fc19f939"
    "5e279bd112d0dad4efdfbc045e6eb50d";
const char kTestSerial[] = "00a1b2c3d4e5f60718293a4b5c6d7e8f90";

CertDer FromHex(const std::string& strHex) {
  CertDer v;
  for (size_t i = 0; i + 1 < strHex.size(); i += 2) {
    v.push_back(static_cast<unsigned char>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
  }
  return v;
}

TEST(CertSerialText, ReadsTheSerialAndRefusesWhatIsNotACertificate) {
  const CertDer vCert = FromHex(kTestCertHex);
  EXPECT_EQ(kTestSerial, CertSerialText(vCert));

  struct CCase {
    const char* szName;
    CertDer vDer;
  };
  CertDer vTrailing = vCert;
  vTrailing.push_back(0);
  CertDer vCut(vCert.begin(), vCert.end() - 1);
  CertDer vNotSequence = vCert;
  vNotSequence[0] = 0x31;
  CertDer vLongLength = vCert;  // length field claims more than is there
  vLongLength[3] = 0xFF;
  CertDer vSerialNotInteger = vCert;
  vSerialNotInteger[13] = 0x04;  // the serial's INTEGER tag
  const CCase cases[] = {
      {"empty", {}},
      {"trailing byte", vTrailing},
      {"cut short", vCut},
      {"not a sequence", vNotSequence},
      {"length past the end", vLongLength},
      {"serial not an integer", vSerialNotInteger},
      {"text", CertDer{'h', 'e', 'l', 'l', 'o'}},
      {"indefinite length", CertDer{0x30, 0x80, 0x00, 0x00}},
  };
  ASSERT_EQ(0x02, vCert[13]);
  for (const CCase& c : cases) EXPECT_EQ("", CertSerialText(c.vDer)) << c.szName;
}

bool StoreHolds(const CertDer& vCert) {
  const std::vector<CertDer> vAll = ListUserCerts();
  return std::find(vAll.begin(), vAll.end(), vCert) != vAll.end();
}

TEST(CertStore, InstallFindRemove) {
  CTempDir dir("tolvan-certstore");
  ASSERT_TRUE(dir.Ok());
  CEnvOverride data("XDG_DATA_HOME", dir.Str());

  const CertDer vCert = FromHex(kTestCertHex);
  ASSERT_TRUE(RemoveUserCertBySerial(kTestSerial));
  EXPECT_FALSE(StoreHolds(vCert));
  EXPECT_FALSE(InstallUserCert(CertDer{0x30, 0x00}));

  ASSERT_TRUE(InstallUserCert(vCert));
  ASSERT_TRUE(InstallUserCert(vCert));  // replaces, does not add a second
  const std::vector<CertDer> vAll = ListUserCerts();
  EXPECT_EQ(1, std::count(vAll.begin(), vAll.end(), vCert));
  const std::string strDir = UserCertStoreDir();
  if (!strDir.empty()) {
    EXPECT_EQ(dir.Str() + "/Tolvan/certstore/MY", strDir);
    EXPECT_TRUE(std::filesystem::is_regular_file(strDir + "/" + kTestSerial + ".cer"));
    EXPECT_EQ(std::filesystem::perms::owner_all,
              std::filesystem::status(strDir).permissions() & std::filesystem::perms::all);
  }

  // Letter case of the serial text does not matter.
  std::string strUpper = kTestSerial;
  std::transform(strUpper.begin(), strUpper.end(), strUpper.begin(), ::toupper);
  EXPECT_TRUE(RemoveUserCertBySerial(strUpper));
  EXPECT_FALSE(StoreHolds(vCert));
  EXPECT_TRUE(RemoveUserCertBySerial(kTestSerial));  // none left is success
}

}  // namespace
