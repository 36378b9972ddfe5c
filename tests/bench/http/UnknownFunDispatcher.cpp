// Stand-in dispatcher for the load generator while the card side is not
// built: every operation is unknown, which the real one answers at once and
// without a lock as well.
#include "card/ApiHandler.h"

int pasApiHandler(const RequestParams&, RequestParams& result) {
  result["return"] = "-10000";
  return API_UNKNOWN_FUN;
}
