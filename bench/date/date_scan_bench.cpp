// The scan walk (Shift+F7) over books of 1,000 and 10,000 records in folders of 1,000, each record
// holding one Date field: Quillbox.so and Date.qbl loaded from a private plug-in directory, driven
// through the plug-in's entry points by a host table whose message box answers at once and counts
// the reminders it was shown.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/storage.h"
#include "sdk/far.h"

namespace fs = std::filesystem;
using namespace qb::storage;

namespace {

constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr int kPerFolder = 1000;

std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// One Date field (day, month, year, kind 0, two empty texts), padded to 8 bytes as records are.
std::vector<uint8_t> DateRecord(int r) {
  std::vector<uint8_t> field;
  for (int v : {1 + r % 28, 1 + (r / 28) % 12, 1950 + r % 50, 0})
    Put32(&field, static_cast<uint32_t>(v));
  field.push_back(0);
  field.push_back(0);
  std::vector<uint8_t> out;
  Put32(&out, 0x10402);
  Put32(&out, static_cast<uint32_t>(field.size()));
  out.insert(out.end(), field.begin(), field.end());
  out.resize((out.size() + 7) / 8 * 8, 0);
  return out;
}

int g_reminders = 0;

int CountMessage(int, DWORD, const char* help, const char* const*, int, int) {
  if (help != nullptr && std::strcmp(help, "Date_NotificationMsg") == 0) ++g_reminders;
  return 0;
}
const char* NoMsg(int, int) {
  return "";
}
int NoControl(HANDLE, int, void*) {
  return 0;
}
int NoMenu(int, int, int, int, DWORD, const char*, const char*, const char*, const int*, int*,
           const FarMenuItem*, int) {
  return -1;
}

struct Plugin {
  PFN_SetStartupInfo SetStartupInfo = nullptr;
  PFN_OpenPlugin OpenPlugin = nullptr;
  PFN_ClosePlugin ClosePlugin = nullptr;
  PFN_ProcessKey ProcessKey = nullptr;
  PFN_ExitFAR ExitFAR = nullptr;
};

// A plug-in directory of its own with a book of `records` records, the library loaded and a panel
// open at the book's root.
class Book {
 public:
  explicit Book(int records) {
    dir_ = fs::temp_directory_path() /
           ("qb-date-bench-" + std::to_string(getpid()) + "-" + std::to_string(records));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "config");
    const fs::path from = QB_PLUGIN_DIR;
    fs::copy_file(from / "Quillbox.so", dir_ / "Quillbox.so");
    fs::copy_file(from / "Date.qbl", dir_ / "Date.qbl");
    for (const auto& entry : fs::directory_iterator(from))
      if (entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), dir_ / entry.path().filename());
    Make(records);
    setenv("QUILLBOX_CONFIG_DIR", (dir_ / "config").c_str(), 1);
    // 10 May 2023, noon UTC: the same dates fall within the window on every run.
    setenv("TZ", "UTC", 1);
    setenv("QUILLBOX_FIXED_TIME", "1683720000", 1);
    library_ = dlopen((dir_ / "Quillbox.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
      std::fprintf(stderr, "%s\n", dlerror());
      return;
    }
    fn_.SetStartupInfo = reinterpret_cast<PFN_SetStartupInfo>(dlsym(library_, "SetStartupInfo"));
    fn_.OpenPlugin = reinterpret_cast<PFN_OpenPlugin>(dlsym(library_, "OpenPlugin"));
    fn_.ClosePlugin = reinterpret_cast<PFN_ClosePlugin>(dlsym(library_, "ClosePlugin"));
    fn_.ProcessKey = reinterpret_cast<PFN_ProcessKey>(dlsym(library_, "ProcessKey"));
    fn_.ExitFAR = reinterpret_cast<PFN_ExitFAR>(dlsym(library_, "ExitFAR"));
    info_.StructSize = sizeof info_;
    std::snprintf(info_.ModuleName, sizeof info_.ModuleName, "%s", (dir_ / "Quillbox.so").c_str());
    info_.ModuleNumber = 1;
    info_.RootKey = "Software\\Far\\Plugins";
    info_.Message = CountMessage;
    info_.GetMsg = NoMsg;
    info_.Control = NoControl;
    info_.Menu = NoMenu;
    fn_.SetStartupInfo(&info_);
    panel_ = fn_.OpenPlugin(OPEN_DISKMENU, 0);
  }
  ~Book() {
    if (panel_ != nullptr && panel_ != INVALID_HANDLE_VALUE) fn_.ClosePlugin(panel_);
    if (fn_.ExitFAR != nullptr) fn_.ExitFAR();
    if (library_ != nullptr) dlclose(library_);
    unsetenv("QUILLBOX_CONFIG_DIR");
    unsetenv("QUILLBOX_FIXED_TIME");
    fs::remove_all(dir_);
  }
  bool ok() const { return panel_ != nullptr && panel_ != INVALID_HANDLE_VALUE; }
  int Scan() { return fn_.ProcessKey(panel_, VK_F7, PKF_SHIFT); }

 private:
  void Make(int records) {
    Storage root;
    CreateCompoundFile((dir_ / "Quillbox.Dat").string(), kRW | STGM_CREATE, &root);
    for (int f = 0; f * kPerFolder < records; ++f) {
      Storage folder;
      root.CreateStorage(U16("folder " + std::to_string(f)), kRW, &folder);
      for (int r = f * kPerFolder; r < records && r < (f + 1) * kPerFolder; ++r) {
        Stream stream;
        folder.CreateStream(U16("Record " + std::to_string(r)), kRW | STGM_CREATE, &stream);
        const std::vector<uint8_t> bytes = DateRecord(r);
        stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
      }
    }
  }

  fs::path dir_;
  void* library_ = nullptr;
  Plugin fn_;
  PluginStartupInfo info_{};
  HANDLE panel_ = nullptr;
};

void BM_ScanWalk(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  Book book(records);
  if (!book.ok()) {
    state.SkipWithError("the book panel did not open");
    return;
  }
  int reminders = 0;
  for (auto _ : state) {
    g_reminders = 0;
    book.Scan();
    reminders = g_reminders;
  }
  state.counters["records"] = records;
  state.counters["reminders"] = reminders;
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanWalk)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
