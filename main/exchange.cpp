#include "main/exchange.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "main/book_format.h"
#include "main/edit_support.h"
#include "main/element_name.h"
#include "main/exchange_format.h"
#include "main/folder_ops.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/settings.h"
#include "main/vcard.h"
#include "main/vcard_syntax.h"
#include "sdk/services.h"
#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

constexpr int kSilent = OPM_SILENT;

storage::Storage* Folder(BookPanel& panel) {
  return panel.in_record() ? nullptr : panel.current_folder();
}

// ---- Writing ----

// Writes the field count and the blocks of the fields that have a server, in record order.
void WriteFields(const Record& record, ExchangeWriter& out) {
  const FieldTypeHost& types = State().field_types;
  uint32_t served = 0;
  for (const FieldEntry& field : record) {
    if (types.ServerOf(field.type) >= 0) ++served;
  }
  out.U32(served);
  for (const FieldEntry& field : record) {
    if (types.ServerOf(field.type) >= 0) out.Field(field.type, field.bytes(), field.size());
  }
}

// One folder or record entry of the current folder. True when the entry was written whole.
bool WriteEntry(BookPanel& panel, const PluginPanelItem& item, int op_mode, ExchangeWriter& out) {
  const std::string name = ItemName(item);
  out.Name(name);
  if (IsRecordItem(item)) {
    storage::Storage* folder = Folder(panel);
    char element[NM];
    std::memcpy(element, item.FindData.cFileName, NM);
    element[NM - 1] = '\0';
    SanitizeName(element, NM);
    storage::Stream stream;
    if (!folder ||
        storage::Failed(folder->OpenStream(ElementName(element), kBookOpenMode, &stream))) {
      return false;
    }
    WriteFields(panel.ReadRecord(stream), out);
    return out.ok();
  }
  const int depth = panel.depth();
  if (!panel.SetDirectory(name.c_str(), op_mode | kSilent)) return false;
  if (panel.in_record() || panel.depth() != depth + 1) {
    if (panel.in_record() || panel.depth() > depth) panel.SetDirectory("..", kSilent);
    return false;
  }
  PluginPanelItem* list = nullptr;
  int n = 0;
  bool whole = panel.GetFindData(&list, &n, op_mode | kSilent) != 0;
  if (whole) {
    std::vector<const PluginPanelItem*> folders, records;
    for (int i = 0; i < n; ++i) {
      if (IsDotDot(list[i])) continue;
      (IsRecordItem(list[i]) ? records : folders).push_back(&list[i]);
    }
    out.U32(static_cast<uint32_t>(folders.size()));
    out.U32(static_cast<uint32_t>(records.size()));
    for (const PluginPanelItem* f : folders) whole = WriteEntry(panel, *f, op_mode, out) && whole;
    for (const PluginPanelItem* r : records) whole = WriteEntry(panel, *r, op_mode, out) && whole;
    panel.FreeFindData(list, n);
  }
  panel.SetDirectory("..", kSilent);
  return whole && out.ok();
}

// Closes a file written for an exchange; false when anything of it may not have reached the disk.
bool CloseWritten(std::FILE* file, bool written) {
  const bool flushed = std::fflush(file) == 0;
  return std::fclose(file) == 0 && flushed && written;
}

int GetFromRecord(BookPanel& panel, PluginPanelItem* items, int count, bool move,
                  const std::string& dir) {
  const std::string path = dir + panel.record_name();
  std::FILE* file = OpenTargetFile(path);
  if (!file) return 0;
  // The blocks first, so that the count says exactly how many follow.
  std::vector<FieldEntry> fields;
  std::vector<PluginPanelItem> taken;
  for (int i = 0; i < count; ++i) {
    const FieldTag* tag = TagOf(items[i]);
    FieldEntry field;
    if (!tag || !panel.GetField(static_cast<int>(tag->index), &field) || field.type != tag->type) {
      continue;
    }
    fields.push_back(std::move(field));
    taken.push_back(items[i]);
    items[i].Flags &= ~PPIF_SELECTED;
  }
  ExchangeWriter out(file);
  out.Magic(kFieldsMagic);
  out.U32(static_cast<uint32_t>(fields.size()));
  for (const FieldEntry& f : fields) out.Field(f.type, f.bytes(), f.size());
  const bool whole = CloseWritten(file, out.ok());
  if (!whole) {
    ShowError(Msg(msg::kErrorCreateTarget), path.c_str(), "CreateFileError");
  } else if (move && !taken.empty()) {
    DeleteFiles(panel, taken.data(), static_cast<int>(taken.size()), kSilent);
  }
  return 1;
}

