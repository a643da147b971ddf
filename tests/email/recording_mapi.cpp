// A mail library that records each MAPISendMail instead of opening a composer, appended to the
// file QB_MAPI_RECORD names: "flags=..", "subject=..", "note=..", one "orig=", "to=", "cc=" or
// "bcc=" line per recipient ("name|address") and one "file=" line per attachment
// ("position|path|file name"), then "end". A null text is "<null>". The result is QB_MAPI_RESULT,
// 0 when it is not set.
#include <cstdio>
#include <cstdlib>

#include "sdk/mapi.h"

namespace {

const char* Text(const char* text) {
  return text != nullptr ? text : "<null>";
}

void Recipient(FILE* file, const MapiRecipDesc& r) {
  static const char* const kClasses[] = {"orig", "to", "cc", "bcc"};
  const char* kind = r.ulRecipClass <= MAPI_BCC ? kClasses[r.ulRecipClass] : "class?";
  std::fprintf(file, "%s=%s|%s\n", kind, Text(r.lpszName), Text(r.lpszAddress));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t MAPISendMail(
    LHANDLE session, uintptr_t ui_param, MapiMessage* message, uint32_t flags, uint32_t reserved) {
  if (const char* path = std::getenv("QB_MAPI_RECORD")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "flags=0x%X session=%lu window=%lu reserved=%u\n", flags,
                   static_cast<unsigned long>(session), static_cast<unsigned long>(ui_param),
                   reserved);
      if (message != nullptr) {
        std::fprintf(file, "subject=%s\nnote=%s\n", Text(message->lpszSubject),
                     Text(message->lpszNoteText));
        if (message->lpOriginator != nullptr) Recipient(file, *message->lpOriginator);
        for (uint32_t i = 0; i < message->nRecipCount; ++i) Recipient(file, message->lpRecips[i]);
        for (uint32_t i = 0; i < message->nFileCount; ++i) {
          const MapiFileDesc& f = message->lpFiles[i];
          std::fprintf(file, "file=%d|%s|%s\n", static_cast<int>(f.nPosition), Text(f.lpszPathName),
                       Text(f.lpszFileName));
        }
      }
      std::fprintf(file, "end\n");
      std::fclose(file);
    }
  }
  const char* result = std::getenv("QB_MAPI_RESULT");
  return result != nullptr ? static_cast<uint32_t>(std::atol(result)) : 0;
}
