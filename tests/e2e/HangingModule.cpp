// A PKCS#11 module that hangs in C_Initialize, as a module waiting for a
// reader service that never answers does.

#include <cstring>

#include <p11-kit/pkcs11.h>
#include <unistd.h>

namespace {

CK_RV Initialize(void*) {
  for (;;) pause();
}

CK_RV Finalize(void*) { return CKR_OK; }

CK_FUNCTION_LIST MakeList() {
  CK_FUNCTION_LIST list;
  std::memset(&list, 0, sizeof list);
  list.version.major = 2;
  list.version.minor = 40;
  list.C_Initialize = Initialize;
  list.C_Finalize = Finalize;
  return list;
}

CK_FUNCTION_LIST g_list = MakeList();

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** ppList) {
  if (ppList == nullptr) return CKR_ARGUMENTS_BAD;
  *ppList = &g_list;
  return CKR_OK;
}
