#pragma once

// The cloud key library: HTTPS exchanges with the cloud signing service,
// the fresh key pair and certificate of one exchange, CMS envelopes, the
// certificate store, the QR image and the text conversions the cloud
// operations use.
//
// Wire format: every request is a POST over HTTPS to the configured host and
// port, the server's certificate verified against the configured trust anchor;
// every reply is a 200 with a flat JSON object. Envelopes are CMS
// EnvelopedData (DER, then Base64 on one line) for one recipient named by
// issuer and serial number, RSA key transport (PKCS#1 v1.5), AES-256-CBC.
//
// Failure codes of this library lie in CK_ERR_FIRST..CK_ERR_LAST; they meet
// none of the agent's codes nor the card library's (-2000001..-2000099).

#include <cstdint>
#include <memory>
#include <string>

enum emCloudKeyResult : int {
  CK_OK = 0,
  CK_ERR_FIRST = -2100001,
  CK_ERR_CONFIG = -2100001,          // no host, or a configured file cannot be read
  CK_ERR_CONNECT = -2100002,         // the service could not be reached
  CK_ERR_TIMEOUT = -2100003,         // the exchange did not end within the time-out
  CK_ERR_TLS = -2100004,             // TLS failed (the server's certificate did not verify)
  CK_ERR_HTTP_STATUS = -2100005,     // the reply's status was not 200
  CK_ERR_REPLY_TOO_LARGE = -2100006, // the reply is larger than any valid one
  CK_ERR_BAD_REPLY = -2100007,       // the reply is not a flat JSON object
  CK_ERR_NO_MEMBER = -2100008,       // the reply lacks the member and names no error
  CK_ERR_EXCHANGE = -2100009,        // any other failure of the exchange
  CK_ERR_KEY = -2100010,             // no key pair (generation failed, or none made)
  CK_ERR_CERT = -2100011,            // a certificate was not made or does not parse
  CK_ERR_ENVELOPE_SEAL = -2100012,   // an envelope was not made
  CK_ERR_ENVELOPE_OPEN = -2100013,   // an envelope did not open
  CK_ERR_STORE = -2100014,           // the certificate store refused the change
  CK_ERR_BAD_INPUT = -2100015,       // an argument is null, too large or malformed
  CK_ERR_NOT_AVAILABLE = -2100016,   // the service exchanges are not available in this build
  CK_ERR_LAST = -2100099,
};

// The store number the cloud operations pass: the current user's "MY" store.
constexpr unsigned long CK_STORE_MY = 2;

// ---------------------------------------------------------------- configuration

// Section [Cloud] of "TolvanService.ini" beside the executable; the
// environment variables named here win over the file.
struct CCloudKeyConfig {
  std::string strHost;            // Host, TOLVAN_CLOUD_HOST (no default)
  unsigned short nPort = 443;     // Port, TOLVAN_CLOUD_PORT
  std::string strTrustAnchor;     // TrustAnchor, TOLVAN_CLOUD_TRUST_ANCHOR (PEM CA file;
                                  // empty: the system's trust store)
  std::string strEnvelopeCert;    // EnvelopeCert, TOLVAN_CLOUD_ENVELOPE_CERT (PEM file)
  long nConnectTimeoutMs = 5000;  // ConnectTimeoutMs
  long nTimeoutMs = 15000;        // TimeoutMs, TOLVAN_CLOUD_TIMEOUT_MS (whole exchange)
  int nKeyPool = 4;               // KeyPool, TOLVAN_CLOUD_KEY_POOL (key pairs made ahead; 0: none)
};

// Reads the configuration from strIniFile ("TolvanService.ini" beside the
// executable when empty) and the environment. Unusable values keep defaults.
CCloudKeyConfig CK_LoadConfig(const std::string& strIniFile = std::string());

// The envelope certificate's PEM text from the configured file; empty when it
// is not configured or cannot be read.
std::string CK_LoadEnvelopeCert(const CCloudKeyConfig& config);

// False in a build without the service exchanges (see CK_ERR_NOT_AVAILABLE).
bool CK_IsAvailable();

// ---------------------------------------------------------------- key pool

// Starts the background thread that keeps up to nSize RSA-2048 key pairs
// ready (nothing when nSize is 0; a running pool keeps its size). Each key is
// handed out once (PkiHandler::GenerateRSAKey) and destroyed with its handler.
void CK_StartKeyPool(int nSize);
// Stops the thread (waiting for a key being made) and destroys the keys kept.
// Also done at process exit. The pool may be started again.
void CK_StopKeyPool();
// Key pairs ready now (for tests and benchmarks).
int CK_KeyPoolReady();

// ---------------------------------------------------------------- HTTPS

class HttpClientHandler {
 public:
  // bSecure must be true: the service is only spoken to over HTTPS. The
  // trust anchor and time-outs come from CK_LoadConfig().
  HttpClientHandler(const char* szHost, unsigned short nPort, bool bSecure);
  ~HttpClientHandler();
  HttpClientHandler(const HttpClientHandler&) = delete;
  HttpClientHandler& operator=(const HttpClientHandler&) = delete;

