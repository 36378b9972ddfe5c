#pragma once

#include <functional>
#include <string>

// The key watch: keeps the card library initialised for the signing key that
// is present. initThreadFun runs runKeyWatch with the service object's run
// state, the "MY" store probe and a 5,000 ms wait.

// Time between two passes of the key watch.
constexpr unsigned KEY_WATCH_INTERVAL_MS = 5000;

// One pass, given the serial text of the signing certificate found now (empty
// when there is none). bPending is the watch's own flag: set when the library
// is to be initialised for a new key, cleared once that is committed.
//  - a key other than the last committed one: myEnd, then pasInit;
//  - no key: myEnd;
//  - the same key while pending: pasInit again.
// Then, if the library reads as initialised, a pending key becomes the last
// serial.
void keyWatchPass(const std::string& strCurrent, bool& bPending);

// The watch loop: forgets the last serial, then while fnRunning() holds runs
// keyWatchPass(fnProbe()) and fnWait(). Returns 0.
int runKeyWatch(const std::function<bool()>& fnRunning,
                const std::function<std::string()>& fnProbe, const std::function<void()>& fnWait);
