// The simulated cloud signing service as a client meets it: the real program
// in a temporary directory, TLS verified against the ca.pem it wrote, requests
// sealed and replies opened, certificates and signatures checked with the
// openssl command line.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestText.h"

namespace {

const std::string kService = "/orvSignApp/cloud/";
const char kForm[] = "application/x-www-form-urlencoded";

struct CReply {
  int nStatus = 0;
  std::string strBody;
};

CReply ParseReply(const std::string& strResponse) {
  CReply reply;
  size_t nHeadEnd = strResponse.find("\r\n\r\n");
  if (strResponse.compare(0, 9, "HTTP/1.1 ") != 0 || nHeadEnd == std::string::npos) return reply;
  reply.nStatus = std::atoi(strResponse.c_str() + 9);
  reply.strBody = strResponse.substr(nHeadEnd + 4);
  return reply;
}

std::string Request(const std::string& strPath, const std::string& strBody, const char* szType,
                    const std::string& strExtra = "") {
  return "POST " + strPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + szType +
         "\r\nContent-Length: " + std::to_string(strBody.size()) + "\r\n" + strExtra + "\r\n" +
         strBody;
}

// A TLS client that trusts only the simulator's CA and checks that the
// certificate names 127.0.0.1. Every read is bounded by a socket time-out.
class CTlsClient {
 public:
  CTlsClient(uint16_t nPort, const std::string& strCaFile) {
    m_nFd = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{30, 0};
    setsockopt(m_nFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) return;
    m_ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!m_ctx || SSL_CTX_load_verify_locations(m_ctx.get(), strCaFile.c_str(), nullptr) != 1)
      return;
    SSL_CTX_set_verify(m_ctx.get(), SSL_VERIFY_PEER, nullptr);
    m_ssl.reset(SSL_new(m_ctx.get()));
    if (!m_ssl) return;
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl.get()), "127.0.0.1");
    SSL_set_fd(m_ssl.get(), m_nFd);
    m_bOk = SSL_connect(m_ssl.get()) == 1 && SSL_get_verify_result(m_ssl.get()) == X509_V_OK;
  }
  ~CTlsClient() {
    m_ssl.reset();
    if (m_nFd >= 0) close(m_nFd);
  }
  CTlsClient(const CTlsClient&) = delete;
  CTlsClient& operator=(const CTlsClient&) = delete;

  bool Ok() const { return m_bOk; }
  bool Send(const std::string& strBytes) {
    return m_bOk && SSL_write(m_ssl.get(), strBytes.data(), static_cast<int>(strBytes.size())) ==
                        static_cast<int>(strBytes.size());
  }
  // Everything received so far plus what arrives until strMarker has come
  // (or, with an empty marker, until the server ends the connection).
  std::string Read(const std::string& strMarker = "") {
    char ab[16384];
    while (m_bOk && (strMarker.empty() || m_strReceived.find(strMarker) == std::string::npos)) {
      int n = SSL_read(m_ssl.get(), ab, sizeof(ab));
      if (n <= 0) break;
      m_strReceived.append(ab, static_cast<size_t>(n));
    }
    return m_strReceived;
  }

 private:
  int m_nFd = -1;
  bool m_bOk = false;
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> m_ctx{nullptr, SSL_CTX_free};
  std::unique_ptr<SSL, decltype(&SSL_free)> m_ssl{nullptr, SSL_free};
  std::string m_strReceived;
};

class CloudsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    ASSERT_TRUE(m_process.Start(TOLVAN_CLOUDSIM_PATH,
                                {"cloudsim", "--dir", m_dir.Join("sim"), "--port", "0"}, nullptr,
                                CProcess::emPipeStdout));
    const std::string strPortFile = m_dir.Join("sim/port");
    ASSERT_TRUE(
        WaitUntil([&] { return !ReadFile(strPortFile).empty() || m_process.Wait(0); }, 120000));
    const std::string strPort = ReadFile(strPortFile);
    std::string strLine;
    ASSERT_TRUE(m_process.ReadOutputLine(strLine));
    ASSERT_EQ(strLine, "cloudsim listening on 127.0.0.1:" + strPort);
    m_nPort = static_cast<uint16_t>(std::stoi(strPort));
  }

  void TearDown() override {
    if (m_process.GetPid() == 0) return;
    kill(static_cast<pid_t>(m_process.GetPid()), SIGTERM);
    ASSERT_TRUE(m_process.Wait(60000)) << "cloudsim did not stop on SIGTERM";
    unsigned long dwCode = 1;
    ASSERT_TRUE(m_process.GetExitCode(dwCode));
    EXPECT_EQ(dwCode, 0u);
  }

  CReply Post(const std::string& strPath, const std::string& strBody,
              const char* szType = "application/json") {
    CTlsClient client(m_nPort, m_dir.Join("sim/ca.pem"));
    EXPECT_TRUE(client.Ok()) << "TLS to the simulator not verified against its ca.pem";
    client.Send(Request(strPath, strBody, szType));
    return ParseReply(client.Read());
  }

  // Runs the openssl command line in the temporary directory; true when it
  // exits 0. Standard output goes to szOut when given.
  bool Openssl(const std::string& strArgs, const char* szOut = "/dev/null") {
    std::string strCommand =
        "cd '" + m_dir.Str() + "' && openssl " + strArgs + " >" + szOut + " 2>>openssl.log";
    return std::system(strCommand.c_str()) == 0;
  }

  // The exchange's own key pair and self-signed certificate; its Base64 DER.
  std::string MakeClientCert() {
    EXPECT_TRUE(
        Openssl("req -x509 -newkey rsa:2048 -nodes -subj /CN=client -days 1 "
                "-keyout client.key -out client.pem"));
    EXPECT_TRUE(Openssl("x509 -in client.pem -outform DER -out client.der"));
    return ToBase64(ReadFile(m_dir.Join("client.der")));
  }

  // A code the user has scanned, and the verification code the scan gave.
  std::string Enrol(std::string& strVerify) {
    std::string strCode = JsonValue(Post(kService + "getCloudKeyAuthCode", "").strBody, "cloudKey");
    strVerify =
        JsonValue(Post("/control/scan", "{\"cloudKey\":\"" + strCode + "\"}").strBody, "verifyCode");
    return strCode;
  }

  // strContent sealed to envelope.pem by openssl, posted to the endpoint.
  CReply PostSealed(const std::string& strEndpoint, const std::string& strContent) {
    WriteFile(m_dir.Join("request.json"), strContent);
    EXPECT_TRUE(
        Openssl("cms -encrypt -binary -aes256 -recip sim/envelope.pem -in request.json "
                "-outform DER -out request.der"));
    return Post(kService + strEndpoint,
                "{\"envelope\":\"" + ToBase64(ReadFile(m_dir.Join("request.der"))) + "\"}");
  }

  // The reply's envelope opened by openssl with the client's key; "" when
  // there is none or it does not open. The envelope stays in reply.der.
  std::string OpenReply(const CReply& reply) {
    std::string strDer = FromBase64(JsonValue(reply.strBody, "envelope"));
    if (strDer.empty()) return std::string();
    WriteFile(m_dir.Join("reply.der"), strDer);
    if (!Openssl("cms -decrypt -binary -inform DER -in reply.der -recip client.pem "
                 "-inkey client.key -out reply.json")) {
      return std::string();
    }
    return ReadFile(m_dir.Join("reply.json"));
  }

  static std::string Sealed(const std::string& strVerify, const std::string& strCode,
                            const std::string& strCert, const std::string& strExtra = "") {
    return "{\"verifyCode\":\"" + strVerify + "\",\"authCode\":\"" + strCode + "\"," + strExtra +
           "\"cert\":\"" + strCert + "\"}";
  }

  CTempDir m_dir{"cloudsim-test"};
  CProcess m_process;
  uint16_t m_nPort = 0;
};

