#pragma once

#include <string>

struct CCardFunctions;

// The card library's initialised state, shared by every thread of the
// process. The flag changes only while "PK_INIT_LOCK" is held.

// Opens the card library: takes "PK_INIT_LOCK" then "VEX5_FUNC_LOCK" (each for
// at most 1,000 ms), loads the library from the agent's directory if that was
// not tried yet, calls pkiInit and marks the library initialised whatever
// pkiInit returned. Returns pkiInit's result, -1 when a lock was not taken,
// or -101 when no usable card library could be loaded (the flag then stays
// false, so card operations keep answering -101).
int pasInit();

// Marks the card library not initialised and forgets the last key serial.
// Returns 1, or -1 when "PK_INIT_LOCK" was not taken (nothing changes then).
// Does not call pkiEnd.
int myEnd();

// The initialisation test: the initialised flag, read under "PK_INIT_LOCK";
// false when the lock was not taken within 1,000 ms.
bool pasIsInitialised();

// Reset after a failed card operation: myEnd, then pkiEnd. The key watch
// initialises the library again on its next pass.
void resetCardLibrary(const CCardFunctions& funcs);
// nResult, after resetCardLibrary when it is a failure (not 0).
int ResetOnFailure(const CCardFunctions& funcs, int nResult);

// Serial text of the key the library was last initialised for (empty when
// none). Read and written by the key watch; emptied by myEnd.
std::string getLastKeySerial();
void setLastKeySerial(const std::string& strSerial);
