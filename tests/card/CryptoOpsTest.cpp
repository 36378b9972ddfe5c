// The card operations against the card library double: the four certificate
// queries, the eight cryptographic operations, and the rules every card
// operation shares: required keys and reset on failure.

#include "card/CardLifecycle.h"
#include "tests/card/CardTestSupport.h"

#include <string>

namespace {

RequestParams GetCert(const char* szCertType) {
  return {{"Fun", "advGetCert"}, {"dwStoreType", "9"}, {"CertType", szCertType}};
}

RequestParams SignRequest(const std::string& strSignType, const std::string& strClear) {
  return {{"Fun", "advSignData"}, {"label", "KEY"},       {"keyPasswd", "1234"},
          {"digestAlgo", "2"},    {"signType", strSignType}, {"clearText", strClear}};
}

}  // namespace

using CertQueries = CardDoubleTest;
using CryptoOps = CardDoubleTest;

TEST_F(CertQueries, GetCertReadsTheLabelNamedByCertType) {
  WriteKeyLabelFile("<Conf><KeyLabel>LAB</KeyLabel></Conf>");
  EXPECT_EQ((RequestParams{{"outData", ToBase64("CERT:LAB_ENC")}, {"return", "0"}}),
            Call(GetCert("1")));
  EXPECT_EQ(0u, Calls().find("pkiReadLabel LAB_ENC 1\n"));
  EXPECT_EQ(ToBase64("CERT:LAB_SIG"), Call(GetCert("x"))["outData"]);
  // Without a usable key label file the bare suffix is read.
  WriteKeyLabelFile("<KeyLabel>LAB");
  EXPECT_EQ(ToBase64("CERT:_ENC"), Call(GetCert("1"))["outData"]);

  // A label of 55 bytes takes its suffix; a longer one is refused before the library sees it.
  const std::string strLabel(55, 'k');
  WriteKeyLabelFile("<KeyLabel>" + strLabel + "</KeyLabel>");
  EXPECT_EQ(ToBase64("CERT:" + strLabel + "_SIG"), Call(GetCert("2"))["outData"]);
  WriteKeyLabelFile("<KeyLabel>" + strLabel + "K</KeyLabel>");
  Calls(true);
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}), Call(GetCert("2")));
  EXPECT_EQ(std::string::npos, Calls().find("pkiReadLabel"));
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
  Calls(true);
  EXPECT_EQ((RequestParams{{"return", std::to_string(API_PARAM_TOO_LARGE)}}),
            Call({{"Fun", "advGetCertPreferAlg"}, {"cert64", ToBase64(strFits + "c")}}));
  EXPECT_EQ(std::string::npos, Calls().find("pkiGetCertInfoEx"));

  // Checking and describing a certificate decode it with the two-call protocol.
  EXPECT_EQ((RequestParams{{"return", "0"}}), Call({{"Fun", "advCheckCert"}, {"cert64", ToBase64("CERT:ok")}}));
  EXPECT_NE(std::string::npos, Calls().find("pkiBase64Decode size " + ToBase64("CERT:ok") + "\npkiBase64Decode " +
                                            ToBase64("CERT:ok") + "\npkiCheckCert CERT:ok\n"));
  EXPECT_EQ((RequestParams{{"outData", ToBase64("<cert>CERT:x</cert>")}, {"return", "0"}}),
            Call({{"Fun", "advGetCertInfo"}, {"cert64", ToBase64("CERT:x")}}));
  // Bad Base64 resets without checking anything.
  Calls(true);
  EXPECT_EQ(std::to_string(DBL_ERR_BAD_BASE64), Call({{"Fun", "advCheckCert"}, {"cert64", "%%%"}})["return"]);
  EXPECT_EQ(std::string::npos, Calls().find("pkiCheckCert"));
  EXPECT_FALSE(CardCallsAnswered());
}

TEST_F(CryptoOps, SignDataSignsDecodedBytesOnlyForSignType2) {
  EXPECT_EQ(ToBase64("SIG(KEY,2):hello"), Call(SignRequest("2", ToBase64("hello")))["outData"]);
  for (const char* szSignType : {"1", "x"}) {
    RequestParams result = Call(SignRequest(szSignType, ToBase64("hello")));
    EXPECT_EQ("0", result["return"]);
    EXPECT_EQ(ToBase64("SIG(KEY,2):" + ToBase64("hello")), result["outData"]) << szSignType;
  }
  // Raw text is passed with its own length, zero bytes included.
  std::string strRaw("a\0b", 3);
  EXPECT_EQ(ToBase64("SIG(KEY,2):" + strRaw), Call(SignRequest("1", strRaw))["outData"]);
  // Bad Base64 fails instead of signing nothing, and does not reset.
  Calls(true);
  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_BAD_BASE64)}}), Call(SignRequest("2", "not base64!")));
  EXPECT_EQ(std::string::npos, Calls().find("pkiGetSignature"));
  EXPECT_TRUE(CardCallsAnswered());

  // Verification answers the library's verdict whatever the algorithm.
  RequestParams request = {{"Fun", "advVerifySign"}, {"clearText", "hello"}, {"sigCert64", ToBase64("CERT:v")},
                           {"sigData64", ToBase64("SIG(KEY,2):hello")}, {"digestAlgo", "99"}, {"signType", "2"}};
  EXPECT_EQ((RequestParams{{"return", "0"}}), Call(request));
  request["clearText"] = "hellO";
  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_SIGNATURE_INVALID)}}), Call(request));
  EXPECT_FALSE(CardCallsAnswered());  // the failure reset the library
}

