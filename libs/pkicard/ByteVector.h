#pragma once

#include <vector>

// Bytes owned by the card library: inputs copied, outputs built, DER held.
using ByteVector = std::vector<unsigned char>;
