// The cloud key end to end: pages' calls over the agent's HTTP interface,
// the agent's exchanges with the simulated cloud signing service over HTTPS,
// the QR image read by zbarimg, signatures checked by openssl, and a service
// that refuses, is slow, answers garbage or is not there.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "base/system/CertStore.h"
#include "card/CardLibrary.h"
#include "cloud/CloudResult.h"
#include "cloud/CloudState.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/cloud/CloudAgentFixture.h"
#include "tests/support/CommandLine.h"
#include "tests/support/TestText.h"

namespace {

bool StoreHolds(const std::string& strDer) {
  const std::vector<CertDer> vecCerts = ListUserCerts();
  return std::count(vecCerts.begin(), vecCerts.end(), CertDer(strDer.begin(), strDer.end())) != 0;
}

class CloudE2E : public ::testing::Test {
 protected:
  explicit CloudE2E(long nTimeoutMs = 10000) : m_agent(nTimeoutMs, 2) {}
  void SetUp() override {
    ASSERT_TRUE(m_agent.Ok()) << "simulator or agent did not start";
    // cloudVerifyData checks through the card library beside the test.
    ASSERT_TRUE(EnsureCardLibraryLoaded());
  }
  std::string Path(const char* szName) { return m_agent.World().Dir().Join(szName); }
  // A command line run in the test's directory; its exit code.
  int Run(const std::string& strCommand) { return RunIn(m_agent.World().Dir().Str(), strCommand); }
  // A sealed operation with its verification code (the clear text only signing reads).
  RequestParams Sealed(const char* szFun, const std::string& strVerify,
                       const std::string& strClear = "x") {
    return m_agent.Call({{"Fun", szFun}, {"verifyCode", strVerify}, {"clearText", strClear}});
  }

  // cloudMakeQr, and the user's scan of its code: the verification code.
  std::string Enrol() {
    EXPECT_EQ("0", m_agent.Call({{"Fun", "cloudMakeQr"}})["return"]);
    return m_agent.Post("/control/scan", "{\"cloudKey\":\"" + m_agent.Stored("AuthCode") + "\"}",
                        "verifyCode");
  }

