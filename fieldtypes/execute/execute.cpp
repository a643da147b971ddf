// Execute.qbl: a command line, a document or a web or FTP address. It shows and edits as a
// one-line text (everything after the last "#" is the comment); Enter starts it through the
// process layer, and a refused start shows the shell's error value in words with the file name.
#include "fieldtypes/execute/command.h"
#include "platform/process/process.h"
#include "shared/fieldtype/field_type.h"

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
