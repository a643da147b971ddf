// The book's panel over one big folder, through the host: the host runs in a process of its own
// with a front end that plays keys and notes the time each key took (handling and drawing, up to
// the next wait for input). The records hold a Comment and an Address field and the description
// setting is "%C / %A", so listing the folder reads every record.
//
// Per folder size (default 1,000, 10,000 and 100,000 records; other sizes as arguments):
//   start    the host starting with the book's root on the left, up to the first screen
//   enter    Enter on the folder: the listing and the first screen of it
//   rss      the peak resident size after entering (and the host's size at start)
//   pgdn, down, ins   one key that changes nothing in the book (Ins selects an item)
//   create   Shift+F4, a name, Enter: the time from that Enter on
//   delete   F8 on the new record, Enter in the question: the time from that Enter on
//   quit     the end of the input up to the host having closed the panel and the plug-in
//   start@root, quit@root   the same for a run that stays at the book's root
// and, once, Ctrl+R in a folder of 30,000 records with 10,000 of them selected.
//
// Each size runs five times (three at 100,000 and more) in a fresh process; the medians are shown
// with their ratio to the first size.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/core/host.h"
#include "host/core/keys.h"
#include "host/frontend.h"
#include "platform/storage/storage.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMode = qb::storage::STGM_READWRITE | qb::storage::STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kComment = 0x10101, kAddress = 0x10301;
constexpr int kReread = 30000, kRereadSelected = 10000;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

long MaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// ---- The books --------------------------------------------------------------------------------

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

std::string RecordName(int r) {
  char name[32];
  std::snprintf(name, sizeof name, "Person %06d", r);
  return name;
}

// A plug-in directory with the libraries, a settings file and a book whose root holds the folder
// "Contacts" of `records` records.
void MakeBook(const fs::path& dir, int records) {
  fs::create_directories(dir / "plugins");
  fs::create_directories(dir / "config");
  const fs::path built = QB_PLUGIN_DIR;
  for (const auto& entry : fs::directory_iterator(built)) {
    const std::string name = entry.path().filename();
    if (name == "Quillbox.so" || name == "Comment.qbl" || name == "Address.qbl" ||
        entry.path().extension() == ".lng")
      fs::copy_file(entry.path(), dir / "plugins" / name);
  }
  std::ofstream(dir / "config/quillbox.reg")
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
      << "\"Description\"=\"%C / %A\"\n";
  qb::storage::Storage root, folder;
  qb::storage::CreateCompoundFile((dir / "plugins/Quillbox.Dat").string(), kMode, &root);
  root.CreateStorage(u"Contacts", kMode, &folder);
  for (int r = 0; r < records; ++r) {
    std::string bytes;
    PutField(&bytes, kComment, "met at meeting " + std::to_string(r) + "\nlikes tea");
    PutField(&bytes, kAddress, std::to_string(r % 500 + 1) + " Main Street\nSpringfield");
    qb::storage::Stream stream;
    folder.CreateStream(Wide(RecordName(r)), kMode, &stream);
    stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  }
  folder.Release();
  root.Release();
}

// ---- One run, in a process of its own --------------------------------------------------------

// Plays the steps; a step with a label has the time up to the next wait noted under that label.
class TimingFrontEnd : public qb::host::FrontEnd {
 public:
  struct Step {
    qb::host::Event event;
    std::string label;
  };
  explicit TimingFrontEnd(std::vector<Step> steps) : steps_(std::move(steps)) {}

  int cols() const override { return 100; }
  int rows() const override { return 30; }
  void Present(const qb::host::Screen& screen) override { presented_ = &screen; }
  int64_t NowMs() const override { return 0; }

  qb::host::Event Wait(int timeout_ms) override {
    (void)timeout_ms;
    const Clock::time_point now = Clock::now();
    if (!first_wait_) first_wait_ = now;
    if (!open_label_.empty()) {
      times[open_label_].push_back(Ms(now - opened_));
      if (open_label_ == "enter") rss_after_enter = MaxRssKb();
      open_label_.clear();
    }
    if (next_ == steps_.size()) {
      if (presented_) last_screen = presented_->ToText();
      quit_at = Clock::now();
      qb::host::Event quit;
      quit.kind = qb::host::Event::kQuit;
      return quit;
    }
    const Step& step = steps_[next_++];
    open_label_ = step.label;
    opened_ = Clock::now();
    return step.event;
  }

  std::map<std::string, std::vector<double>> times;
  std::optional<Clock::time_point> first_wait_;
  Clock::time_point quit_at;
  long rss_after_enter = 0;
  std::string last_screen;

 private:
  std::vector<Step> steps_;
  size_t next_ = 0;
  std::string open_label_;
  Clock::time_point opened_;
  const qb::host::Screen* presented_ = nullptr;
};

void Add(std::vector<TimingFrontEnd::Step>* steps, const std::string& key,
         const std::string& label = "", int times = 1) {
  const auto event = qb::host::ParseKeyName(key);
  if (!event) {
    std::fprintf(stderr, "panel_bench: no key %s\n", key.c_str());
    std::exit(2);
  }
  for (int i = 0; i < times; ++i) steps->push_back({*event, label});
}

void Type(std::vector<TimingFrontEnd::Step>* steps, const std::string& text) {
  for (char c : text) steps->push_back({qb::host::CharEvent(static_cast<unsigned char>(c)), ""});
}

