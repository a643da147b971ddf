// Folders and records: making, deleting, renaming, describing, and the scan menu.
#include "main/folder_ops.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "main/book_format.h"
#include "main/edit_support.h"
#include "main/element_name.h"
#include "main/event_walk.h"
#include "main/exchange.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/settings.h"
#include "main/vcard.h"
#include "platform/codepage/codepage.h"
#include "sdk/services.h"
#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

using dlg::DlgBuilder;
using dlg::DlgEdit;
using dlg::DlgStrBinding;
using dlg::DlgStrBufBinding;
using dlg::DlgText;

bool Silent(int op_mode) {
  return (op_mode & OPM_SILENT) != 0;
}

// A heap text bound to a dialog, freed at the end of the scope.
struct HeapText {
  char* text = nullptr;
  HeapText() = default;
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  ~HeapText() { HeapFree(text); }
  std::string value() const { return text ? std::string(text) : std::string(); }
};

// Whether the current folder holds a folder (storage) of this element name.
bool IsFolder(BookPanel& panel, const std::u16string& name) {
  storage::Storage* folder = panel.current_folder();
  if (!folder) return false;
  storage::Storage child;
  return storage::Succeeded(folder->OpenStorage(name, kBookOpenMode, &child));
}

std::string SkipLeadingBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

// The name dialog of new folders, new records and renaming: a frame, a label and one edit line
// whose text the binding holds. True when the user accepted it.
bool AskName(const char* help_topic, int title, int label, std::unique_ptr<dlg::DlgBinding> text) {
  AttachDialogBuilder();
  DlgBuilder dlg(60, 9, help_topic);
  dlg.AddFrame(title);
  dlg.Make<DlgText>(5, 2, 0u, label);
  dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr, std::move(text), DI_EDIT);
  dlg.AddButtons(msg::kOk, msg::kCancel);
  return dlg.Run() >= 0;
}

// A name the book cannot take because of what was typed, not because the storage failed: said in
// words, so the user can correct it in the dialog that comes back with the text.
void ShowNameError(int message, const std::string& name) {
  const PluginStartupInfo& host = State().info;
  if (!host.Message) return;
  const char* lines[] = {Msg(msg::kErrorTitle), Msg(message), name.c_str(), Msg(msg::kOk)};
  host.Message(host.ModuleNumber, FMSG_WARNING, "BadName", lines, 4, 1);
}

// The records in a folder and in every folder below it.
long CountRecords(storage::Storage& folder, int depth = 0) {
  storage::Enumerator elements;
  if (depth > 64 || storage::Failed(folder.Enumerate(&elements))) return 0;
  long count = 0;
  storage::ElementStat stat;
  while (elements.Next(&stat) == storage::S_OK) {
    if (stat.name.empty() || IsReservedElementName(stat.name)) continue;
    if (stat.type == storage::STGTY_STREAM) {
      ++count;
    } else if (stat.type == storage::STGTY_STORAGE) {
      storage::Storage child;
      if (storage::Succeeded(folder.OpenStorage(stat.name, kBookOpenMode, &child))) {
        count += CountRecords(child, depth + 1);
      }
    }
  }
  return count;
}

// The records that a deletion of these folder-view items takes with it: those inside the chosen
// folders (the chosen records themselves are named by the question already).
long RecordsInside(BookPanel& panel, const PluginPanelItem* items, int count) {
  if (panel.in_record()) return 0;
  storage::Storage* folder = panel.current_folder();
  if (!folder) return 0;
  long records = 0;
  for (int i = 0; i < count; ++i) {
    if (items[i].UserData != 0) continue;  // a record
    char name[NM];
    std::memcpy(name, items[i].FindData.cFileName, NM);
    name[NM - 1] = '\0';
    SanitizeName(name, NM);
    storage::Storage child;
    if (storage::Succeeded(folder->OpenStorage(ElementName(name), kBookOpenMode, &child))) {
      records += CountRecords(child);
    }
  }
  return records;
}

// The book's element names hold at most this many UTF-16 code units.
bool TooLong(const std::u16string& element) {
  return element.size() > storage::kMaxNameLength;
}

}  // namespace

