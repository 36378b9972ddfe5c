// Base64, byte reversal, GBK conversions, the strict JSON reader and writer,
// and the configuration: what the cloud operations rely on.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "libs/cloudkey/CkJson.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

namespace {

std::string Encode(const std::string& strIn) {
  std::string strOut(Base64EncodedSize(strIn.size()) + 1, '\x7f');
  const int n = Base64Encode(&strOut[0], strIn.data(), static_cast<int>(strIn.size()));
  EXPECT_EQ('\0', strOut[static_cast<size_t>(n)]);
  return strOut.substr(0, static_cast<size_t>(n));
}

// The decoded bytes, or "<bad>" when the text was refused.
std::string Decode(const std::string& strIn) {
  std::string strOut(Base64DecodedMax(strIn.size()) + 1, '\0');
  const int n = Base64Decode(&strOut[0], strIn.data(), static_cast<int>(strIn.size()));
  return n < 0 ? "<bad>" : strOut.substr(0, static_cast<size_t>(n));
}

TEST(CloudKeyBase64, EncodesAndDecodesStrictly) {
  const std::pair<std::string, std::string> round[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {std::string("\0\xff\xfe", 3), "AP/+"},
  };
  for (const auto& c : round) {
    EXPECT_EQ(c.second, Encode(c.first));
    EXPECT_EQ(c.first, Decode(c.second));
  }
  // Wrong length, wrong alphabet, padding inside or too long, blanks, and
  // padding bits that are not zero.
  for (const char* szBad : {"Zg=", "Zm9", "Zm9v\n", "Zm 9v", "Z===", "Zg==Zm9v", "Zm-v", "Zh==",
                            "Zm9=", "===="}) {
    EXPECT_EQ("<bad>", Decode(szBad)) << szBad;
  }
}

TEST(CloudKeyReverser, ReversesInPlace) {
  std::string strEven = "abcd", strOdd = "abcde", strOne = "a";
  Reverser(&strEven[0], 4);
  Reverser(&strOdd[0], 5);
  Reverser(&strOne[0], 1);
  EXPECT_EQ("dcba", strEven);
  EXPECT_EQ("edcba", strOdd);
  EXPECT_EQ("a", strOne);
}

TEST(CloudKeyText, ConvertsBetweenGbkAndUtf8) {
  const std::string strGbk = "ok \xc4\xe3\xba\xc3";          // "ok 你好" in GBK
  const std::string strUtf8 = "ok \xe4\xbd\xa0\xe5\xa5\xbd";  // the same in UTF-8
  EXPECT_EQ(strUtf8, GBKToUTF8(strGbk));
  EXPECT_EQ(strGbk, UTF8ToGBK(strUtf8.c_str()));
  EXPECT_EQ("", GBKToUTF8(""));
  // Invalid input, and a character GBK cannot write, give nothing rather than
  // a part.
  EXPECT_EQ("", UTF8ToGBK("ok \xff\xfe"));
  EXPECT_EQ("", UTF8ToGBK("ok \xf0\x9f\x98\x80"));
  EXPECT_EQ("", GBKToUTF8("ok \x81"));
}

TEST(CloudKeyJson, ReadsFlatObjectsAndRefusesTheRest) {
  CkJsonObject obj;
  ASSERT_TRUE(CkJsonParse(
      " {\"a\":\"x\\\"y\\\\z\\/\\n\", \"n\" : -12.5e+3,\"t\":true,\"u\":\"\\u00e9\\ud83d\\ude00\","
      "\"e\":\"\",\"z\":null}\r\n",
      obj));
  EXPECT_EQ((CkJsonObject{{"a", "x\"y\\z/\n"},
                          {"n", "-12.5e+3"},
                          {"t", "true"},
                          {"u", "\xc3\xa9\xf0\x9f\x98\x80"},
                          {"e", ""},
                          {"z", "null"}}),
            obj);
  ASSERT_TRUE(CkJsonParse("{}", obj));
  EXPECT_TRUE(obj.empty());

  for (const char* szBad :
       {"", "[]", "{", "{\"a\":1", "{\"a\":1,}", "{\"a\" 1}", "{a:1}", "{\"a\":{\"b\":1}}",
        "{\"a\":[1]}", "{\"a\":1}x", "{\"a\":1}{}", "{\"a\":\"x}", "{\"a\":\"\\x\"}",
        "{\"a\":\"\\ud800\"}", "{\"a\":\"\\udc00\"}", "{\"a\":\"\\u12\"}", "{\"a\":01}",
        "{\"a\":1.}", "{\"a\":-}", "{\"a\":tru}", "{\"a\":1,\"a\":2}", "{\"a\":\"line\nbreak\"}",
        "\"just a string\""}) {
    EXPECT_FALSE(CkJsonParse(szBad, obj)) << szBad;
    EXPECT_TRUE(obj.empty()) << szBad;
  }
}

TEST(CloudKeyJson, IntegersAndReplyMembers) {
  CkJsonObject obj;
  ASSERT_TRUE(CkJsonParse(
      "{\"s\":\"2\",\"n\":40401,\"neg\":\"-7\",\"big\":\"2147483648\",\"f\":1.5,\"t\":\"2x\"}", obj));
  int n = 0;
  EXPECT_TRUE(CkJsonInt(obj, "s", n) && n == 2);
  EXPECT_TRUE(CkJsonInt(obj, "n", n) && n == 40401);
  EXPECT_TRUE(CkJsonInt(obj, "neg", n) && n == -7);
  for (const char* szName : {"big", "f", "t", "absent"}) EXPECT_FALSE(CkJsonInt(obj, szName, n));

  // A member that is there; a refusal naming its error; one naming none, or 0.
  int nErr = 1;
  CkJsonParse("{\"state\":\"2\"}", obj);
  EXPECT_EQ("2", CkReplyMember(obj, "state", nErr));
  EXPECT_EQ(0, nErr);
  CkJsonParse("{\"errorCode\":40301,\"message\":\"m\"}", obj);
  EXPECT_EQ("", CkReplyMember(obj, "state", nErr));
  EXPECT_EQ(40301, nErr);
  for (const char* szReply : {"{\"state\":\"\"}", "{\"errorCode\":0}", "{\"errorCode\":\"x\"}"}) {
    CkJsonParse(szReply, obj);
    EXPECT_EQ("", CkReplyMember(obj, "state", nErr));
    EXPECT_EQ(CK_ERR_NO_MEMBER, nErr) << szReply;
  }
}

TEST(CloudKeyJson, WritesEscapedRequestsThatReadBack) {
  HttpClientHandler http("127.0.0.1", 443, true);
  EXPECT_EQ("{\"cloudKey\":\"ab\\\"c\\\\\\u000a\"}", http.MakeSendJson("cloudKey", "ab\"c\\\n"));
  const std::string strSign = http.MakeSignJson("123456", "code", "ZGF0YQ==", "Y2VydA==");
  CkJsonObject obj;
  ASSERT_TRUE(CkJsonParse(strSign, obj));
  EXPECT_EQ((CkJsonObject{{"verifyCode", "123456"},
                          {"authCode", "code"},
                          {"data", "ZGF0YQ=="},
                          {"cert", "Y2VydA=="}}),
            obj);
  std::string strReply = http.MakeCertJson("1", "2", "3");
  EXPECT_EQ("{\"verifyCode\":\"1\",\"authCode\":\"2\",\"cert\":\"3\"}", strReply);
  EXPECT_EQ("2", http.GetDataFromP7(strReply, "authCode"));
  EXPECT_EQ(0, http.GetJsonErrNum());
  std::string strBroken = "{\"certB64\":";
  EXPECT_EQ("", http.GetDataFromP7(strBroken, "certB64"));
  EXPECT_EQ(CK_ERR_BAD_REPLY, http.GetJsonErrNum());
}

// Sets or clears environment variables for one test and puts them back.
struct CEnvScope {
  void Set(const char* szName, const char* szValue) {
    vSaved.push_back(std::make_unique<CEnvOverride>(szName, szValue));
  }
  ~CEnvScope() {
    while (!vSaved.empty()) vSaved.pop_back();  // the oldest value is put back last
  }
  std::vector<std::unique_ptr<CEnvOverride>> vSaved;
};

TEST(CloudKeyConfig, FileThenEnvironment) {
  CTempDir dir("tolvan-cloudkey-config");
  const std::string strIni = dir.Join("TolvanService.ini");
  CEnvScope env;
  for (const char* szName : {"TOLVAN_CLOUD_HOST", "TOLVAN_CLOUD_PORT", "TOLVAN_CLOUD_TRUST_ANCHOR",
                             "TOLVAN_CLOUD_ENVELOPE_CERT", "TOLVAN_CLOUD_TIMEOUT_MS",
                             "TOLVAN_CLOUD_KEY_POOL"}) {
    env.Set(szName, nullptr);
  }
  CCloudKeyConfig config = CK_LoadConfig(strIni);  // no file: defaults
  EXPECT_EQ("", config.strHost);
  EXPECT_EQ(443, config.nPort);
  EXPECT_EQ(5000, config.nConnectTimeoutMs);
  EXPECT_EQ(15000, config.nTimeoutMs);

  std::ofstream(strIni) << "[Config]\nPort=8888\n[Cloud]\nHost=sign.example\nPort=8443\n"
                           "TrustAnchor=/ca.pem\nEnvelopeCert=" << dir.Join("env.pem")
                        << "\nConnectTimeoutMs=9000\nTimeoutMs=3000\nKeyPool=2\n";
  std::ofstream(dir.Join("env.pem")) << "PEM TEXT";
  config = CK_LoadConfig(strIni);
  EXPECT_EQ("sign.example", config.strHost);
  EXPECT_EQ(8443, config.nPort);
  EXPECT_EQ("/ca.pem", config.strTrustAnchor);
  EXPECT_EQ(3000, config.nTimeoutMs);
  EXPECT_EQ(3000, config.nConnectTimeoutMs);  // never longer than the whole
  EXPECT_EQ(2, config.nKeyPool);
  EXPECT_EQ("PEM TEXT", CK_LoadEnvelopeCert(config));

  env.Set("TOLVAN_CLOUD_HOST", "127.0.0.1");
  env.Set("TOLVAN_CLOUD_PORT", "70000");  // out of range: the file's value stays
  env.Set("TOLVAN_CLOUD_TIMEOUT_MS", "250");
  env.Set("TOLVAN_CLOUD_KEY_POOL", "0");
  config = CK_LoadConfig(strIni);
  EXPECT_EQ("127.0.0.1", config.strHost);
  EXPECT_EQ(8443, config.nPort);
  EXPECT_EQ(250, config.nTimeoutMs);
  EXPECT_EQ(0, config.nKeyPool);
}

}  // namespace
