// The field type of the tests: one source built as several libraries (qb_test_field_type), each
// with its own settings, recording the calls it receives in a log the tests read through TestLog.
//
// Settings: TFT_NAME, TFT_TOKEN, TFT_MENU (the menu text), TFT_FLAGS, TFT_NEW_ID, the two claimed
// blocks TFT_CLAIM1 and TFT_CLAIM2, TFT_INFO_RESULT (what GetAddressPluginInfo answers) and
// TFT_BEFORE_RESULT (what an FTEV_BEFORE call answers until TestReset sets another). Which entry
// points exist is chosen by the exports list; TFT_EDITOR adds the editor, the text and the action
// and switches to the editing tests' log and panel forms (each call logged with the type's name,
// a panel item named after the type). SendFile records what it is handed in a file the
// environment names.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdk/fieldtype.h"

#ifndef TFT_NAME
#error TFT_NAME must name the library
#endif
#ifndef TFT_EDITOR
#define TFT_EDITOR 0
#endif
#ifndef TFT_BEFORE_RESULT
#define TFT_BEFORE_RESULT 1
#endif
#ifndef TFT_INFO_RESULT
#define TFT_INFO_RESULT 1
#endif

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string& Log() {
  static std::string log;
  return log;
}

int g_before_result = TFT_BEFORE_RESULT;
// What the editor does next: 0 decline, 1 accept with g_text, 2 accept without data.
int g_answer = 1;
std::string g_text = "made";

char* Dup(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

std::string Text(const void* data, uint32_t size) {
  if (!data) return TFT_EDITOR ? "<null>" : "";
  return std::string(static_cast<const char*>(data), size);
}

FieldTypeInfo g_info = {TFT_NAME, TFT_TOKEN, TFT_MENU, TFT_FLAGS, TFT_NEW_ID};

}  // namespace

EXPORT const char* TestLog(void) {
  return Log().c_str();
}
EXPORT void TestReset(int before_result) {
  Log().clear();
  g_before_result = before_result;
}
EXPORT void TestSetEditor(int answer, const char* text) {
  g_answer = answer;
  g_text = text ? text : "";
}

EXPORT void SetStartupInfo(const PluginStartupInfo* info) {
  Log() += std::string("startup(") + (info ? "info" : "null") + ")";
}

EXPORT void SetQBStartupInfo(HostServices* services) {
  Log() += std::string("services(") + (services ? "set" : "null") + ")";
}

EXPORT int GetAddressPluginInfo(FieldTypeInfo** info) {
  *info = &g_info;
  if (!TFT_EDITOR) Log() += "info";
  return TFT_INFO_RESULT;
}

EXPORT int CheckID(FieldTypeId type) {
  const FieldTypeId block = type & ~0xFFu;
  return block == TFT_CLAIM1 || block == TFT_CLAIM2;
}

EXPORT void GetDescription(char** text, const void* data, uint32_t size, FieldTypeId) {
  if (size == 0) return;  // an empty field describes as nothing
  *text = Dup(std::string(TFT_NAME "=") + Text(data, size));
}

EXPORT int GetPanelItem(PluginPanelItem* item, const void* data, uint32_t size, FieldTypeId type) {
  if (TFT_EDITOR) {
    std::memset(item, 0, sizeof *item);
    std::snprintf(item->FindData.cFileName, sizeof item->FindData.cFileName, "%s", TFT_NAME);
    item->Description = Dup(Text(data, size));
    return 1;
  }
  char name[NM];
  std::snprintf(name, sizeof name, "%s %x %s", TFT_NAME, static_cast<unsigned>(type),
                Text(data, size).c_str());
  std::strcpy(item->FindData.cFileName, name);
  item->Description = Dup("about " + Text(data, size));
  return 1;
}

// Version 0 of the first claimed block becomes version 1, its text prefixed with "up:".
EXPORT int Upgrade(const void* data, uint32_t size, FieldTypeId type, void** new_data,
                   uint32_t* new_size, FieldTypeId* new_type) {
  if (type != TFT_CLAIM1) return 0;
  const std::string text = "up:" + Text(data, size);
  *new_data = Dup(text);
  *new_size = static_cast<uint32_t>(text.size());
  *new_type = TFT_CLAIM1 + 1;
  return 1;
}

EXPORT int OnEnter(const void* data, uint32_t size, FieldTypeId type, uint32_t event,
                   uint32_t call) {
  char line[160];
  if (TFT_EDITOR) {
    std::snprintf(line, sizeof line, "[%s %x %x]", TFT_NAME, event, call);
    Log() += line;
    if (data) Log() += Text(data, size) + ";";
    return 1;
  }
  std::snprintf(line, sizeof line, "[%x %x %x %s]", static_cast<unsigned>(event),
                static_cast<unsigned>(call), static_cast<unsigned>(type), Text(data, size).c_str());
  Log() += line;
  return call == FTEV_BEFORE ? g_before_result : 0;
}

EXPORT int ConfigurePlugin(void) {
  return 0;
}

EXPORT void ExitFAR(void) {
  if (const char* path = std::getenv("QB_TEST_EXIT_LOG")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fputs(TFT_NAME "\n", f);
      std::fclose(f);
    }
  }
}

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
  *new_type = TFT_NEW_ID;
  return 1;
}

EXPORT void WriteTextData(const void* data, uint32_t size, FieldTypeId, char** text) {
  *text = Dup(TFT_NAME ":" + Text(data, size));
}

// Appends "name path data" to the file $QB_TEST_SEND_LOG; the result is $QB_TEST_SEND_RESULT
// (1 when unset).
EXPORT int SendFile(const void* data, uint32_t size, FieldTypeId, const char* path) {
  if (const char* log = std::getenv("QB_TEST_SEND_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%s %s %s\n", TFT_NAME, path ? path : "<null>", Text(data, size).c_str());
      std::fclose(f);
    }
  }
  const char* result = std::getenv("QB_TEST_SEND_RESULT");
  return result ? std::atoi(result) : 1;
}

EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  char line[64];
  std::snprintf(line, sizeof line, "[action %x ", type);
  Log() += line + Text(data, size) + "]";
}

// One line "name: data" for the field, as a text export writes it.
EXPORT void WriteTextFile(FILE* file, const void* data, uint32_t size, FieldTypeId) {
  std::fprintf(file, "%s: %s\n", TFT_NAME, Text(data, size).c_str());
}