int MakeDirectory(BookPanel& panel, char* name, int op_mode) {
  if (!name || panel.in_record()) return 0;
  BookLock lock(panel);
  if (!lock.ok()) return 0;
  storage::Storage* folder = panel.current_folder();
  if (!folder) return 0;
  name[NM - 1] = '\0';
  // A name the book cannot take brings the dialog back with the text as typed.
  std::string as_typed = name;
  for (;;) {
    std::memcpy(name, as_typed.c_str(), as_typed.size() + 1);
    if (!Silent(op_mode) &&
        !AskName("CreateDirectoryDlg", msg::kNewFolderTitle, msg::kNewFolderLabel,
                 std::make_unique<DlgStrBufBinding>(name, NM))) {
      return -1;
    }
    as_typed = name;
    // Typed or handed over by a copy, a name never begins with a blank: such names are the
    // book's own (one blank is a folder's password, two its description).
    const std::string typed = SkipLeadingBlanks(name);
    if (typed.empty()) return 0;
    std::memmove(name, typed.c_str(), typed.size() + 1);
    SanitizeName(name, NM);
    const std::u16string element = ElementName(name);
    int problem = TooLong(element) ? msg::kErrorNameTooLong : 0;
    if (!problem) {
      storage::Storage made;
      const storage::HRESULT hr = folder->CreateStorage(element, kBookOpenMode, &made);
      if (storage::Succeeded(hr)) {
        made.Release();
      } else if (hr == storage::STG_E_FILEALREADYEXISTS) {
        if (!IsFolder(panel, element)) problem = msg::kErrorNameTaken;
      } else {
        ReportStorageError(hr, msg::kErrorCreateFolder, name);
        return 0;
      }
    }
    if (!problem) break;
    ShowNameError(problem, name);
    if (Silent(op_mode)) return 0;
  }
  PlaceCursor(panel, name);
  return 1;
}

int DeleteFiles(BookPanel& panel, const PluginPanelItem* items, int count, int op_mode) {
  if (!items || count <= 0) return 1;
  if (!Silent(op_mode)) {
    const PluginStartupInfo& host = State().info;
    if (!host.Message) return 1;
    char what[NM];
    if (count == 1) {
      dlg::CopyCut(
          what, sizeof what,
          std::string(items[0].FindData.cFileName, strnlen(items[0].FindData.cFileName, NM))
              .c_str());
    } else {
      std::snprintf(what, sizeof what, "%d items", count);
    }
    // A folder that is not empty says how many records go with it.
    long inside = 0;
    {
      BookLock lock(panel);
      if (lock.ok()) inside = RecordsInside(panel, items, count);
    }
    char also[128] = "";
    if (inside > 0) std::snprintf(also, sizeof also, Msg(msg::kDeleteRecordsInside), inside);
    std::vector<const char*> lines = {Msg(msg::kDeleteTitle), Msg(msg::kDeleteQuestion), what};
    if (inside > 0) lines.push_back(also);
    lines.push_back(Msg(msg::kDeleteButton));
    lines.push_back(Msg(msg::kCancel));
    if (host.Message(host.ModuleNumber, FMSG_WARNING, "ConfirmDeleteMsg", lines.data(),
                     static_cast<int>(lines.size()), 2) != 0) {
      return 1;
    }
  }
  BookLock lock(panel);
  if (!lock.ok()) return 0;
  if (panel.in_record()) {
    // Each deletion moves the later fields one place forward; the indexes still to come follow
    // them, so every item keeps naming the field it named when the user chose it.
    // A list read before the record changed (in the other panel, or by another program) may
    // name places that now hold other fields: then nothing is deleted.
    std::vector<long> index(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
      if (const FieldTag* tag = TagOf(items[i])) {
        FieldEntry there;
        if (!FieldOfTag(panel, *tag, &there)) return 0;
        index[static_cast<std::size_t>(i)] = tag->index;
      }
    }
    for (std::size_t i = 0; i < index.size(); ++i) {
      const long gone = index[i];
      if (gone < 0) continue;
      if (storage::Failed(panel.ReplaceField(static_cast<int>(gone), nullptr, 0, 0))) continue;
      for (std::size_t j = i + 1; j < index.size(); ++j) {
        if (index[j] > gone) {
          --index[j];
        } else if (index[j] == gone) {
          index[j] = -1;  // the same field listed twice: it is gone already
        }
      }
    }
    return 1;
  }
  storage::Storage* folder = panel.current_folder();
  if (!folder) return 1;
  for (int i = 0; i < count; ++i) {
    char name[NM];
    std::memcpy(name, items[i].FindData.cFileName, NM);
    name[NM - 1] = '\0';
    SanitizeName(name, NM);
    folder->DestroyElement(ElementName(name));
  }
  return 1;
}

