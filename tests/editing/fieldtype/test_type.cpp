// A field type for the editing tests, built twice: "Single" (one field per record, with an editor,
// a text and an action, scanning) and "Bare" (several per record, none of those, scanning). Its
// contents are plain text. What it is asked to do is written to a log the tests read; what its
// editor answers is set by the tests.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdk/fieldtype.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string& Log() {
  static std::string log;
  return log;
}

// What the editor does next: 0 decline, 1 accept with g_text, 2 accept without data.
int g_answer = 1;
std::string g_text = "made";

FieldTypeInfo g_info = {TT_NAME, TT_TOKEN, TT_NAME, TT_FLAGS, TT_BLOCK + 1};

std::string Text(const void* data, uint32_t size) {
  return data ? std::string(static_cast<const char*>(data), size) : std::string("<null>");
}

char* Dup(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

EXPORT const char* TestLog() { return Log().c_str(); }
EXPORT void TestReset() { Log().clear(); }
EXPORT void TestSetEditor(int answer, const char* text) {
  g_answer = answer;
  g_text = text ? text : "";
}

EXPORT int GetAddressPluginInfo(FieldTypeInfo** info) {
  *info = &g_info;
  return 1;
}

EXPORT int CheckID(FieldTypeId type) { return (type & ~0xFFu) == TT_BLOCK; }

EXPORT int GetPanelItem(PluginPanelItem* item, const void* data, uint32_t size, FieldTypeId) {
  std::memset(item, 0, sizeof *item);
  std::snprintf(item->FindData.cFileName, sizeof item->FindData.cFileName, "%s", TT_NAME);
  item->Description = Dup(Text(data, size));
  return 1;
}

EXPORT int OnEnter(const void* data, uint32_t size, FieldTypeId, uint32_t event, uint32_t call) {
  char line[64];
  std::snprintf(line, sizeof line, "[%s %x %x]", TT_NAME, event, call);
  Log() += line;
  if (data) Log() += Text(data, size) + ";";
  return 1;
}

#if TT_FULL
EXPORT int EditContents(const void* data, uint32_t size, FieldTypeId type, void** new_data,
                        uint32_t* new_size, FieldTypeId* new_type, int edit) {
  char line[64];
  std::snprintf(line, sizeof line, "[edit %d %x ", edit, type);
  Log() += line + Text(data, size) + "]";
  if (!edit) return g_answer;  // a viewer's answer must change nothing
  if (g_answer == 0) return 0;
  if (g_answer == 2) {
    *new_data = nullptr;
    *new_size = 0;
    return 1;
  }
  *new_data = Dup(g_text);
  *new_size = static_cast<uint32_t>(g_text.size());
  *new_type = TT_BLOCK + 1;
  return 1;
}

EXPORT void WriteTextData(const void* data, uint32_t size, FieldTypeId, char** text) {
  *text = Dup(TT_NAME ":" + Text(data, size));
}

EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  char line[64];
  std::snprintf(line, sizeof line, "[action %x ", type);
  Log() += line + Text(data, size) + "]";
}
#endif
