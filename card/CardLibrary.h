#pragma once

#include <cstdint>
#include <string>

// The card library "pkiCard" (libpkiCard.so / pkiCard.dll), loaded at run time
// from the agent's own directory. Every function returns 0 on success and a
// library failure code otherwise; "data" arguments are a 32-bit length followed
// by a byte pointer, text arguments NUL-terminated byte strings.

// Output descriptor: the capacity of pData on entry, the bytes produced on return.
struct PkiBlob {
  uint32_t nLen;
  unsigned char* pData;
};

extern "C" {
typedef int (*PFN_pkiInit)();
typedef int (*PFN_pkiEnd)();
typedef int (*PFN_pkiBase64Decode)(uint32_t nTextLen, const char* pText, PkiBlob* pOut);
typedef int (*PFN_pkiBase64Encode)(uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut);
typedef int (*PFN_pkiReadLabel)(const char* szLabel, int nFlag, unsigned char* pBuf,
                                uint32_t* pnLen);
typedef int (*PFN_pkiCheckCert)(uint32_t nCertLen, const unsigned char* pCert, int n1, int n2,
                                int n3, int n4, int n5, int n6);
typedef int (*PFN_pkiGetXMLCertInfo)(uint32_t nCertLen, const unsigned char* pCert,
                                     PkiBlob* pOut);
typedef int (*PFN_pkiGetCertInfoEx)(uint32_t nCertLen, const unsigned char* pCert,
                                    unsigned char* pRecord, int* pnPreferAlg);
typedef int (*PFN_pkiSealEnvelope)(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo,
                                   uint32_t nPlainLen, const unsigned char* pPlain, PkiBlob* pOut);
typedef int (*PFN_pkiOpenEnvelope)(const char* szKeyLabel, const char* szPasswd,
                                   uint32_t nEnvLen, const unsigned char* pEnv, PkiBlob* pOut);
typedef int (*PFN_pkiGetSignature)(const char* szLabel, const char* szPasswd, int nDigestAlgo,
                                   uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut);
typedef int (*PFN_pkiVerifySignature)(uint32_t nCertLen, const unsigned char* pCert,
                                      uint32_t nDataLen, const unsigned char* pData,
                                      uint32_t nSigLen, const unsigned char* pSig);
typedef int (*PFN_pkiGenerateRandom)(int nCount, PkiBlob* pOut);
typedef int (*PFN_pkiHashData)(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData,
                               PkiBlob* pOut);
typedef int (*PFN_pkiSymmCryptData)(int nMode, int nSymmAlgo, uint32_t nKeyLen,
                                    const unsigned char* pKey, uint32_t nInLen,
                                    const unsigned char* pIn, PkiBlob* pOut);
}

// Size of the record that pkiGetCertInfoEx fills.
constexpr size_t PKI_CERT_INFO_RECORD_SIZE = 5576;

// The resolved functions of one loaded card library; all set, or the library
// is not usable.
struct CCardFunctions {
  PFN_pkiInit pkiInit = nullptr;
  PFN_pkiEnd pkiEnd = nullptr;
  PFN_pkiBase64Decode pkiBase64Decode = nullptr;
  PFN_pkiBase64Encode pkiBase64Encode = nullptr;
  PFN_pkiReadLabel pkiReadLabel = nullptr;
  PFN_pkiCheckCert pkiCheckCert = nullptr;
  PFN_pkiGetXMLCertInfo pkiGetXMLCertInfo = nullptr;
  PFN_pkiGetCertInfoEx pkiGetCertInfoEx = nullptr;
  PFN_pkiSealEnvelope pkiSealEnvelope = nullptr;
  PFN_pkiOpenEnvelope pkiOpenEnvelope = nullptr;
  PFN_pkiGetSignature pkiGetSignature = nullptr;
  PFN_pkiVerifySignature pkiVerifySignature = nullptr;
  PFN_pkiGenerateRandom pkiGenerateRandom = nullptr;
  PFN_pkiHashData pkiHashData = nullptr;
  PFN_pkiSymmCryptData pkiSymmCryptData = nullptr;
};

// Base name of the card library file.
constexpr const char* CARD_LIBRARY_NAME = "pkiCard";

// Loads the card library from strDir (the agent's own directory when empty),
// replacing any library loaded before, and resolves every function. True when
// the library is usable; otherwise one log line names what is missing (the file
// or the first absent function) and every card operation answers -101.
// Not to be called while card operations run.
bool LoadCardLibrary(const std::string& strDir = std::string());

// Loads from the agent's own directory unless a load was already attempted.
// True when a usable library is loaded.
bool EnsureCardLibraryLoaded();

// Closes the loaded library (the initialised flag is cleared first). Not to
// be called while card operations run.
void UnloadCardLibrary();

// The functions of the usable library, or null when none is loaded. The table
// stays valid until the next Load or Unload.
const CCardFunctions* GetCardFunctions();

// Directory the library was (last) looked for in; for messages and tests.
std::string GetCardLibraryPath();
