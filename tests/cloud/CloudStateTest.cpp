// The state store on a clock the test sets: the 1,680-second rule, the 64-bit "TimeOut",
// hand-written values and cloudEnd; and the cloud operations' own checks, which come before any
// exchange: the order of their steps, their codes and the fixed buffers. (The exchanges are tested
// end to end against the simulator.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/ini/IniFile.h"
#include "base/system/CertStore.h"
#include "cloud/CloudOps.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/cloud/CloudTestSupport.h"

namespace {

TEST(CloudState, CodeIsUsableFor1680SecondsHandWrittenValuesNeverAndEndRemovesIt) {
  CCloudWorld world;
  char szCode[CLOUD_STATE_BUFFER] = "x", szSerial[CLOUD_STATE_BUFFER] = "x";
  EXPECT_FALSE(cloudLoadState(szCode, szSerial));  // no file
  EXPECT_STREQ("", szCode);
  EXPECT_STREQ("", szSerial);

  // Saved after 2038, where a 32-bit expiry would have gone negative.
  const int64_t nSaved = 4102444800;
  CCloudWorld::SetNow(nSaved);
  cloudSaveState("code1", nullptr);
  CCloudWorld::SetNow(nSaved + 1680);
  EXPECT_TRUE(cloudLoadState(szCode, nullptr));
  CCloudWorld::SetNow(nSaved + 1681);
  EXPECT_FALSE(cloudLoadState(szCode, nullptr));

  // Never usable: below the margin, not a number, too large for 64 bits (not wrapped).
  CCloudWorld::SetNow(0);
  for (const char* szTimeOut : {"100", "junk", "99999999999999999999"}) {
    std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=abc\nTimeOut=" << szTimeOut
                                        << "\nCertSN=0a0b\n";
    EXPECT_FALSE(cloudLoadState(szCode, szSerial)) << szTimeOut;
    EXPECT_STREQ("abc", szCode);  // an unusable code still reads back
    EXPECT_STREQ("0a0b", szSerial);
  }
  // A value that does not fit the 100-byte buffer reads as empty, not cut.
  std::ofstream(CloudStateFilePath()) << "[AuthCode]\nAuthCode=" << std::string(100, 'c')
                                      << "\nCertSN=" << std::string(99, 's') << "\n";
  cloudLoadState(szCode, szSerial);
  EXPECT_STREQ("", szCode);
  EXPECT_EQ(std::string(99, 's'), szSerial);

  // cloudEnd removes the image and the file, but keeps the file when the certificate stays.
  std::filesystem::remove(CloudStateFilePath());
  EXPECT_EQ(CLOUD_OK, cloudEnd());  // nothing there at all
  std::filesystem::create_directories(world.Dir().Join("config"));
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", nullptr);
  EXPECT_EQ(CLOUD_OK, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));
  EXPECT_FALSE(std::filesystem::exists(CloudStateFilePath()));

  // Removal is made to fail in the store directory: a directory that holds the serial's file
  // name cannot be unlinked, even by root.
  if (UserCertStoreDir().empty()) GTEST_SKIP() << "the system store has no directory";
  std::filesystem::create_directories(UserCertStoreDir() + "/0a0b.cer/inside");
  std::ofstream(CloudQrImagePath()) << "png";
  cloudSaveState("code1", "0a0b");
  EXPECT_EQ(CLOUD_END_FAILED, cloudEnd());
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));  // deleted before
  EXPECT_EQ("0a0b", CIniFile::GetValue("CertSN", "AuthCode", CloudStateFilePath(), ""));  // kept
}

// What the verifier was given, in calls joined by '|'; its answer.
std::string s_strVerified;
constexpr int kVerifierAnswer = -2000042;

int RecordingVerifier(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                      const unsigned char* pData, uint32_t nSigLen, const unsigned char* pSig) {
  for (const auto& part : {std::make_pair(pCert, nCertLen), std::make_pair(pData, nDataLen),
                           std::make_pair(pSig, nSigLen)}) {
    s_strVerified.append(reinterpret_cast<const char*>(part.first), part.second) += '|';
  }
  return kVerifierAnswer;
}

