#pragma once

#include <string>

// The directory that holds the card library's own file (with a trailing
// separator), or an empty string when it cannot be told.
std::string GetLibraryDir();