// The keys of a run: "keys" enters the folder and times the single keys, creating and deleting;
// "reread" selects every third record of the folder and rereads it.
std::vector<TimingFrontEnd::Step> Script(const std::string& kind) {
  std::vector<TimingFrontEnd::Step> steps;
  if (kind == "root") return steps;  // starting and quitting at the book's root
  Add(&steps, "Down");
  Add(&steps, "Enter", "enter");
  if (kind == "enter") return steps;  // for a profiler
  if (kind == "reread") {
    Add(&steps, "Down");
    for (int i = 0; i < kRereadSelected; ++i) {
      Add(&steps, "Ins");
      Add(&steps, "Down", "", 2);
    }
    Add(&steps, "CtrlR", "reread");
    return steps;
  }
  Add(&steps, "PgDn", "pgdn", 9);
  Add(&steps, "Down", "down", 9);
  Add(&steps, "Ins", "ins", 9);
  Add(&steps, "ShiftF4");
  Type(&steps, "Person 0000005a");
  Add(&steps, "Enter", "create");
  Add(&steps, "F8");
  Add(&steps, "Enter", "delete");
  return steps;
}

int Child(const fs::path& dir, const std::string& kind) {
  const std::string expect = kind == "reread" ? std::to_string(kRereadSelected) + " selected"
                             : kind == "root" ? "Contacts"
                                              : "Person 0000";
  const Clock::time_point start = Clock::now();
  TimingFrontEnd fe(Script(kind));
  qb::host::HostOptions options;
  options.plugin_dir = (dir / "plugins").string();
  options.config_dir = (dir / "config").string();
  options.headless = true;
  options.start_dir = dir.string();
  Clock::time_point done;
  {
    qb::host::Host host(fe, options);
    host.Run();
    done = Clock::now();
  }
  std::printf("start %.3f\n", fe.first_wait_ ? Ms(*fe.first_wait_ - start) : -1.0);
  std::printf("quit %.3f\n", Ms(done - fe.quit_at));
  for (const auto& [label, list] : fe.times) {
    for (double t : list) std::printf("%s %.3f\n", label.c_str(), t);
  }
  std::printf("rss %ld\n", fe.rss_after_enter);
  // After the keys run the new record is gone again and the records around it show; after the
  // reread the selection is kept.
  const bool ok = fe.last_screen.find(expect) != std::string::npos;
  if (!ok && std::getenv("QB_BENCH_SCREEN")) std::fprintf(stderr, "%s", fe.last_screen.c_str());
  std::printf("ok %d\n", ok ? 1 : 0);
  return 0;
}

// Runs the child and collects its figures.
std::map<std::string, std::vector<double>> RunChild(const std::string& self, const fs::path& dir,
                                                    const std::string& kind) {
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(self.c_str(), self.c_str(), "--child", dir.c_str(), kind.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  std::map<std::string, std::vector<double>> figures;
  std::istringstream lines(text);
  std::string label;
  double value;
  while (lines >> label >> value) figures[label].push_back(value);
  figures["peak"].push_back(static_cast<double>(usage.ru_maxrss));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || figures["ok"].empty() ||
      figures["ok"][0] != 1) {
    std::fprintf(stderr, "panel_bench: the run in %s (%s) did not end as expected\n", dir.c_str(),
                 kind.c_str());
  }
  return figures;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], argv[3]);
  // A book to look at, or to run a child on by hand (under a profiler).
  if (argc == 4 && std::strcmp(argv[1], "--make") == 0) {
    MakeBook(argv[2], std::atoi(argv[3]));
    return 0;
  }
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return 1;
  self[len] = '\0';
  char pattern[] = "/tmp/qb_panel_bench_XXXXXX";
  const fs::path base = mkdtemp(pattern);

  const std::vector<std::string> rows = {"start", "enter",      "rss",      "pgdn",
                                         "down",  "ins",        "create",   "delete",
                                         "quit",  "start@root", "quit@root"};
  std::map<int, std::map<std::string, double>> table;
  for (int size : sizes) {
    const fs::path dir = base / std::to_string(size);
    MakeBook(dir, size);
    const int runs = size >= 100000 ? 3 : 5;
    std::map<std::string, std::vector<double>> per_run;
    for (int r = 0; r < runs; ++r) {
      for (auto& [label, list] : RunChild(self, dir, "keys")) {
        // A run's figure for a key is its median; the table shows the median of the runs.
        per_run[label].push_back(Median(list));
      }
      auto at_root = RunChild(self, dir, "root");
      per_run["start@root"].push_back(Median(at_root["start"]));
      per_run["quit@root"].push_back(Median(at_root["quit"]));
    }
    for (auto& [label, list] : per_run) table[size][label] = Median(list);
    table[size]["rss"] = Median(per_run["rss"]) / 1024.0;
    fs::remove_all(dir);
  }
  std::printf("%-10s", "records");
  for (int size : sizes) std::printf(" %16d", size);
  std::printf("\n");
  for (const std::string& row : rows) {
    std::printf("%-10s", row.c_str());
    for (int size : sizes) {
      const double v = table[size][row];
      const double ratio = table[sizes[0]][row] > 0 ? v / table[sizes[0]][row] : 0;
      std::printf(" %8.2f%s x%-5.1f", v, row == "rss" ? "MB" : "ms", ratio);
    }
    std::printf("\n");
  }
  std::printf(
      "(ms: median time of one key, handling and drawing; rss: peak resident after "
      "entering the folder)\n");

  const fs::path dir = base / "reread";
  MakeBook(dir, kReread);
  std::vector<double> reread;
  for (int r = 0; r < 3; ++r) {
    auto figures = RunChild(self, dir, "reread");
    reread.push_back(Median(figures["reread"]));
  }
  std::printf("Ctrl+R, %d of %d records selected: %.2f ms\n", kRereadSelected, kReread,
              Median(reread));
  fs::remove_all(base);
  return 0;
}
