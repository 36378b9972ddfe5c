#pragma once

#include <string>

// Text that came from outside (request values, names a client chose) as it
// may go into a log line: every control byte (below 0x20, and 0x7F) is
// written as "\xHH", so that a value holding CR or LF cannot start a line of
// its own and pass for one the agent wrote. Other bytes are kept.
std::string EscapeControlBytes(const std::string& strText);
