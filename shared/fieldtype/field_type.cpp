// The entry points every text field type shares, each doing what the standard service of the
// type's shape does unless the type's table names a hook.
#include "shared/fieldtype/field_type.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>

namespace qb::fieldtype {

namespace {

struct TypeState {
  PluginStartupInfo info{};
  const HostServices* services = nullptr;
  FieldTypeInfo type_info{};
  // The info record's copy of the type name: the main library's language store may be emptied
  // and loaded again while this library stays loaded, and its texts go with it.
  std::string name;
};

TypeState& St() {
  static TypeState state;
  return state;
}

bool OneLine() {
  return kFieldType.shape == Shape::kOneLine;
}

// Runs fn with the type's settings key open, and closes it again.
template <typename Fn>
void WithSettings(Fn fn) {
  HKEY key = nullptr;
  if (kFieldType.settings_key != nullptr)
    key = OpenRegKey(St().info.RootKey, kFieldType.settings_key);
  fn(key);
  CloseRegKey(key);
}

int StandardEdit(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type,
                 int edit) {
  const bool present = field.data != nullptr;
  const char* text = present ? field.text.c_str() : nullptr;
  const auto size = static_cast<uint32_t>(present ? field.text.size() + 1 : 0);
  char** out = reinterpret_cast<char**>(new_data);
  if (!OneLine()) {
    if (edit != 0 && new_type != nullptr) *new_type = kFieldType.new_id;
    return StdEditMultiLine(TypeName(), kFieldType.edit_help, text, size, out, new_size, edit);
  }
  if (StdEditSingleLine(TypeName(), kFieldType.edit_help, text, size, out, new_size, edit) == 0)
    return edit == 0 ? 1 : 0;
  if (new_type != nullptr) *new_type = kFieldType.new_id;
  return 1;
}

}  // namespace

char* HeapCopy(const std::string& text) {
  char* copy = static_cast<char*>(Malloc(static_cast<uint32_t>(text.size() + 1)));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

const PluginStartupInfo& HostInfo() {
  return St().info;
}

const HostServices* Services() {
  return St().services;
}

const char* TypeName() {
  if (kFieldType.module == nullptr)
    return kFieldType.fixed_name != nullptr ? kFieldType.fixed_name : "";
  const char* name = CommonGetMsgEx(0, kFieldType.module);
  return name != nullptr ? name : "";
}

const char* Msg(int n) {
  const char* text = kFieldType.module != nullptr ? CommonGetMsgEx(n, kFieldType.module) : nullptr;
  return text != nullptr ? text : "";
}

const char* MainMsg(int n) {
  const char* text = CommonGetMsgEx(n, nullptr);
  return text != nullptr ? text : "";
}

Field ReadField(const void* data, uint32_t size, FieldTypeId type) {
  Field field{data, size, type, {}};
  if (data != nullptr && size > kFieldType.text_offset) {
    const char* text = static_cast<const char*>(data) + kFieldType.text_offset;
    field.text.assign(text, strnlen(text, size - kFieldType.text_offset));
  }
  return field;
}

std::string FillPlaceholders(const std::string& text, char letter, const std::string& value) {
  const char lower[] = {'<', letter, '>', '\0'};
  const char upper[] = {'<', static_cast<char>(std::toupper(static_cast<unsigned char>(letter))),
                        '>', '\0'};
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text.compare(pos, 3, lower) == 0 || text.compare(pos, 3, upper) == 0) {
      out += value;
      pos += 3;
    } else {
      out += text[pos++];
    }
  }
  return out;
}