int GetFromFolder(BookPanel& panel, PluginPanelItem* items, int count, bool move,
                  const std::string& dir, int op_mode) {
  for (int i = 0; i < count; ++i) {
    PluginPanelItem& item = items[i];
    if (IsDotDot(item)) continue;
    const std::string path = dir + ItemName(item);
    std::FILE* file = OpenTargetFile(path);
    if (!file) return 0;
    std::vector<char> buffer(1 << 16);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    ExchangeWriter out(file);
    out.Magic(kFolderMagic);
    const bool record = IsRecordItem(item);
    out.U32(record ? 0 : 1);
    out.U32(record ? 1 : 0);
    const bool entry = WriteEntry(panel, item, op_mode, out);
    const bool whole = CloseWritten(file, out.ok());
    if (!whole && !out.ok())
      ShowError(Msg(msg::kErrorCreateTarget), path.c_str(), "CreateFileError");
    // An item whose entry is not whole in its file stays in the book.
    if (move && entry && whole) DeleteFiles(panel, &item, 1, kSilent);
    item.Flags &= ~PPIF_SELECTED;
  }
  return 1;
}

// ---- Reading ----

class BookSink : public ExchangeSink {
 public:
  BookSink(BookPanel& panel, int op_mode) : panel_(panel), op_mode_(op_mode) {}
  bool EnterFolder(std::string& name) override {
    return MakeAndEnterFolder(panel_, name, op_mode_);
  }
  void LeaveFolder() override { panel_.SetDirectory("..", kSilent); }
  bool Record(std::string& name, std::vector<FieldBlock>& fields) override {
    return MergeIntoNamedRecord(panel_, name, fields);
  }

 private:
  BookPanel& panel_;
  int op_mode_;
};

// A disk item to put: its name as the host gave it (relative to the working directory, "/"
// between directories) and whether it is a directory, as found on the disk now.
struct DiskItem {
  std::string name;
  bool directory = false;
};

// What the disk looks like now for the item; false when it is gone.
bool Refresh(const std::string& name, DiskItem* out) {
  struct stat st;
  if (name.empty() || stat(name.c_str(), &st) != 0) return false;
  out->name = name;
  out->directory = S_ISDIR(st.st_mode);
  return true;
}

