#pragma once

#include <string>

#include "http/RequestParams.h"

// Test double of the request handler for the front end's own tests: it answers
// from the request alone, so that the bytes on the wire are known exactly.
//   Fun=echo       outData = the request's "data" value, return 0
//   Fun=big        outData = "size" bytes of 'x', return 0
//   anything else  return -10000, as the dispatcher answers an unknown name
// A request without "Fun" is not routed (no response).
namespace FakeApiHandler {
bool Handle(const RequestParams& request, RequestParams& result);
// The request of the last call, and how many calls there were.
RequestParams LastRequest();
int CallCount();
void Reset();
}  // namespace FakeApiHandler
