#include "platform/mapi/mapi_client.h"

#include <dlfcn.h>

namespace qb::mapi {

uint32_t SendThroughMailLibrary(const std::string& directory, MapiMessage* message, uint32_t flags,
                                bool* found) {
  if (found != nullptr) *found = false;
  const std::string path = directory + QB_MAPI_LIBRARY;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return MAPI_E_FAILURE;
  auto send = reinterpret_cast<LPMAPISENDMAIL>(dlsym(library, QB_MAPI_SEND_MAIL_NAME));
  uint32_t result = MAPI_E_FAILURE;
  if (send != nullptr) {
    if (found != nullptr) *found = true;
    result = send(0, 0, message, flags, 0);
  }
  dlclose(library);
  return result;
}

}  // namespace qb::mapi