void CreateRecord(BookPanel& panel, char* name) {
  BookLock lock(panel);
  if (!lock.ok() || panel.in_record()) return;
  storage::Storage* folder = panel.current_folder();
  if (!folder) return;
  const bool ask = !name || name[0] == '\0';
  std::string as_typed = ask ? std::string() : std::string(name, strnlen(name, NM));
  std::string typed;
  for (;;) {
    if (ask) {
      HeapText text;
      if (!as_typed.empty()) text.text = HeapString(as_typed);
      if (!AskName("CreateRecordDlg", msg::kNewRecordTitle, msg::kNewRecordLabel,
                   std::make_unique<DlgStrBinding>(&text.text))) {
        return;
      }
      as_typed = text.value();
    }
    typed = SkipLeadingBlanks(as_typed);
    if (typed.empty()) return;
    // The name must fit the host's name buffers (and the caller's), terminator included.
    CutToBytes(&typed, NM - 1);
    SanitizeName(typed.data(), typed.size());
    const std::u16string element = ElementName(typed);
    int problem = TooLong(element) ? msg::kErrorNameTooLong : 0;
    if (!problem) {
      storage::Stream made;
      const storage::HRESULT hr = folder->CreateStream(element, kBookOpenMode, &made);
      if (storage::Succeeded(hr)) {
        made.Release();
      } else if (hr == storage::STG_E_FILEALREADYEXISTS) {
        if (IsFolder(panel, element)) problem = msg::kErrorNameTaken;
      } else {
        ReportStorageError(hr, msg::kErrorCreateRecord, typed);
        return;
      }
    }
    if (!problem) break;
    ShowNameError(problem, typed);
    if (!ask) return;
  }
  if (name) std::memcpy(name, typed.c_str(), typed.size() + 1);
  PlaceCursor(panel, typed);
}

void RenameItem(BookPanel& panel) {
  PluginPanelItem item;
  if (!ReadCurrentItem(panel, &item) || IsDotDot(item)) return;
  storage::Storage* folder = panel.current_folder();
  if (!folder) return;
  char name[NM];
  std::memcpy(name, item.FindData.cFileName, NM);
  SanitizeName(name, NM);
  const std::u16string old_name = ElementName(name);
  std::string typed;
  for (;;) {
    if (!AskName("RenameDlg", msg::kRenameTitle, msg::kRenameLabel,
                 std::make_unique<DlgStrBufBinding>(name, NM))) {
      return;
    }
    // Leading blanks go as when creating: a record renamed to one blank would become the
    // folder's password and lock the folder (the whole book, at the root); with two it would
    // become the folder's description.
    typed = SkipLeadingBlanks(name);
    if (typed.empty()) return;
    SanitizeName(typed.data(), typed.size());
    const std::u16string new_name = ElementName(typed);
    if (new_name == old_name) return;
    int problem = TooLong(new_name) ? msg::kErrorNameTooLong : 0;
    if (!problem) {
      const storage::HRESULT hr = folder->RenameElement(old_name, new_name);
      if (hr == storage::STG_E_FILEALREADYEXISTS) {
        problem = msg::kErrorNameTaken;
      } else if (storage::Failed(hr)) {
        ReportStorageError(hr, msg::kErrorRename, typed);
        return;
      }
    }
    if (!problem) break;
    ShowNameError(problem, typed);
  }
  if (IsRecordItem(item)) RenameVCardUid(*folder, ItemName(item), typed);
  // The cursor goes with the item to its place under the new name.
  PlaceCursor(panel, typed);
}

