// Times Shift+F3 on books of N records (spread over ten folders, each with two comment fields,
// after as many more were deleted) and Alt+F5 of a folder of 10,000 such records into a text file,
// with the main library loaded as the host loads it and a host that accepts every dialog.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/storage.h"
#include "sdk/far.h"

namespace {

namespace fs = std::filesystem;
using namespace qb;
constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

fs::path g_out;                        // the other panel's folder
std::vector<PluginPanelItem> g_items;  // the book panel as the host shows it

int Message(int, DWORD, const char*, const char* const*, int, int) {
  return 0;
}
int Dialog(int, int, int, int, int, const char*, FarDialogItem*, int count) {
  return count - 2;  // the accepting button, as the dialog builder lays them out
}
int Control(HANDLE, int command, void* param) {
  if (command != FCTL_GETPANELINFO && command != FCTL_GETANOTHERPANELINFO) return 1;
  auto* info = static_cast<PanelInfo*>(param);
  std::memset(info, 0, sizeof *info);
  if (command == FCTL_GETANOTHERPANELINFO) {
    std::snprintf(info->CurDir, sizeof info->CurDir, "%s", g_out.c_str());
    return 1;
  }
  info->Plugin = 1;
  info->PanelItems = g_items.data();
  info->ItemsNumber = static_cast<int>(g_items.size());
  info->CurrentItem = 0;
  return 1;
}
const char* GetMsg(int, int) {
  return "";
}

void Append(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> RecordBytes(int n) {
  std::vector<uint8_t> out;
  for (const std::string& text :
       {"Person number " + std::to_string(n), std::string("Some notes\nover two lines")}) {
    Append(out, 0x10101);
    Append(out, static_cast<uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
  }
  while (out.size() % 8) out.push_back(0);
  return out;
}

// n records in `folders` folders, after n more were written and deleted.
void MakeBook(const std::string& file, int n, int folders) {
  fs::remove(file);
  storage::Storage root;
  storage::CreateCompoundFile(file, kRW, &root);
  for (int f = 0; f < folders; ++f) {
    const std::string fname = "Folder " + std::to_string(f);
    storage::Storage folder;
    root.CreateStorage(std::u16string(fname.begin(), fname.end()), kRW, &folder);
    for (int i = f; i < 2 * n; i += folders) {
      const std::string name = "Record " + std::to_string(i);
      storage::Stream s;
      folder.CreateStream(std::u16string(name.begin(), name.end()), kRW, &s);
      const std::vector<uint8_t> bytes = RecordBytes(i);
      s.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    }
    for (int i = f + folders; i < 2 * n; i += 2 * folders) {
      const std::string name = "Record " + std::to_string(i);
      folder.DestroyElement(std::u16string(name.begin(), name.end()));
    }
  }
  root.Release();
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  const fs::path dir = fs::temp_directory_path() / ("qb-compact-bench-" + std::to_string(getpid()));
  const fs::path plugins = dir / "plugins";
  g_out = dir / "out";
  fs::create_directories(plugins);
  fs::create_directories(g_out);
  fs::create_directories(dir / "config");
  for (const auto& e : fs::directory_iterator(QB_PLUGIN_DIR)) {
    const std::string name = e.path().filename().string();
    if (name == "Quillbox.so" || name == "Comment.qbl" || e.path().extension() == ".lng") {
      fs::copy_file(e.path(), plugins / name);
    }
  }
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  void* so = dlopen((plugins / "Quillbox.so").c_str(), RTLD_NOW);
  if (!so) {
    std::fprintf(stderr, "cannot load the main library: %s\n", dlerror());
    return 1;
  }
  auto set_startup = reinterpret_cast<PFN_SetStartupInfo>(dlsym(so, "SetStartupInfo"));
  auto open_plugin = reinterpret_cast<PFN_OpenPlugin>(dlsym(so, "OpenPlugin"));
  auto close_plugin = reinterpret_cast<PFN_ClosePlugin>(dlsym(so, "ClosePlugin"));
  auto process_key = reinterpret_cast<PFN_ProcessKey>(dlsym(so, "ProcessKey"));
  auto exit_far = reinterpret_cast<PFN_ExitFAR>(dlsym(so, "ExitFAR"));
  PluginStartupInfo info;
  std::memset(&info, 0, sizeof info);
  info.StructSize = sizeof info;
  std::snprintf(info.ModuleName, sizeof info.ModuleName, "%s", (plugins / "Quillbox.so").c_str());
  info.RootKey = "Software\\Far\\Plugins";
  info.Message = Message;
  info.Dialog = Dialog;
  info.Control = Control;
  info.GetMsg = GetMsg;
  set_startup(&info);
  const std::string book = (plugins / "Quillbox.Dat").string();

  std::printf("%8s %12s %14s %14s\n", "records", "compact (s)", "before (bytes)", "after (bytes)");
  for (int n : sizes) {
    MakeBook(book, n, 10);
    const auto before = fs::file_size(book);
    HANDLE panel = open_plugin(OPEN_DISKMENU, 0);
    const auto start = std::chrono::steady_clock::now();
    process_key(panel, VK_F3, PKF_SHIFT);
    const double t = Seconds(start);
    close_plugin(panel);
    std::printf("%8d %12.3f %14ju %14ju\n", n, t, static_cast<uintmax_t>(before),
                static_cast<uintmax_t>(fs::file_size(book)));
  }

  // Alt+F5 on a folder of 10,000 records.
  const int exported = 10000;
  MakeBook(book, exported, 1);
  PluginPanelItem folder;
  std::memset(&folder, 0, sizeof folder);
  std::snprintf(folder.FindData.cFileName, sizeof folder.FindData.cFileName, "Folder 0");
  folder.FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  g_items = {folder};
  HANDLE panel = open_plugin(OPEN_DISKMENU, 0);
  const auto start = std::chrono::steady_clock::now();
  process_key(panel, VK_F5, PKF_ALT);
  const double t = Seconds(start);
  close_plugin(panel);
  const fs::path text = g_out / "Folder 0";
  std::printf("text export of %d records: %.3f s, %ju bytes\n", exported, t,
              static_cast<uintmax_t>(fs::exists(text) ? fs::file_size(text) : 0));
  exit_far();
  fs::remove_all(dir);
  return 0;
}
