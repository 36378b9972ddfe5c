// The four certificate queries against the card library double.

#include "card/CardLifecycle.h"
#include "tests/card/CardTestSupport.h"

#include <string>

using CertQueries = CardDoubleTest;

TEST_F(CertQueries, GetCertReadsTheLabelNamedByCertType) {
  WriteKeyLabelFile("<Conf><KeyLabel>LAB</KeyLabel></Conf>");
  struct {
    const char* szCertType;
    const char* szLabelName;
  } const cases[] = {{"1", "LAB_ENC"}, {"2", "LAB_SIG"}, {"x", "LAB_SIG"}, {" 1z", "LAB_ENC"}};
  for (const auto& c : cases) {
    ClearCalls();
    RequestParams result = Call({{"Fun", "advGetCert"}, {"dwStoreType", "9"}, {"CertType", c.szCertType}});
    EXPECT_EQ("0", result["return"]) << c.szCertType;
    EXPECT_EQ(ToBase64(std::string("CERT:") + c.szLabelName), result["outData"]);
    EXPECT_EQ(0u, Calls().find(std::string("pkiReadLabel ") + c.szLabelName + " 1\n"));
  }
}

TEST_F(CertQueries, GetCertWithoutKeyLabelFileReadsTheBareSuffix) {
  EXPECT_EQ(ToBase64("CERT:_SIG"),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "0"}})["outData"]);
  WriteKeyLabelFile("<KeyLabel>LAB");  // no closing tag: the label stays empty
  EXPECT_EQ(ToBase64("CERT:_ENC"),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "1"}})["outData"]);
}

TEST_F(CertQueries, GetCertNeedsBothKeys) {
  EXPECT_EQ((RequestParams{{"return", "-10001"}}), Call({{"Fun", "advGetCert"}, {"CertType", "1"}}));
  EXPECT_EQ((RequestParams{{"return", "-10001"}}),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "1"}}));
  EXPECT_EQ("", Calls());
  EXPECT_TRUE(CardCallsAnswered());  // a missing key does not reset
}

TEST_F(CertQueries, GetCertRefusesAKeyLabelTooLongForItsSuffix) {
  std::string strLabel(55, 'k');
  WriteKeyLabelFile("<KeyLabel>" + strLabel + "</KeyLabel>");
  EXPECT_EQ(ToBase64("CERT:" + strLabel + "_SIG"),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "2"}})["outData"]);

  WriteKeyLabelFile("<KeyLabel>" + strLabel + "K</KeyLabel>");
  ClearCalls();
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "2"}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiReadLabel"));
}

TEST_F(CertQueries, GetCertFailureResetsTheLibrary) {
  // Without pkiInit the double's token functions fail.
  FailWith("pkiReadLabel", 4242);
  EXPECT_EQ("4242", Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "2"}})["return"]);
  EXPECT_NE(std::string::npos, Calls().find("pkiEnd\n"));
  EXPECT_FALSE(CardCallsAnswered());
}

TEST_F(CertQueries, GetCertRefusesALengthBeyondItsBuffer) {
  Overreport("pkiReadLabel");
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_BAD_LIBRARY_OUTPUT)}}),
            Call({{"Fun", "advGetCert"}, {"dwStoreType", "0"}, {"CertType", "2"}}));
}

TEST_F(CertQueries, CheckCertAcceptsAndRejects) {
  EXPECT_EQ((RequestParams{{"return", "0"}}),
            Call({{"Fun", "advCheckCert"}, {"cert64", ToBase64("CERT:ok")}}));
  EXPECT_NE(std::string::npos, Calls().find("pkiBase64Decode size " + ToBase64("CERT:ok") +
                                            "\npkiBase64Decode " + ToBase64("CERT:ok") +
                                            "\npkiCheckCert CERT:ok\n"));
  // A rejected certificate answers the library's code and resets: the next
  // card call answers -101 until the library is initialised again.
  EXPECT_EQ(std::to_string(DBL_ERR_BAD_CERT),
            Call({{"Fun", "advCheckCert"}, {"cert64", ToBase64("junk")}})["return"]);
  EXPECT_FALSE(CardCallsAnswered());
  ASSERT_EQ(0, pasInit());
  EXPECT_TRUE(CardCallsAnswered());
}

TEST_F(CertQueries, CheckCertWithBadBase64ResetsWithoutChecking) {
  EXPECT_EQ(std::to_string(DBL_ERR_BAD_BASE64),
            Call({{"Fun", "advCheckCert"}, {"cert64", "%%%"}})["return"]);
  EXPECT_EQ(std::string::npos, Calls().find("pkiCheckCert"));
  EXPECT_FALSE(CardCallsAnswered());
  ASSERT_EQ(0, pasInit());
  EXPECT_EQ("-10001", Call({{"Fun", "advCheckCert"}})["return"]);
  EXPECT_TRUE(CardCallsAnswered());  // a missing key does not reset
}

TEST_F(CertQueries, CertInfoAnswersTheXmlAsBase64) {
  RequestParams result = Call({{"Fun", "advGetCertInfo"}, {"cert64", ToBase64("CERT:x")}});
  EXPECT_EQ("0", result["return"]);
  EXPECT_EQ(ToBase64("<cert>CERT:x</cert>"), result["outData"]);

  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_BAD_CERT)}}),
            Call({{"Fun", "advGetCertInfo"}, {"cert64", ToBase64("nope")}}));
  EXPECT_FALSE(CardCallsAnswered());
}

TEST_F(CertQueries, PreferAlgAnswersDecimalTextNotBase64) {
  EXPECT_EQ((RequestParams{{"outData", "7"}, {"return", "0"}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("CERT:rsa")}}));
  EXPECT_EQ((RequestParams{{"outData", "0"}, {"return", "0"}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("CERT:ZERO")}}));
  // The number goes in as 0.
  EXPECT_NE(std::string::npos, Calls().find("pkiGetCertInfoEx CERT:rsa preset=0\n"));
}

TEST_F(CertQueries, PreferAlgFailureAnswersTheCodeWithoutReset) {
  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_BAD_CERT)}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64("other")}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiEnd"));
  EXPECT_TRUE(CardCallsAnswered());
}

TEST_F(CertQueries, PreferAlgRefusesCertificatesBeyondItsBuffer) {
  std::string strFits = "CERT:" + std::string(10240 - 5, 'c');
  EXPECT_EQ("7", Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64(strFits)}})["outData"]);
  ClearCalls();
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64(strFits + "c")}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiGetCertInfoEx"));
}