TEST_F(CryptoOps, SignDataResetsOnlyForAMissingLabel) {
  RequestParams request = SignRequest("1", "x");
  request.erase("keyPasswd");
  EXPECT_EQ("-10001", Call(request)["return"]);
  EXPECT_TRUE(CardCallsAnswered());

  // A wrong password leaves the library initialised.
  request = SignRequest("1", "x");
  request["keyPasswd"] = "0000";
  EXPECT_EQ(std::to_string(DBL_ERR_PIN_INCORRECT), Call(request)["return"]);
  EXPECT_TRUE(CardCallsAnswered());

  request.erase("label");
  EXPECT_EQ("-10001", Call(request)["return"]);
  EXPECT_FALSE(CardCallsAnswered());
  EXPECT_NE(std::string::npos, Calls().find("pkiEnd\n"));
}

TEST_F(CryptoOps, EnvelopesRoundTripAndOpeningNeverResets) {
  RequestParams sealed = Call(
      {{"Fun", "advSealEnvelope"}, {"encCert64", ToBase64("CERT:e")}, {"symmAlgo", "3"}, {"clearText", "secret"}});
  ASSERT_EQ("0", sealed["return"]);
  EXPECT_EQ(ToBase64("ENV3:secret"), sealed["outData"]);
  RequestParams request = {
      {"Fun", "advOpenEnvelope"}, {"keyLabel", "KEY"}, {"passwd", "1234"}, {"envData64", sealed["outData"]}};
  EXPECT_EQ((RequestParams{{"outData", ToBase64("secret")}, {"return", "0"}}), Call(request));

  request["passwd"] = "bad";
  EXPECT_EQ((RequestParams{{"return", std::to_string(DBL_ERR_PIN_INCORRECT)}}), Call(request));
  request["envData64"] = "***";
  EXPECT_EQ(std::to_string(DBL_ERR_BAD_BASE64), Call(request)["return"]);
  EXPECT_TRUE(CardCallsAnswered());

  // Hashes and symmetric ciphers pass their algorithm, key and data through.
  EXPECT_EQ((RequestParams{{"outData", ToBase64("H3:abc")}, {"return", "0"}}),
            Call({{"Fun", "advHashData"}, {"hashAlgo", "3"}, {"clearText", "abc"}}));

  const std::string strKey64 = ToBase64("k3y");
  RequestParams enc = Call(
      {{"Fun", "advSymmEncrypt"}, {"symmAlgo", "1"}, {"clearText", "attack at dawn"}, {"symmKey64", strKey64}});
  ASSERT_EQ("0", enc["return"]);
  EXPECT_EQ((RequestParams{{"outData", ToBase64("attack at dawn")}, {"return", "0"}}),
            Call({{"Fun", "advSymmDecrypt"}, {"symmAlgo", "1"}, {"symmKey64", strKey64},
                  {"SymmData64", enc["outData"]}}));
  EXPECT_NE(std::string::npos, Calls().find("pkiSymmCryptData 0 1 k3y "));
}

TEST_F(CryptoOps, MissingKeysAnswerMissingBeforeAnyLibraryCall) {
  const RequestParams requests[] = {
      {{"Fun", "advGetCert"}, {"CertType", "1"}},
      {{"Fun", "advGetCert"}, {"dwStoreType", "1"}},
      {{"Fun", "advCheckCert"}},
      {{"Fun", "advVerifySign"}, {"clearText", "a"}, {"sigCert64", "AA=="}, {"sigData64", "AA=="}},
      {{"Fun", "advGenRandom"}},
      {{"Fun", "advSymmDecrypt"}, {"symmAlgo", "1"}, {"symmKey64", "AA=="}},
  };
  for (const RequestParams& request : requests) {
    EXPECT_EQ((RequestParams{{"return", "-10001"}}), Call(request)) << request.at("Fun");
  }
  EXPECT_EQ("", Calls());
  EXPECT_TRUE(CardCallsAnswered());
}
