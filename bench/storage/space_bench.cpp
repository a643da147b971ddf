// How the file's length follows its content: books of 1,000 / 10,000 / 100,000 records of about
// 120 bytes in one folder are made, half of their records deleted in one session, as many made
// again in one session, then one record more per session. Prints the file sizes after each step
// (and their ratio to the book as made) and the times (medians of a few runs).
//
//   space_bench [records ...]   (default: 1000 10000 100000)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

using namespace qb::storage;

namespace {

constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr int kRuns = 3;
constexpr int kOneMore = 21;
constexpr int kCold = 5;

std::u16string Name(const char* prefix, int i) {
  std::string s = prefix + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

std::string Content(int i) {
  std::string s = "Comment of record " + std::to_string(i) +
                  " / Address: " + std::to_string(i * 7 % 1000) + " Long Street, Somewhere";
  s.resize(120, '.');
  return s;
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

double Now() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Check(HRESULT hr, const char* what) {
  if (Failed(hr)) {
    std::fprintf(stderr, "%s failed: 0x%08x\n", what, static_cast<unsigned>(hr));
    std::exit(1);
  }
}

// Opens the book's folder, lets `change` work in it, and commits by releasing the root.
template <class Change>
void Session(const std::string& path, Change change) {
  Storage root, folder;
  Check(OpenCompoundFile(path, kRW, &root), "open");
  Check(root.OpenStorage(u"Records", kRW, &folder), "open folder");
  change(folder);
  folder.Release();
  Check(root.Release(), "commit");
}

void AddRecords(Storage& folder, const char* prefix, int from, int to) {
  for (int i = from; i < to; ++i) {
    Stream s;
    Check(folder.CreateStream(Name(prefix, i), kRW, &s), "create record");
    std::string c = Content(i);
    Check(s.Write(c.data(), static_cast<uint32_t>(c.size()), nullptr), "write record");
  }
}

// With QB_SPACE_BENCH_KEEP set to a directory, the book is copied there after each step.
void Keep(const std::string& path, const char* step) {
  const char* keep = std::getenv("QB_SPACE_BENCH_KEEP");
  if (keep == nullptr) return;
  std::filesystem::copy_file(
      path, std::string(keep) + "/" + std::filesystem::path(path).filename().string() + "-" + step,
      std::filesystem::copy_options::overwrite_existing);
}

struct Run {
  double make_ms, delete_ms, recreate_ms, one_ms, cold_ms;
  uint64_t made, deleted, recreated;
  int64_t one_max, one_median;
};

Run Measure(const std::string& dir, int n) {
  Run r{};
  const std::string path = dir + "/book-" + std::to_string(n);
  {
    double t = Now();
    Storage root, folder;
    Check(CreateCompoundFile(path, kRW | STGM_CREATE, &root), "create book");
    Check(root.CreateStorage(u"Records", kRW, &folder), "create folder");
    AddRecords(folder, "Record ", 0, n);
    folder.Release();
    Check(root.Release(), "commit");
    r.make_ms = Now() - t;
  }
  r.made = FileSize(path);
  Keep(path, "made");
  double t = Now();
  Session(path, [&](Storage& folder) {
    for (int i = 0; i < n; i += 2) Check(folder.DestroyElement(Name("Record ", i)), "delete");
  });
  r.delete_ms = Now() - t;
  r.deleted = FileSize(path);
  Keep(path, "deleted");
  t = Now();
  Session(path, [&](Storage& folder) { AddRecords(folder, "Again ", 0, n / 2); });
  r.recreate_ms = Now() - t;
  r.recreated = FileSize(path);
  Keep(path, "recreated");
  std::vector<double> times;
  std::vector<int64_t> growth;
  for (int k = 0; k < kOneMore; ++k) {
    uint64_t before = FileSize(path);
    t = Now();
    Session(path, [&](Storage& folder) { AddRecords(folder, "One more ", k, k + 1); });
    times.push_back(Now() - t);
    growth.push_back(static_cast<int64_t>(FileSize(path)) - static_cast<int64_t>(before));
  }
  std::sort(times.begin(), times.end());
  std::sort(growth.begin(), growth.end());
  r.one_ms = times[times.size() / 2];
  // The same through names this process has not used for the book: nothing is known of where its
  // free space lies (as in a process that has just started).
  times.clear();
  for (int k = 0; k < kCold; ++k) {
    std::string alias = dir + "/";
    for (int d = 0; d <= k; ++d) alias += "./";
    alias += std::filesystem::path(path).filename().string();
    t = Now();
    Session(alias, [&](Storage& folder) { AddRecords(folder, "Cold ", k, k + 1); });
    times.push_back(Now() - t);
  }
  std::sort(times.begin(), times.end());
  r.cold_ms = times[times.size() / 2];
  r.one_max = growth.back();
  r.one_median = growth[growth.size() / 2];
  std::filesystem::remove(path);
  return r;
}

template <class T>
T Median(std::vector<Run>& runs, T Run::*field) {
  std::vector<T> v;
  for (const Run& r : runs) v.push_back(r.*field);
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("qbspace-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  std::printf("%8s | %10s %9s | %10s %6s %9s | %10s %6s %9s | %9s %9s %9s %9s\n", "records",
              "made (B)", "ms", "del. half", "ratio", "ms", "recreated", "ratio", "ms", "one: ms",
              "+B med", "+B max", "cold ms");
  for (int n : sizes) {
    std::vector<Run> runs;
    for (int k = 0; k < kRuns; ++k) runs.push_back(Measure(dir, n));
    const double made = static_cast<double>(Median(runs, &Run::made));
    std::printf(
        "%8d | %10llu %9.1f | %10llu %6.3f %9.1f | %10llu %6.3f %9.1f | %9.2f %9lld %9lld %9.2f\n",
        n, static_cast<unsigned long long>(Median(runs, &Run::made)), Median(runs, &Run::make_ms),
        static_cast<unsigned long long>(Median(runs, &Run::deleted)),
        static_cast<double>(Median(runs, &Run::deleted)) / made, Median(runs, &Run::delete_ms),
        static_cast<unsigned long long>(Median(runs, &Run::recreated)),
        static_cast<double>(Median(runs, &Run::recreated)) / made, Median(runs, &Run::recreate_ms),
        Median(runs, &Run::one_ms), static_cast<long long>(Median(runs, &Run::one_median)),
        static_cast<long long>(Median(runs, &Run::one_max)), Median(runs, &Run::cold_ms));
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
