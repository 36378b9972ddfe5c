// The state store on a clock the test sets: the 1,680-second rule, the 64-bit "TimeOut", partial
// saves and cloudEnd.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/ini/IniFile.h"
#include "base/system/CertStore.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "tests/cloud/CloudTestSupport.h"

namespace {

std::string Stored(const char* szKey) {
  return CIniFile::GetValue(szKey, "AuthCode", CloudStateFilePath(), "<absent>");
}

TEST(CloudState, CodeIsUsableFor1680Seconds) {
  CCloudWorld world;
  char szCode[CLOUD_STATE_BUFFER];
  // Before 2038, and after it, where a 32-bit value would have gone negative.
  for (int64_t nSaved : {int64_t{1700000000}, int64_t{2147483000}, int64_t{4102444800}}) {
    CCloudWorld::SetNow(nSaved);
    cloudSaveState("code1", nullptr);
    EXPECT_EQ(std::to_string(nSaved + 1800), Stored("TimeOut"));
    CCloudWorld::SetNow(nSaved + 1680);
    EXPECT_TRUE(cloudLoadState(szCode, nullptr)) << nSaved;
    CCloudWorld::SetNow(nSaved + 1681);
    EXPECT_FALSE(cloudLoadState(szCode, nullptr)) << nSaved;
    EXPECT_STREQ("code1", szCode);  // an expired code still reads back
  }
}

TEST(CloudState, MissingFileAndHandWrittenValues) {
  CCloudWorld world;
  char szCode[CLOUD_STATE_BUFFER] = "x", szSerial[CLOUD_STATE_BUFFER] = "x";
  EXPECT_FALSE(cloudLoadState(szCode, szSerial));
  EXPECT_STREQ("", szCode);
  EXPECT_STREQ("", szSerial);
  EXPECT_FALSE(cloudLoadState(nullptr, nullptr));

  // Never usable: below the margin, not a number, too large for 64 bits (not wrapped).
  CCloudWorld::SetNow(0);
  for (const char* szTimeOut : {"100", "junk", "99999999999999999999"}) {
    std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=abc\nTimeOut=" << szTimeOut
                                        << "\nCertSN=0a0b\n";
    EXPECT_FALSE(cloudLoadState(szCode, szSerial)) << szTimeOut;
    EXPECT_STREQ("abc", szCode);
    EXPECT_STREQ("0a0b", szSerial);
  }
  // A value that does not fit the 100-byte buffer reads as empty, not cut.
  std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=" << std::string(100, 'c')
                                      << "\nCertSN=" << std::string(99, 's') << "\n";
  cloudLoadState(szCode, szSerial);
  EXPECT_STREQ("", szCode);
  EXPECT_EQ(std::string(99, 's'), szSerial);
}

TEST(CloudState, NullArgumentsLeaveTheirKeys) {
  CCloudWorld world;
  cloudSaveState("code1", "01ff");
  const std::string strTimeOut = Stored("TimeOut");
  CCloudWorld::SetNow(CCloudWorld::Now() + 500);
  cloudSaveState(nullptr, "02ee");
  EXPECT_EQ("code1", Stored("AuthCode"));
  EXPECT_EQ(strTimeOut, Stored("TimeOut"));
  cloudSaveState("code2", nullptr);
  EXPECT_EQ("code2", Stored("AuthCode"));
  EXPECT_EQ(std::to_string(CCloudWorld::Now() + 1800), Stored("TimeOut"));
  EXPECT_EQ("02ee", Stored("CertSN"));
}

TEST(CloudState, EndRemovesImageAndFile) {
  CCloudWorld world;
  EXPECT_EQ(CLOUD_OK, cloudEnd());  // nothing there at all
  std::filesystem::create_directories(world.Dir().Join("config"));
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", nullptr);
  EXPECT_EQ(CLOUD_OK, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));
  EXPECT_FALSE(std::filesystem::exists(CloudStateFilePath()));
}

// Removal is made to fail in the store directory: a directory that holds the serial's file name
// cannot be unlinked, even by root.
TEST(CloudState, EndKeepsTheFileWhenTheCertificateStays) {
  CCloudWorld world;
  if (UserCertStoreDir().empty()) GTEST_SKIP() << "the system store has no directory";
  std::filesystem::create_directories(UserCertStoreDir() + "/0a0b.cer/inside");
  std::filesystem::create_directories(world.Dir().Join("config"));
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", "0a0b");
  EXPECT_EQ(CLOUD_END_FAILED, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));  // deleted before
  EXPECT_EQ("0a0b", Stored("CertSN"));                          // the serial is not lost
}

}  // namespace