  CCloudAgentFixture m_agent;
};

TEST_F(CloudE2E, EnrolGetCertificateSignVerifyAndEnd) {
  // The QR image holds the service's text for the code it issued.
  EXPECT_EQ((RequestParams{{"return", "0"}}), m_agent.Call({{"Fun", "cloudMakeQr"}}));
  const std::string strCode = m_agent.Stored("AuthCode");
  ASSERT_EQ(32u, strCode.size());
  const std::string strPng = CloudQrImagePath();
  ASSERT_EQ(0, Run("zbarimg --raw -q '" + strPng + "' > qr.txt"));
  EXPECT_EQ("tolvan-cloudkey:" + strCode + "\n", ReadFile(Path("qr.txt")));

  // Not scanned yet: state 0 and the image stays; after the scan the
  // service's state, and the image goes.
  EXPECT_EQ("0", m_agent.Call({{"Fun", "cloudGetState"}})["return"]);
  EXPECT_TRUE(std::filesystem::exists(strPng));
  const std::string strVerify =
      m_agent.Post("/control/scan", "{\"cloudKey\":\"" + strCode + "\"}", "verifyCode");
  ASSERT_EQ(6u, strVerify.size());
  EXPECT_EQ("2", m_agent.Call({{"Fun", "cloudGetState"}})["return"]);
  EXPECT_FALSE(std::filesystem::exists(strPng));

  // The certificate: answered, installed in the store, its serial stored.
  RequestParams answer = Sealed("cloudGetCert", strVerify);
  ASSERT_EQ("0", answer["return"]) << answer["error"];
  const std::string strCertB64 = answer["outData"];
  const std::string strCertDer = FromBase64(strCertB64);
  ASSERT_FALSE(strCertDer.empty());
  EXPECT_TRUE(StoreHolds(strCertDer));
  WriteFile(Path("user.der"), strCertDer);
  ASSERT_EQ(0, Run("openssl x509 -inform DER -in user.der -out user.pem"));
  ASSERT_EQ(0, Run("openssl x509 -in user.pem -noout -serial > serial.txt"));
  std::string strSerial = ReadFile(Path("serial.txt")).substr(7);
  strSerial = strSerial.substr(0, strSerial.find('\n'));
  for (char& c : strSerial) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // openssl drops a leading 00 byte that the store's form keeps.
  std::string strStored = m_agent.Stored("CertSN");
  EXPECT_EQ(strSerial, strStored.compare(0, 2, "00") == 0 ? strStored.substr(2) : strStored);
  // A wrong verification code is the service's refusal.
  EXPECT_EQ("40301", Sealed("cloudGetCert", "000000x")["return"]);

  // A signature openssl verifies over the clear text with that certificate.
  const std::string strClear = "Pay 100 to Tolvan, ref 7";
  answer = Sealed("cloudSignData", strVerify, strClear);
  ASSERT_EQ("0", answer["return"]) << answer["error"];
  const std::string strSignB64 = answer["outData"];
  WriteFile(Path("sig.bin"), FromBase64(strSignB64));
  WriteFile(Path("clear.txt"), strClear);
  ASSERT_EQ(0, Run("openssl x509 -in user.pem -noout -pubkey > user.pub"));
  EXPECT_EQ(0, Run("openssl dgst -sha256 -verify user.pub -signature sig.bin clear.txt > sig.txt"));

  // The agent's own check accepts it, and refuses a changed text.
  EXPECT_EQ("0", m_agent.Call({{"Fun", "cloudVerifyData"}, {"signText", strSignB64},
                               {"clearText", strClear}, {"cert", strCertB64}})["return"]);
  EXPECT_NE("0", m_agent.Call({{"Fun", "cloudVerifyData"}, {"signText", strSignB64},
                               {"clearText", strClear + "0"}, {"cert", strCertB64}})["return"]);

  // A second enrolment's certificate replaces the first in the store.
  const std::string strVerify2 = Enrol();
  answer = Sealed("cloudGetCert", strVerify2);
  ASSERT_EQ("0", answer["return"]) << answer["error"];
  const std::string strCertDer2 = FromBase64(answer["outData"]);
  EXPECT_NE(strCertDer, strCertDer2);
  EXPECT_FALSE(StoreHolds(strCertDer));
  EXPECT_TRUE(StoreHolds(strCertDer2));

  // cloudEnd leaves nothing behind.
  ASSERT_TRUE(std::filesystem::exists(strPng));  // the second enrolment's image
  EXPECT_EQ((RequestParams{{"return", "0"}}), m_agent.Call({{"Fun", "cloudEnd"}}));
  EXPECT_FALSE(std::filesystem::exists(strPng));
  EXPECT_FALSE(StoreHolds(strCertDer2));
  EXPECT_FALSE(std::filesystem::exists(CloudStateFilePath()));
}

TEST_F(CloudE2E, UntrustedRepliesGiveCodesAndInstallNothing) {
  const std::string strVerify = Enrol();
  RequestParams answer = Sealed("cloudGetCert", strVerify);
  ASSERT_EQ("0", answer["return"]);
  const std::string strCertDer = FromBase64(answer["outData"]);
  const std::string strSerial = m_agent.Stored("CertSN");

  const struct { const char* szMode; const char* szFun; int nCode; } cases[] = {
      {"notjson", "cloudGetCert", CK_ERR_BAD_REPLY},
      {"status500", "cloudGetCert", CK_ERR_HTTP_STATUS},
      {"longmember", "cloudGetCert", CK_ERR_REPLY_TOO_LARGE},
      {"badbase64", "cloudGetCert", CLOUD_BAD_REPLY},  // certB64 inside the envelope
      {"badenvelope", "cloudGetCert", CK_ERR_ENVELOPE_OPEN},
      {"badcert", "cloudGetCert", CLOUD_BAD_REPLY},
      {"notjson", "cloudSignData", CK_ERR_BAD_REPLY},
      {"longmember", "cloudSignData", CK_ERR_REPLY_TOO_LARGE},
      {"badenvelope", "cloudSignData", CK_ERR_ENVELOPE_OPEN},
      {"badbase64", "cloudSignData", CLOUD_BAD_REPLY},
      {"shortsig", "cloudSignData", CLOUD_BAD_REPLY},
  };
  for (const auto& c : cases) {
    m_agent.Post("/control/garbage", std::string("{\"mode\":\"") + c.szMode + "\"}", "mode");
    answer = Sealed(c.szFun, strVerify, "abc");
    EXPECT_EQ((RequestParams{{"return", std::to_string(c.nCode)}}), answer)
        << c.szMode << " " << c.szFun;
    m_agent.Post("/control/reset", "{}", "none");
    EXPECT_TRUE(StoreHolds(strCertDer)) << c.szMode;  // still the one installed
    EXPECT_EQ(1u, ListUserCerts().size()) << c.szMode;
    EXPECT_EQ(strSerial, m_agent.Stored("CertSN")) << c.szMode;
  }
  // Garbage in the state reply reads as state 0, and the agent goes on.
  m_agent.Post("/control/garbage", "{\"mode\":\"notjson\"}", "mode");
  EXPECT_EQ("0", m_agent.Call({{"Fun", "cloudGetState"}})["return"]);
  EXPECT_EQ(std::to_string(CLOUD_NO_AUTH_CODE), m_agent.Call({{"Fun", "cloudMakeQr"}})["return"]);
}

TEST_F(CloudE2E, RefusingAbsentAndUntrustedServices) {
  const std::string strVerify = Enrol();
  m_agent.Post("/control/refuse", "{\"errorCode\":40999}", "none");
  EXPECT_EQ("40999", Sealed("cloudGetCert", strVerify)["return"]);
  EXPECT_EQ("40999", Sealed("cloudSignData", strVerify)["return"]);
  EXPECT_EQ(std::to_string(CLOUD_NO_AUTH_CODE), m_agent.Call({{"Fun", "cloudMakeQr"}})["return"]);
  m_agent.Post("/control/reset", "{}", "none");

  // A service whose certificate does not chain to the trust anchor: the
  // envelope certificate is no CA of its TLS certificate.
  m_agent.World().SetEnv("TOLVAN_CLOUD_TRUST_ANCHOR", m_agent.SimFile("envelope.pem").c_str());
  EXPECT_EQ(std::to_string(CK_ERR_TLS), Sealed("cloudSignData", strVerify)["return"]);

  // No service on the port.
  m_agent.World().SetEnv("TOLVAN_CLOUD_TRUST_ANCHOR", m_agent.SimFile("ca.pem").c_str());
  m_agent.World().SetEnv("TOLVAN_CLOUD_PORT", "1");
  EXPECT_EQ(std::to_string(CK_ERR_CONNECT), Sealed("cloudSignData", strVerify)["return"]);
}

class CloudE2ESlow : public CloudE2E {
 protected:
  CloudE2ESlow() : CloudE2E(1500) {}
};

TEST_F(CloudE2ESlow, SlowServiceTimesOutWhileTheAgentServes) {
  const std::string strVerify = Enrol();
  // The service now answers after a minute; the exchange's time-out is 1.5 s.
  m_agent.Post("/control/slow", "{\"delayMs\":60000}", "none");
  const auto tStart = std::chrono::steady_clock::now();
  auto slow = std::async(std::launch::async, [&] { return Sealed("cloudSignData", strVerify); });
  // Meanwhile the agent answers other calls.
  EXPECT_EQ("-10001", m_agent.Call({{"Fun", "cloudVerifyData"}})["return"]);
  EXPECT_EQ((RequestParams{{"return", std::to_string(CK_ERR_TIMEOUT)}}), slow.get());
  EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(30));
  m_agent.Post("/control/reset", "{}", "none");
}

}  // namespace
