// A messenger client's interface library that records each call instead of reaching a client:
// one line appended to the file QB_MESSENGER_RECORD names, "message|number|text",
// "file|number|path" or "list". The online list holds the numbers of QB_MESSENGER_ONLINE
// (separated by ","), one record each; QB_MESSENGER_COUNT, when set, is the count reported
// whatever the list holds, and QB_MESSENGER_NULL_LIST set hands over no list. Every call answers
// QB_MESSENGER_RESULT, 1 when it is not set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/messenger/messenger_api.h"

namespace {

void Record(const std::string& line) {
  if (const char* path = std::getenv("QB_MESSENGER_RECORD")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
}

int Result() {
  const char* result = std::getenv("QB_MESSENGER_RESULT");
  return result != nullptr ? std::atoi(result) : 1;
}

}  // namespace

#define QB_RECORDING_EXPORT extern "C" __attribute__((visibility("default")))

QB_RECORDING_EXPORT int MessengerAPICall_SendMessage(int32_t number, const char* text) {
  Record("message|" + std::to_string(number) + "|" + (text != nullptr ? text : "<null>"));
  return Result();
}

QB_RECORDING_EXPORT int MessengerAPICall_SendFile(int32_t number, const char* path) {
  Record("file|" + std::to_string(number) + "|" + (path != nullptr ? path : "<null>"));
  return Result();
}

QB_RECORDING_EXPORT int MessengerAPICall_GetOnlineListDetails(int32_t* count,
                                                              const void* const** list) {
  Record("list");
  // Kept until the next call, as a client keeps its list.
  static std::vector<unsigned char> records;
  static const void* first = nullptr;
  records.clear();
  std::string online = std::getenv("QB_MESSENGER_ONLINE") ? std::getenv("QB_MESSENGER_ONLINE") : "";
  int32_t n = 0;
  for (size_t start = 0; start < online.size();) {
    size_t comma = online.find(',', start);
    if (comma == std::string::npos) comma = online.size();
    const int32_t number = std::atoi(online.substr(start, comma - start).c_str());
    records.resize(records.size() + QB_MESSENGER_RECORD_SIZE, 0);
    std::memcpy(records.data() + records.size() - QB_MESSENGER_RECORD_SIZE, &number, 4);
    ++n;
    start = comma + 1;
  }
  first = records.empty() ? nullptr : records.data();
  if (const char* forced = std::getenv("QB_MESSENGER_COUNT")) n = std::atoi(forced);
  if (count != nullptr) *count = n;
  if (list != nullptr) *list = std::getenv("QB_MESSENGER_NULL_LIST") ? nullptr : &first;
  return Result();
}