class CloudOps : public ::testing::Test {
 protected:
  void SetUp() override {
    // No service configured: an exchange that were made would fail with the library's
    // configuration code, which no case below expects.
    m_world.SetEnv("TOLVAN_CLOUD_HOST", nullptr);
    m_world.SetEnv("TOLVAN_CLOUD_ENVELOPE_CERT", nullptr);
    m_world.SetEnv("TOLVAN_CLOUD_KEY_POOL", "0");
    s_strVerified.clear();
  }
  // The code a network operation answers before its own steps on a build without the exchanges.
  static int Expect(int nCode) { return CK_IsAvailable() ? nCode : CK_ERR_NOT_AVAILABLE; }

  CCloudWorld m_world;
};

TEST_F(CloudOps, StoredCodeIsCheckedBeforeParametersAndTheNetworkAndClearTextMustFit) {
  RequestParams result;
  const RequestParams full = {{"verifyCode", "123456"}, {"clearText", "hello"}};
  // No state file; then an expired code; then an empty one.
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetState());
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetCert(full, result));
  cloudSaveState("code1", nullptr);
  CCloudWorld::SetNow(CCloudWorld::Now() + 1681);
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetState());
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudSignData(full, result));
  cloudSaveState("", nullptr);
  EXPECT_EQ(Expect(CLOUD_CODE_EMPTY), cloudGetCert(full, result));

  // A usable code: now the parameters count.
  cloudSaveState("code1", nullptr);
  EXPECT_EQ(Expect(CLOUD_MISSING_PARAM), cloudGetCert({{"clearText", "x"}}, result));
  EXPECT_EQ(Expect(CLOUD_MISSING_PARAM), cloudSignData({{"verifyCode", "1"}}, result));
  // The clear text must fit its Base64 buffer: 3,069 bytes make 4,092 Base64 characters, which
  // fit 4,096 with the NUL; 3,072 make 4,096.
  EXPECT_EQ(Expect(CLOUD_PARAM_TOO_LARGE),
            cloudSignData({{"verifyCode", "1"}, {"clearText", std::string(3072, 'a')}}, result));
  // The fitting one goes on to the exchange, which ends for want of the envelope certificate.
  EXPECT_EQ(Expect(CLOUD_ENVELOPE_FAILED),
            cloudSignData({{"verifyCode", "1"}, {"clearText", std::string(3069, 'a')}}, result));
  EXPECT_TRUE(result.empty());
}

TEST_F(CloudOps, VerifyPassesDecodedBytesAndTheVerifiersAnswer) {
  const RequestParams full = {{"signText", ToBase64("sig\x01")},
                              {"clearText", "ok \xc4\xe3\xba\xc3"},  // GBK
                              {"cert", ToBase64("cert-der")}};
  EXPECT_EQ(kVerifierAnswer, cloudVerifyData(full, RecordingVerifier));
  // The text as UTF-8, the signature not reversed.
  EXPECT_EQ("cert-der|ok \xe4\xbd\xa0\xe5\xa5\xbd|sig\x01|", s_strVerified);

  for (const char* szKey : {"signText", "clearText", "cert"}) {
    RequestParams request = full;
    request.erase(szKey);
    EXPECT_EQ(CLOUD_MISSING_PARAM, cloudVerifyData(request, RecordingVerifier)) << szKey;
  }
  const struct { const char* szKey; std::string strValue; int nCode; } cases[] = {
      {"signText", "***", CLOUD_BAD_PARAM},
      {"cert", "Zm9v!", CLOUD_BAD_PARAM},
      {"clearText", "\x81", CLOUD_BAD_PARAM},                            // not GBK
      {"signText", ToBase64(std::string(513, 's')), CLOUD_PARAM_TOO_LARGE},  // over 512 bytes
      {"cert", ToBase64(std::string(4097, 'c')), CLOUD_PARAM_TOO_LARGE},     // over 4,096
  };
  for (const auto& c : cases) {
    RequestParams request = full;
    request[c.szKey] = c.strValue;
    EXPECT_EQ(c.nCode, cloudVerifyData(request, RecordingVerifier)) << c.szKey << c.nCode;
  }
  // The largest that fit reach it whole.
  s_strVerified.clear();
  RequestParams request = full;
  request["cert"] = ToBase64(std::string(4096, 'c'));
  request["signText"] = ToBase64(std::string(512, 's'));
  EXPECT_EQ(kVerifierAnswer, cloudVerifyData(request, RecordingVerifier));
  EXPECT_EQ(std::string(4096, 'c') + "|ok \xe4\xbd\xa0\xe5\xa5\xbd|" + std::string(512, 's') + "|",
            s_strVerified);
}

}  // namespace
