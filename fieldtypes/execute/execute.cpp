// Execute.qbl: a command line, a document or a web or FTP address. It shows and edits as a
// one-line text (everything after the last "#" is the comment); Enter starts it through the
// process layer, and a refused start shows the shell's error value in words with the file name.
#include <cstring>

#include "fieldtypes/execute/command.h"
#include "platform/process/process.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = "Execute",
    .token = "X",
    .new_id = FTID_EXECUTE,
    .block = 0x10700,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = "Execute_EditDlg",
};

namespace {

constexpr int kFirstErrorMessage = 100;  // 100 + n: the start failed with the shell's value n

}  // namespace

extern "C" QB_EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  const auto command = qb::execute::PrepareCommand(field.text);
  const int result = qb::process::ShellExecute(command.file.c_str(), command.parameters.c_str(), "",
                                               qb::process::kShowNormal);
  if (result > 32) return;
  const int value = result < 0 ? 0 : result;
  ShowError(CommonGetMsgEx(kFirstErrorMessage + value, "Execute"), command.file.c_str(),
            "Execute_ExecuteError");
}

namespace {

namespace vc = qb::fieldtype::vcard;

constexpr char kCommandProperty[] = "X-QUILLBOX-EXECUTE";

// Web and FTP addresses are the card's URL; commands and documents are this program's own.
bool IsWebAddress(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  const std::string word = start == std::string::npos ? std::string() : text.substr(start);
  for (const char* prefix : {"http://", "https://", "ftp://", "ftps://", "www.", "ftp."}) {
    if (vc::StartsWithText(word, prefix)) return true;
  }
  return false;
}

}  // namespace

extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  const vc::OneLine line = vc::SplitOneLine(field.text);
  vc::WriteOneLine(writer, IsWebAddress(line.value) ? "URL" : kCommandProperty, {}, field.text);
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  const VCardProperty& prop = card[index];
  if (vc::IsGroupLabelOf(card, count, index, "URL")) return VCARD_CONSUMED;
  if (std::strcmp(prop.Name, "URL") != 0 && std::strcmp(prop.Name, kCommandProperty) != 0) {
    return VCARD_NOT_MINE;
  }
  return vc::TextField(vc::OneLineText(card, count, index, prop.Value), FTID_EXECUTE, new_data,
                       new_size, new_type);
}
