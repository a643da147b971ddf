// The services the program exports to the libraries it loads (found with dlsym(RTLD_DEFAULT, ...)):
// thread timers, the clipboard and the look for Esc, as sdk/host_exports.h promises them.
#include <cstdint>
#include <type_traits>

#include "host/core/host.h"
#include "sdk/host_exports.h"

extern "C" {

__attribute__((visibility("default"))) uintptr_t QbSetTimer(uint32_t interval_ms,
                                                            QbTimerCallback callback) {
  qb::host::Host* h = qb::host::Host::Current();
  return h ? h->SetTimer(interval_ms, callback) : 0;
}

__attribute__((visibility("default"))) int QbKillTimer(uintptr_t id) {
  qb::host::Host* h = qb::host::Host::Current();
  return h && h->KillTimer(id) ? 1 : 0;
}

__attribute__((visibility("default"))) int QbSetClipboard(const char* text) {
  qb::host::Host* h = qb::host::Host::Current();
  if (!h || !text) return 0;
  h->SetClipboard(text);
  return 1;
}

__attribute__((visibility("default"))) int QbCheckForEscape() {
  qb::host::Host* h = qb::host::Host::Current();
  return h && h->CheckForEscape() ? 1 : 0;
}

}  // extern "C"

// The definitions have exactly the types the libraries cast their lookups to.
static_assert(std::is_same_v<decltype(&QbSetTimer), PFN_QbSetTimer>);
static_assert(std::is_same_v<decltype(&QbKillTimer), PFN_QbKillTimer>);
static_assert(std::is_same_v<decltype(&QbSetClipboard), PFN_QbSetClipboard>);
static_assert(std::is_same_v<decltype(&QbCheckForEscape), PFN_QbCheckForEscape>);
