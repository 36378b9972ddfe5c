// The card library's lifecycle for the card fuzz target: no key watch, no
// named locks; a failed operation changes nothing (the operations' own
// decoding is what is fuzzed).
#include <cstddef>
#include <cstring>

#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"

void resetCardLibrary(const CCardFunctions&) {}

int ResetOnFailure(const CCardFunctions&, int nResult) { return nResult; }

int readKeyLabel(char* pBuf, size_t nSize) {
  static const char kLabel[] = "fuzz-key";
  if (pBuf == nullptr || nSize < sizeof(kLabel)) return -1;
  std::memcpy(pBuf, kLabel, sizeof(kLabel));
  return 0;
}
