#pragma once

#include <p11-kit/pkcs11.h>

// The one place where PKCS#11 results become the card library's codes.
int PkiCodeFromCkr(CK_RV rv);