std::string BaseName(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The disk items a move removes once the book's commit reached the disk: files, then
// directories, deepest first.
struct MoveLog {
  std::vector<std::string> files;
  std::vector<std::string> directories;
};

enum class Magic { kFolder, kFields, kOther, kShort };

Magic ReadMagic(std::FILE* file) {
  char magic[4];
  if (std::fread(magic, 1, 4, file) != 4) return Magic::kShort;
  if (std::memcmp(magic, kFolderMagic, 4) == 0) return Magic::kFolder;
  if (std::memcmp(magic, kFieldsMagic, 4) == 0) return Magic::kFields;
  return Magic::kOther;
}

// A file that is neither exchange file: imported when it is a vCard file, else refused with the
// box. False stops the put.
bool ImportOtherFile(BookPanel& panel, std::FILE* file, const std::string& name, int op_mode,
                     VCardImport* vcards, bool* imported) {
  char head[4096];
  std::rewind(file);
  const std::size_t n = std::fread(head, 1, sizeof head, file);
  if (!vcard::LooksLikeVCard(std::string_view(head, n))) {
    ShowError(Msg(msg::kErrorNotExchangeFile), name.c_str(), "FileNotRecognizedError");
    return false;
  }
  std::string bytes;
  if (!ReadVCardFile(file, &bytes)) {
    ShowError(Msg(msg::kErrorNotExchangeFile), name.c_str(), "FileNotRecognizedError");
    return false;
  }
  *imported = ImportVCard(panel, bytes, op_mode, vcards);
  return *imported;
}

int ImportIntoFolder(BookPanel& panel, const std::vector<DiskItem>& items, int op_mode,
                     MoveLog* moves, VCardImport* vcards) {
  const PluginStartupInfo& host = State().info;
  for (const DiskItem& given : items) {
    DiskItem item;
    if (!Refresh(given.name, &item)) continue;
    std::string base = BaseName(item.name);
    if (item.directory) {
      if (!MakeAndEnterFolder(panel, base, op_mode)) return 0;
      std::vector<DiskItem> children;
      PluginPanelItem* list = nullptr;
      int n = 0;
      if (host.GetDirList && host.GetDirList(item.name.c_str(), &list, &n) && list) {
        for (int i = 0; i < n; ++i) {
          const std::string listed = ItemName(list[i]);
          const std::size_t first = listed.find('/');
          if (first == std::string::npos) continue;
          const std::string rest = listed.substr(first + 1);
          if (rest.empty() || rest.find('/') != std::string::npos) continue;
          children.push_back(
              DiskItem{item.name + "/" + rest, (list[i].FindData.dwFileAttributes & 0x10) != 0});
        }
        if (host.FreeDirList) host.FreeDirList(list);
      }
      const int result =
          children.empty() ? 1 : ImportIntoFolder(panel, children, op_mode, moves, vcards);
      panel.SetDirectory("..", kSilent);
      if (!result) return 0;
      if (moves) moves->directories.push_back(item.name);
      continue;
    }
    std::FILE* file = std::fopen(item.name.c_str(), "rb");
    if (!file) return 0;
    bool imported = false;
    switch (ReadMagic(file)) {
      case Magic::kFolder: {
        ExchangeReader reader(file);
        BookSink sink(panel, op_mode);
        imported = ReadFolderBody(reader, sink) != 0;
        break;
      }
      case Magic::kFields: {
        ExchangeReader reader(file);
        std::vector<FieldBlock> blocks;
        ReadFieldBlocks(reader, &blocks);
        imported = MergeIntoNamedRecord(panel, base, blocks);
        break;
      }
      case Magic::kOther:
        if (!ImportOtherFile(panel, file, item.name, op_mode, vcards, &imported)) {
          std::fclose(file);
          return 0;
        }
        break;
      case Magic::kShort:
        break;
    }
    std::fclose(file);
    if (imported && moves) moves->files.push_back(item.name);
  }
  return 1;
}

// Hands the file to one of the open record's fields that can send files, through a menu when
// there are several. 0 when no field can, or the user escapes the menu.
int SendToField(BookPanel& panel, const std::string& name) {
  PluginState& state = State();
  FieldTypeHost& types = state.field_types;
  storage::Stream* stream = panel.record_stream();
  if (!stream) return 0;
  struct Candidate {
    int plugin;
    FieldEntry field;
  };
  std::vector<Candidate> candidates;
  std::vector<FarMenuItem> lines;
  panel.ForEachField(*stream, [&](const FieldVisit& v) {
    const FieldTypeSlot& slot = types.slot(v.plugin);
    if (!slot.SendFile) return 0;
    FarMenuItem line{};
    if (slot.GetMenuDescription) {
      char* text = nullptr;
      slot.GetMenuDescription(&text, v.data, v.size, v.type);
      dlg::CopyCut(line.Text, sizeof line.Text, text);
      HeapFree(text);
    } else {
      dlg::CopyCut(line.Text, sizeof line.Text, slot.info ? slot.info->Name : nullptr);
    }
    lines.push_back(line);
    FieldEntry field;
    field.type = v.type;
    if (v.data) {
      field.data.assign(static_cast<const uint8_t*>(v.data),
                        static_cast<const uint8_t*>(v.data) + v.size);
    }
    candidates.push_back(Candidate{v.plugin, std::move(field)});
    return 0;
  });
  if (candidates.empty()) return 0;
  std::size_t chosen = 0;
  if (candidates.size() > 1) {
    if (!state.info.Menu) return 0;
    const int picked =
        state.info.Menu(state.info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT,
                        Msg(msg::kSendFileTitle), nullptr, nullptr, nullptr, nullptr, lines.data(),
                        static_cast<int>(lines.size()));
    if (picked < 0 || picked >= static_cast<int>(candidates.size())) return 0;
    chosen = static_cast<std::size_t>(picked);
  }
  char full[PATH_MAX];
  const std::string path = realpath(name.c_str(), full) ? std::string(full) : name;
  const Candidate& c = candidates[chosen];
  if (!types.slot(c.plugin).SendFile(c.field.bytes(), c.field.size(), c.field.type, path.c_str())) {
    ShowError(Msg(msg::kErrorSendFile), name.c_str(), "SendingFailedError");
  }
  return 1;
}

int ImportIntoRecord(BookPanel& panel, const std::vector<DiskItem>& items) {
  for (const DiskItem& given : items) {
    DiskItem item;
    if (!Refresh(given.name, &item) || item.directory) continue;
    std::FILE* file = std::fopen(item.name.c_str(), "rb");
    if (!file) return 0;
    const Magic magic = ReadMagic(file);
    if (magic == Magic::kFields) {
      ExchangeReader reader(file);
      std::vector<FieldBlock> blocks;
      ReadFieldBlocks(reader, &blocks);
      std::fclose(file);
      storage::Stream* stream = panel.record_stream();
      if (!stream || blocks.empty()) continue;
      Record record = panel.ReadRecord(*stream);
      MergeBlocks(record, blocks);
      const storage::HRESULT hr = panel.WriteRecord(*stream, record);
      if (storage::Failed(hr)) ReportStorageError(hr, msg::kErrorOpenRecord, panel.record_name());
      continue;
    }
    std::fclose(file);
    if (magic == Magic::kFolder) {
      ShowError(Msg(msg::kErrorFolderOntoRecord), "NoStructuredError");
      continue;
    }
    if (!SendToField(panel, item.name)) return 0;
  }
  return 1;
}

}  // namespace

