// Books of 1,000 / 10,000 / 100,000 records of about 100 bytes in folders of 1,000: open and read
// one record, enumerate a folder of 10,000, rewrite one record and release; and enumeration and
// reading throughput against libgsf's reader on the same file.
#include <benchmark/benchmark.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

using namespace qb::storage;

namespace {

constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}
std::string FolderName(int f) {
  return "folder " + std::to_string(f);
}
std::string RecordName(int r) {
  return "Record " + std::to_string(r);
}

std::string Dir() {
  static std::string dir = [] {
    std::string d =
        (std::filesystem::temp_directory_path() / ("qbbench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// A book of `records` records spread over folders of `per_folder`.
const std::string& Book(int records, int per_folder) {
  static std::map<std::pair<int, int>, std::string> made;
  auto key = std::make_pair(records, per_folder);
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  std::string path = Dir() + "/book-" + std::to_string(records) + "-" + std::to_string(per_folder);
  Storage root;
  if (Failed(CreateCompoundFile(path, kRW | STGM_CREATE, &root))) abort();
  std::string rec(100, 'x');
  for (int f = 0; f * per_folder < records; ++f) {
    Storage folder;
    if (Failed(root.CreateStorage(U16(FolderName(f)), kRW, &folder))) abort();
    for (int r = 0; r < per_folder && f * per_folder + r < records; ++r) {
      Stream s;
      if (Failed(folder.CreateStream(U16(RecordName(r)), kRW, &s))) abort();
      rec[0] = static_cast<char>(r);
      s.Write(rec.data(), static_cast<uint32_t>(rec.size()), nullptr);
    }
  }
  if (Failed(root.Release())) abort();
  return made[key] = path;
}

void BM_OpenAndReadOneRecord(benchmark::State& state) {
  int records = static_cast<int>(state.range(0));
  const std::string& path = Book(records, 1000);
  int folders = (records + 999) / 1000;
  std::u16string folder_name = U16(FolderName(folders - 1)), rec_name = U16(RecordName(777));
  char buf[128];
  for (auto _ : state) {
    Storage root, folder;
    Stream s;
    if (Failed(OpenCompoundFile(path, kRW, &root)) ||
        Failed(root.OpenStorage(folder_name, kRW, &folder)) ||
        Failed(folder.OpenStream(rec_name, kRW, &s)))
      state.SkipWithError("open failed");
    uint32_t got = 0;
    s.Read(buf, sizeof buf, &got);
    benchmark::DoNotOptimize(got);
  }
}
BENCHMARK(BM_OpenAndReadOneRecord)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

void BM_RewriteOneRecordAndRelease(benchmark::State& state) {
  int records = static_cast<int>(state.range(0));
  const std::string& path = Book(records, 1000);
  std::u16string folder_name = U16(FolderName(0)), rec_name = U16(RecordName(500));
  std::string rec(104, 'y');
  for (auto _ : state) {
    Storage root, folder;
    Stream s;
    if (Failed(OpenCompoundFile(path, kRW, &root)) ||
        Failed(root.OpenStorage(folder_name, kRW, &folder)) ||
        Failed(folder.OpenStream(rec_name, kRW, &s)))
      state.SkipWithError("open failed");
    s.SetSize(0);
    s.Write(rec.data(), static_cast<uint32_t>(rec.size()), nullptr);
    s.Release();
    folder.Release();
    if (Failed(root.Release())) state.SkipWithError("commit failed");
  }
}
BENCHMARK(BM_RewriteOneRecordAndRelease)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

void BM_CreateOneRecordAndRelease(benchmark::State& state) {
  int records = static_cast<int>(state.range(0));
  const std::string& path = Book(records, 1000);
  std::u16string folder_name = U16(FolderName(0));
  std::string rec(104, 'n');
  static int n = 0;
  for (auto _ : state) {
    Storage root, folder;
    Stream s;
    if (Failed(OpenCompoundFile(path, kRW, &root)) ||
        Failed(root.OpenStorage(folder_name, kRW, &folder)) ||
        Failed(folder.CreateStream(
            U16("New " + std::to_string(records) + "-" + std::to_string(n++)), kRW, &s)))
      state.SkipWithError("create failed");
    s.Write(rec.data(), static_cast<uint32_t>(rec.size()), nullptr);
    s.Release();
    folder.Release();
    if (Failed(root.Release())) state.SkipWithError("commit failed");
  }
}
BENCHMARK(BM_CreateOneRecordAndRelease)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

// ---- Side by side with libgsf on one folder of 10,000 records
// ------------------------------------

const std::string& Folder10k() {
  return Book(10000, 10000);
}

// Opens the 10,000-record folder and an enumerator over its children.
bool OpenFolder10k(Storage* root, Storage* folder, Enumerator* en) {
  return Succeeded(OpenCompoundFile(Folder10k(), kRW, root)) &&
         Succeeded(root->OpenStorage(U16(FolderName(0)), kRW, folder)) &&
         Succeeded(folder->Enumerate(en));
}

// Opens the 10,000-record folder with libgsf and sums what `visit` gives for each child into
// `*total`; false when libgsf cannot open the file.
template <class Visit>
bool GsfSumChildren(Visit visit, uint64_t* total) {
  GError* err = nullptr;
  GsfInput* in = gsf_input_stdio_new(Folder10k().c_str(), &err);
  GsfInfile* ole = in ? gsf_infile_msole_new(in, &err) : nullptr;
  if (ole == nullptr) return false;
  GsfInput* folder = gsf_infile_child_by_name(ole, FolderName(0).c_str());
  int n = gsf_infile_num_children(GSF_INFILE(folder));
  *total = 0;
  for (int i = 0; i < n; ++i) {
    GsfInput* child = gsf_infile_child_by_index(GSF_INFILE(folder), i);
    *total += visit(child);
    g_object_unref(child);
  }
  g_object_unref(folder);
  g_object_unref(ole);
  g_object_unref(in);
  return true;
}

void BM_Ours_OpenAndEnumerate10000(benchmark::State& state) {
  for (auto _ : state) {
    Storage root, folder;
    Enumerator en;
    if (!OpenFolder10k(&root, &folder, &en)) state.SkipWithError("failed");
    ElementStat e;
    uint64_t total = 0;
    while (en.Next(&e) == S_OK) total += e.size + e.name.size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Ours_OpenAndEnumerate10000)->Unit(benchmark::kMillisecond);

void BM_Gsf_OpenAndEnumerate10000(benchmark::State& state) {
  gsf_init();
  for (auto _ : state) {
    uint64_t total = 0;
    bool opened = GsfSumChildren(
        [](GsfInput* child) {
          return static_cast<uint64_t>(gsf_input_size(child)) + strlen(gsf_input_name(child));
        },
        &total);
    if (!opened) {
      state.SkipWithError("gsf open failed");
      break;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Gsf_OpenAndEnumerate10000)->Unit(benchmark::kMillisecond);

void BM_Ours_OpenAndReadAll10000(benchmark::State& state) {
  std::vector<char> buf(4096);
  for (auto _ : state) {
    Storage root, folder;
    Enumerator en;
    if (!OpenFolder10k(&root, &folder, &en)) state.SkipWithError("failed");
    ElementStat e;
    uint64_t total = 0;
    while (en.Next(&e) == S_OK) {
      Stream s;
      folder.OpenStream(e.name, kRW, &s);
      uint32_t got = 0;
      s.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got);
      total += got;
    }
    benchmark::DoNotOptimize(total);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(total));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Ours_OpenAndReadAll10000)->Unit(benchmark::kMillisecond);

void BM_Gsf_OpenAndReadAll10000(benchmark::State& state) {
  gsf_init();
  for (auto _ : state) {
    uint64_t total = 0;
    bool opened = GsfSumChildren(
        [](GsfInput* child) -> uint64_t {
          gsf_off_t size = gsf_input_size(child);
          const guint8* data = gsf_input_read(child, static_cast<size_t>(size), nullptr);
          return data != nullptr ? static_cast<uint64_t>(size) : 0;
        },
        &total);
    if (!opened) {
      state.SkipWithError("gsf open failed");
      break;
    }
    benchmark::DoNotOptimize(total);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(total));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Gsf_OpenAndReadAll10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(Dir());
  return 0;
}
