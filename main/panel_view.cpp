// What the host's panel shows of the book, and moving the panel through it.
#include <cstring>
#include <utility>

#include "main/book_format.h"
#include "main/book_panel.h"
#include "main/edit_support.h"
#include "main/element_name.h"
#include "main/find_text.h"
#include "main/heap.h"
#include "main/main_text.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "main/storage_error.h"
#include "platform/time/clock.h"

namespace qb::main {

namespace {

bool Interactive(int op_mode) {
  return (op_mode & (OPM_SILENT | OPM_FIND)) == 0;
}

// The panel modes and key bars, looked up once (the texts live as long as the language store).
struct PanelLook {
  const char* titles_name[2];
  const char* titles_name_descr[2];
  PanelMode modes[3];
  KeyBarTitles folder_keys;
  KeyBarTitles record_keys;
};

char* Label(int n) {
  return const_cast<char*>(MainText(n));
}

const PanelLook& Look() {
  static const PanelLook look = [] {
    static char empty[] = "";
    PanelLook l{};
    l.titles_name[0] = l.titles_name[1] = MainText(msg::kColumnName);
    l.titles_name_descr[0] = MainText(msg::kColumnName);
    l.titles_name_descr[1] = MainText(msg::kColumnDescription);
    l.modes[0] = PanelMode{"NO,NO", "0,0", l.titles_name, 0, 0, 0, 0, "Z", "0", {0, 0}};
    l.modes[1] = PanelMode{"NO,Z", "0,25", l.titles_name_descr, 0, 0, 0, 0, "Z", "0", {0, 0}};
    l.modes[2] = PanelMode{"NO,Z", "25,0", l.titles_name_descr, 0, 0, 0, 0, "Z", "0", {0, 0}};
    // Titles[] are F1..F12, index = key number - 1.
    KeyBarTitles& f = l.folder_keys;
    f.Titles[5] = Label(msg::kKeyF6);
    f.AltTitles[2] = Label(msg::kKeyFolderAltF3);
    f.AltTitles[5] = Label(msg::kKeyFolderAltF6);
    f.AltTitles[11] = empty;
    f.ShiftTitles[0] = f.ShiftTitles[1] = empty;
    f.ShiftTitles[2] = Label(msg::kKeyShiftF3);
    f.ShiftTitles[3] = Label(msg::kKeyFolderShiftF4);
    f.ShiftTitles[4] = Label(msg::kKeyFolderShiftF5);
    f.ShiftTitles[6] = Label(msg::kKeyFolderShiftF7);
    KeyBarTitles& r = l.record_keys;
    r.Titles[5] = Label(msg::kKeyF6);
    r.Titles[6] = empty;
    r.AltTitles[2] = Label(msg::kKeyRecordAltF3);
    r.AltTitles[3] = Label(msg::kKeyRecordAltF4);
    r.AltTitles[4] = Label(msg::kKeyRecordAltF5);
    r.AltTitles[5] = empty;
    r.AltTitles[11] = empty;
    r.ShiftTitles[0] = r.ShiftTitles[1] = empty;
    r.ShiftTitles[2] = Label(msg::kKeyShiftF3);
    r.ShiftTitles[3] = Label(msg::kKeyRecordShiftF4);
    return l;
  }();
  return look;
}

PluginPanelItem* HandOver(std::vector<PluginPanelItem>& items) {
  auto* array = static_cast<PluginPanelItem*>(HeapAlloc(items.size() * sizeof(PluginPanelItem)));
  if (array && !items.empty()) std::memcpy(array, items.data(), items.size() * sizeof(items[0]));
  return array;
}

void FreeItem(PluginPanelItem& item) {
  HeapFree(item.Description);
  item.Description = nullptr;
  if (item.Flags & PPIF_USERDATA) HeapFree(reinterpret_cast<void*>(item.UserData));
  item.UserData = 0;
}

}  // namespace

void BookPanel::GetOpenPluginInfo(OpenPluginInfo* info) {
  const PanelLook& look = Look();
  *info = OpenPluginInfo{};
  info->StructSize = sizeof(OpenPluginInfo);
  info->Flags = OPIF_USEHIGHLIGHTING | OPIF_ADDDOTS | OPIF_SHOWNAMESONLY | OPIF_SHOWPRESERVECASE |
                OPIF_FINDFOLDERS | OPIF_USEATTRHIGHLIGHTING;
  info->HostFile = nullptr;
  info->CurDir = path_;
  info->Format = kTitle;
  info->PanelTitle = kTitle;
  info->PanelModesArray = look.modes;
  info->PanelModesNumber = 3;
  info->StartPanelMode = '0' + State().settings.panel_mode1;
  // A record's fields show in the record's order, which Alt+F5 changes; folders by name.
  info->StartSortMode = has_record_ ? SM_UNSORTED : SM_NAME;
  info->StartSortOrder = 0;
  info->KeyBar = has_record_ ? &look.record_keys : &look.folder_keys;
}

int BookPanel::GetFindData(PluginPanelItem** out_items, int* out_count, int op_mode) {
  *out_items = nullptr;
  *out_count = 0;
  listed_ = true;
  BookLock lock(*this);
  if (!root_open()) return 0;
  std::vector<PluginPanelItem> items;
  bool complete = true;
  if (has_record_ && record_stream_.valid()) {
    const FieldTypeHost& types = State().field_types;
    ForEachField(record_stream_, [&](const FieldVisit& field) {
      const FieldTypeSlot& server = types.slot(field.plugin);
      if (!server.GetPanelItem) return 0;
      auto* tag = static_cast<FieldTag*>(HeapAlloc(sizeof(FieldTag)));
      if (!tag) {
        complete = false;
        return 1;
      }
      PluginPanelItem item{};
      server.GetPanelItem(&item, field.data, field.size, field.type);
      *tag = MakeFieldTag(field.type, field.index, field.plugin, field.data, field.size);
      item.Flags |= PPIF_USERDATA;
      item.UserData = reinterpret_cast<uintptr_t>(tag);
      items.push_back(item);
      return 0;
    });
  } else if (storage::Storage* folder = current_folder()) {
    const std::string& format = State().settings.description;
    storage::Enumerator elements;
    if (storage::Failed(folder->Enumerate(&elements))) return 0;
    // One record a listed element at most: the array is made once, at its full size.
    auto* array = static_cast<PluginPanelItem*>(
        HeapAlloc(std::max<std::size_t>(elements.count(), 1) * sizeof(PluginPanelItem)));
    if (!array) return 0;
    const int listed = ListFolder(*folder, elements, format, op_mode, array);
    *out_items = array;
    *out_count = listed;
    return 1;
  }
  PluginPanelItem* array = complete ? HandOver(items) : nullptr;
  if (!array) {
    for (PluginPanelItem& item : items) FreeItem(item);
    return 0;
  }
  *out_items = array;
  *out_count = static_cast<int>(items.size());
  return 1;
}

int BookPanel::ListFolder(storage::Storage& folder, storage::Enumerator& elements,
                          const std::string& format, int op_mode, PluginPanelItem* out) {
  int listed = 0;
  // Find walks folders and looks at records: to it a record is an item to find, not a folder
  // to enter, and with OPM_FINDTEXT its description carries its fields' texts.
  const bool find = (op_mode & OPM_FIND) != 0;
  const bool find_text = find && (op_mode & OPM_FINDTEXT) != 0;
  storage::ElementStat stat;
  while (elements.Next(&stat) == storage::S_OK) {
    if (stat.name.empty() || IsReservedElementName(stat.name)) continue;
    const bool is_folder = stat.type == storage::STGTY_STORAGE;
    if (!is_folder && stat.type != storage::STGTY_STREAM) continue;
    PluginPanelItem item{};
    WIN32_FIND_DATA& fd = item.FindData;
    const std::string name = DisplayName(stat.name, sizeof fd.cFileName - 1);
    std::memcpy(fd.cFileName, name.c_str(), name.size() + 1);
    fd.ftCreationTime = clock::TicksToFileTime(stat.creation);
    fd.ftLastAccessTime = clock::TicksToFileTime(stat.access);
    fd.ftLastWriteTime = clock::TicksToFileTime(stat.modification);
    fd.nFileSizeHigh = static_cast<DWORD>(stat.size >> 32);
    fd.nFileSizeLow = static_cast<DWORD>(stat.size);
    fd.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    item.UserData = is_folder ? 0 : 1;
    std::string description;
    if (!is_folder) {
      fd.dwFileAttributes |= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
      if (find) fd.dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
      storage::Stream record;
      if ((Interactive(op_mode) || find_text) &&
          storage::Succeeded(folder.OpenListedStream(elements, kBookOpenMode, &record))) {
        description =
            find_text ? RecordFindText(*this, record) : ComposeDescription(format, record);
      }
    } else if (Interactive(op_mode)) {
      storage::Storage child;
      if (storage::Succeeded(folder.OpenListedStorage(elements, kBookOpenMode, &child))) {
        storage::Stream password;
        if (storage::Succeeded(child.OpenStream(kPasswordStream, kBookOpenMode, &password))) {
          fd.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
        }
        password.Release();
        description = ReadFolderDescription(child);
      }
    }
    if (!description.empty()) item.Description = HeapString(description);
    out[listed++] = item;
  }
  return listed;
}

void BookPanel::FreeFindData(PluginPanelItem* items, int count) {
  if (!items) return;
  for (int i = 0; i < count; ++i) FreeItem(items[i]);
  HeapFree(items);
}

int BookPanel::Compare(const PluginPanelItem* a, const PluginPanelItem* b, unsigned int mode) {
  (void)mode;
  const bool a_field = (a->Flags & PPIF_USERDATA) && a->UserData;
  const bool b_field = (b->Flags & PPIF_USERDATA) && b->UserData;
  if (a_field && b_field) {
    const auto* ta = reinterpret_cast<const FieldTag*>(a->UserData);
    const auto* tb = reinterpret_cast<const FieldTag*>(b->UserData);
    if (ta->plugin != tb->plugin || ta->index == tb->index) return -2;
    return ta->index < tb->index ? -1 : 1;
  }
  if (a_field || b_field) return -2;
  // Folders (user data 0) before records (user data 1).
  if (a->UserData == b->UserData) return -2;
  return a->UserData == 1 ? 1 : -1;
}

void BookPanel::SaveViewMode() {
  if (std::exchange(State().view_modes_chosen, false)) return;  // F9 chose the modes
  PanelInfo panel;
  if (!ReadPanelState(*this, &panel)) return;
  Settings& settings = State().settings;
  (has_record_ ? settings.panel_mode2 : settings.panel_mode1) = panel.ViewMode;
}

void BookPanel::SetViewMode(int mode) {
  const PluginStartupInfo& info = State().info;
  if (info.Control) info.Control(this, FCTL_SETVIEWMODE, &mode);
}

// Takes one part of a path: 1 entered a folder, 2 entered a record, 0 refused (password), -1
// neither folder nor record (already reported).
int BookPanel::EnterPart(const std::string& part, int op_mode, bool* record) {
  *record = false;
  const std::string name = ReplaceReservedChars(part);
  const std::u16string element = ElementName(name);
  storage::Storage* folder = current_folder();
  if (!folder) return -1;
  storage::Storage child;
  if (storage::Succeeded(folder->OpenStorage(element, kBookOpenMode, &child))) {
    FolderLevel level;
    level.name = name;
    level.storage = std::move(child);
    levels_.push_back(std::move(level));
    if (!CheckPassword(depth(), op_mode)) {
      SetDepth(depth() - 1);
      return 0;
    }
    return 1;
  }
  storage::Stream stream;
  const storage::HRESULT hr = folder->OpenStream(element, kBookOpenMode, &stream);
  if (storage::Succeeded(hr)) {
    record_stream_ = std::move(stream);
    record_name_ = name;
    has_record_ = true;
    *record = true;
    return 2;
  }
  ShowStorageError(msg::kErrorNoSuchElement, name, hr);
  return -1;
}

int BookPanel::SetDirectory(const char* dir, int op_mode) {
  const bool interactive = Interactive(op_mode);
  bool close_panel = false;
  int result = 1;
  {
    BookLock lock(*this);
    if (!lock.ok()) return 0;
    if (interactive && dir) SaveViewMode();
    const std::string target = dir ? std::string(dir) : State().last_path;
    if (target == "..") {
      if (depth() == 0 && !has_record_) {
        close_panel = true;
        path_[0] = '\0';
      } else {
        SetDepth(has_record_ ? depth() : depth() - 1);
      }
    } else {
      std::string_view rest = target;
      if (!rest.empty() && rest.front() == '\\') {
        SetDepth(0);
        rest.remove_prefix(1);
      }
      while (!rest.empty() && !has_record_) {
        const std::size_t cut = rest.find('\\');
        const std::string part(rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty()) break;
        bool record = false;
        const int step = EnterPart(part, op_mode, &record);
        if (step == 2) {
          if (interactive) SetViewMode(State().settings.panel_mode2);
          RebuildPath();
          return 1;
        }
        if (step == -1) {
          RebuildPath();
          return 0;
        }
        if (step == 0) {
          result = 0;
          break;
        }
      }
    }
    if (!close_panel) {
      if (interactive) SetViewMode(State().settings.panel_mode1);
      RebuildPath();
    }
  }
  // Leaving the book from its root: the host may close the panel (and delete this object) from
  // inside this call, so it comes last, after the book is released.
  if (close_panel) {
    const PluginStartupInfo& info = State().info;
    if (info.Control) info.Control(this, FCTL_CLOSEPLUGIN, const_cast<char*>(""));
  }
  return result;
}

void BookPanel::Refresh(int current_item, int top_item) {
  const PluginStartupInfo& info = State().info;
  if (!info.Control) return;
  info.Control(this, FCTL_UPDATEPANEL, reinterpret_cast<void*>(1));
  if (current_item < 0) {
    info.Control(this, FCTL_REDRAWPANEL, nullptr);
  } else {
    PanelRedrawInfo redraw{current_item, top_item};
    info.Control(this, FCTL_REDRAWPANEL, &redraw);
  }
}

}  // namespace qb::main
