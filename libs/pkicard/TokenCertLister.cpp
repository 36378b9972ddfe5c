// TolvanKeyProbe <output file>
//
// Writes the X.509 certificates of every PKCS#11 token present to the output
// file, one per line as hex DER: in module and slot order, and on each token
// by label, then by content. Looks at
// the module the card library is configured with (PkiConfig), and at the
// tokens it would use: initialised, needing a login (key stores, not trust
// anchor stores), and of the configured label or serial when one is set.
//
// A process of its own per look: a module initialised afresh sees tokens put
// in or taken out even where it rescans only at initialisation, and the card
// library's use of the module in the agent is never disturbed.
//
// Exit codes: 0 listed (maybe nothing), 2 bad arguments or output file,
// 3 no module could be loaded, 4 no module could be initialised.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include <p11-kit/p11-kit.h>

#include "libs/pkicard/PkiConfig.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitNoModule = 3;
constexpr int kExitInitFailed = 4;
// Looks at the tokens when the first finds no certificate, and the pause
// before the second (doubled before the third).
constexpr int kAttempts = 3;
constexpr int kRetryPauseMs = 100;

std::string Unpadded(const CK_UTF8CHAR* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  const std::string::size_type nEnd = s.find_last_not_of(" \0", std::string::npos, 2);
  return nEnd == std::string::npos ? std::string() : s.substr(0, nEnd + 1);
}

bool TokenWanted(const CK_TOKEN_INFO& info, const PkiConfig& cfg) {
  if ((info.flags & CKF_TOKEN_INITIALIZED) == 0 || (info.flags & CKF_LOGIN_REQUIRED) == 0) {
    return false;
  }
  if (!cfg.m_strTokenLabel.empty() &&
      Unpadded(info.label, sizeof info.label) != cfg.m_strTokenLabel) {
    return false;
  }
  return cfg.m_strTokenSerial.empty() ||
         Unpadded(info.serialNumber, sizeof info.serialNumber) == cfg.m_strTokenSerial;
}

std::string HexLine(const std::vector<unsigned char>& der) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strLine;
  for (unsigned char c : der) {
    strLine += kDigits[c >> 4];
    strLine += kDigits[c & 0x0f];
  }
  return strLine + "\n";
}

bool ReadAttribute(CK_FUNCTION_LIST* pModule, CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                   CK_ATTRIBUTE_TYPE nType, std::vector<unsigned char>& value) {
  CK_ATTRIBUTE attr{nType, nullptr, 0};
  if (pModule->C_GetAttributeValue(hSession, hObject, &attr, 1) != CKR_OK ||
      attr.ulValueLen == CK_UNAVAILABLE_INFORMATION) {
    return false;
  }
  value.resize(attr.ulValueLen);
  attr.pValue = value.data();
  if (pModule->C_GetAttributeValue(hSession, hObject, &attr, 1) != CKR_OK) return false;
  value.resize(attr.ulValueLen);
  return true;
}

// Every X.509 certificate object visible without a login on one token.
void ListSlot(CK_FUNCTION_LIST* pModule, CK_SLOT_ID nSlot, std::vector<std::string>& vecLines) {
  CK_SESSION_HANDLE hSession = CK_INVALID_HANDLE;
  if (pModule->C_OpenSession(nSlot, CKF_SERIAL_SESSION, nullptr, nullptr, &hSession) != CKR_OK) {
    return;
  }
  CK_OBJECT_CLASS nClass = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE nType = CKC_X_509;
  CK_ATTRIBUTE query[] = {{CKA_CLASS, &nClass, sizeof nClass},
                          {CKA_CERTIFICATE_TYPE, &nType, sizeof nType}};
  std::vector<CK_OBJECT_HANDLE> vecFound;
  if (pModule->C_FindObjectsInit(hSession, query, 2) == CKR_OK) {
    CK_OBJECT_HANDLE aBatch[16];
    CK_ULONG nCount = 0;
    while (pModule->C_FindObjects(hSession, aBatch, 16, &nCount) == CKR_OK && nCount > 0) {
      vecFound.insert(vecFound.end(), aBatch, aBatch + nCount);
    }
    pModule->C_FindObjectsFinal(hSession);
  }
  // A module may list objects in any order, and a different one each time it
  // starts: sorted by label, then by content, the first certificate stays
  // the same from one look to the next.
  std::vector<std::pair<std::string, std::vector<unsigned char>>> vecCerts;
  for (CK_OBJECT_HANDLE hCert : vecFound) {
    std::vector<unsigned char> der;
    std::vector<unsigned char> label;
    if (!ReadAttribute(pModule, hSession, hCert, CKA_VALUE, der) || der.empty()) continue;
    ReadAttribute(pModule, hSession, hCert, CKA_LABEL, label);
    vecCerts.emplace_back(std::string(label.begin(), label.end()), std::move(der));
  }
  std::sort(vecCerts.begin(), vecCerts.end());
  for (const auto& cert : vecCerts) vecLines.push_back(HexLine(cert.second));
  pModule->C_CloseSession(hSession);
}

