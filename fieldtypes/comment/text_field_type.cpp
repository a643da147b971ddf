// A field type of free multi-line text: built as Comment.qbl (a note about the contact) and as
// Address.qbl (a postal address). Everything it shows and edits goes through the main library's
// multi-line services; what differs between the two is the constants below.
//
// Field contents are a zero-terminated text whose size counts the terminator. Data read from a book
// need not be terminated, so every entry point works on a terminated copy cut at the field's size.
#include <cstring>
#include <string>

#include "sdk/far.h"
#include "sdk/fieldtype.h"
#include "sdk/services.h"

namespace {

#if defined(QB_TEXT_FIELD_COMMENT)
constexpr const char* kModule = "Comment";
constexpr FieldTypeId kNewId = FTID_COMMENT;  // 0x10101
constexpr FieldTypeId kBlock = 0x10100;
constexpr const char* kToken = "C";
constexpr const char* kHelpTopic = "Comment_EditDlg";
#elif defined(QB_TEXT_FIELD_ADDRESS)
constexpr const char* kModule = "Address";
constexpr FieldTypeId kNewId = FTID_ADDRESS;  // 0x10301
constexpr FieldTypeId kBlock = 0x10300;
constexpr const char* kToken = "A";
constexpr const char* kHelpTopic = "Address_EditDlg";
#else
#error "Build as the Comment or the Address field type"
#endif

struct TypeState {
  PluginStartupInfo info{};  // the host's table; kept, not used
  HostServices* services = nullptr;
  FieldTypeInfo type_info{};
  // The info record's copy of the type name: the main library's language store may be emptied
  // and loaded again while this library stays loaded, and its texts go with it.
  std::string name;
};

TypeState& St() {
  static TypeState state;
  return state;
}

// The type's name (message 0 of its language module), looked up afresh each time; the empty text
// when the language files lack it.
const char* TypeName() {
  const char* name = CommonGetMsgEx(0, kModule);
  return name != nullptr ? name : "";
}

std::string Contents(const void* data, uint32_t size) {
  if (data == nullptr) return {};
  const char* text = static_cast<const char*>(data);
  return std::string(text, strnlen(text, size));
}

}  // namespace

extern "C" {

QB_EXPORT int GetAddressPluginInfo(FieldTypeInfo** info) {
  FieldTypeInfo& ti = St().type_info;
  St().name = TypeName();
  ti.Name = St().name.c_str();
  ti.Token = kToken;
  ti.MenuName = ti.Name;
  ti.Flags = FTF_MULTIPLE;
  ti.NewId = kNewId;
  if (info != nullptr) *info = &ti;
  return 1;
}

QB_EXPORT void SetStartupInfo(const PluginStartupInfo* info) {
  if (info == nullptr) return;
  size_t n = info->StructSize > 0 ? static_cast<size_t>(info->StructSize) : 0;
  std::memset(&St().info, 0, sizeof(St().info));
  std::memcpy(&St().info, info, n < sizeof(St().info) ? n : sizeof(St().info));
}

QB_EXPORT void SetQBStartupInfo(HostServices* services) {
  St().services = services;
}

QB_EXPORT int CheckID(FieldTypeId type) {
  return (type & ~0xFFu) == kBlock ? 1 : 0;
}

QB_EXPORT void GetDescription(char** text, const void* data, uint32_t size, FieldTypeId) {
  if (text == nullptr) return;
  *text = StdMultiLineDescription(Contents(data, size).c_str(), nullptr);
}

QB_EXPORT void GetMenuDescription(char** text, const void* data, uint32_t size, FieldTypeId) {
  if (text == nullptr) return;
  *text = StdMultiLineMenuDescription(Contents(data, size).c_str(), TypeName());
}

QB_EXPORT int GetPanelItem(PluginPanelItem* item, const void* data, uint32_t size, FieldTypeId) {
  StdMultiLineToPanelItem(Contents(data, size).c_str(), nullptr, TypeName(), item);
  return 1;
}

QB_EXPORT int EditContents(const void* data, uint32_t size, FieldTypeId, void** new_data,
                           uint32_t* new_size, FieldTypeId* new_type, int edit) {
  if (edit != 0 && new_type != nullptr) *new_type = kNewId;
  std::string text = Contents(data, size);
  return StdEditMultiLine(TypeName(), kHelpTopic, data != nullptr ? text.c_str() : nullptr,
                          static_cast<uint32_t>(data != nullptr ? text.size() + 1 : 0),
                          reinterpret_cast<char**>(new_data), new_size, edit);
}

QB_EXPORT void WriteTextData(const void* data, uint32_t size, FieldTypeId, char** text) {
  if (text == nullptr) return;
  std::string contents = Contents(data, size);
  char* copy = static_cast<char*>(Malloc(static_cast<uint32_t>(contents.size() + 1)));
  if (copy != nullptr) std::memcpy(copy, contents.c_str(), contents.size() + 1);
  *text = copy;
}

QB_EXPORT void WriteTextFile(FILE* file, const void* data, uint32_t size, FieldTypeId) {
  std::string text = Contents(data, size);
  StdSaveMultiLine(TypeName(), file, text.data());
}

}  // extern "C"
