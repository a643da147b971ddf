// A one-line field type made as the shipped ones are, for the tests of their common body: a fixed
// type name instead of language texts, a settings key with one setting read and written through the
// main library's registry services, and a panel suffix of its own. It logs what its hooks receive.
#include <string>

#include "shared/fieldtype/field_type.h"

namespace {

std::string g_log;
int32_t g_show_version = 1;  // "ShowVersion", 0 or 1

void Startup(HKEY settings) {
  g_log += settings != nullptr ? "startup(key)" : "startup(none)";
  g_show_version = RegReadNumber(settings, "ShowVersion", 1, 0, 1);
}

void Exit(HKEY settings) {
  g_log += settings != nullptr ? "exit(key)" : "exit(none)";
  RegWriteNumber(settings, "ShowVersion", g_show_version);
}

// Versions other than 0 are marked in the panel, unless the setting says otherwise.
std::string Suffix(const qb::fieldtype::Field& field) {
  if (g_show_version == 0 || (field.type & 0xFFu) == 0) return "";
  return " (v" + std::to_string(field.type & 0xFFu) + ")";
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = nullptr,
    .fixed_name = "Sample",
    .token = "S",
    .new_id = 0x7701,
    .block = 0x7700,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = "Sample_EditDlg",
    .settings_key = "Sample",
    .startup = Startup,
    .exit = Exit,
    .panel_suffix = Suffix,
};

extern "C" QB_EXPORT const char* SampleLog(void) {
  return g_log.c_str();
}
