#include "platform/telephony/tapi_client.h"

#include <dlfcn.h>

namespace qb::telephony {

PFN_tapiRequestMakeCallA MakeCallEntry(const std::string& directory) {
  static bool bound = false;
  static PFN_tapiRequestMakeCallA entry = nullptr;
  if (!bound) {
    bound = true;
    const std::string path = directory + QB_TAPI_LIBRARY;
    if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
      entry = reinterpret_cast<PFN_tapiRequestMakeCallA>(dlsym(library, QB_TAPI_MAKE_CALL));
  }
  return entry;
}

long RequestMakeCall(const std::string& directory, const char* destination,
                     const char* application) {
  PFN_tapiRequestMakeCallA call = MakeCallEntry(directory);
  return call != nullptr ? call(destination, application, nullptr, nullptr)
                         : TAPIERR_NOREQUESTRECIPIENT;
}

}  // namespace qb::telephony
