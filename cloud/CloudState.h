#pragma once

// The cloud key state store: "Cloud_Key.ini" beside the executable, section
// "AuthCode", keys "AuthCode" (the authorisation code of the current
// enrolment), "TimeOut" (its expiry, seconds since 1970 UTC, decimal text of a
// 64-bit value) and "CertSN" (serial text of the certificate last installed
// from the service).

#include <cstdint>
#include <string>

// Size of the buffers cloudLoadState fills, terminator included.
constexpr size_t CLOUD_STATE_BUFFER = 100;
// Lifetime of an authorisation code, and the margin kept before its end.
constexpr int64_t CLOUD_CODE_LIFETIME_S = 1800;
constexpr int64_t CLOUD_CODE_MARGIN_S = 120;

// Either argument may be null: its keys are then left as they are. A non-null
// code also sets "TimeOut" to now + 1800 s. Write failures are ignored.
void cloudSaveState(const char* szAuthCode, const char* szCertSN);

// Each non-null argument is a CLOUD_STATE_BUFFER-byte buffer that receives the
// stored value (empty when absent, or when longer than the buffer holds: a
// value is never cut). True when the stored code may still be used: now is at
// most "TimeOut" - 120 s.
bool cloudLoadState(char* szAuthCode, char* szCertSN);

// The API operation: deletes the QR image, removes the stored certificate
// from the store and deletes the state file. 0, or -30000 when the
// certificate could not be removed (the state file is then kept).
int cloudEnd();

// Full path of the state file and of the QR image.
std::string CloudStateFilePath();
std::string CloudQrImagePath();

// Tests: the directory that stands in for the executable's (empty: the
// executable's own), and the clock in seconds since 1970 (null: the system's).
void SetCloudStateDir(const std::string& strDir);
using CloudClock = int64_t (*)();
void SetCloudClock(CloudClock pfnClock);
int64_t CloudNow();
