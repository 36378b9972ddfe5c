// Base64, GBK conversions, the strict JSON reader and writer, and the configuration: what the
// cloud operations rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "libs/cloudkey/CkJson.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

namespace {

TEST(CloudKeyBase64, EncodesAndDecodesStrictly) {
  const std::pair<std::string, std::string> round[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {std::string("\0\xff", 2), "AP8="}};
  for (const auto& c : round) {
    std::string strOut(Base64EncodedSize(c.first.size()) + 1, '\x7f');
    strOut.resize(Base64Encode(&strOut[0], c.first.data(), static_cast<int>(c.first.size())) + 1);
    EXPECT_EQ(c.second + '\0', strOut);  // NUL-terminated
    strOut.assign(Base64DecodedMax(c.second.size()) + 1, '\0');
    strOut.resize(Base64Decode(&strOut[0], c.second.data(), static_cast<int>(c.second.size())));
    EXPECT_EQ(c.first, strOut);
  }
  // Wrong length, wrong alphabet, padding inside, padding bits that are not zero.
  for (const char* szBad : {"Zg=", "Zm-v", "Zg==Zm9v", "Zh==", "Zm9="}) {
    char ab[16];
    EXPECT_EQ(-1, Base64Decode(ab, szBad, static_cast<int>(std::strlen(szBad)))) << szBad;
  }
}

TEST(CloudKeyText, ConvertsBetweenGbkAndUtf8) {
  const std::string strGbk = "ok \xc4\xe3\xba\xc3";          // "ok 你好" in GBK
  const std::string strUtf8 = "ok \xe4\xbd\xa0\xe5\xa5\xbd";  // the same in UTF-8
  EXPECT_EQ(strUtf8, GBKToUTF8(strGbk));
  EXPECT_EQ(strGbk, UTF8ToGBK(strUtf8.c_str()));
  EXPECT_EQ("", GBKToUTF8(""));
  // Invalid input, and a character GBK cannot write, give nothing rather than a part.
  EXPECT_EQ("", UTF8ToGBK("ok \xff\xfe"));
  EXPECT_EQ("", UTF8ToGBK("ok \xf0\x9f\x98\x80"));
  EXPECT_EQ("", GBKToUTF8("ok \x81"));
}

TEST(CloudKeyJson, ReadsFlatObjectsIntegersAndReplyMembersAndRefusesTheRest) {
  CkJsonObject obj;
  ASSERT_TRUE(CkJsonParse(
      " {\"a\":\"x\\\"y\\\\z\\/\\n\", \"n\" : -12.5e+3,\"t\":true,\"u\":\"\\u00e9\\ud83d\\ude00\","
      "\"e\":\"\",\"z\":null}\r\n",
      obj));
  EXPECT_EQ((CkJsonObject{{"a", "x\"y\\z/\n"}, {"n", "-12.5e+3"}, {"t", "true"},
                          {"u", "\xc3\xa9\xf0\x9f\x98\x80"}, {"e", ""}, {"z", "null"}}),
            obj);
  ASSERT_TRUE(CkJsonParse("{}", obj));
  EXPECT_TRUE(obj.empty());

  for (const char* szBad :
       {"[]", "{\"a\":1", "{\"a\":1,}", "{\"a\" 1}", "{\"a\":[1]}", "{\"a\":1}x", "{\"a\":\"x}",
        "{\"a\":\"\\x\"}", "{\"a\":\"\\ud800\"}", "{\"a\":\"\\udc00\"}", "{\"a\":\"\\u12\"}",
        "{\"a\":01}", "{\"a\":1.}", "{\"a\":-}", "{\"a\":1,\"a\":2}", "{\"a\":\"line\nbreak\"}"}) {
    EXPECT_FALSE(CkJsonParse(szBad, obj)) << szBad;
    EXPECT_TRUE(obj.empty()) << szBad;
  }

  // Integers, and the members of a reply.
  ASSERT_TRUE(CkJsonParse("{\"s\":\"2\",\"neg\":\"-7\",\"big\":\"2147483648\",\"f\":1.5}", obj));
  int n = 0;
  EXPECT_TRUE(CkJsonInt(obj, "s", n) && n == 2);
  EXPECT_TRUE(CkJsonInt(obj, "neg", n) && n == -7);
  for (const char* szName : {"big", "f", "absent"}) EXPECT_FALSE(CkJsonInt(obj, szName, n));

  // An empty member, or a refusal that names no error, is an error of its own.
  int nErr = 1;
  for (const char* szReply : {"{\"state\":\"\"}", "{\"errorCode\":0}"}) {
    CkJsonParse(szReply, obj);
    EXPECT_EQ("", CkReplyMember(obj, "state", nErr));
    EXPECT_EQ(CK_ERR_NO_MEMBER, nErr) << szReply;
  }
}

TEST(CloudKeyJson, WritesEscapedRequests) {
  HttpClientHandler http("127.0.0.1", 443, true);
  EXPECT_EQ("{\"cloudKey\":\"ab\\\"c\\\\\\u000a\"}", http.MakeSendJson("cloudKey", "ab\"c\\\n"));
  EXPECT_EQ("{\"verifyCode\":\"1\",\"authCode\":\"2\",\"cert\":\"3\"}",
            http.MakeCertJson("1", "2", "3"));
  EXPECT_EQ("{\"verifyCode\":\"1\",\"authCode\":\"2\",\"data\":\"3\",\"cert\":\"4\"}",
            http.MakeSignJson("1", "2", "3", "4"));
  std::string strBroken = "{\"certB64\":";
  EXPECT_EQ("", http.GetDataFromP7(strBroken, "certB64"));
  EXPECT_EQ(CK_ERR_BAD_REPLY, http.GetJsonErrNum());
}

TEST(CloudKeyConfig, FileThenEnvironment) {
  CTempDir dir("tolvan-cloudkey-config");
  const std::string strIni = dir.Join("TolvanService.ini");
  // Each put back as it was at the end; the test sets them itself meanwhile.
  CEnvOverride host("TOLVAN_CLOUD_HOST", nullptr), port("TOLVAN_CLOUD_PORT", nullptr),
      anchor("TOLVAN_CLOUD_TRUST_ANCHOR", nullptr), cert("TOLVAN_CLOUD_ENVELOPE_CERT", nullptr),
      timeout("TOLVAN_CLOUD_TIMEOUT_MS", nullptr), pool("TOLVAN_CLOUD_KEY_POOL", nullptr);
  CCloudKeyConfig config = CK_LoadConfig(strIni);  // no file: defaults
  EXPECT_EQ("", config.strHost);
  EXPECT_EQ(443, config.nPort);

  std::ofstream(strIni) << "[Config]\nPort=8888\n[Cloud]\nHost=sign.example\nPort=8443\n"
                           "EnvelopeCert=" << dir.Join("env.pem")
                        << "\nConnectTimeoutMs=9000\nTimeoutMs=3000\n";
  std::ofstream(dir.Join("env.pem")) << "PEM TEXT";
  config = CK_LoadConfig(strIni);
  EXPECT_EQ("sign.example", config.strHost);
  EXPECT_EQ(8443, config.nPort);
  EXPECT_EQ(3000, config.nTimeoutMs);
  EXPECT_EQ(3000, config.nConnectTimeoutMs);  // never longer than the whole
  EXPECT_EQ("PEM TEXT", CK_LoadEnvelopeCert(config));

  SetEnvVar("TOLVAN_CLOUD_HOST", "127.0.0.1");
  SetEnvVar("TOLVAN_CLOUD_PORT", "70000");  // out of range: the file's value stays
  SetEnvVar("TOLVAN_CLOUD_TIMEOUT_MS", "250");
  config = CK_LoadConfig(strIni);
  EXPECT_EQ("127.0.0.1", config.strHost);
  EXPECT_EQ(8443, config.nPort);
  EXPECT_EQ(250, config.nTimeoutMs);
}

}  // namespace
