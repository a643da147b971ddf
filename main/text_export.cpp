#include "main/text_export.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "main/edit_support.h"
#include "main/exchange.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "sdk/services.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

void WriteRecordText(BookPanel& panel, const std::string& folder_path, const std::string& name,
                     std::FILE* file) {
  std::fprintf(file, "\n*** %s\\%s ***\n", folder_path.c_str(), name.c_str());
  storage::Stream* stream = panel.record_stream();
  if (!stream) return;
  const FieldTypeHost& types = State().field_types;
  panel.ForEachField(*stream, [&](const FieldVisit& field) {
    const FieldTypeSlot& server = types.slot(field.plugin);
    if (server.WriteTextFile) server.WriteTextFile(file, field.data, field.size, field.type);
    return 0;
  });
}

// The file named path when it exists and the user lets it be appended to or overwritten; with
// append the stream stands at its end. Null when the user cancels, or (after an error box) when
// the file cannot be created.
std::FILE* OpenExportFile(const std::string& path) {
  const PluginStartupInfo& host = State().info;
  if (std::FILE* existing = std::fopen(path.c_str(), "r+")) {
    const char* lines[] = {
        Msg(msg::kOverwriteTitle),  Msg(msg::kOverwriteQuestion), path.c_str(),
        Msg(msg::kOverwriteButton), Msg(msg::kAppendButton),      Msg(msg::kCancel)};
    const int answer = host.Message ? host.Message(host.ModuleNumber, FMSG_WARNING,
                                                   "ConfirmOverwriteMsg", lines, 6, 3)
                                    : -1;
    if (answer == 1 && std::fseek(existing, 0, SEEK_END) == 0) return existing;
    std::fclose(existing);
    if (answer != 0) return nullptr;
  }
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) ShowError(Msg(msg::kErrorCreateTarget), path.c_str(), "CreateFileError");
  return file;
}

}  // namespace

bool WriteTextEntry(BookPanel& panel, const PluginPanelItem& item, std::FILE* file,
                    ProgressBox& progress) {
  const std::string name = ItemName(item);
  if (name.empty() || name == "..") return true;
  const std::string where = panel.path();
  const int depth = panel.depth();
  if (!panel.SetDirectory(name.c_str(), OPM_SILENT)) return true;
  bool go_on = true;
  if (panel.in_record() && panel.depth() == depth) {
    WriteRecordText(panel, where, name, file);
    progress.Step();
    go_on = !ProgressBox::EscapePressed();
  } else if (!panel.in_record() && panel.depth() == depth + 1) {
    PluginPanelItem* list = nullptr;
    int count = 0;
    if (panel.GetFindData(&list, &count, OPM_SILENT)) {
      for (int i = 0; i < count && go_on; ++i)
        go_on = WriteTextEntry(panel, list[i], file, progress);
      panel.FreeFindData(list, count);
    }
  } else if (!panel.in_record() && panel.depth() <= depth) {
    return true;  // nothing was entered
  }
  panel.SetDirectory("..", OPM_SILENT);
  return go_on;
}

void ExportText(BookPanel& panel) {
  const PluginStartupInfo& host = State().info;
  PanelInfo info;
  if (!ReadPanelInfo(panel, &info) || info.ItemsNumber <= 0) return;
  if (info.CurrentItem < 0 || info.CurrentItem >= info.ItemsNumber) return;
  // The host's items are valid only until its next Control call: the item is copied whole (only
  // its name and flags are read later).
  PluginPanelItem item = info.PanelItems[info.CurrentItem];
  item.Description = nullptr;
  item.CustomColumnData = nullptr;
  if (ItemName(item) == "..") return;
  // The dialog's edit line takes up to 511 bytes: the buffer holds them all, so a typed path is
  // never cut into another file's name.
  char target[sizeof(FarDialogItem::Data)] = {};
  // The other panel's folder, when it shows the disk: a plug-in's folder (the book in both
  // panels) names no place on the disk, and would make a file of that name here.
  PanelInfo other{};
  if (host.Control && host.Control(&panel, FCTL_GETANOTHERPANELINFO, &other) && !other.Plugin) {
    dlg::CopyCut(target, sizeof target, other.CurDir);
  }
  if (!CopyDialog(target, sizeof target, 2)) return;
  std::string path = target;
  struct stat st;
  if (!path.empty() && path.back() == '/') {
    path += ItemName(item);
  } else if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    path += "/" + ItemName(item);
  }
  std::FILE* file = OpenExportFile(path);
  if (!file) return;
  std::vector<char> buffer(1 << 16);
  std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
  {
    ProgressBox progress(&panel, msg::kExportTitle, msg::kExportingProgress);
    WriteTextEntry(panel, item, file, progress);
  }
  // A write that did not reach the file (a full disk) must not pass for a finished export.
  const bool written = std::fflush(file) == 0 && !std::ferror(file);
  if (std::fclose(file) != 0 || !written) {
    ShowError(Msg(msg::kErrorCreateTarget), path.c_str(), "CreateFileError");
  }
  if (host.Control) host.Control(&panel, FCTL_UPDATEANOTHERPANEL, reinterpret_cast<void*>(1));
}

}  // namespace qb::main
