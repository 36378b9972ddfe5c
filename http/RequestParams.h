#pragma once

#include <map>
#include <string>

// One API call's parameters, name to value, both byte strings. The order is
// unsigned byte-wise comparison of the names (std::string's own less-than),
// which is also the order in which results are written into a response. The
// same type carries an operation's results back.
using RequestParams = std::map<std::string, std::string>;

// What the service does with one decoded request: writes its results into the
// result map and returns true, or returns false when the request cannot be
// routed (it then gets no response at all).
using RequestHandler = bool (*)(const RequestParams& request, RequestParams& result);
