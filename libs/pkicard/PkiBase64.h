#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "libs/pkicard/ByteVector.h"

// Standard Base64 on one line, with '=' padding.
std::string Base64Encode(const unsigned char* pData, size_t nLen);

// Decodes standard Base64 with '=' padding; line breaks (CR, LF) are allowed
// anywhere, any other character outside the alphabet is an error (a blank
// usually stands for a '+' lost in form decoding). False on invalid input.
bool Base64Decode(const char* pText, size_t nLen, ByteVector& out);

// The DER bytes of every "CERTIFICATE" block of PEM text, in order.
std::vector<ByteVector> PemCertificates(const char* pText, size_t nLen);

// A certificate given as DER or PEM, as DER: the DER is one whole element
// (nothing after it), the PEM the first certificate block. False when it is
// neither.
bool CertificateDer(const unsigned char* pData, size_t nLen, ByteVector& der);
