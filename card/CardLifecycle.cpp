#include "card/CardLifecycle.h"

#include "base/system/DebugOutput.h"
#include "card/ApiResult.h"
#include "card/CardLibrary.h"
#include "card/NamedEventLock.h"

#include <atomic>
#include <mutex>

namespace {

// Written only under "PK_INIT_LOCK"; atomic because that lock is not a
// memory barrier the compiler knows of.
std::atomic<bool> g_bCardInitialised{false};

// Guards the last serial between the key watch and connection threads.
std::mutex& LastSerialMutex() {
  static std::mutex s_mtx;
  return s_mtx;
}

std::string& LastSerial() {
  static std::string s_strSerial;
  return s_strSerial;
}

}  // namespace

int pasInit() {
  NamedEventLock initLock(INIT_LOCK_NAME, NAMED_LOCK_WAIT_MS);
  // Waited for even when the first lock was not taken.
  NamedEventLock funcLock(FUNC_LOCK_NAME, NAMED_LOCK_WAIT_MS);
  if (!initLock.IsAcquired() || !funcLock.IsAcquired()) return -1;

  DebugOutput("===========pasInit=======");
  if (!EnsureCardLibraryLoaded()) return API_NOT_INITIALISED;
  const CCardFunctions* pFuncs = GetCardFunctions();
  if (pFuncs == nullptr) return API_NOT_INITIALISED;
  int nResult = pFuncs->pkiInit();
  DebugOutput("initialized");
  g_bCardInitialised = true;
  return nResult;
  // funcLock is released before initLock by the order of destruction.
}

int myEnd() {
  DebugOutput("myEnd");
  NamedEventLock initLock(INIT_LOCK_NAME, NAMED_LOCK_WAIT_MS);
  if (!initLock.IsAcquired()) return -1;
  g_bCardInitialised = false;
  setLastKeySerial(std::string());
  return 1;
}

bool pasIsInitialised() {
  NamedEventLock initLock(INIT_LOCK_NAME, NAMED_LOCK_WAIT_MS);
  if (!initLock.IsAcquired()) return false;
  return g_bCardInitialised;
}

void resetCardLibrary(const CCardFunctions& funcs) {
  myEnd();
  funcs.pkiEnd();
}

int ResetOnFailure(const CCardFunctions& funcs, int nResult) {
  if (nResult != 0) resetCardLibrary(funcs);
  return nResult;
}

std::string getLastKeySerial() {
  std::lock_guard<std::mutex> guard(LastSerialMutex());
  return LastSerial();
}

void setLastKeySerial(const std::string& strSerial) {
  std::lock_guard<std::mutex> guard(LastSerialMutex());
  LastSerial() = strSerial;
}
