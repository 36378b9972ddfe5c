#pragma once

#include "card/ApiResult.h"
#include "http/RequestParams.h"


// The single entry point for every API operation other than chEnvParm. Reads
// the request map, writes "return" (and, for operations with output,
// "outData") into the result map, and returns the result code.
int pasApiHandler(const RequestParams& request, RequestParams& result);
