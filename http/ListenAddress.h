#pragma once

#include <string>

// The address the listener binds to. The agent serves the local browser
// only: a setting that names a loopback address (127.0.0.0/8 in dotted form,
// or "localhost") is taken, anything else (every interface, a LAN address,
// IPv6, an empty value) gives 127.0.0.1, and strWhy then says why in a form
// fit for the log; strWhy is left empty when the setting was taken.
std::string LoopbackListenAddress(const std::string& strIP, std::string& strWhy);
