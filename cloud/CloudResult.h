#pragma once

// Result codes of the cloud operations. Any other value comes from the
// service ("errorCode" of a refused request), from the cloud key library
// (CK_ERR_..., libs/cloudkey/CloudKey.h), from the card library
// (cloudVerifyData) or is the service's state number (cloudGetState).
enum emCloudResult : int {
  CLOUD_OK = 0,
  CLOUD_MISSING_PARAM = -10001,    // a required request parameter is missing (the dispatcher's code)
  CLOUD_PARAM_TOO_LARGE = -10002,  // a parameter does not fit its fixed buffer (the dispatcher's code)
  CLOUD_NO_AUTH_CODE = -15008,     // the service gave no authorisation code
  CLOUD_NO_QR_CONTENT = -15009,    // the service gave no QR content
  CLOUD_QR_NOT_WRITTEN = -15010,   // the QR image was not written
  CLOUD_CODE_UNUSABLE = -15015,    // no usable authorisation code stored (absent or expired)
  CLOUD_CODE_EMPTY = -15016,       // the stored authorisation code is empty
  CLOUD_REPLY_TOO_LARGE = -15020,  // a member of the service's reply does not fit its buffer
  CLOUD_BAD_REPLY = -15021,        // a member of the service's reply is malformed (not Base64,
                                   // not a certificate, a signature of an impossible size,
                                   // a code that cannot be stored or sent)
  CLOUD_BAD_PARAM = -15022,        // a parameter is not in its form (Base64, GBK text)
  CLOUD_KEY_FAILED = -25005,       // the fresh certificate or private key was not produced
  CLOUD_ENVELOPE_FAILED = -25011,  // the request envelope was not made
  CLOUD_END_FAILED = -30000,       // cloudEnd could not remove the stored certificate
};
