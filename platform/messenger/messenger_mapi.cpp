// MessengerMAPI.so as it ships: the interface library of a machine without a messenger client.
// Every call reports that no client took it (0), and the online list is empty, so the Messenger
// field type shows its error boxes and marks nobody online. A client's own library put in the
// plug-in directory under this name replaces it.
#include <type_traits>

#include "platform/messenger/messenger_api.h"

#define QB_MESSENGER_EXPORT extern "C" __attribute__((visibility("default")))

QB_MESSENGER_EXPORT int MessengerAPICall_SendMessage(int32_t /*number*/, const char* /*text*/) {
  return 0;
}

QB_MESSENGER_EXPORT int MessengerAPICall_SendFile(int32_t /*number*/, const char* /*path*/) {
  return 0;
}

QB_MESSENGER_EXPORT int MessengerAPICall_GetOnlineListDetails(int32_t* count,
                                                              const void* const** list) {
  if (count != nullptr) *count = 0;
  if (list != nullptr) *list = nullptr;
  return 0;
}

static_assert(
    std::is_same_v<decltype(&MessengerAPICall_SendMessage), PFN_MessengerAPICall_SendMessage>);
static_assert(std::is_same_v<decltype(&MessengerAPICall_SendFile), PFN_MessengerAPICall_SendFile>);
static_assert(std::is_same_v<decltype(&MessengerAPICall_GetOnlineListDetails),
                             PFN_MessengerAPICall_GetOnlineListDetails>);
