// A field-type library for the end-to-end tests that plays "another program" using the book: from
// inside a host call (the walk when a panel opens) and once between host calls (a host timer) a
// child process opens the book read-write, share-exclusive, as the storage layer does, and
// reports whether it could. Between calls it may also remove an element (QB_PROBE_DELETE, folder
// names joined by "/"), as another program changing the book would. Results go, one a line, to
// the file named by QB_PROBE_LOG.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/storage/storage.h"
#include "sdk/fieldtype.h"
#include "sdk/host_exports.h"

namespace {

FieldTypeInfo g_info = {"Prober", "Z", "Prober", FTEV_OPEN, 0x7700};

// In the child: 0 when the book opened (and the element, if any, was removed).
int OpenAndChange(const char* book, const char* remove) {
  using namespace qb::storage;
  constexpr uint32_t kMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  Storage root;
  if (Failed(OpenCompoundFile(book, kMode, &root))) return 1;
  if (!remove) return 0;
  std::vector<Storage> chain;
  chain.reserve(16);
  Storage* at = &root;
  std::string rest = remove;
  for (;;) {
    const std::size_t slash = rest.find('/');
    const auto name = *qb::codepage::Utf8ToUtf16(rest.substr(0, slash));
    if (slash == std::string::npos) return Failed(at->DestroyElement(name)) ? 2 : 0;
    chain.emplace_back();
    if (Failed(at->OpenStorage(name, kMode, &chain.back()))) return 2;
    at = &chain.back();
    rest = rest.substr(slash + 1);
  }
}

void Probe(const char* when, bool change) {
  const char* book = std::getenv("QB_PROBE_BOOK");
  const char* log = std::getenv("QB_PROBE_LOG");
  if (!book || !log) return;
  const pid_t child = fork();
  if (child == 0) _exit(OpenAndChange(book, change ? std::getenv("QB_PROBE_DELETE") : nullptr));
  int status = 0;
  waitpid(child, &status, 0);
  const bool free = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (FILE* f = std::fopen(log, "a")) {
    std::fprintf(f, "%s: %s\n", when, free ? "free" : "locked");
    std::fclose(f);
  }
}

void OnTimer(uintptr_t id, uint32_t) {
  auto kill_timer = reinterpret_cast<PFN_QbKillTimer>(dlsym(RTLD_DEFAULT, QB_KILL_TIMER_NAME));
  if (kill_timer) kill_timer(id);
  Probe("between", true);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void SetStartupInfo(const PluginStartupInfo*) {
  auto set_timer = reinterpret_cast<PFN_QbSetTimer>(dlsym(RTLD_DEFAULT, QB_SET_TIMER_NAME));
  if (set_timer) set_timer(100, OnTimer);
}

__attribute__((visibility("default"))) int GetAddressPluginInfo(FieldTypeInfo** info) {
  *info = &g_info;
  return 1;
}

__attribute__((visibility("default"))) int CheckID(FieldTypeId type) {
  return (type & ~0xFFu) == 0x7700;
}

__attribute__((visibility("default"))) int OnEnter(const void*, uint32_t, FieldTypeId, uint32_t,
                                                   uint32_t call) {
  if (call == FTEV_BEFORE || call == 0) Probe("during", false);
  return 1;
}

}  // extern "C"
