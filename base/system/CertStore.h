#pragma once

#include <string>
#include <vector>

// The current user's "MY" certificate store as a set of DER certificates.
// Windows: the system store opened with CertOpenSystemStoreA(0, "MY").
// POSIX: one DER file per certificate, "<serial text>.cer", in
// UserCertStoreDir(); the key probe reads the same directory.
//
// Serial text, on every platform and in every caller: the certificate's
// serial number bytes as lower-case hex pairs, most significant byte first,
// without spaces (the DER INTEGER's content bytes as stored, so a leading 00
// kept by the encoder stays).

using CertDer = std::vector<unsigned char>;

// POSIX: $XDG_DATA_HOME/Tolvan/certstore/MY (~/.local/share/... without it),
// without a trailing separator. Windows: empty (the system store has no path).
std::string UserCertStoreDir();

// Serial text of a DER certificate; empty when the bytes are not a
// certificate this reader understands.
std::string CertSerialText(const CertDer& vDer);

// Adds a certificate to the store (replacing one with the same serial). False
// when the bytes are not a certificate or the store cannot be written.
bool InstallUserCert(const CertDer& vDer);

// Removes every certificate with this serial text (letter case ignored).
// True when none is left afterwards (also when none was there).
bool RemoveUserCertBySerial(const std::string& strSerial);

// Every certificate in the store, in the store's order (POSIX: by file name).
// Files that are not certificates are left out.
std::vector<CertDer> ListUserCerts();