void ListModule(CK_FUNCTION_LIST* pModule, const PkiConfig& cfg, std::vector<std::string>& vecLines) {
  CK_ULONG nSlots = 0;
  if (pModule->C_GetSlotList(CK_TRUE, nullptr, &nSlots) != CKR_OK || nSlots == 0) return;
  std::vector<CK_SLOT_ID> vecSlots(nSlots);
  if (pModule->C_GetSlotList(CK_TRUE, vecSlots.data(), &nSlots) != CKR_OK) return;
  vecSlots.resize(nSlots);
  for (CK_SLOT_ID nSlot : vecSlots) {
    CK_TOKEN_INFO info{};
    if (pModule->C_GetTokenInfo(nSlot, &info) != CKR_OK) continue;
    if (TokenWanted(info, cfg)) ListSlot(pModule, nSlot, vecLines);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return kExitUsage;
  const PkiConfig cfg = LoadPkiConfig();

  CK_FUNCTION_LIST** ppRegistered = nullptr;
  std::vector<CK_FUNCTION_LIST*> vecModules;
  if (IsPkcs11ProxyModule(cfg.m_strModule)) {
    ppRegistered = p11_kit_modules_load(nullptr, 0);
    for (CK_FUNCTION_LIST** pp = ppRegistered; pp != nullptr && *pp != nullptr; ++pp) {
      vecModules.push_back(*pp);
    }
  } else if (CK_FUNCTION_LIST* pModule = p11_kit_module_load(cfg.m_strModule.c_str(), 0)) {
    vecModules.push_back(pModule);
  }
  if (vecModules.empty()) {
    if (ppRegistered != nullptr) p11_kit_modules_release(ppRegistered);
    return kExitNoModule;
  }

  // A module may miss a token now and then while another process uses it
  // (SoftHSM reads token files that a signing process is rewriting): a look
  // that finds nothing is made again from a fresh initialisation, after a
  // growing pause, so that one busy moment does not read as a pulled key.
  std::vector<std::string> vecLines;
  bool bAnyInitialised = false;
  for (int nAttempt = 0; nAttempt < kAttempts && vecLines.empty(); ++nAttempt) {
    if (nAttempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs * nAttempt));
    std::vector<CK_FUNCTION_LIST*> vecInitialised;
    for (CK_FUNCTION_LIST* pModule : vecModules) {
      if (p11_kit_module_initialize(pModule) == CKR_OK) vecInitialised.push_back(pModule);
    }
    if (vecInitialised.empty()) break;
    bAnyInitialised = true;
    for (CK_FUNCTION_LIST* pModule : vecInitialised) ListModule(pModule, cfg, vecLines);
    for (CK_FUNCTION_LIST* pModule : vecInitialised) p11_kit_module_finalize(pModule);
  }
  int nExit = kExitInitFailed;
  if (bAnyInitialised) {
    nExit = kExitUsage;
    if (FILE* pOut = std::fopen(argv[1], "wb")) {
      for (const std::string& strLine : vecLines) std::fputs(strLine.c_str(), pOut);
      nExit = std::fclose(pOut) == 0 ? kExitOk : kExitUsage;
    }
  }
  if (ppRegistered != nullptr) {
    p11_kit_modules_release(ppRegistered);
  } else {
    for (CK_FUNCTION_LIST* pModule : vecModules) p11_kit_module_release(pModule);
  }
  return nExit;
}
