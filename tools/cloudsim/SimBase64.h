#pragma once

// Base64 (standard alphabet, padded, no line breaks) and hex digits.

#include <string>

std::string SimBase64Encode(const std::string& strBytes);

// Strict: only the standard alphabet, a length that is a multiple of four and
// at most two '=' at the end. False for anything else.
bool SimBase64Decode(const std::string& strText, std::string& strBytes);

std::string SimHex(const unsigned char* pBytes, size_t nLen);

// The value of one hex digit (either case); -1 for any other character.
int SimHexDigit(char c);
