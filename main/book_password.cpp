// Folder passwords in a panel: checking a folder as the panel enters it, asking for its password,
// and setting, changing or removing the current folder's password (Alt+F6).
#include <string.h>  // explicit_bzero

#include <cstdio>
#include <memory>
#include <string>

#include "main/book_panel.h"
#include "main/edit_support.h"
#include "main/folder_password.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/settings.h"
#include "main/storage_error.h"
#include "sdk/services.h"
#include "shared/dialog/dialog.h"

namespace qb::main {

namespace {

using dlg::DlgBuilder;
using dlg::DlgEdit;
using dlg::DlgStrBufBinding;
using dlg::DlgText;

// A password typed into a dialog: the size of a dialog item's text, wiped when dropped.
struct TypedPassword {
  char text[sizeof(FarDialogItem::Data)] = {};
  TypedPassword() = default;
  TypedPassword(const TypedPassword&) = delete;
  TypedPassword& operator=(const TypedPassword&) = delete;
  ~TypedPassword() { explicit_bzero(text, sizeof text); }
  std::string_view view() const { return std::string_view(text, strnlen(text, sizeof text)); }
};

bool Interactive(int op_mode) {
  return (op_mode & (OPM_SILENT | OPM_FIND)) == 0;
}

}  // namespace

const PasswordKey* BookPanel::KeyAt(int level) const {
  for (int i = level; i >= 0; --i) {
    if (static_cast<std::size_t>(i) < levels_.size() &&
        levels_[static_cast<std::size_t>(i)].key_set)
      return &levels_[static_cast<std::size_t>(i)].key;
  }
  return nullptr;
}

bool BookPanel::CheckPassword(int index, int op_mode) {
  FolderLevel& level = levels_[static_cast<std::size_t>(index)];
  auto forget = [&level] {
    level.key.Clear();
    level.key_set = 0;
  };
  std::uint8_t stored[kPasswordCheckBytes];
  storage::HRESULT hr = storage::S_OK;
  const PasswordStream stream = ReadPasswordStream(level.storage, stored, &hr);
  if (stream == PasswordStream::kAbsent) {
    forget();  // its password was removed since (by the other panel, say)
    return true;
  }
  // A password given earlier in this panel is checked again: the folder may have been given
  // another one since, and its records must never be read or written under a stale key.
  if (level.key_set && stream == PasswordStream::kPresent &&
      PasswordCheckMatches(level.key, stored))
    return true;
  forget();
  if (stream == PasswordStream::kPresent) {
    for (const std::string& given : State().given_passwords) {
      if (MakePasswordKey(given, level.key) && PasswordCheckMatches(level.key, stored)) {
        level.key_set = 1;
        return true;
      }
      forget();
    }
  }
  if (!Interactive(op_mode)) return false;
  const std::string name = index == 0 ? std::string(Msg(msg::kRootFolderName)) : level.name;
  if (stream == PasswordStream::kDamaged) {
    // Letting anyone in would have the folder's records read as garbage and written back plain
    // or under a key nobody chose.
    ShowStorageError(msg::kErrorOpenFolder, name, storage::STG_E_DOCFILECORRUPT);
    return false;
  }
  if (stream == PasswordStream::kFailed) {
    ShowStorageError(msg::kErrorOpenFolder, name, hr);
    return false;
  }
  if (!AskPassword(index)) return false;
  if (PasswordCheckMatches(level.key, stored)) return true;
  forget();
  ShowError(msg::kErrorWrongPassword, "IncorrectPasswordError");
  return false;
}

bool BookPanel::AskPassword(int index) {
  FolderLevel& level = levels_[static_cast<std::size_t>(index)];
  const char* name = index == 0 ? Msg(msg::kRootFolderName) : level.name.c_str();
  char title[sizeof(FarDialogItem::Data)];
  std::snprintf(title, sizeof title, Msg(msg::kAskPasswordTitle), name);
  TypedPassword typed;
  AttachDialogBuilder();
  DlgBuilder dlg(60, 8, "GetPasswordDlg");
  dlg.AddFrame(title);
  dlg.Make<DlgText>(5, 3, 0u, msg::kPasswordLabel);
  dlg.Make<DlgEdit>(15, 3, 54, 0u, nullptr,
                    std::make_unique<DlgStrBufBinding>(typed.text, sizeof typed.text), DI_PSWEDIT);
  dlg.AddButtons(0, 1);
  dlg.focus = 2;
  if (dlg.Run() < 0) return false;
  if (!MakePasswordKey(typed.view(), level.key)) return false;
  level.key_set = 1;
  return true;
}

void BookPanel::SetPassword() {
  if (has_record_ || !current_folder()) return;
  TypedPassword first, second;
  AttachDialogBuilder();
  DlgBuilder dlg(60, 10, "SetPasswordDlg");
  dlg.AddFrame(msg::kSetPasswordTitle);
  dlg.Make<DlgText>(5, 3, 0u, msg::kPasswordLabel);
  dlg.Make<DlgEdit>(22, 3, 54, 0u, nullptr,
                    std::make_unique<DlgStrBufBinding>(first.text, sizeof first.text), DI_PSWEDIT);
  dlg.Make<DlgText>(5, 5, 0u, msg::kRepeatPasswordLabel);
  dlg.Make<DlgEdit>(22, 5, 54, 0u, nullptr,
                    std::make_unique<DlgStrBufBinding>(second.text, sizeof second.text),
                    DI_PSWEDIT);
  dlg.AddButtons(0, 1);
  dlg.focus = 2;
  if (dlg.Run() < 0) return;
  if (first.view() != second.view()) {
    ShowError(msg::kErrorPasswordsDiffer, "PasswordsDifferError");
    return;
  }
  const int index = depth();
  FolderLevel& level = levels_[static_cast<std::size_t>(index)];
  storage::Storage& folder = level.storage;
  const std::string name = index == 0 ? std::string(Msg(msg::kRootFolderName)) : level.name;
  // The records are under the key that applies now, and go to the one that applies after.
  const PasswordKey* from = KeyAt(index);
  PasswordKey old_key;
  if (from) old_key = *from;
  const PasswordKey* old_ptr = from ? &old_key : nullptr;

  if (first.view().empty()) {
    if (!level.key_set) return;  // no password to remove
    const PluginStartupInfo& host = State().info;
    if (!host.Message) return;
    const char* lines[] = {Msg(msg::kDeleteTitle), Msg(msg::kRemovePasswordQuestion), Msg(msg::kOk),
                           Msg(msg::kCancel)};
    if (host.Message(host.ModuleNumber, FMSG_WARNING, "RemovePasswordMsg", lines, 4, 2) != 0) {
      return;
    }
    const PasswordKey* to = KeyAt(index - 1);
    const storage::HRESULT hr = ChangeFolderKey(folder, nullptr, old_ptr, to);
    if (storage::Failed(hr)) {
      ReportStorageError(hr, msg::kErrorStorePassword, name);
      return;
    }
    level.key.Clear();
    level.key_set = 0;
    Refresh(-1, -1);
    return;
  }

  PasswordKey new_key;
  MakePasswordKey(first.view(), new_key);
  const storage::HRESULT hr = ChangeFolderKey(folder, &new_key, old_ptr, &new_key);
  if (storage::Failed(hr)) {
    ReportStorageError(hr, msg::kErrorStorePassword, name);
    return;
  }
  level.key = new_key;
  level.key_set = 1;
  Refresh(-1, -1);
}

}  // namespace qb::main
