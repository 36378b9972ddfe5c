#pragma once

#include "base/system/KeyProbe.h"

// The key-watch thread of the running agent: the watch loop of KeyWatch.h
// over the "MY" store probe, for as long as the service object runs.

// The key-watch routine that the listener starts (CTolvanServer::
// SetKeyWatchRoutine). pServer is the CTolvanServer. While its run state is
// Running: probe, one watch pass, then wait the watch interval; the wait ends
// at once when the state leaves Running. The first pass runs at once.
void initThreadFun(void* pServer);

// Time between two passes: KEY_WATCH_INTERVAL_MS unless set (tests).
void SetKeyWatchInterval(unsigned nMs);
unsigned GetKeyWatchInterval();

// One probe as the watch makes it: ProbeUserKeyEx, with a log line when the
// token part's state changes (not on every pass) and one for each store file
// that is not a certificate, the first time it is seen.
std::string ProbeAndReport();

// Passes made by the watch since the process started (tests poll it).
unsigned long KeyWatchPassCount();
