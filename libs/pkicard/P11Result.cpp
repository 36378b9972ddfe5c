#include "libs/pkicard/P11Result.h"

int PkiCodeFromCkr(CK_RV rv) {
  switch (rv) {
    case CKR_OK:
      return PKI_OK;
    case CKR_PIN_INCORRECT:
    case CKR_PIN_INVALID:
    case CKR_PIN_LEN_RANGE:
      return PKI_ERR_PIN_INCORRECT;
    case CKR_PIN_LOCKED:
    case CKR_PIN_EXPIRED:
      return PKI_ERR_PIN_LOCKED;
    case CKR_TOKEN_NOT_PRESENT:
    case CKR_TOKEN_NOT_RECOGNIZED:
    case CKR_DEVICE_REMOVED:
    case CKR_SESSION_HANDLE_INVALID:
    case CKR_SESSION_CLOSED:
    case CKR_SLOT_ID_INVALID:
    case CKR_CRYPTOKI_NOT_INITIALIZED:
    case CKR_OBJECT_HANDLE_INVALID:
    case CKR_KEY_HANDLE_INVALID:
      return PKI_ERR_TOKEN_REMOVED;
    case CKR_ENCRYPTED_DATA_INVALID:
    case CKR_ENCRYPTED_DATA_LEN_RANGE:
      return PKI_ERR_DECRYPT;
    case CKR_MECHANISM_INVALID:
    case CKR_KEY_TYPE_INCONSISTENT:
    case CKR_KEY_FUNCTION_NOT_PERMITTED:
      return PKI_ERR_UNSUPPORTED_ALGO;
    case CKR_BUFFER_TOO_SMALL:
      return PKI_ERR_BUFFER_TOO_SMALL;
    case CKR_USER_ALREADY_LOGGED_IN:
    case CKR_USER_ANOTHER_ALREADY_LOGGED_IN:
      return kP11AlreadyLoggedIn;
    case CKR_ARGUMENTS_BAD:
    case CKR_DATA_LEN_RANGE:
      return PKI_ERR_INVALID_ARG;
    default:
      return PKI_ERR_TOKEN_FAILURE;
  }
}
