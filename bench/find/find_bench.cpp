// Find in a book of 1,000 and 10,000 records: the host runs in this process with the headless
// front end against the main library and the shipped Comment and Phone types. Each record has a
// phone number and a two-line note; the records are spread over ten folders of the root.
//
// BM_Open is the host starting, opening the book panel and closing again; BM_FindName adds a
// Find by name mask and BM_FindText a Find by a text in the fields (the walk, every record read
// and its fields' texts searched). The search's own time is the difference to BM_Open.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/core/host.h"
#include "host/headless/headless.h"
#include "platform/storage/storage.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMode = qb::storage::STGM_READWRITE | qb::storage::STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kComment = 0x10101, kPhone = 0x10200;

void PutField(std::string* record, uint32_t type, const std::string& text) {
  const std::string data(text.c_str(), text.size() + 1);
  for (uint32_t v : {type, static_cast<uint32_t>(data.size())}) {
    for (int i = 0; i < 4; ++i) record->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  *record += data;
}

std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// The books made, removed when the program ends.
struct Made {
  std::map<int, fs::path> dirs;
  ~Made() {
    std::error_code ec;
    for (const auto& [records, dir] : dirs) fs::remove_all(dir, ec);
  }
};

// A plug-in directory with the libraries and a book of `records` records; made once per size.
const fs::path& BookDir(int records) {
  static Made made_dirs;
  std::map<int, fs::path>& made = made_dirs.dirs;
  auto it = made.find(records);
  if (it != made.end()) return it->second;
  char pattern[] = "/tmp/qb_find_bench_XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  fs::create_directories(dir / "plugins");
  fs::create_directories(dir / "config");
  const fs::path built = QB_BENCH_PLUGIN_DIR;
  for (const auto& entry : fs::directory_iterator(built)) {
    const std::string ext = entry.path().extension();
    if (entry.path().filename() == "Quillbox.so" || ext == ".qbl" || ext == ".lng")
      fs::copy_file(entry.path(), dir / "plugins" / entry.path().filename());
  }
  qb::storage::Storage root;
  qb::storage::CreateCompoundFile((dir / "plugins/Quillbox.Dat").string(), kMode, &root);
  constexpr int kFolders = 10;
  for (int f = 0; f < kFolders; ++f) {
    qb::storage::Storage folder;
    root.CreateStorage(Wide("Group " + std::to_string(f)), kMode, &folder);
    for (int r = f; r < records; r += kFolders) {
      std::string bytes;
      PutField(&bytes, kPhone, "+1 555 " + std::to_string(1000000 + r));
      PutField(&bytes, kComment, "met at meeting " + std::to_string(r) + "\nlikes tea");
      bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
      qb::storage::Stream stream;
      folder.CreateStream(Wide("Person " + std::to_string(r)), kMode, &stream);
      uint32_t written = 0;
      stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
      stream.Release();
    }
    folder.Release();
  }
  root.Release();
  return made[records] = dir;
}

// One run of the host with the script; false when it did not end well.
bool RunHost(const fs::path& dir, const std::string& script, std::string* screen) {
  std::vector<qb::host::ScriptStep> steps;
  std::string error;
  if (!qb::host::ParseScript(script, &steps, &error)) return false;
  std::ostringstream out;
  qb::host::HeadlessFrontEnd fe(100, 30, std::move(steps), out);
  qb::host::HostOptions options;
  options.plugin_dir = (dir / "plugins").string();
  options.config_dir = (dir / "config").string();
  options.headless = true;
  options.start_dir = dir.string();
  int status;
  {
    qb::host::Host host(fe, options);
    status = host.Run();
  }
  *screen = out.str();
  return status == 0;
}

void Bench(benchmark::State& state, const std::string& script, const std::string& expect) {
  const fs::path& dir = BookDir(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::string screen;
    if (!RunHost(dir, script, &screen) || screen.find(expect) == std::string::npos) {
      state.SkipWithError(("the run did not show \"" + expect + "\"").c_str());
      return;
    }
  }
}

void BM_Open(benchmark::State& state) {
  Bench(state, "screen\n", "Group 9");
}

// Every record's name matches.
void BM_FindName(benchmark::State& state) {
  Bench(state, "AltF7\nCtrlY\ntext person*\nEnter\nscreen\nEsc\n",
        "Find: " + std::to_string(state.range(0)) + " found");
}

// One record holds the text, in its phone number; every record's fields are read.
void BM_FindText(benchmark::State& state) {
  Bench(state, "AltF7\nTab\ntext 555 1000777\nEnter\nscreen\nEsc\n", "Find: 1 found");
}

BENCHMARK(BM_Open)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FindName)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FindText)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
