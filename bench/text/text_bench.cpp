// How long the host takes, and how much memory it holds at its peak, to show (F3) and edit (F4) a
// very large Comment field, and to list the record that holds it. Each case builds a book with one
// record of one Comment field, runs the headless program of this build on a short script and
// reports the wall time and the child's peak resident size.
//
//   text_bench [case...]     cases: line1m view1m edit1m lines10m view10m edit10m (default: all)
//   QB_BENCH_LIMIT=SECONDS   stops a run after that long (default 300)
//   QB_BENCH_BIN, QB_BENCH_PLUGINS   the quillbox program's and the plug-ins' directories of
//                            another build (default: this build's)
//   QB_BENCH_SHOW=1          prints the screen after every key
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

namespace fs = std::filesystem;
using namespace qb;

namespace {

constexpr uint32_t kCommentType = 0x10101;
constexpr uint32_t kMode = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

struct Case {
  const char* name;
  const char* what;
  std::string (*text)();
  const char* script;
};

std::string OneLine1M() {
  std::string text;
  text.reserve(1 << 20);
  while (text.size() < (1u << 20)) text += "lorem ipsum dolor sit amet ";
  text.resize(1 << 20);
  return text;
}

// 2,000,000 lines of 4 bytes and a line feed: 10 MB.
std::string Lines10M() {
  std::string text;
  text.reserve(10'000'000);
  for (int i = 0; i < 2'000'000; ++i) text += "abcd\n";
  text.pop_back();
  return text;
}

// The panel starts on the book's root; Down and Enter open the record, Down goes to the field.
const Case kCases[] = {
    {"line1m", "list a record with a 1 MB one-line Comment", OneLine1M, "Down\nEnter\nDown\n"},
    {"view1m", "F3 on a 1 MB one-line Comment", OneLine1M, "Down\nEnter\nDown\nF3\nEsc\n"},
    {"edit1m", "F4 on a 1 MB one-line Comment", OneLine1M, "Down\nEnter\nDown\nF4\nEsc\n"},
    {"lines10m", "list a record with a 10 MB Comment of 2,000,000 lines", Lines10M,
     "Down\nEnter\nDown\n"},
    {"view10m", "F3 on a 10 MB Comment of 2,000,000 lines", Lines10M,
     "Down\nEnter\nDown\nF3\nEsc\n"},
    {"edit10m", "F4 on a 10 MB Comment of 2,000,000 lines", Lines10M,
     "Down\nEnter\nDown\nF4\nEsc\nEsc\n"},
};

bool MakeBook(const std::string& file, const std::string& text) {
  std::vector<uint8_t> record(8 + text.size() + 1 + 7, 0);
  const uint32_t size = static_cast<uint32_t>(text.size() + 1);
  std::memcpy(record.data(), &kCommentType, 4);
  std::memcpy(record.data() + 4, &size, 4);
  std::memcpy(record.data() + 8, text.data(), text.size());
  record.resize((8 + size + 7) / 8 * 8);
  storage::Storage root;
  if (storage::Failed(storage::CreateCompoundFile(file, kMode | storage::STGM_CREATE, &root)))
    return false;
  storage::Stream stream;
  if (storage::Failed(root.CreateStream(u"R", kMode | storage::STGM_CREATE, &stream))) return false;
  uint32_t written = 0;
  if (storage::Failed(stream.Write(record.data(), static_cast<uint32_t>(record.size()), &written)))
    return false;
  stream.Release();
  return storage::Succeeded(root.Commit());
}

// The build's programs, or another build's (QB_BENCH_BIN, QB_BENCH_PLUGINS) to compare with.
std::string BinDir() {
  const char* dir = std::getenv("QB_BENCH_BIN");
  return dir ? dir : QB_BIN_DIR;
}
fs::path PluginDir() {
  const char* dir = std::getenv("QB_BENCH_PLUGINS");
  return dir ? dir : QB_PLUGIN_DIR;
}

struct Figures {
  double seconds = 0;
  long peak_kb = 0;
  bool finished = false;
};

Figures Run(const fs::path& dir, const Case& c, int limit) {
  Figures figures;
  const fs::path plugins = dir / "plugins";
  fs::create_directories(plugins);
  fs::create_directories(dir / "config");
  for (const char* name : {"Quillbox.so", "Comment.qbl", "QuillboxEng.lng", "QuillboxRus.lng"}) {
    fs::copy_file(PluginDir() / name, plugins / name, fs::copy_options::overwrite_existing);
  }
  if (!MakeBook(plugins / "Quillbox.Dat", c.text())) {
    std::fprintf(stderr, "%s: cannot build the book\n", c.name);
    return figures;
  }
  const fs::path script = dir / "script.txt";
  // QB_BENCH_SHOW: every screen on standard output, to see that the script reaches the field.
  const bool show = std::getenv("QB_BENCH_SHOW") != nullptr;
  std::string steps = c.script;
  if (show) {
    for (size_t at = steps.find('\n'); at != std::string::npos; at = steps.find('\n', at + 8))
      steps.replace(at, 1, "\nscreen\n");
  }
  std::ofstream(script) << steps;
  const std::string program = BinDir() + "/quillbox";
  const std::string config = (dir / "config").string(), plugin_dir = plugins.string();
  const std::string script_file = script.string();
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (!show) dup2(null, 1);
    dup2(null, 2);
    setenv("HOME", dir.c_str(), 1);
    alarm(static_cast<unsigned>(limit));
    execl(program.c_str(), program.c_str(), "--headless", "--size", "100x30", "--config",
          config.c_str(), "--plugins", plugin_dir.c_str(), script_file.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.peak_kb = usage.ru_maxrss;
  figures.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const char* limit_text = std::getenv("QB_BENCH_LIMIT");
  const int limit = limit_text ? std::atoi(limit_text) : 300;
  std::printf("%-9s %9s %11s  %s\n", "case", "seconds", "peak MB", "what");
  for (const Case& c : kCases) {
    bool wanted = argc <= 1;
    for (int i = 1; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], c.name) == 0;
    if (!wanted) continue;
    char pattern[] = "/tmp/qb-text-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const Figures f = Run(pattern, c, limit);
    std::printf("%-9s %9.2f %11.1f  %s%s\n", c.name, f.seconds, f.peak_kb / 1024.0, c.what,
                f.finished ? "" : " (did not finish)");
    std::fflush(stdout);
    fs::remove_all(pattern);
  }
  return 0;
}