TEST_F(CloudsimTest, EnrolmentFollowsTheScan) {
  CReply auth = Post(kService + "getCloudKeyAuthCode", "");
  EXPECT_EQ(auth.nStatus, 200);
  const std::string strCode = JsonValue(auth.strBody, "cloudKey");
  ASSERT_EQ(strCode.size(), 32u);
  EXPECT_EQ(strCode.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(JsonValue(Post(kService + "setQRCode",
                        "cloudKey=" + strCode + "&realVerifyType=3&option=realVerify", kForm)
                       .strBody,
                   "result"),
            "tolvan-cloudkey:" + strCode);
  const std::string strState = "{\"cloudKey\":\"" + strCode + "\"}";
  EXPECT_EQ(JsonValue(Post(kService + "getCloudKeyState", strState).strBody, "state"), "0");

  CReply scan = Post("/control/scan", "");  // an empty body scans the newest code
  const std::string strVerify = JsonValue(scan.strBody, "verifyCode");
  EXPECT_EQ(strVerify.size(), 6u);
  EXPECT_EQ(strVerify.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(JsonValue(scan.strBody, "state"), "2");
  EXPECT_EQ(JsonValue(Post(kService + "getCloudKeyState", strState).strBody, "state"), "2");

  const std::string strUnknown = std::string(32, '0');
  EXPECT_EQ(
      JsonValue(Post(kService + "setQRCode", "cloudKey=" + strUnknown, kForm).strBody, "errorCode"),
      "40401");
  EXPECT_EQ(
      JsonValue(Post(kService + "getCloudKeyState", "{\"cloudKey\":\"" + strUnknown + "\"}").strBody,
             "errorCode"),
      "40401");
}

TEST_F(CloudsimTest, UserCertificateComesSealedToTheExchangeCertificate) {
  const std::string strClient = MakeClientCert();
  std::string strVerify;
  const std::string strCode = Enrol(strVerify);
  CReply reply = PostSealed("getSignCertByCloudKey", Sealed(strVerify, strCode, strClient));
  EXPECT_EQ(reply.nStatus, 200);
  const std::string strCertB64 = JsonValue(OpenReply(reply), "certB64");
  ASSERT_FALSE(strCertB64.empty()) << reply.strBody;

  // One recipient by issuer and serial, RSA key transport, AES-256-CBC.
  ASSERT_TRUE(Openssl("cms -cmsout -print -inform DER -in reply.der", "print.txt"));
  const std::string strPrint = ReadFile(m_dir.Join("print.txt"));
  for (const char* szPart : {"issuerAndSerialNumber", "rsaEncryption", "aes-256-cbc"}) {
    EXPECT_NE(strPrint.find(szPart), std::string::npos) << szPart;
  }

  WriteFile(m_dir.Join("user.der"), FromBase64(strCertB64));
  ASSERT_TRUE(Openssl("x509 -inform DER -in user.der -out user.pem"));
  EXPECT_TRUE(Openssl("verify -CAfile sim/ca.pem user.pem"));
  ASSERT_TRUE(Openssl("x509 -in user.pem -noout -serial -subject -ext keyUsage", "user.txt"));
  const std::string strText = ReadFile(m_dir.Join("user.txt"));
  EXPECT_NE(strText.find("CN = Cloud User " + strCode.substr(0, 8)), std::string::npos) << strText;
  EXPECT_NE(strText.find("X509v3 Key Usage: critical"), std::string::npos) << strText;
  EXPECT_NE(strText.find("Digital Signature"), std::string::npos) << strText;
  // A positive 16-byte serial: 32 hex digits, the first below 8.
  ASSERT_EQ(strText.compare(0, 7, "serial="), 0) << strText;
  EXPECT_EQ(strText.find_first_not_of("0123456789ABCDEF", 7), 7u + 32) << strText;
  EXPECT_LT(strText[7], '8') << strText;

  CReply again = PostSealed("getSignCertByCloudKey", Sealed(strVerify, strCode, strClient));
  EXPECT_EQ(JsonValue(OpenReply(again), "certB64"), strCertB64);
}

TEST_F(CloudsimTest, SignatureVerifiesOnceItsBytesAreReversed) {
  const std::string strClient = MakeClientCert();
  std::string strVerify;
  const std::string strCode = Enrol(strVerify);
  const std::string strData = "Pay 100 to account 42 \xe4\xb8\xad";
  CReply cert = PostSealed("getSignCertByCloudKey", Sealed(strVerify, strCode, strClient));
  WriteFile(m_dir.Join("user.der"), FromBase64(JsonValue(OpenReply(cert), "certB64")));
  ASSERT_TRUE(Openssl("x509 -inform DER -in user.der -noout -pubkey", "user.pub"));

  CReply reply = PostSealed("cloudKeySignature", Sealed(strVerify, strCode, strClient,
                                                        "\"data\":\"" + ToBase64(strData) + "\","));
  std::string strSignature = FromBase64(JsonValue(OpenReply(reply), "signedB64"));
  ASSERT_EQ(strSignature.size(), 256u) << reply.strBody;
  WriteFile(m_dir.Join("data.bin"), strData);
  WriteFile(m_dir.Join("sig.bin"), strSignature);
  EXPECT_FALSE(Openssl("dgst -sha256 -verify user.pub -signature sig.bin data.bin"));
  std::reverse(strSignature.begin(), strSignature.end());
  WriteFile(m_dir.Join("sig.bin"), strSignature);
  EXPECT_TRUE(Openssl("dgst -sha256 -verify user.pub -signature sig.bin data.bin"));
}

TEST_F(CloudsimTest, SealedRequestsAreCheckedInOrder) {
  const std::string strClient = MakeClientCert();
  std::string strVerify;
  const std::string strCode = Enrol(strVerify);
  const std::string strUnscanned =
      JsonValue(Post(kService + "getCloudKeyAuthCode", "").strBody, "cloudKey");
  const std::string strWrong =
      std::string(1, strVerify[0] == '0' ? '1' : '0') + strVerify.substr(1);
  const std::string strData = "\"data\":\"" + ToBase64("abc") + "\",";
  struct {
    const char* szCase;
    const char* szEndpoint;
    std::string strContent;  // sealed; empty: the body is not an envelope at all
    const char* szError;
  } cases[] = {
      {"not an envelope", "getSignCertByCloudKey", "", "40001"},
      {"content not JSON", "getSignCertByCloudKey", "verifyCode=1", "40001"},
      {"unknown code", "cloudKeySignature",
       Sealed(strVerify, std::string(32, 'f'), strClient, strData), "40401"},
      {"not scanned", "getSignCertByCloudKey", Sealed(strVerify, strUnscanned, strClient), "40302"},
      {"wrong verifyCode", "cloudKeySignature", Sealed(strWrong, strCode, strClient, strData),
       "40301"},
      {"cert not a certificate", "getSignCertByCloudKey",
       Sealed(strVerify, strCode, ToBase64("cert")), "40002"},
      {"data not Base64", "cloudKeySignature",
       Sealed(strVerify, strCode, strClient, "\"data\":\"a*b\","), "40003"},
  };
  for (const auto& c : cases) {
    CReply reply = c.strContent.empty()
                       ? Post(kService + c.szEndpoint, "{\"envelope\":\"" + ToBase64("junk") + "\"}")
                       : PostSealed(c.szEndpoint, c.strContent);
    EXPECT_EQ(reply.nStatus, 200) << c.szCase;
    EXPECT_EQ(JsonValue(reply.strBody, "errorCode"), c.szError) << c.szCase;
    EXPECT_EQ(JsonValue(reply.strBody, "envelope"), "") << c.szCase;
  }
}

// What each mode does to the answers is seen through the agent in the cloud
// end-to-end tests; here, that a mode holds until the reset.
TEST_F(CloudsimTest, ControlModesHoldUntilTheReset) {
  const std::string strState =
      "{\"cloudKey\":\"" + JsonValue(Post(kService + "getCloudKeyAuthCode", "").strBody, "cloudKey") +
      "\"}";
  const std::string strPath = kService + "getCloudKeyState";
  EXPECT_EQ(JsonValue(Post("/control/garbage", "{\"mode\":\"status500\"}").strBody, "result"), "ok");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Post(strPath, strState).nStatus, 500);
  Post("/control/reset", "");
  EXPECT_EQ(Post(strPath, strState).strBody, "{\"state\":\"0\"}");
  EXPECT_EQ(JsonValue(Post("/control/garbage", "{\"mode\":\"other\"}").strBody, "errorCode"), "40004");
}

TEST_F(CloudsimTest, BadConnectionsAreDroppedWhileOthersAreServed) {
  // A connection that says nothing holds no one up, and is dropped in time.
  CLoopbackClient idle(m_nPort);
  ASSERT_TRUE(idle.IsConnected());
  EXPECT_EQ(Post(kService + "getCloudKeyAuthCode", "").nStatus, 200);
  EXPECT_FALSE(idle.Readable(0)) << "the idle connection ended before another was served";

  CLoopbackClient plain(m_nPort);
  ASSERT_TRUE(plain.SendAll(MakeGet("x")));
  EXPECT_TRUE(plain.WaitEnded(30000)) << "plain HTTP on the TLS port was not dropped";
  {
    CTlsClient half(m_nPort, m_dir.Join("sim/ca.pem"));
    EXPECT_TRUE(half.Send(
        Request("/control/scan", std::string(100, ' '), "application/json").substr(0, 80)));
  }
  {
    CTlsClient huge(m_nPort, m_dir.Join("sim/ca.pem"));
    huge.Send("POST /control/scan HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n");
    EXPECT_EQ(ParseReply(huge.Read()).nStatus, 413);
  }
  {
    // libcurl's way with larger bodies: the interim 100 comes before the body is sent.
    CTlsClient expect(m_nPort, m_dir.Join("sim/ca.pem"));
    const std::string strBody = "{\"cloudKey\":";
    std::string strRequest = Request(kService + "getCloudKeyState", strBody, "application/json",
                                     "Expect: 100-continue\r\n");
    expect.Send(strRequest.substr(0, strRequest.size() - strBody.size()));
    std::string strInterim = expect.Read("\r\n\r\n");
    EXPECT_EQ(strInterim, "HTTP/1.1 100 Continue\r\n\r\n");
    expect.Send(strBody);
    CReply reply = ParseReply(expect.Read().substr(strInterim.size()));
    EXPECT_EQ(reply.nStatus, 200);
    EXPECT_EQ(JsonValue(reply.strBody, "errorCode"), "40001");  // the JSON is cut short
  }
  EXPECT_TRUE(idle.WaitEnded(30000)) << "an idle connection was kept";
  EXPECT_EQ(Post(kService + "getCloudKeyAuthCode", "").nStatus, 200);
}

}  // namespace
