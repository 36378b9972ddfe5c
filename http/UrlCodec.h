#pragma once

#include <string>
#include <vector>

// Helpers that split and decode the form-encoded text of a request
// ("name=value&name=value", the body of a POST or the query of a GET).

// Splits strSource at every occurrence of strDelimiter into vecPieces (cleared
// first). Empty pieces between two separators or before a leading separator are
// kept; a trailing separator adds no empty piece. An empty delimiter, or a source
// shorter than the delimiter, gives the source as the single piece.
void SplitString(const std::string& strSource, const std::string& strDelimiter,
                 std::vector<std::string>& vecPieces);

// Splits strPiece at its first strDelimiter: strPiece keeps the text before it
// (the name), strValue receives the text after it. Without a delimiter the whole
// piece is the name and the value is empty.
void SplitKeyValue(std::string& strPiece, std::string& strValue, const std::string& strDelimiter);

// Decodes one form-encoded value: "+" becomes a blank, "%" and two hexadecimal
// digits (either case) become the byte they spell, every other byte passes
// unchanged. The result ends at the first decoded 0 byte. An escape cut short
// by the end of the value after one digit is dropped; a "%" that does not begin
// an escape (at the very end, or followed by a non-hexadecimal character) stands
// for itself.
std::string UrlDecode(const std::string& strValue);

// Two upper-case hexadecimal digits of one byte, taken as unsigned.
std::string ByteToHex(unsigned char cByte);

// Converts the zero-terminated digit text szDigits into bytes at pOut, which
// must hold (length + 1) / 2 bytes. The last pair of an odd-length text takes
// the terminating 0 as its second digit. Returns length / 2, the number of
// whole bytes.
int HexToBytes(unsigned char* pOut, const char* szDigits);
