#pragma once

#include "http/RequestParams.h"

// The agent's request handler. "Fun" equal to "chEnvParm" sets the process log
// level from "logLevel" and leaves the result empty; every other "Fun" goes to
// the API dispatcher, whose outcome travels in the result map. False (nothing
// routed) when "Fun" is missing, or "chEnvParm" comes without "logLevel".
bool RouteRequest(const RequestParams& request, RequestParams& result);
