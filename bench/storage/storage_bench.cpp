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

// Per iteration: opens the book and its folder, gets a record through `get` (opening or creating
// it), writes `content` into it and commits by releasing the root.
template <class GetRecord>
void WriteOneRecordAndRelease(benchmark::State& state, const std::string& path,
                              const std::string& content, const char* failure, GetRecord get) {
  const std::u16string folder_name = U16(FolderName(0));
  for (auto _ : state) {
    Storage root, folder;
    Stream s;
    if (Failed(OpenCompoundFile(path, kRW, &root)) ||
        Failed(root.OpenStorage(folder_name, kRW, &folder)) || Failed(get(folder, &s)))
      state.SkipWithError(failure);
    s.Write(content.data(), static_cast<uint32_t>(content.size()), nullptr);
    s.Release();
    folder.Release();
    if (Failed(root.Release())) state.SkipWithError("commit failed");
  }
}

void BM_RewriteOneRecordAndRelease(benchmark::State& state) {
  int records = static_cast<int>(state.range(0));
  const std::u16string rec_name = U16(RecordName(500));
  WriteOneRecordAndRelease(state, Book(records, 1000), std::string(104, 'y'), "open failed",
                           [&](Storage& folder, Stream* s) {
                             HRESULT hr = folder.OpenStream(rec_name, kRW, s);
                             if (Succeeded(hr)) s->SetSize(0);
                             return hr;
                           });
}
BENCHMARK(BM_RewriteOneRecordAndRelease)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

void BM_CreateOneRecordAndRelease(benchmark::State& state) {
  int records = static_cast<int>(state.range(0));
  static int n = 0;
  WriteOneRecordAndRelease(state, Book(records, 1000), std::string(104, 'n'), "create failed",
                           [&](Storage& folder, Stream* s) {
                             return folder.CreateStream(
                                 U16("New " + std::to_string(records) + "-" + std::to_string(n++)),
                                 kRW, s);
                           });
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

// Per iteration: opens the 10,000-record folder with libgsf and sums what `visit` gives for each
// child (counted as bytes processed when `bytes`).
template <class Visit>
void GsfOverFolder10k(benchmark::State& state, bool bytes, Visit visit) {
  gsf_init();
  for (auto _ : state) {
    GError* err = nullptr;
    GsfInput* in = gsf_input_stdio_new(Folder10k().c_str(), &err);
    GsfInfile* ole = in ? gsf_infile_msole_new(in, &err) : nullptr;
    if (ole == nullptr) {
      state.SkipWithError("gsf open failed");
      break;
    }
    GsfInput* folder = gsf_infile_child_by_name(ole, FolderName(0).c_str());
    int n = gsf_infile_num_children(GSF_INFILE(folder));
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
      GsfInput* child = gsf_infile_child_by_index(GSF_INFILE(folder), i);
      total += visit(child);
      g_object_unref(child);
    }
    benchmark::DoNotOptimize(total);
    if (bytes) state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(total));
    g_object_unref(folder);
    g_object_unref(ole);
    g_object_unref(in);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
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
  GsfOverFolder10k(state, false, [](GsfInput* child) {
    return static_cast<uint64_t>(gsf_input_size(child)) + strlen(gsf_input_name(child));
  });
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
  GsfOverFolder10k(state, true, [](GsfInput* child) -> uint64_t {
    gsf_off_t size = gsf_input_size(child);
    const guint8* data = gsf_input_read(child, static_cast<size_t>(size), nullptr);
    return data != nullptr ? static_cast<uint64_t>(size) : 0;
  });
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