std::string OneLineText(const std::string& text, bool comment) {
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (comment && c == '#') continue;
    out += c;
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string PluginDirectory() {
  const PluginStartupInfo& info = St().info;
  std::string path(info.ModuleName, strnlen(info.ModuleName, sizeof(info.ModuleName)));
  if (path.find('/') == std::string::npos) {
    Dl_info where{};
    if (dladdr(reinterpret_cast<void*>(&Malloc), &where) != 0 && where.dli_fname != nullptr)
      path = where.dli_fname;
  }
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace qb::fieldtype

using qb::fieldtype::kFieldType;
using qb::fieldtype::ReadField;
using qb::fieldtype::St;
using qb::fieldtype::TypeName;

extern "C" {

QB_EXPORT int GetAddressPluginInfo(FieldTypeInfo** info) {
  FieldTypeInfo& ti = St().type_info;
  St().name = TypeName();
  ti.Name = St().name.c_str();
  ti.Token = kFieldType.token;
  ti.MenuName = ti.Name;
  ti.Flags = kFieldType.flags;
  ti.NewId = kFieldType.new_id;
  if (info != nullptr) *info = &ti;
  return 1;
}

QB_EXPORT void SetStartupInfo(const PluginStartupInfo* info) {
  if (info == nullptr) return;
  size_t n = info->StructSize > 0 ? static_cast<size_t>(info->StructSize) : 0;
  std::memset(&St().info, 0, sizeof(St().info));
  std::memcpy(&St().info, info, n < sizeof(St().info) ? n : sizeof(St().info));
  if (kFieldType.startup != nullptr) qb::fieldtype::WithSettings(kFieldType.startup);
}

QB_EXPORT void SetQBStartupInfo(HostServices* services) {
  St().services = services;
}

QB_EXPORT int CheckID(FieldTypeId type) {
  return (type & ~0xFFu) == kFieldType.block ? 1 : 0;
}

QB_EXPORT void GetDescription(char** text, const void* data, uint32_t size, FieldTypeId type) {
  if (text == nullptr) return;
  const auto field = ReadField(data, size, type);
  if (kFieldType.description != nullptr)
    *text = kFieldType.description(field);
  else if (qb::fieldtype::OneLine())
    *text = StdOneLineDescription(field.text.c_str());
  else
    *text = StdMultiLineDescription(field.text.c_str(), nullptr);
}

QB_EXPORT void GetMenuDescription(char** text, const void* data, uint32_t size, FieldTypeId type) {
  if (text == nullptr) return;
  const auto field = ReadField(data, size, type);
  if (kFieldType.menu_description != nullptr) {
    *text = kFieldType.menu_description(field);
    return;
  }
  *text = qb::fieldtype::OneLine() ? StdOneLineMenuDescription(field.text.c_str(), TypeName())
                                   : StdMultiLineMenuDescription(field.text.c_str(), TypeName());
}

QB_EXPORT int GetPanelItem(PluginPanelItem* item, const void* data, uint32_t size,
                           FieldTypeId type) {
  const auto field = ReadField(data, size, type);
  if (kFieldType.panel_item != nullptr) {
    if (item != nullptr) kFieldType.panel_item(item, field);
    return 1;
  }
  std::string suffix;
  if (kFieldType.panel_suffix != nullptr) suffix = kFieldType.panel_suffix(field);
  const char* tail = suffix.empty() ? nullptr : suffix.c_str();
  if (qb::fieldtype::OneLine())
    StdOneLineToPanelItem(field.text.c_str(), tail, TypeName(), item);
  else
    StdMultiLineToPanelItem(field.text.c_str(), tail, TypeName(), item);
  return 1;
}

QB_EXPORT int EditContents(const void* data, uint32_t size, FieldTypeId type, void** new_data,
                           uint32_t* new_size, FieldTypeId* new_type, int edit) {
  const auto field = ReadField(data, size, type);
  auto run = kFieldType.edit != nullptr ? kFieldType.edit : qb::fieldtype::StandardEdit;
  return run(field, new_data, new_size, new_type, edit);
}

QB_EXPORT void WriteTextData(const void* data, uint32_t size, FieldTypeId type, char** text) {
  if (text == nullptr) return;
  const auto field = ReadField(data, size, type);
  *text = kFieldType.text_data != nullptr ? kFieldType.text_data(field)
                                          : qb::fieldtype::HeapCopy(field.text);
}

QB_EXPORT void WriteTextFile(FILE* file, const void* data, uint32_t size, FieldTypeId type) {
  if (file == nullptr) return;
  auto field = ReadField(data, size, type);
  if (kFieldType.write_text_file != nullptr) {
    kFieldType.write_text_file(file, field);
  } else if (qb::fieldtype::OneLine()) {
    char* line = StdOneLineMenuDescription(field.text.c_str(), TypeName());
    std::fprintf(file, "%s\n", line != nullptr ? line : "");
    Free(line);
  } else {
    StdSaveMultiLine(TypeName(), file, field.text.data());
  }
}

QB_EXPORT void ExitFAR(void) {
  if (kFieldType.exit != nullptr) qb::fieldtype::WithSettings(kFieldType.exit);
}

}  // extern "C"
