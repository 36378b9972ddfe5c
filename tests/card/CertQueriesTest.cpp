// The four certificate queries against the card library double. Missing keys
// and failures that reset are in the tables of CryptoOpsTest.cpp.

#include "card/CardLifecycle.h"
#include "tests/card/CardTestSupport.h"

#include <string>

using CertQueries = CardDoubleTest;

namespace {
RequestParams GetCert(const char* szCertType) {
  return {{"Fun", "advGetCert"}, {"dwStoreType", "9"}, {"CertType", szCertType}};
}
}  // namespace

TEST_F(CertQueries, GetCertReadsTheLabelNamedByCertType) {
  WriteKeyLabelFile("<Conf><KeyLabel>LAB</KeyLabel></Conf>");
  const std::pair<const char*, const char*> kCases[] = {
      {"1", "LAB_ENC"}, {"2", "LAB_SIG"}, {"x", "LAB_SIG"}, {" 1z", "LAB_ENC"}};
  for (const auto& c : kCases) {
    ClearCalls();
    EXPECT_EQ((RequestParams{{"outData", ToBase64(std::string("CERT:") + c.second)}, {"return", "0"}}),
              Call(GetCert(c.first)));
    EXPECT_EQ(0u, Calls().find(std::string("pkiReadLabel ") + c.second + " 1\n"));
  }
  // Without a usable key label file the bare suffix is read.
  WriteKeyLabelFile("<KeyLabel>LAB");
  EXPECT_EQ(ToBase64("CERT:_ENC"), Call(GetCert("1"))["outData"]);
}

TEST_F(CertQueries, GetCertRefusesAKeyLabelTooLongForItsSuffix) {
  const std::string strLabel(55, 'k');
  WriteKeyLabelFile("<KeyLabel>" + strLabel + "</KeyLabel>");
  EXPECT_EQ(ToBase64("CERT:" + strLabel + "_SIG"), Call(GetCert("2"))["outData"]);
  WriteKeyLabelFile("<KeyLabel>" + strLabel + "K</KeyLabel>");
  ClearCalls();
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}), Call(GetCert("2")));
  EXPECT_EQ(std::string::npos, Calls().find("pkiReadLabel"));
}

TEST_F(CertQueries, CheckCertAndCertInfo) {
  EXPECT_EQ((RequestParams{{"return", "0"}}), Call({{"Fun", "advCheckCert"}, {"cert64", ToBase64("CERT:ok")}}));
  EXPECT_NE(std::string::npos, Calls().find("pkiBase64Decode size " + ToBase64("CERT:ok") + "\npkiBase64Decode " +
                                            ToBase64("CERT:ok") + "\npkiCheckCert CERT:ok\n"));
  EXPECT_EQ((RequestParams{{"outData", ToBase64("<cert>CERT:x</cert>")}, {"return", "0"}}),
            Call({{"Fun", "advGetCertInfo"}, {"cert64", ToBase64("CERT:x")}}));
  // Bad Base64 resets without checking anything.
  ClearCalls();
  EXPECT_EQ(std::to_string(DBL_ERR_BAD_BASE64), Call({{"Fun", "advCheckCert"}, {"cert64", "%%%"}})["return"]);
  EXPECT_EQ(std::string::npos, Calls().find("pkiCheckCert"));
  EXPECT_FALSE(CardCallsAnswered());
}

TEST_F(CertQueries, PreferAlgAnswersDecimalTextAndNeverResets) {
  EXPECT_EQ((RequestParams{{"outData", "7"}, {"return", "0"}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("CERT:rsa")}}));
  EXPECT_EQ((RequestParams{{"outData", "0"}, {"return", "0"}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("CERT:ZERO")}}));
  EXPECT_NE(std::string::npos, Calls().find("pkiGetCertInfoEx CERT:rsa preset=0\n"));  // goes in as 0
  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_BAD_CERT)}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("other")}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiEnd"));
  EXPECT_TRUE(CardCallsAnswered());

  // Certificates beyond its buffer are refused before the library sees them.
  const std::string strFits = "CERT:" + std::string(10240 - 5, 'c');
  EXPECT_EQ("7", Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64(strFits)}})["outData"]);
  ClearCalls();
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64(strFits + "c")}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiGetCertInfoEx"));
}
