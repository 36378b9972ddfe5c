#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Decimal text, read in one place for the whole agent.

// Read as the C library's strtol/atoi read it: leading blanks, an optional
// sign, then digits up to the first other character; no digits give 0.
// Values beyond the signed 32-bit range are held at INT32_MAX / INT32_MIN on
// every platform. At most nLen bytes are looked at, and a 0 byte ends the text.
int32_t ParseDecimal(const char* pText, size_t nLen);
int32_t ParseDecimal(const std::string& strText);

// Strict reading: the whole text is 1 to 19 decimal digits (no sign, no
// blanks). False, and nValue untouched, otherwise.
bool ParseDecimalDigits(const std::string& strText, uint64_t& nValue);
