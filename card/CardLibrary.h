#pragma once

#include <cstdint>
#include <string>

// The card library "pkiCard" (libpkiCard.so / pkiCard.dll), loaded at run time
// from the agent's own directory. Its C interface (PkiBlob and the functions)
// is declared once, in the library's own header; the agent only takes the
// types of the functions from it and links nothing.
#include "libs/pkicard/pkiCard.h"

// Size of the record that pkiGetCertInfoEx fills.
constexpr size_t PKI_CERT_INFO_RECORD_SIZE = 5576;

// The resolved functions of one loaded card library; all set, or the library
// is not usable.
struct CCardFunctions {
  decltype(&::pkiInit) pkiInit = nullptr;
  decltype(&::pkiEnd) pkiEnd = nullptr;
  decltype(&::pkiBase64Decode) pkiBase64Decode = nullptr;
  decltype(&::pkiBase64Encode) pkiBase64Encode = nullptr;
  decltype(&::pkiReadLabel) pkiReadLabel = nullptr;
  decltype(&::pkiCheckCert) pkiCheckCert = nullptr;
  decltype(&::pkiGetXMLCertInfo) pkiGetXMLCertInfo = nullptr;
  decltype(&::pkiGetCertInfoEx) pkiGetCertInfoEx = nullptr;
  decltype(&::pkiSealEnvelope) pkiSealEnvelope = nullptr;
  decltype(&::pkiOpenEnvelope) pkiOpenEnvelope = nullptr;
  decltype(&::pkiGetSignature) pkiGetSignature = nullptr;
  decltype(&::pkiVerifySignature) pkiVerifySignature = nullptr;
  decltype(&::pkiGenerateRandom) pkiGenerateRandom = nullptr;
  decltype(&::pkiHashData) pkiHashData = nullptr;
  decltype(&::pkiSymmCryptData) pkiSymmCryptData = nullptr;
};

// Base name of the card library file.
constexpr const char* CARD_LIBRARY_NAME = "pkiCard";

// Loads the card library from strDir (the agent's own directory when empty),
// replacing any library loaded before, and resolves every function. True when
// the library is usable; otherwise one log line names what is missing (the file
// or the first absent function) and every card operation answers -101.
// Not to be called while card operations run.
bool LoadCardLibrary(const std::string& strDir = std::string());

// Loads from the agent's own directory unless a load was already attempted.
// True when a usable library is loaded.
bool EnsureCardLibraryLoaded();

// Closes the loaded library. Not to be called while card operations run; the
// caller marks the library not initialised first (myEnd).
void UnloadCardLibrary();

// The functions of the usable library, or null when none is loaded. The table
// stays valid until the next Load or Unload.
const CCardFunctions* GetCardFunctions();

// Directory the library was (last) looked for in; for messages and tests.
std::string GetCardLibraryPath();
