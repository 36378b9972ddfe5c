#pragma once

// The cloud signing service's endpoints and the control endpoints that steer
// it: authorisation codes, scans, sealed certificate and signature requests,
// and the refuse / slow / garbage modes. Independent of the transport; safe to
// call from several connection threads at once.

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tools/cloudsim/SimPki.h"

struct CSimReply {
  int nStatus = 200;
  std::string strContentType = "application/json";
  std::string strBody;
};

// Error numbers the service answers with (in a 200 reply).
enum : int {
  kSimErrBadRequest = 40001,   // body, envelope or its content unusable
  kSimErrBadCert = 40002,      // the sealed "cert" is not an RSA certificate
  kSimErrBadData = 40003,      // the sealed "data" is not Base64
  kSimErrBadControl = 40004,   // a control request with a bad value
  kSimErrWrongVerify = 40301,  // verifyCode differs from the scan's
  kSimErrNotScanned = 40302,
  kSimErrNotFound = 40400,  // no such endpoint
  kSimErrUnknownCode = 40401,
  kSimErrMethod = 40500,  // not POST
  kSimErrInternal = 50000,
};

enum class ESimGarbage {
  None,
  NotJson,
  Status500,
  LongMember,
  BadBase64,
  BadEnvelope,
  BadCert,
  ShortSig
};

class CSimService {
 public:
  explicit CSimService(const CSimPki& pki) : m_pki(pki) {}

  CSimReply Handle(const std::string& strMethod, const std::string& strPath,
                   const std::string& strBody);

  // Ends every slow-mode wait now and every later one at once.
  void Stop();

 private:
  struct CCodeState;
  struct CAnswer;
  enum class EEndpoint { AuthCode, SetQr, State, Cert, Sign };

  CSimReply Service(EEndpoint endpoint, const std::string& strBody);
  CAnswer Answer(EEndpoint endpoint, const std::string& strBody);
  // The answer as a reply, spoilt as the member garbage modes say.
  static CSimReply Garbled(CAnswer answer, EEndpoint endpoint, ESimGarbage eGarbage);
  CAnswer Sealed(EEndpoint endpoint, const std::string& strBody);
  CSimReply Control(const std::string& strName, const std::string& strBody);
  CSimReply Scan(const std::string& strBody);
  std::shared_ptr<CCodeState> Find(const std::string& strCode);

  const CSimPki& m_pki;
  std::mutex m_mutex;
  std::condition_variable m_cvStop;
  bool m_bStopping = false;
  std::map<std::string, std::shared_ptr<CCodeState>> m_mapCodes;
  std::deque<std::string> m_dequeCodes;  // oldest first; the back is the newest
  int m_nRefuse = 0;
  long long m_nDelayMs = 0;
  ESimGarbage m_eGarbage = ESimGarbage::None;
};
