#pragma once

// A small strict reader and writer of flat JSON objects: members whose values
// are strings, numbers, true, false or null. Strings are kept as their UTF-8
// bytes; numbers, true, false and null as their literal text. Nested objects
// and arrays, duplicate names, trailing text and anything not JSON make the
// whole text malformed.

#include <map>
#include <string>
#include <utility>
#include <vector>

using CkJsonObject = std::map<std::string, std::string>;

// False when strText is not one flat JSON object; obj is then empty.
bool CkJsonParse(const std::string& strText, CkJsonObject& obj);

// {"k1":"v1","k2":"v2"...} in the given order, every value a JSON string.
std::string CkJsonWrite(const std::vector<std::pair<std::string, std::string>>& vMembers);

// A member read as a decimal int (a string of digits or a number); false when
// absent, not an integer or outside int.
bool CkJsonInt(const CkJsonObject& obj, const std::string& strName, int& nValue);

// Member szField of a reply when it is there and not empty (nErrNum 0);
// otherwise "" and nErrNum = the reply's non-zero "errorCode", or
// CK_ERR_NO_MEMBER when it names none.
std::string CkReplyMember(const CkJsonObject& obj, const char* szField, int& nErrNum);
