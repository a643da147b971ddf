#include "editing_host.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "platform/codepage/codepage.h"
#include "platform/storage/storage.h"

namespace qb::edtest {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMode = qb::main::kBookOpenMode;

struct Exports {
  PFN_SetStartupInfo SetStartupInfo;
  PFN_OpenPlugin OpenPlugin;
  PFN_ClosePlugin ClosePlugin;
  PFN_GetFindData GetFindData;
  PFN_FreeFindData FreeFindData;
  PFN_Compare Compare;
  PFN_SetDirectory SetDirectory;
  PFN_ProcessKey ProcessKey;
  PFN_MakeDirectory MakeDirectory;
  PFN_DeleteFiles DeleteFiles;
} g;

template <class T>
void Bind(void* library, const char* name, T* out) {
  *out = reinterpret_cast<T>(dlsym(library, name));
  if (!*out) throw std::runtime_error(std::string("Quillbox.so lacks ") + name);
}

std::u16string Wide(const std::string& text) {
  return *codepage::Utf8ToUtf16(text);
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream in(path);
  std::string part;
  while (std::getline(in, part, '/'))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// Opens the book and walks to the folder holding the last part of path (all of it with
// whole = true); fn gets that folder and the last part.
bool InBook(const std::string& file, const std::string& path, bool whole,
            const std::function<void(storage::Storage&, const std::string&)>& fn) {
  storage::Storage root;
  if (storage::Failed(storage::OpenCompoundFile(file, kMode, &root))) return false;
  std::vector<std::string> parts = Split(path);
  std::string last;
  if (!whole && !parts.empty()) {
    last = parts.back();
    parts.pop_back();
  }
  std::vector<storage::Storage> chain;
  chain.reserve(parts.size());
  storage::Storage* at = &root;
  for (const std::string& part : parts) {
    chain.emplace_back();
    if (storage::Failed(at->OpenStorage(Wide(part), kMode, &chain.back()))) return false;
    at = &chain.back();
  }
  fn(*at, last);
  while (!chain.empty()) chain.pop_back();
  return true;
}

std::vector<uint8_t> Serialize(const std::vector<Field>& fields) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  for (const Field& f : fields) {
    put32(f.type);
    put32(static_cast<uint32_t>(f.data.size()));
    out.insert(out.end(), f.data.begin(), f.data.end());
  }
  out.resize((out.size() + 7) / 8 * 8, 0);
  return out;
}

}  // namespace

}  // namespace qb::edtest

// The host's clipboard, found by the main library among the program's global symbols.
extern "C" __attribute__((visibility("default"))) int QbSetClipboard(const char* text) {
  qb::edtest::Host::Get().clipboard = text;
  return 1;
}

