// A small field-type library for the main library's tests. One source, built as several libraries
// with different settings (FT_*), each recording the calls it receives in a log that the tests
// read through TestLog.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdk/fieldtype.h"

#ifndef FT_NAME
#error FT_NAME must name the library
#endif

namespace {

std::string& Log() {
  static std::string log;
  return log;
}

int g_before_result = FT_BEFORE_RESULT;

char* Dup(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

std::string Text(const void* data, uint32_t size) {
  return data ? std::string(static_cast<const char*>(data), size) : std::string();
}

[[maybe_unused]] FieldTypeInfo g_info = {FT_NAME, FT_TOKEN, FT_NAME " menu", FT_FLAGS, FT_NEW_ID};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* TestLog(void) {
  return Log().c_str();
}
__attribute__((visibility("default"))) void TestReset(int before_result) {
  Log().clear();
  g_before_result = before_result;
}

__attribute__((visibility("default"))) void SetStartupInfo(const PluginStartupInfo* info) {
  Log() += std::string("startup(") + (info ? "info" : "null") + ")";
}

#if FT_HAS_INFO
__attribute__((visibility("default"))) int GetAddressPluginInfo(FieldTypeInfo** info) {
  *info = &g_info;
  Log() += "info";
  return FT_INFO_RESULT;
}
#endif

__attribute__((visibility("default"))) void SetQBStartupInfo(HostServices* services) {
  Log() += std::string("services(") + (services ? "set" : "null") + ")";
}

#if FT_HAS_CHECKID
__attribute__((visibility("default"))) int CheckID(FieldTypeId type) {
  const FieldTypeId block = type & ~0xFFu;
  return block == FT_CLAIM1 || block == FT_CLAIM2;
}
#endif

__attribute__((visibility("default"))) void GetDescription(char** text, const void* data,
                                                           uint32_t size, FieldTypeId type) {
  (void)type;
  if (size == 0) return;  // an empty field describes as nothing
  *text = Dup(std::string(FT_NAME "=") + Text(data, size));
}

__attribute__((visibility("default"))) int GetPanelItem(PluginPanelItem* item, const void* data,
                                                        uint32_t size, FieldTypeId type) {
  char name[NM];
  std::snprintf(name, sizeof name, "%s %x %s", FT_NAME, static_cast<unsigned>(type),
                Text(data, size).c_str());
  std::strcpy(item->FindData.cFileName, name);
  item->Description = Dup("about " + Text(data, size));
  return 1;
}

#if FT_HAS_UPGRADE
// Version 0 of the first claimed block becomes version 1, its text prefixed with "up:".
__attribute__((visibility("default"))) int Upgrade(const void* data, uint32_t size,
                                                   FieldTypeId type, void** new_data,
                                                   uint32_t* new_size, FieldTypeId* new_type) {
  if (type != FT_CLAIM1) return 0;
  const std::string text = "up:" + Text(data, size);
  *new_data = Dup(text);
  *new_size = static_cast<uint32_t>(text.size());
  *new_type = FT_CLAIM1 + 1;
  return 1;
}
#endif

__attribute__((visibility("default"))) int OnEnter(const void* data, uint32_t size,
                                                   FieldTypeId type, uint32_t event,
                                                   uint32_t call) {
  char line[160];
  std::snprintf(line, sizeof line, "[%x %x %x %s]", static_cast<unsigned>(event),
                static_cast<unsigned>(call), static_cast<unsigned>(type), Text(data, size).c_str());
  Log() += line;
  return call == FTEV_BEFORE ? g_before_result : 0;
}

__attribute__((visibility("default"))) int ConfigurePlugin(void) {
  return 0;
}

__attribute__((visibility("default"))) void ExitFAR(void) {
  if (const char* path = std::getenv("QB_TEST_EXIT_LOG")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fputs(FT_NAME "\n", f);
      std::fclose(f);
    }
  }
}

}  // extern "C"
