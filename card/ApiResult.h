#pragma once

// Result codes set by the dispatcher; any other value comes unchanged from the
// card library or the cloud operations.
enum emApiResult : int {
  API_OK = 0,
  API_LOCK_BUSY = -100,        // the operation lock was not taken within 1,000 ms
  API_NOT_INITIALISED = -101,  // the card library is not initialised (or not loaded)
  API_UNKNOWN_FUN = -10000,    // unknown operation name
  API_MISSING_PARAM = -10001,  // a required parameter is missing
  API_PARAM_TOO_LARGE = -10002,     // a parameter does not fit its fixed buffer
  API_BAD_LIBRARY_OUTPUT = -10003,  // the card library reported a size beyond its buffer
};