  // Posts szBody (no body when null) to szPath with that content type and
  // returns the reply's member szField; empty on any failure, which
  // GetJsonErrNum then tells.
  std::string GetP7DataFromService(const char* szBody, const char* szPath,
                                   const char* szContentType, const char* szField);

  // JSON texts of the requests.
  std::string MakeSendJson(const std::string& strKey, const std::string& strValue);
  std::string MakeCertJson(const std::string& strVerifyCode, const std::string& strAuthCode,
                           const std::string& strCert);
  std::string MakeSignJson(const std::string& strVerifyCode, const std::string& strAuthCode,
                           const std::string& strData, const std::string& strCert);

  // Member szField of a JSON text; empty when absent or when the text is not
  // a flat JSON object (GetJsonErrNum then tells which).
  std::string GetDataFromP7(std::string& strJson, const char* szField);

  // Why the last GetP7DataFromService or GetDataFromP7 gave nothing: the
  // service's "errorCode" when the reply named one, else a CK_ERR_ code.
  // Never 0 after a failure; 0 after a success.
  int GetJsonErrNum() const { return m_nErrNum; }

 private:
  std::string m_strHost;
  unsigned short m_nPort;
  bool m_bSecure;
  std::string m_strTrustAnchor;
  long m_nConnectTimeoutMs;
  long m_nTimeoutMs;
  int m_nErrNum = 0;
};

// ---------------------------------------------------------------- keys, envelopes, store

class PkiHandler {
 public:
  PkiHandler();
  ~PkiHandler();
  PkiHandler(const PkiHandler&) = delete;
  PkiHandler& operator=(const PkiHandler&) = delete;

  // Takes a fresh RSA-2048 key pair (from the pool when one is ready).
  int GenerateRSAKey();
  // 0: strOut holds a self-signed certificate of that key (Base64 DER).
  int CreateCert(std::string& strOut);
  // 0: strOut holds the private key (PKCS#8 PEM).
  int GetPriKey(std::string& strOut);
  // 0: strOut holds the data sealed for the recipient (PEM certificate).
  int CreatePKCS7(const std::string& strRecipientPem, const unsigned char* pData, size_t nLen,
                  std::string& strOut);
  int CreatePKCS7(const std::string& strRecipientPem, const char* pData, size_t nLen,
                  std::string& strOut) {
    return CreatePKCS7(strRecipientPem, reinterpret_cast<const unsigned char*>(pData), nLen,
                       strOut);
  }
  // 0: strOut holds the content of the Base64 envelope, opened with the key
  // (PEM) of the certificate (Base64 DER); strOut is empty otherwise.
  int DecryptPKCS7(const std::string& strCert, const std::string& strPriKey, const char* pEnvelope,
                   size_t nLen, std::string& strOut);

  // Serial text of a Base64 DER certificate (lower-case hex, most significant
  // byte first); "" when it is not a certificate. Owned by this object, valid
  // until the next call.
  const char* GetSN(const char* szCertBase64);

  // Installs the DER certificate in store nStore (CK_STORE_MY only).
  int NKInstallCert(const unsigned char* pDer, unsigned long nLen, unsigned long nStore);
  // Removes every certificate with that serial text from store nStore; 0 when
  // none is left.
  int UnInstallCertBySN(int nStore, const char* szSN);

 private:
  struct CKey;
  std::unique_ptr<CKey> m_pKey;  // the key pair of this exchange
  std::string m_strSN;
};

// ---------------------------------------------------------------- small tools

namespace CK_TOOL {
// Writes a PNG of the QR code of szText to szPngPath (made through a temporary
// file, the directory created when missing), nModulePixels pixels per module.
// True when the whole file was written.
bool MakeQREncode(const char* szText, int nModulePixels, const char* szPngPath);
}  // namespace CK_TOOL

// Standard Base64 with '=' padding, on one line. Base64Encode writes
// 4 * ceil(nLen / 3) characters and a NUL; out needs one byte more than that.
// Base64Decode writes at most 3 * (nLen / 4) bytes; it returns -1 (writing
// nothing) for text that is not Base64 (wrong alphabet, length or padding).
int Base64Encode(char* szOut, const char* pIn, int nLen);
int Base64Decode(char* pOut, const char* szIn, int nLen);
// Sizes needed by the two, for a given input length (without the NUL).
inline size_t Base64EncodedSize(size_t nLen) { return 4 * ((nLen + 2) / 3); }
inline size_t Base64DecodedMax(size_t nLen) { return 3 * (nLen / 4); }

// Reverses nLen bytes in place.
void Reverser(char* pBuf, int nLen);

// Code-page conversions between GBK and UTF-8; "" when the input is not
// valid text of its encoding.
std::string GBKToUTF8(const std::string& strGbk);
std::string UTF8ToGBK(const char* szUtf8);
