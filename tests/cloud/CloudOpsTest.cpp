// The cloud operations' own checks, which come before any exchange: the
// order of their steps, their codes and the fixed buffers. (The exchanges
// themselves are tested end to end against the simulated service.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cloud/CloudOps.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/cloud/CloudTestSupport.h"

namespace {

// What the verifier was given, and what it answers.
struct CVerifyCall {
  int nCalls = 0;
  std::string strCert, strData, strSig;
};
CVerifyCall s_verify;
constexpr int kVerifierAnswer = -2000042;

int RecordingVerifier(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                      const unsigned char* pData, uint32_t nSigLen, const unsigned char* pSig) {
  ++s_verify.nCalls;
  s_verify.strCert.assign(reinterpret_cast<const char*>(pCert), nCertLen);
  s_verify.strData.assign(reinterpret_cast<const char*>(pData), nDataLen);
  s_verify.strSig.assign(reinterpret_cast<const char*>(pSig), nSigLen);
  return kVerifierAnswer;
}

class CloudOps : public ::testing::Test {
 protected:
  void SetUp() override {
    // No service configured: an exchange that were made would fail with the
    // library's configuration code, which no case below expects.
    m_world.SetEnv("TOLVAN_CLOUD_HOST", nullptr);
    m_world.SetEnv("TOLVAN_CLOUD_ENVELOPE_CERT", nullptr);
    m_world.SetEnv("TOLVAN_CLOUD_KEY_POOL", "0");
    s_verify = CVerifyCall();
  }
  // The code a network operation answers before its own steps on a build
  // without the exchanges.
  static int Expect(int nCode) { return CK_IsAvailable() ? nCode : CK_ERR_NOT_AVAILABLE; }

  CCloudWorld m_world;
};

TEST_F(CloudOps, StoredCodeIsCheckedBeforeParametersAndTheNetwork) {
  RequestParams result;
  const RequestParams full = {{"verifyCode", "123456"}, {"clearText", "hello"}};
  // No state file; then an expired code; then an empty one.
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetState());
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetCert(full, result));
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudSignData(full, result));
  cloudSaveState("code1", nullptr);
  CCloudWorld::SetNow(CCloudWorld::Now() + 1681);
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetState());
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudGetCert(full, result));
  EXPECT_EQ(Expect(CLOUD_CODE_UNUSABLE), cloudSignData(full, result));
  cloudSaveState("", nullptr);
  EXPECT_EQ(Expect(CLOUD_CODE_EMPTY), cloudGetCert(full, result));
  EXPECT_EQ(Expect(CLOUD_CODE_EMPTY), cloudSignData(full, result));

  // A usable code: now the parameters count.
  cloudSaveState("code1", nullptr);
  EXPECT_EQ(Expect(CLOUD_MISSING_PARAM), cloudGetCert({{"clearText", "x"}}, result));
  EXPECT_EQ(Expect(CLOUD_MISSING_PARAM), cloudSignData({{"clearText", "x"}}, result));
  EXPECT_EQ(Expect(CLOUD_MISSING_PARAM), cloudSignData({{"verifyCode", "1"}}, result));
  EXPECT_TRUE(result.empty());
}

TEST_F(CloudOps, ClearTextMustFitItsBase64Buffer) {
  RequestParams result;
  cloudSaveState("code1", nullptr);
  // 3,069 bytes make 4,092 Base64 characters, which fit 4,096 with the NUL;
  // 3,072 make 4,096, which do not.
  EXPECT_EQ(Expect(CLOUD_PARAM_TOO_LARGE),
            cloudSignData({{"verifyCode", "1"}, {"clearText", std::string(3072, 'a')}}, result));
  // The fitting one goes on to the sealed exchange, which ends for want of
  // the service's envelope certificate.
  EXPECT_EQ(Expect(CLOUD_ENVELOPE_FAILED),
            cloudSignData({{"verifyCode", "1"}, {"clearText", std::string(3069, 'a')}}, result));
  EXPECT_TRUE(result.empty());
}

TEST_F(CloudOps, MakeQrWithoutAServiceStoresNothing) {
  EXPECT_EQ(Expect(CLOUD_NO_AUTH_CODE), cloudMakeQr());
  EXPECT_FALSE(std::filesystem::exists(CloudStateFilePath()));
  EXPECT_FALSE(std::filesystem::exists(CloudQrImagePath()));
}

TEST_F(CloudOps, VerifyPassesDecodedBytesAndTheVerifiersAnswer) {
  const std::string strCert = "cert-der-bytes";
  const std::string strSig(256, '\x5a');
  const RequestParams full = {{"signText", ToBase64(strSig)},
                              {"clearText", "ok \xc4\xe3\xba\xc3"},  // GBK
                              {"cert", ToBase64(strCert)}};
  EXPECT_EQ(kVerifierAnswer, cloudVerifyData(full, RecordingVerifier));
  EXPECT_EQ(1, s_verify.nCalls);
  EXPECT_EQ(strCert, s_verify.strCert);
  EXPECT_EQ("ok \xe4\xbd\xa0\xe5\xa5\xbd", s_verify.strData);  // as UTF-8
  EXPECT_EQ(strSig, s_verify.strSig);                            // not reversed

  struct CCase {
    const char* szName;
    const char* szKey;  // the parameter changed (or removed, when szValue is null)
    const char* szValue;
    int nCode;
  } cases[] = {
      {"no signText", "signText", nullptr, CLOUD_MISSING_PARAM},
      {"no clearText", "clearText", nullptr, CLOUD_MISSING_PARAM},
      {"no cert", "cert", nullptr, CLOUD_MISSING_PARAM},
      {"signText not Base64", "signText", "***", CLOUD_BAD_PARAM},
      {"cert not Base64", "cert", "Zm9v!", CLOUD_BAD_PARAM},
      {"clearText not GBK", "clearText", "\x81", CLOUD_BAD_PARAM},
  };
  for (const CCase& c : cases) {
    RequestParams request = full;
    if (c.szValue == nullptr) {
      request.erase(c.szKey);
    } else {
      request[c.szKey] = c.szValue;
    }
    EXPECT_EQ(c.nCode, cloudVerifyData(request, RecordingVerifier)) << c.szName;
  }
  // Beyond the fixed buffers: a signature of 513 bytes, a certificate of 4,097.
  RequestParams request = full;
  request["signText"] = ToBase64(std::string(513, 's'));
  EXPECT_EQ(CLOUD_PARAM_TOO_LARGE, cloudVerifyData(request, RecordingVerifier));
  request = full;
  request["cert"] = ToBase64(std::string(4097, 'c'));
  EXPECT_EQ(CLOUD_PARAM_TOO_LARGE, cloudVerifyData(request, RecordingVerifier));
  request["cert"] = ToBase64(std::string(4096, 'c'));
  request["signText"] = ToBase64(std::string(512, 's'));
  EXPECT_EQ(kVerifierAnswer, cloudVerifyData(request, RecordingVerifier));
  EXPECT_EQ(2, s_verify.nCalls);  // only the two whole requests reached it
  // A request without any of the three parameters.
  EXPECT_EQ(CLOUD_MISSING_PARAM, cloudVerifyData({}, RecordingVerifier));
}

}  // namespace
