// A telephony library that records each call request instead of placing it: one line
// "[destination|application|called party|comment]" appended to the file QB_TAPI_RECORD names
// ("<null>" for a null text). The result is QB_TAPI_RESULT, 0 when it is not set.
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) long tapiRequestMakeCallA(
    const char* destination, const char* application, const char* called_party,
    const char* comment) {
  if (const char* path = std::getenv("QB_TAPI_RECORD")) {
    if (FILE* file = std::fopen(path, "a")) {
      auto text = [](const char* s) { return s != nullptr ? s : "<null>"; };
      std::fprintf(file, "[%s|%s|%s|%s]\n", text(destination), text(application),
                   text(called_party), text(comment));
      std::fclose(file);
    }
  }
  const char* result = std::getenv("QB_TAPI_RESULT");
  return result != nullptr ? std::atol(result) : 0;
}