void EditFolderDescription(BookPanel& panel) {
  PluginPanelItem item;
  if (!ReadCurrentItem(panel, &item) || IsDotDot(item)) return;
  // Records carry user data 1; only folders have descriptions.
  if (item.UserData == 1 || !(item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  const std::string name = item.FindData.cFileName;
  const int depth = panel.depth();
  if (!panel.SetDirectory(name.c_str(), OPM_SILENT)) return;
  if (panel.in_record() || panel.depth() != depth + 1) {
    // Not a folder after all (the book changed under the panel): go back to where we were.
    if (panel.in_record() || panel.depth() > depth) panel.SetDirectory("..", OPM_SILENT);
    return;
  }
  storage::Storage* folder = panel.current_folder();
  const std::string stored = folder ? ReadFolderDescription(*folder) : std::string();
  HeapText text;
  if (!stored.empty()) text.text = HeapString(stored);
  AttachDialogBuilder();
  DlgBuilder dlg(60, 9, "SetDescriptionDlg");
  dlg.AddFrame(msg::kDescriptionTitle);
  dlg.Make<DlgEdit>(5, 3, 54, DIF_HISTORY, "FolderDescription",
                    std::make_unique<DlgStrBinding>(&text.text), DI_EDIT);
  dlg.AddButtons(msg::kOk, msg::kCancel);
  const bool accepted = dlg.Run() >= 0;
  if (accepted && folder) {
    const std::string typed = text.value();
    // The edit line holds 511 bytes. Accepting a longer description unchanged must not cut it.
    std::string shown = stored;
    shown.resize(codepage::Utf8CutPoint(shown, sizeof(FarDialogItem::Data) - 1));
    if (typed.empty()) {
      folder->DestroyElement(kDescriptionStream);
    } else if (typed != shown) {
      storage::Stream stream;
      storage::HRESULT hr = folder->CreateStream(kDescriptionStream, kBookReplaceMode, &stream);
      if (storage::Succeeded(hr)) {
        hr = stream.Write(typed.data(), static_cast<uint32_t>(typed.size()), nullptr);
      }
      if (storage::Failed(hr)) ReportStorageError(hr, msg::kDescriptionTitle, name);
    }
  }
  panel.SetDirectory("..", OPM_SILENT);
  if (accepted) {
    const PluginStartupInfo& host = State().info;
    if (host.Control) host.Control(&panel, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  }
}

void ScanMenu(BookPanel& panel) {
  const PluginState& state = State();
  const FieldTypeHost& types = state.field_types;
  std::vector<int> scanners;
  for (int i = 0; i < types.count(); ++i) {
    if (types.slot(i).flags() & FTEV_SCAN) scanners.push_back(i);
  }
  if (scanners.empty()) {
    ShowError(msg::kErrorNoScanner, "ScanMenu");
    return;
  }
  int plugin = scanners[0];
  if (scanners.size() > 1) {
    if (!state.info.Menu) return;
    std::vector<FarMenuItem> items(scanners.size() + 1);
    dlg::CopyCut(items[0].Text, sizeof items[0].Text, Msg(msg::kScanAllTypes));
    for (std::size_t k = 0; k < scanners.size(); ++k) {
      const FieldTypeInfo* info = types.slot(scanners[k]).info;
      dlg::CopyCut(items[k + 1].Text, sizeof items[k + 1].Text, info ? info->Name : nullptr);
    }
    const int chosen =
        state.info.Menu(state.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT,
                        Msg(msg::kScanTitle), nullptr, "ScanMenu", nullptr, nullptr, items.data(),
                        static_cast<int>(items.size()));
    if (chosen < 0 || chosen > static_cast<int>(scanners.size())) return;
    plugin = chosen == 0 ? -1 : scanners[static_cast<std::size_t>(chosen - 1)];
  }
  SendEventWalk(panel, FTEV_SCAN, plugin);
}

}  // namespace qb::main