std::string ItemName(const PluginPanelItem& item) {
  return std::string(item.FindData.cFileName, strnlen(item.FindData.cFileName, NM));
}

bool IsDotDot(const PluginPanelItem& item) {
  return ItemName(item) == "..";
}

// Folder items carry user data 0, records 1 (both show as directories).
bool IsRecordItem(const PluginPanelItem& item) {
  return !(item.Flags & PPIF_USERDATA) && item.UserData == 1;
}

// Adds the blocks to the record: a block of a single-valued type replaces the first field served
// by the same library, any other block is appended.
void MergeBlocks(Record& record, std::vector<FieldBlock>& blocks, bool skip_equal) {
  const FieldTypeHost& types = State().field_types;
  for (FieldBlock& block : blocks) {
    if (skip_equal && std::any_of(record.begin(), record.end(), [&](const FieldEntry& field) {
          return field.type == block.type && field.data == block.data;
        })) {
      continue;
    }
    const int server = types.ServerOf(block.type);
    FieldEntry* same = nullptr;
    if (server >= 0 && !(types.slot(server).flags() & FTF_MULTIPLE)) {
      for (FieldEntry& field : record) {
        if (types.ServerOf(field.type) == server) {
          same = &field;
          break;
        }
      }
    }
    if (same) {
      same->type = block.type;
      same->data = std::move(block.data);
    } else {
      record.push_back(FieldEntry{block.type, std::move(block.data)});
    }
  }
}

// The name a new folder or record of the current folder gets: leading blanks dropped (such names
// are the book's own), cut to the host's buffers, reserved characters replaced. Empty when
// nothing is left.
std::string BookName(const std::string& wanted) {
  const std::size_t first = wanted.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::string name = wanted.substr(first);
  CutToBytes(&name, NM - 1);
  SanitizeName(name.data(), name.size());
  return name;
}

// Makes the folder (an existing one counts as made) and enters it.
bool MakeAndEnterFolder(BookPanel& panel, std::string& wanted, int op_mode) {
  storage::Storage* folder = Folder(panel);
  const std::string name = BookName(wanted);
  if (!folder || name.empty()) return false;
  const std::u16string element = ElementName(name);
  storage::Storage made;
  const storage::HRESULT hr = folder->CreateStorage(element, kBookOpenMode, &made);
  if (storage::Succeeded(hr)) {
    made.Release();
  } else if (hr != storage::STG_E_FILEALREADYEXISTS ||
             storage::Failed(folder->OpenStorage(element, kBookOpenMode, &made))) {
    ReportStorageError(hr, msg::kErrorCreateFolder, name);
    return false;
  } else {
    made.Release();
  }
  const int depth = panel.depth();
  if (!panel.SetDirectory(name.c_str(), op_mode | kSilent)) return false;
  if (panel.in_record() || panel.depth() != depth + 1) {
    if (panel.in_record() || panel.depth() > depth) panel.SetDirectory("..", kSilent);
    return false;
  }
  wanted = name;
  return true;
}

