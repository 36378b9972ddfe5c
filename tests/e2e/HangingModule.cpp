// A PKCS#11 module that hangs in C_Initialize, as a module waiting for a
// reader service that never answers does.

#include <p11-kit/pkcs11.h>
#include <unistd.h>

namespace {

CK_RV Initialize(void*) {
  for (;;) pause();
}

CK_FUNCTION_LIST MakeList() {
  CK_FUNCTION_LIST list{};
  list.version = {2, 40};
  list.C_Initialize = Initialize;
  return list;
}

CK_FUNCTION_LIST g_list = MakeList();

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** ppList) {
  *ppList = &g_list;
  return CKR_OK;
}
