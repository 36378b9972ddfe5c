// The state store on a clock the test sets: the 1,680-second rule, the
// 64-bit "TimeOut", partial saves and cloudEnd.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/ini/IniFile.h"
#include "base/system/CertStore.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "tests/cloud/CloudTestSupport.h"

namespace {

struct CLoaded {
  std::string strCode, strSerial;
  bool bUsable = false;
};

CLoaded Load() {
  char szCode[CLOUD_STATE_BUFFER], szSerial[CLOUD_STATE_BUFFER];
  std::memset(szCode, 'x', sizeof(szCode));
  std::memset(szSerial, 'x', sizeof(szSerial));
  CLoaded loaded;
  loaded.bUsable = cloudLoadState(szCode, szSerial);
  loaded.strCode = szCode;
  loaded.strSerial = szSerial;
  return loaded;
}

std::string Stored(const char* szKey) {
  return CIniFile::GetValue(szKey, "AuthCode", CloudStateFilePath(), "<absent>");
}

TEST(CloudState, CodeIsUsableFor1680Seconds) {
  CCloudWorld world;
  // Before 2038, and after it, where a 32-bit value would have gone negative.
  for (int64_t nSaved : {int64_t{1700000000}, int64_t{2147483000}, int64_t{4102444800}}) {
    CCloudWorld::SetNow(nSaved);
    cloudSaveState("code1", nullptr);
    EXPECT_EQ(std::to_string(nSaved + 1800), Stored("TimeOut"));
    CCloudWorld::SetNow(nSaved + 1680);
    EXPECT_TRUE(Load().bUsable) << nSaved;
    CCloudWorld::SetNow(nSaved + 1681);
    EXPECT_FALSE(Load().bUsable) << nSaved;
    EXPECT_EQ("code1", Load().strCode);  // an expired code still reads back
  }
}

TEST(CloudState, MissingFileAndHandWrittenValues) {
  CCloudWorld world;
  CLoaded loaded = Load();
  EXPECT_EQ("", loaded.strCode);
  EXPECT_EQ("", loaded.strSerial);
  EXPECT_FALSE(loaded.bUsable);
  EXPECT_TRUE(cloudLoadState(nullptr, nullptr) == false);

  struct CCase {
    const char* szTimeOut;
    int64_t nNow;
    bool bUsable;
  } cases[] = {
      {"100", 0, false},  {"100", 1700000000, false},
      {"1700001800", 1700001680, true},         // a 32-bit value reads as before
      {"1700001800", 1700001681, false},        {"junk", 0, false},
      {"99999999999999999999", 0, false},       // does not fit: no expiry read
      {"-9223372036854775808", 0, false},
  };
  for (const CCase& c : cases) {
    std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=abc\nTimeOut=" << c.szTimeOut
                                        << "\nCertSN=0a0b\n";
    CCloudWorld::SetNow(c.nNow);
    loaded = Load();
    EXPECT_EQ(c.bUsable, loaded.bUsable) << c.szTimeOut << " at " << c.nNow;
    EXPECT_EQ("abc", loaded.strCode);
    EXPECT_EQ("0a0b", loaded.strSerial);
  }

  // A value that does not fit the 100-byte buffer reads as empty, not cut.
  std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=" << std::string(100, 'c')
                                      << "\nCertSN=" << std::string(99, 's') << "\n";
  loaded = Load();
  EXPECT_EQ("", loaded.strCode);
  EXPECT_EQ(std::string(99, 's'), loaded.strSerial);
}

TEST(CloudState, NullArgumentsLeaveTheirKeys) {
  CCloudWorld world;
  cloudSaveState("code1", "01ff");
  const std::string strTimeOut = Stored("TimeOut");
  CCloudWorld::SetNow(CCloudWorld::Now() + 500);
  cloudSaveState(nullptr, "02ee");
  EXPECT_EQ("code1", Stored("AuthCode"));
  EXPECT_EQ(strTimeOut, Stored("TimeOut"));
  EXPECT_EQ("02ee", Stored("CertSN"));
  cloudSaveState("code2", nullptr);
  EXPECT_EQ("code2", Stored("AuthCode"));
  EXPECT_EQ(std::to_string(CCloudWorld::Now() + 1800), Stored("TimeOut"));
  EXPECT_EQ("02ee", Stored("CertSN"));
}

TEST(CloudState, EndRemovesImageCertificateAndFile) {
  CCloudWorld world;
  // Nothing there at all.
  EXPECT_EQ(CLOUD_OK, cloudEnd());

  std::filesystem::create_directories(world.Dir().Join("config"));
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", nullptr);
  EXPECT_EQ(CLOUD_OK, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));
  EXPECT_FALSE(std::filesystem::exists(CloudStateFilePath()));
}

// Removal is made to fail in the store directory: a directory that holds
// the serial's file name cannot be unlinked, even by root.
TEST(CloudState, EndKeepsTheFileWhenTheCertificateStays) {
  CCloudWorld world;
  if (UserCertStoreDir().empty()) GTEST_SKIP() << "the system store has no directory";
  const std::string strBlocker = UserCertStoreDir() + "/0a0b.cer";
  std::filesystem::create_directories(strBlocker + "/inside");
  std::filesystem::create_directories(world.Dir().Join("config"));
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", "0a0b");
  EXPECT_EQ(CLOUD_END_FAILED, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));  // deleted before
  EXPECT_EQ("0a0b", Stored("CertSN"));                          // the serial is not lost
}

}  // namespace
