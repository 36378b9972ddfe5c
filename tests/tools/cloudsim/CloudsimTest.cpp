// The simulated cloud signing service held to the documented wire format apart from the agent's
// client: requests, envelopes and the reversed signature made and checked with the openssl command
// line, over TLS checked against the simulator's ca.pem.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/CommandLine.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/tools/cloudsim/CloudsimProcess.h"

namespace {

const std::string kService = "/orvSignApp/cloud/";

class CloudsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strAddress = StartCloudsim(m_process, m_dir.Join("sim"));
    ASSERT_NE(m_strAddress, "");
  }
  void TearDown() override {
    m_process.Kill();
    m_process.Wait(10000);
  }

  // One POST over TLS by the openssl command line, verified against the simulator's ca.pem for
  // 127.0.0.1; the whole response, "" when the connection or the verification failed.
  std::string Post(const std::string& strPath, const std::string& strBody,
                   const std::string& strType = "application/json") {
    WriteFile(Path("http.txt"), "POST " + strPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                    "Content-Type: " + strType + "\r\nContent-Length: " +
                                    std::to_string(strBody.size()) + "\r\n\r\n" + strBody);
    return Openssl("s_client -quiet -verify_return_error -CAfile sim/ca.pem -verify_ip 127.0.0.1"
                   " -connect " + m_strAddress + " <http.txt", "http.out")
               ? ReadFile(Path("http.out"))
               : "";
  }

  std::string Path(const char* szName) const { return m_dir.Join(szName); }
  // The openssl command line in the temporary directory, standard output to szOut; true on 0.
  bool Openssl(const std::string& strArgs, const char* szOut = "/dev/null") {
    return RunIn(m_dir.Str(), "openssl " + strArgs + " >" + szOut) == 0;
  }

  // strContent sealed by openssl to envelope.pem and posted to the endpoint.
  std::string PostSealed(const char* szEndpoint, const std::string& strContent) {
    WriteFile(Path("request.json"), strContent);
    EXPECT_TRUE(Openssl("cms -encrypt -binary -aes256 -recip sim/envelope.pem -in request.json "
                        "-outform DER -out request.der"));
    return Post(kService + szEndpoint,
                "{\"envelope\":\"" + ToBase64(ReadFile(Path("request.der"))) + "\"}");
  }
  // The reply's envelope opened by openssl with the exchange's key.
  std::string OpenReply(const std::string& strResponse) {
    WriteFile(Path("reply.der"), FromBase64(JsonValue(strResponse, "envelope")));
    EXPECT_TRUE(Openssl("cms -decrypt -binary -inform DER -in reply.der -recip client.pem "
                        "-inkey client.key -out reply.json")) << strResponse;
    return ReadFile(Path("reply.json"));
  }
  static std::string Sealed(const std::string& strVerify, const std::string& strCode,
                            const std::string& strCert, const std::string& strData = "") {
    return "{\"verifyCode\":\"" + strVerify + "\",\"authCode\":\"" + strCode + "\"," +
           (strData.empty() ? "" : "\"data\":\"" + strData + "\",") + "\"cert\":\"" + strCert +
           "\"}";
  }

  CTempDir m_dir{"cloudsim-test"};
  CProcess m_process;
  std::string m_strAddress;
};

// The agent's client uses the same names and reverses what it is sent: the documented names and
// the signature's byte order are held here. (The agent opens openssl's envelopes: CloudKeyCrypto.)
TEST_F(CloudsimTest, NamesEnvelopesAndSignatureOrderAreTheDocumentedOnes) {
  const std::string strCode = JsonValue(Post(kService + "getCloudKeyAuthCode", ""), "cloudKey");
  ASSERT_FALSE(strCode.empty());
  EXPECT_EQ(JsonValue(Post(kService + "setQRCode",
                           "cloudKey=" + strCode + "&realVerifyType=3&option=realVerify",
                           "application/x-www-form-urlencoded"),
                      "result"),
            "tolvan-cloudkey:" + strCode);
  const std::string strState = "{\"cloudKey\":\"" + strCode + "\"}";
  const std::string strVerify = JsonValue(Post("/control/scan", strState), "verifyCode");
  EXPECT_EQ(JsonValue(Post(kService + "getCloudKeyState", strState), "state"), "2");

  ASSERT_TRUE(Openssl("req -x509 -newkey rsa:2048 -nodes -subj /CN=client -days 1 "
                      "-keyout client.key -out client.pem"));
  ASSERT_TRUE(Openssl("x509 -in client.pem -outform DER -out client.der"));
  const std::string strClient = ToBase64(ReadFile(Path("client.der")));
  const std::string strCertB64 =
      JsonValue(OpenReply(PostSealed("getSignCertByCloudKey", Sealed(strVerify, strCode,
                                                                     strClient))),
                "certB64");
  ASSERT_FALSE(strCertB64.empty());
  // The code the agent sends is checked: an unknown one is refused, with no envelope.
  const std::string strRefusal =
      PostSealed("getSignCertByCloudKey", Sealed(strVerify, std::string(32, 'f'), strClient));
  EXPECT_EQ(JsonValue(strRefusal, "errorCode"), "40401") << strRefusal;
  EXPECT_EQ(JsonValue(strRefusal, "envelope"), "");
  WriteFile(Path("user.der"), FromBase64(strCertB64));
  ASSERT_TRUE(Openssl("x509 -inform DER -in user.der -noout -pubkey", "user.pub"));

  const std::string strData = "Pay 100 to account 42 \xe4\xb8\xad";
  std::string strSignature = FromBase64(JsonValue(
      OpenReply(PostSealed("cloudKeySignature",
                           Sealed(strVerify, strCode, strClient, ToBase64(strData)))),
      "signedB64"));
  ASSERT_EQ(strSignature.size(), 256u);
  WriteFile(Path("data.bin"), strData);
  WriteFile(Path("sig.bin"), strSignature);
  EXPECT_FALSE(Openssl("dgst -sha256 -verify user.pub -signature sig.bin data.bin"));
  std::reverse(strSignature.begin(), strSignature.end());
  WriteFile(Path("sig.bin"), strSignature);
  EXPECT_TRUE(Openssl("dgst -sha256 -verify user.pub -signature sig.bin data.bin"));
}

}  // namespace