// Makes the record (an existing one is reused) and merges the blocks into it.
bool MergeIntoNamedRecord(BookPanel& panel, const std::string& wanted,
                          std::vector<FieldBlock>& blocks, bool skip_equal) {
  storage::Storage* folder = Folder(panel);
  const std::string name = BookName(wanted);
  if (!folder || name.empty()) return false;
  const std::u16string element = ElementName(name);
  storage::Stream stream;
  storage::HRESULT hr = folder->CreateStream(element, kBookOpenMode, &stream);
  if (hr == storage::STG_E_FILEALREADYEXISTS) {
    hr = folder->OpenStream(element, kBookOpenMode, &stream);
  }
  if (storage::Failed(hr)) {
    ReportStorageError(hr, msg::kErrorCreateRecord, name);
    return false;
  }
  if (blocks.empty()) return true;
  Record record = panel.ReadRecord(stream);
  MergeBlocks(record, blocks, skip_equal);
  hr = panel.WriteRecord(stream, record);
  if (storage::Failed(hr)) {
    ReportStorageError(hr, msg::kErrorCreateRecord, name);
    return false;
  }
  return true;
}

bool CopyDialog(char* destination, std::size_t size, int kind) {
  AttachDialogBuilder();
  static const int kTitles[] = {msg::kCopyTitle, msg::kMoveTitle, msg::kExportTitle,
                                msg::kVCardExportTitle};
  dlg::DlgBuilder dlg(60, 9, "CopyDlg");
  dlg.AddFrame(kTitles[kind < 0 || kind > 3 ? 0 : kind]);
  dlg.Make<dlg::DlgEdit>(5, 3, 54, 0u, nullptr,
                         std::make_unique<dlg::DlgStrBufBinding>(destination, size), DI_EDIT);
  dlg.AddButtons(msg::kOk, msg::kCancel);
  return dlg.Run() >= 0;
}

std::FILE* OpenTargetFile(const std::string& path) {
  if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
    std::fclose(existing);
    const PluginStartupInfo& host = State().info;
    const char* lines[] = {Msg(msg::kOverwriteTitle), Msg(msg::kOverwriteQuestion), path.c_str(),
                           Msg(msg::kOverwriteButton), Msg(msg::kCancel)};
    if (!host.Message ||
        host.Message(host.ModuleNumber, FMSG_WARNING, "ConfirmOverwriteMsg", lines, 5, 2) != 0) {
      return nullptr;
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) ShowError(Msg(msg::kErrorCreateTarget), path.c_str(), "CreateFileError");
  return file;
}

int GetFiles(BookPanel& panel, PluginPanelItem* items, int count, int move, char* destination,
             int op_mode) {
  BookLock lock(panel);
  if (!lock.ok()) return 0;
  char buffer[NM] = {};
  if (destination) dlg::CopyCut(buffer, sizeof buffer, destination);
  if (!(op_mode & OPM_SILENT) && !CopyDialog(buffer, sizeof buffer, move ? 1 : 0)) return 0;
  std::string dir = buffer;
  if (dir.empty() || dir.back() != '/') dir += '/';
  if (!items || count <= 0) return 1;
  if (panel.in_record()) return GetFromRecord(panel, items, count, move != 0, dir);
  return GetFromFolder(panel, items, count, move != 0, dir, op_mode);
}

int PutFiles(BookPanel& panel, PluginPanelItem* items, int count, int move, int op_mode) {
  // Disk files of a move go only once the commit that holds them has reached the disk, so the
  // book is opened here, not inside another call still holding it.
  const bool commits_here = !panel.acquired();
  MoveLog moves;
  VCardImport vcards;
  int result = 0;
  {
    BookLock lock(panel);
    if (!lock.ok()) return 0;
    std::vector<DiskItem> disk;
    for (int i = 0; i < count && items; ++i) {
      disk.push_back(DiskItem{ItemName(items[i]), (items[i].FindData.dwFileAttributes &
                                                   FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
    if (panel.in_record()) {
      result = ImportIntoRecord(panel, disk);
    } else {
      result =
          ImportIntoFolder(panel, disk, op_mode, move && commits_here ? &moves : nullptr, &vcards);
    }
  }
  // One box for every vCard file of the put (a vdirsyncer folder holds one file per contact).
  if (vcards.files > 0 && !(op_mode & OPM_SILENT)) ShowVCardImport(vcards);
  if (storage::Succeeded(panel.last_commit())) {
    for (const std::string& file : moves.files) unlink(file.c_str());
    for (const std::string& dir : moves.directories) rmdir(dir.c_str());
  }
  return result;
}

}  // namespace qb::main
