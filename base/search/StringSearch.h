#pragma once

// Exact-match substring searches over byte ranges and over NUL-terminated
// strings: Knuth-Morris-Pratt, Boyer-Moore and Sunday. All three give the same
// answer for the same input: the offset of the leftmost occurrence of the
// pattern in the text, counted from 0, or -1 when there is none.
//
// - An empty pattern occurs at offset 0 of every text, the empty text included.
// - A pattern longer than the text gives -1.
// - The KMP prefix table and the Boyer-Moore suffix tables have fixed sizes:
//   KMP takes patterns of up to 1023 bytes (KMP_MAX_PATTERN), Boyer-Moore up to
//   1024 (BM_MAX_PATTERN); a longer pattern gives -1. Sunday has no limit.
// - A null pointer with a non-zero length (or a null string) gives -1, as does
//   a match whose offset does not fit in an int.
// The string forms measure both strings and search without their terminators.

constexpr unsigned KMP_MAX_PATTERN = 1023;
constexpr unsigned BM_MAX_PATTERN = 1024;

int KMPSearchMemory(const unsigned char* pText, unsigned nTextLen,
                    const unsigned char* pPattern, unsigned nPatternLen);
int KMPSearchStr(const char* szText, const char* szPattern);

int BMSearchMemory(const unsigned char* pText, unsigned nTextLen,
                   const unsigned char* pPattern, unsigned nPatternLen);
int BMSearchStr(const char* szText, const char* szPattern);

int SundaySearchMemory(const unsigned char* pText, unsigned nTextLen,
                       const unsigned char* pPattern, unsigned nPatternLen);
int SundaySearchStr(const char* szText, const char* szPattern);
