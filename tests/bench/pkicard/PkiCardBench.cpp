// bench_pkicard [seconds-per-measurement]
//
// RSA-2048 and P-256 signatures per second on one SoftHSM2 token, three ways:
//   library  pkiGetSignature (log in, find certificate and key, sign, log out)
//   raw      the bare PKCS#11 sequence on a kept-open session: C_Login,
//            find the key by label, C_SignInit + C_Sign, C_Logout
//   openssl  EVP_DigestSign in-process with the same key
// The three take turns in ten slices each, so that changing machine load
// falls on all of them alike.
// Both token paths hash on the host and sign the same bytes. Needs openssl,
// softhsm2-util and pkcs11-tool on the PATH; works in a temporary directory.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <p11-kit/p11-kit.h>

#include "libs/pkicard/pkiCard.h"
#include "tests/bench/support/SigningBench.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char kModule[] = "/usr/lib/softhsm/libsofthsm2.so";
const char kPin[] = "1234";

bool Run(const std::string& strDir, const std::string& strCommand) {
  const std::string strFull = "cd '" + strDir + "' && ( " + strCommand + " ) >> bench.log 2>&1";
  if (std::system(strFull.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s (see %s/bench.log)\n", strCommand.c_str(), strDir.c_str());
    return false;
  }
  return true;
}

struct CPkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CMdCtxFree {
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

std::unique_ptr<EVP_PKEY, CPkeyFree> LoadKey(const std::string& strPath) {
  FILE* pFile = std::fopen(strPath.c_str(), "r");
  if (pFile == nullptr) return nullptr;
  std::unique_ptr<EVP_PKEY, CPkeyFree> key(PEM_read_PrivateKey(pFile, nullptr, nullptr, nullptr));
  std::fclose(pFile);
  return key;
}

bool OpensslSign(EVP_PKEY* pKey, const std::vector<unsigned char>& data) {
  std::unique_ptr<EVP_MD_CTX, CMdCtxFree> ctx(EVP_MD_CTX_new());
  unsigned char sig[512];
  size_t nSig = sizeof sig;
  return ctx && EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pKey) == 1 &&
         EVP_DigestSign(ctx.get(), sig, &nSig, data.data(), data.size()) == 1;
}

}  // namespace

int main(int argc, char** argv) {
  const double dSeconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  char szTemplate[] = "/tmp/pkicard-bench.XXXXXX";
  if (mkdtemp(szTemplate) == nullptr) return 1;
  const std::string strDir = szTemplate;
  struct CCleanup {
    std::string m_strDir;
    ~CCleanup() {
      std::error_code ec;
      fs::remove_all(m_strDir, ec);
    }
  } cleanup{strDir};

  fs::create_directories(strDir + "/tokens");
  {
    FILE* pConf = std::fopen((strDir + "/softhsm2.conf").c_str(), "w");
    if (pConf == nullptr) return 1;
    std::fprintf(pConf, "directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n",
                 strDir.c_str());
    std::fclose(pConf);
  }
  setenv("SOFTHSM2_CONF", (strDir + "/softhsm2.conf").c_str(), 1);
  const std::string strTool = std::string("pkcs11-tool --module ") + kModule +
                              " --token-label Bench --login --pin 1234 --write-object ";
  const char* const kSetup[] = {
      "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key",
      "openssl req -x509 -new -key rsa.key -subj /CN=rsa -days 30 -outform DER -out rsa.der",
      "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key",
      "openssl req -x509 -new -key ec.key -subj /CN=ec -days 30 -outform DER -out ec.der",
      "softhsm2-util --init-token --free --label Bench --so-pin 5678 --pin 1234",
      "softhsm2-util --import rsa.key --token Bench --label rsakey --id 01 --pin 1234",
      "softhsm2-util --import ec.key --token Bench --label eckey --id 02 --pin 1234",
  };
  for (const char* szCommand : kSetup) {
    if (!Run(strDir, szCommand)) return 1;
  }
  if (!Run(strDir, strTool + "rsa.der --type cert --label RSA_SIG --id 01") ||
      !Run(strDir, strTool + "ec.der --type cert --label EC_SIG --id 02")) {
    return 1;
  }

  setenv("PKICARD_MODULE", kModule, 1);
  setenv("PKICARD_TOKEN_LABEL", "Bench", 1);
  if (pkiInit() != PKI_OK) {
    std::fprintf(stderr, "pkiInit failed\n");
    return 1;
  }
  CRawPkcs11Token raw(kModule, "Bench", kPin);
  if (!raw.Open()) {
    std::fprintf(stderr, "raw PKCS#11 set-up failed\n");
    return 1;
  }
  auto rsaKey = LoadKey(strDir + "/rsa.key");
  auto ecKey = LoadKey(strDir + "/ec.key");
  if (!rsaKey || !ecKey) return 1;

  const std::vector<unsigned char> data(256, 0x61);
  unsigned char out[512];

  std::printf("pkiCard signature benchmark (SoftHSM2, %.1f s per figure)\n", dSeconds);
  std::printf("%-8s %12s %12s %12s %14s %14s\n", "key", "library/s", "raw/s", "openssl/s", "raw:library",
              "openssl:library");
  struct Case {
    const char* m_szName;
    const char* m_szCertLabel;
    const char* m_szKeyLabel;
    CK_MECHANISM_TYPE m_nMech;
    EVP_PKEY* m_pKey;
  };
  const Case kCases[] = {{"RSA-2048", "RSA_SIG", "rsakey", CKM_RSA_PKCS, rsaKey.get()},
                         {"P-256", "EC_SIG", "eckey", CKM_ECDSA, ecKey.get()}};
  for (const Case& c : kCases) {
    const std::vector<double> rates = InterleavedRates(
        {[&] {
           PkiBlob blob{sizeof out, out};
           return pkiGetSignature(c.m_szCertLabel, kPin, 2, static_cast<uint32_t>(data.size()), data.data(),
                                  &blob) == PKI_OK;
         },
         [&] {
           return raw.Sign(c.m_szKeyLabel, c.m_nMech,
                           c.m_nMech == CKM_RSA_PKCS ? Sha256DigestInfo(data) : Sha256(data));
         },
         [&] { return OpensslSign(c.m_pKey, data); }},
        dSeconds);
    if (rates.size() != 3) {
      std::fprintf(stderr, "%s: a signing path failed\n", c.m_szName);
      return 1;
    }
    const double dLibrary = rates[0], dRaw = rates[1], dOpenssl = rates[2];
    std::printf("%-8s %12.1f %12.1f %12.1f %13.3fx %13.3fx\n", c.m_szName, dLibrary, dRaw, dOpenssl,
                dRaw / dLibrary, dOpenssl / dLibrary);
  }
  std::printf("raw:library is the library's time per signature over the raw sequence's (goal <= 1.2)\n");
  pkiEnd();
  return 0;
}