namespace qb::edtest {

Host& Host::Get() {
  static Host host;
  return host;
}

Host::Host() : ScriptedHost("", 1) {
  missing_msg = "";
  control = [this](int command, void* param) { return OnControl(command, param); };
  setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  setenv("HOME", dir_.c_str(), 1);
  const std::string plugins = getenv("QB_PLUGIN_DIR") ? getenv("QB_PLUGIN_DIR") : "";
  const char* types = getenv("QB_EDIT_TYPES");
  std::vector<std::string> names = {"Quillbox.so"};
  if (!types) throw std::runtime_error("QB_EDIT_TYPES names no field types");
  std::stringstream list(types);
  std::string name;
  while (list >> name) names.push_back(name);
  for (const std::string& file : names) {
    const fs::path from = fs::exists(fs::path(plugins) / file) ? fs::path(plugins) / file
                                                               : fs::path(QB_EDIT_FT_DIR) / file;
    fs::copy_file(from, dir_ + file);
  }
  for (const auto& entry : fs::directory_iterator(plugins)) {
    if (entry.path().extension() == ".lng")
      fs::copy_file(entry.path(), dir_ + entry.path().filename().string());
  }
  library_ = dlopen((dir_ + "Quillbox.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library_) throw std::runtime_error(dlerror());
  Bind(library_, "SetStartupInfo", &g.SetStartupInfo);
  Bind(library_, "OpenPlugin", &g.OpenPlugin);
  Bind(library_, "ClosePlugin", &g.ClosePlugin);
  Bind(library_, "GetFindData", &g.GetFindData);
  Bind(library_, "FreeFindData", &g.FreeFindData);
  Bind(library_, "Compare", &g.Compare);
  Bind(library_, "SetDirectory", &g.SetDirectory);
  Bind(library_, "ProcessKey", &g.ProcessKey);
  Bind(library_, "MakeDirectory", &g.MakeDirectory);
  Bind(library_, "DeleteFiles", &g.DeleteFiles);
  std::snprintf(info.ModuleName, sizeof info.ModuleName, "%sQuillbox.so", dir_.c_str());
  g.SetStartupInfo(&info);
}

void Host::ClearScripts() {
  Reset();
  clipboard = "<untouched>";
}

void Host::FreeItems() {
  if (found_) g.FreeFindData(panel_, found_, found_count_);
  found_ = nullptr;
  found_count_ = 0;
  items_.clear();
}

void Host::ClosePanel() {
  if (!panel_) return;
  FreeItems();
  g.ClosePlugin(panel_);
  panel_ = nullptr;
}

void Host::NewBook(const std::function<void()>& build) {
  ClosePanel();
  ClearScripts();
  selected_.clear();
  fs::remove(book());
  {
    storage::Storage root;
    storage::CreateCompoundFile(book(), kMode | storage::STGM_CREATE, &root);
  }
  if (build) build();
  panel_ = g.OpenPlugin(OPEN_DISKMENU, 0);
  if (panel_ == INVALID_HANDLE_VALUE) panel_ = nullptr;
  Cd("\\");
}

void Host::MakeFolder(const std::string& path) {
  InBook(book(), path, false, [](storage::Storage& folder, const std::string& name) {
    storage::Storage made;
    folder.CreateStorage(Wide(name), kMode, &made);
  });
}

void Host::MakeRecord(const std::string& path, const std::vector<Field>& fields) {
  InBook(book(), path, false, [&](storage::Storage& folder, const std::string& name) {
    storage::Stream made;
    folder.CreateStream(Wide(name), kMode | storage::STGM_CREATE, &made);
    const std::vector<uint8_t> bytes = Serialize(fields);
    if (!bytes.empty()) made.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  });
}

void Host::SetDescription(const std::string& folder, const std::string& text) {
  InBook(book(), folder, true, [&](storage::Storage& at, const std::string&) {
    storage::Stream made;
    at.CreateStream(qb::main::kDescriptionStream, kMode | storage::STGM_CREATE, &made);
    made.Write(text.data(), static_cast<uint32_t>(text.size()), nullptr);
  });
}

bool Host::HasFolder(const std::string& path) {
  bool found = false;
  InBook(book(), path, false, [&](storage::Storage& folder, const std::string& name) {
    storage::Storage child;
    found = storage::Succeeded(folder.OpenStorage(Wide(name), kMode, &child));
  });
  return found;
}

bool Host::HasRecord(const std::string& path) {
  bool found = false;
  InBook(book(), path, false, [&](storage::Storage& folder, const std::string& name) {
    storage::Stream child;
    found = storage::Succeeded(folder.OpenStream(Wide(name), kMode, &child));
  });
  return found;
}

std::vector<Field> Host::ReadRecord(const std::string& path) {
  std::vector<Field> fields;
  InBook(book(), path, false, [&](storage::Storage& folder, const std::string& name) {
    storage::Stream stream;
    if (storage::Failed(folder.OpenStream(Wide(name), kMode, &stream))) return;
    storage::ElementStat stat;
    stream.Stat(&stat);
    std::string bytes(stat.size, '\0');
    stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    std::size_t at = 0;
    auto get32 = [&](std::size_t p) {
      uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[p + i]);
      return v;
    };
    while (at + 8 <= bytes.size()) {
      const uint32_t type = get32(at), size = get32(at + 4);
      if (at + 8 + size > bytes.size()) break;
      fields.push_back(Field{type, bytes.substr(at + 8, size)});
      at += 8 + size;
    }
  });
  return fields;
}

std::string Host::Description(const std::string& folder) {
  std::string text = "<none>";
  InBook(book(), folder, true, [&](storage::Storage& at, const std::string&) {
    storage::Stream stream;
    if (storage::Failed(at.OpenStream(qb::main::kDescriptionStream, kMode, &stream))) return;
    storage::ElementStat stat;
    stream.Stat(&stat);
    text.assign(stat.size, '\0');
    stream.Read(text.data(), static_cast<uint32_t>(text.size()), nullptr);
  });
  return text;
}

int Host::Cd(const std::string& dir) {
  const int result = g.SetDirectory(panel_, dir.c_str(), 0);
  current_ = 0;
  selected_.clear();
  Reread();
  return result;
}

void Host::Reread() {
  const std::string keep = current_ < static_cast<int>(items_.size()) && current_ >= 0
                               ? items_[static_cast<std::size_t>(current_)].FindData.cFileName
                               : "";
  FreeItems();
  PluginPanelItem dots{};
  std::strcpy(dots.FindData.cFileName, "..");
  dots.FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  items_.push_back(dots);
  if (g.GetFindData(panel_, &found_, &found_count_, 0)) {
    std::vector<PluginPanelItem> rest(found_, found_ + found_count_);
    std::stable_sort(rest.begin(), rest.end(),
                     [&](const PluginPanelItem& a, const PluginPanelItem& b) {
                       const int c = g.Compare(panel_, &a, &b, SM_NAME);
                       if (c != -2) return c < 0;
                       return std::strcmp(a.FindData.cFileName, b.FindData.cFileName) < 0;
                     });
    items_.insert(items_.end(), rest.begin(), rest.end());
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (keep == items_[i].FindData.cFileName) {
      if (current_ >= static_cast<int>(items_.size()) ||
          keep != items_[current_].FindData.cFileName)
        current_ = static_cast<int>(i);
      break;
    }
  }
  current_ = std::clamp(current_, 0, static_cast<int>(items_.size()) - 1);
}

std::vector<std::string> Host::Names() const {
  std::vector<std::string> names;
  for (const PluginPanelItem& item : items_) names.push_back(item.FindData.cFileName);
  return names;
}

std::string Host::CurrentName() const {
  return items_.empty() ? "" : items_[static_cast<std::size_t>(current_)].FindData.cFileName;
}

bool Host::SetCurrentName(const std::string& name) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (name == items_[i].FindData.cFileName) {
      current_ = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

int Host::Key(int key, unsigned state) {
  return g.ProcessKey(panel_, key, state);
}

int Host::MakeDirectory(char* name, int op_mode) {
  return g.MakeDirectory(panel_, name, op_mode);
}

int Host::Delete(std::vector<int> indexes, int op_mode) {
  std::vector<PluginPanelItem> chosen;
  for (int i : indexes) chosen.push_back(items_[static_cast<std::size_t>(i)]);
  return g.DeleteFiles(panel_, chosen.data(), static_cast<int>(chosen.size()), op_mode);
}

int Host::OnControl(int command, void* param) {
  switch (command) {
    case FCTL_GETPANELINFO: {
      auto* info = static_cast<PanelInfo*>(param);
      *info = PanelInfo{};
      info->Plugin = 1;
      info->PanelItems = items_.data();
      info->ItemsNumber = static_cast<int>(items_.size());
      info->CurrentItem = current_;
      selection_.clear();
      for (int i : selected_) {
        PluginPanelItem item = items_[static_cast<std::size_t>(i)];
        item.Flags |= PPIF_SELECTED;
        selection_.push_back(item);
      }
      if (selection_.empty() && !items_.empty()) selection_.push_back(items_[current_]);
      info->SelectedItems = selection_.data();
      info->SelectedItemsNumber = static_cast<int>(selection_.size());
      info->ViewMode = 2;
      return 1;
    }
    case FCTL_UPDATEPANEL:
      Reread();
      return 1;
    case FCTL_REDRAWPANEL:
      if (param) {
        const int want = static_cast<PanelRedrawInfo*>(param)->CurrentItem;
        if (want >= 0 && want < static_cast<int>(items_.size())) current_ = want;
      }
      return 1;
    default:
      return 1;
  }
}

namespace {
void* TypeLibrary(const std::string& dir, const std::string& name) {
  return dlopen((dir + name + ".qbl").c_str(), RTLD_NOW | RTLD_NOLOAD);
}
}  // namespace

std::string Host::TypeLog(const std::string& name) {
  void* lib = TypeLibrary(dir_, name);
  auto fn = lib ? reinterpret_cast<const char* (*)()>(dlsym(lib, "TestLog")) : nullptr;
  std::string log = fn ? fn() : "<no log>";
  if (lib) dlclose(lib);
  return log;
}

void Host::TypeReset(const std::string& name) {
  void* lib = TypeLibrary(dir_, name);
  if (auto fn = lib ? reinterpret_cast<void (*)(int)>(dlsym(lib, "TestReset")) : nullptr) fn(1);
  if (lib) dlclose(lib);
}

void Host::TypeEditor(const std::string& name, int answer, const std::string& text) {
  void* lib = TypeLibrary(dir_, name);
  if (auto fn =
          lib ? reinterpret_cast<void (*)(int, const char*)>(dlsym(lib, "TestSetEditor")) : nullptr)
    fn(answer, text.c_str());
  if (lib) dlclose(lib);
}

}  // namespace qb::edtest
