#include "card/KeyWatch.h"

#include "base/system/DebugOutput.h"
#include "card/CardLifecycle.h"

void keyWatchPass(const std::string& strCurrent, bool& bPending) {
  if (!strCurrent.empty() && strCurrent != getLastKeySerial()) {
    bPending = true;
    myEnd();
    DebugOutput("initThreadFun__2222");
    DebugOutput("initThreadFun__1111");
    pasInit();
  } else if (strCurrent.empty()) {
    bPending = false;
    myEnd();
  } else if (bPending) {
    DebugOutput("initThreadFun__1111");
    pasInit();
  }

  // A lock not taken reads as not initialised: the key stays pending and the
  // next pass tries again.
  if (!pasIsInitialised()) {
    DebugOutput("initThreadFun__where");
    return;
  }
  DebugOutput("initThreadFun__here");
  if (bPending) setLastKeySerial(strCurrent);
  bPending = false;
}

int runKeyWatch(const std::function<bool()>& fnRunning,
                const std::function<std::string()>& fnProbe, const std::function<void()>& fnWait) {
  bool bPending = false;
  setLastKeySerial(std::string());
  while (fnRunning()) {
    keyWatchPass(fnProbe(), bPending);
    fnWait();
  }
  return 0;
}
