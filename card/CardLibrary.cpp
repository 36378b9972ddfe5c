#include "card/CardLibrary.h"

#include "base/logging/ProcessLog.h"
#include "base/system/ExePath.h"
#include "base/system/LibraryLoader.h"

#include <mutex>

namespace {

struct CLoadedCardLibrary {
  CLibraryLoader m_loader;
  CCardFunctions m_functions;
  bool m_bUsable = false;
  bool m_bAttempted = false;
  std::string m_strPath;
};

std::mutex& CardLibraryMutex() {
  static std::mutex s_mtx;
  return s_mtx;
}

// Created once and never destroyed: the key-watch and connection threads are
// detached and may still be inside the library while the process exits, so
// the library must stay mapped until the very end.
CLoadedCardLibrary& CardLibraryState() {
  static CLoadedCardLibrary* s_pState = new CLoadedCardLibrary;
  return *s_pState;
}

template <typename T>
bool Resolve(const CLibraryLoader& loader, const char* szName, T& pfn, const char*& szMissing) {
  if (szMissing != nullptr) return false;
  pfn = reinterpret_cast<T>(loader.Symbol(szName));
  if (pfn == nullptr) szMissing = szName;
  return pfn != nullptr;
}

// Resolves every function; returns the name of the first one missing, or null.
const char* ResolveAll(const CLibraryLoader& loader, CCardFunctions& f) {
  const char* szMissing = nullptr;
  Resolve(loader, "pkiInit", f.pkiInit, szMissing);
  Resolve(loader, "pkiEnd", f.pkiEnd, szMissing);
  Resolve(loader, "pkiBase64Decode", f.pkiBase64Decode, szMissing);
  Resolve(loader, "pkiBase64Encode", f.pkiBase64Encode, szMissing);
  Resolve(loader, "pkiReadLabel", f.pkiReadLabel, szMissing);
  Resolve(loader, "pkiCheckCert", f.pkiCheckCert, szMissing);
  Resolve(loader, "pkiGetXMLCertInfo", f.pkiGetXMLCertInfo, szMissing);
  Resolve(loader, "pkiGetCertInfoEx", f.pkiGetCertInfoEx, szMissing);
  Resolve(loader, "pkiSealEnvelope", f.pkiSealEnvelope, szMissing);
  Resolve(loader, "pkiOpenEnvelope", f.pkiOpenEnvelope, szMissing);
  Resolve(loader, "pkiGetSignature", f.pkiGetSignature, szMissing);
  Resolve(loader, "pkiVerifySignature", f.pkiVerifySignature, szMissing);
  Resolve(loader, "pkiGenerateRandom", f.pkiGenerateRandom, szMissing);
  Resolve(loader, "pkiHashData", f.pkiHashData, szMissing);
  Resolve(loader, "pkiSymmCryptData", f.pkiSymmCryptData, szMissing);
  return szMissing;
}

// Caller holds CardLibraryMutex().
bool LoadLocked(CLoadedCardLibrary& state, const std::string& strDir) {
  state.m_bUsable = false;
  state.m_functions = CCardFunctions();
  state.m_loader.Close();
  state.m_bAttempted = true;

  std::string strFile = CLibraryLoader::FileName(CARD_LIBRARY_NAME);
  std::string strBase = strDir.empty() ? GetExeDir() : strDir;
  if (strBase.empty()) {
    state.m_strPath = strFile;
    WriteProcessLog(0, 0, "Card library %s not loaded: the agent's directory is unknown\n",
                    strFile.c_str());
    return false;
  }
  state.m_strPath = JoinPath(strBase, strFile);
  if (!state.m_loader.Open(state.m_strPath)) {
    WriteProcessLog(0, 0, "Card library %s not loaded: %s\n", state.m_strPath.c_str(),
                    state.m_loader.LastError().c_str());
    return false;
  }
  CCardFunctions functions;
  if (const char* szMissing = ResolveAll(state.m_loader, functions)) {
    WriteProcessLog(0, 0, "Card library %s not usable: function %s missing\n",
                    state.m_strPath.c_str(), szMissing);
    state.m_loader.Close();
    return false;
  }
  state.m_functions = functions;
  state.m_bUsable = true;
  WriteProcessLog(0, 1, "Card library %s loaded\n", state.m_strPath.c_str());
  return true;
}

}  // namespace

bool LoadCardLibrary(const std::string& strDir) {
  std::lock_guard<std::mutex> guard(CardLibraryMutex());
  return LoadLocked(CardLibraryState(), strDir);
}

bool EnsureCardLibraryLoaded() {
  std::lock_guard<std::mutex> guard(CardLibraryMutex());
  CLoadedCardLibrary& state = CardLibraryState();
  if (!state.m_bAttempted) LoadLocked(state, std::string());
  return state.m_bUsable;
}

void UnloadCardLibrary() {
  std::lock_guard<std::mutex> guard(CardLibraryMutex());
  CLoadedCardLibrary& state = CardLibraryState();
  state.m_bUsable = false;
  state.m_functions = CCardFunctions();
  state.m_loader.Close();
  state.m_bAttempted = false;
}

const CCardFunctions* GetCardFunctions() {
  std::lock_guard<std::mutex> guard(CardLibraryMutex());
  CLoadedCardLibrary& state = CardLibraryState();
  return state.m_bUsable ? &state.m_functions : nullptr;
}

std::string GetCardLibraryPath() {
  std::lock_guard<std::mutex> guard(CardLibraryMutex());
  return CardLibraryState().m_strPath;
}
