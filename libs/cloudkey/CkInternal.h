#pragma once

// Helpers shared by the files of the cloud key library; not part of its
// interface.

#include <memory>
#include <string>
#include <vector>

using CkBytes = std::vector<unsigned char>;

// Base64 text of bytes (one line, '=' padding).
std::string CkBase64Text(const unsigned char* pData, size_t nLen);
// Decodes Base64 text of at most nMaxText characters; false when it is longer
// or not Base64.
bool CkBase64Bytes(const std::string& strText, size_t nMaxText, CkBytes& vOut);

// Largest Base64 text of a certificate the library reads (64 KiB of DER).
constexpr size_t CK_MAX_CERT_TEXT = 4 * (64 * 1024 / 3 + 1);
