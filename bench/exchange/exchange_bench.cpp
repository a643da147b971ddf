// Times GetFiles of one folder of N records (two comment fields each) into an exchange file, and
// PutFiles of that file into an empty book, with the main library loaded as the host loads it.
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

struct Library {
  PFN_SetStartupInfo SetStartupInfo;
  PFN_OpenPlugin OpenPlugin;
  PFN_ClosePlugin ClosePlugin;
  PFN_GetFindData GetFindData;
  PFN_FreeFindData FreeFindData;
  PFN_SetDirectory SetDirectory;
  PFN_GetFiles GetFiles;
  PFN_PutFiles PutFiles;
  PFN_ExitFAR ExitFAR;
};

int Message(int, DWORD, const char*, const char* const*, int, int) {
  return 0;
}
int Control(HANDLE, int, void*) {
  return 0;
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
       {"Person number " + std::to_string(n), std::string("Some notes")}) {
    Append(out, 0x10101);
    Append(out, static_cast<uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
  }
  while (out.size() % 8) out.push_back(0);
  return out;
}

void MakeBook(const std::string& file, int records) {
  fs::remove(file);
  storage::Storage root, folder;
  storage::CreateCompoundFile(file, kRW, &root);
  root.CreateStorage(u"Folder", kRW, &folder);
  for (int i = 0; i < records; ++i) {
    const std::string name = "Record " + std::to_string(i);
    storage::Stream s;
    folder.CreateStream(std::u16string(name.begin(), name.end()), kRW, &s);
    const std::vector<uint8_t> bytes = RecordBytes(i);
    s.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  }
  folder.Release();
  root.Release();
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};
  const fs::path dir =
      fs::temp_directory_path() / ("qb-exchange-bench-" + std::to_string(getpid()));
  const fs::path plugins = dir / "plugins", out = dir / "out";
  fs::create_directories(plugins);
  fs::create_directories(out);
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
  Library lib;
#define BIND(name) lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(so, #name))
  BIND(SetStartupInfo);
  BIND(OpenPlugin);
  BIND(ClosePlugin);
  BIND(GetFindData);
  BIND(FreeFindData);
  BIND(SetDirectory);
  BIND(GetFiles);
  BIND(PutFiles);
  BIND(ExitFAR);
  PluginStartupInfo info;
  std::memset(&info, 0, sizeof info);
  info.StructSize = sizeof info;
  std::snprintf(info.ModuleName, sizeof info.ModuleName, "%s", (plugins / "Quillbox.so").c_str());
  info.RootKey = "Software\\Far\\Plugins";
  info.Message = Message;
  info.Control = Control;
  info.GetMsg = GetMsg;
  lib.SetStartupInfo(&info);
  const std::string book = (plugins / "Quillbox.Dat").string();
  std::printf("%8s %10s %10s %12s\n", "records", "out (s)", "in (s)", "file (bytes)");
  for (int n : sizes) {
    MakeBook(book, n);
    HANDLE panel = lib.OpenPlugin(OPEN_DISKMENU, 0);
    PluginPanelItem* items = nullptr;
    int count = 0;
    lib.GetFindData(panel, &items, &count, OPM_SILENT);
    char dest[NM];
    std::snprintf(dest, sizeof dest, "%s", out.c_str());
    fs::remove(out / "Folder");
    auto start = std::chrono::steady_clock::now();
    const int got = lib.GetFiles(panel, items, count, 0, dest, OPM_SILENT);
    const double t_out = Seconds(start);
    lib.FreeFindData(panel, items, count);
    lib.ClosePlugin(panel);

    fs::remove(book);
    MakeBook(book, 0);
    panel = lib.OpenPlugin(OPEN_DISKMENU, 0);
    PluginPanelItem put;
    std::memset(&put, 0, sizeof put);
    std::snprintf(put.FindData.cFileName, sizeof put.FindData.cFileName, "Folder");
    if (chdir(out.c_str()) != 0) return 1;
    start = std::chrono::steady_clock::now();
    const int done = lib.PutFiles(panel, &put, 1, 0, OPM_SILENT);
    const double t_in = Seconds(start);
    // The records that arrived.
    int arrived = 0;
    if (lib.SetDirectory(panel, "Folder", OPM_SILENT)) {
      lib.GetFindData(panel, &items, &count, OPM_SILENT);
      for (int i = 0; i < count; ++i) arrived += items[i].UserData == 1;
      lib.FreeFindData(panel, items, count);
    }
    lib.ClosePlugin(panel);
    std::printf("%8d %10.3f %10.3f %12ju%s\n", n, t_out, t_in,
                static_cast<uintmax_t>(fs::file_size(out / "Folder")),
                got == 1 && done == 1 && arrived == n ? "" : "  (incomplete!)");
  }
  lib.ExitFAR();
  fs::remove_all(dir);
  return 0;
}
