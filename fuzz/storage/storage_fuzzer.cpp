// Any byte sequence as a compound file: reading everything, changing it and committing must give
// failure codes or valid results, never a crash, a hang or an allocation beyond the input's size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/storage/check.h"
#include "tests/support/mem_fs.h"

namespace {

using namespace qb::storage;
constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void Walk(Storage& st, int depth, bool change) {
  if (depth > 32) return;
  Enumerator en;
  if (Failed(st.Enumerate(&en))) return;
  ElementStat e;
  std::vector<uint8_t> buf(8192);
  while (en.Next(&e) == S_OK) {
    if (e.type == STGTY_STORAGE) {
      Storage sub;
      if (Succeeded(st.OpenStorage(e.name, kRW, &sub))) Walk(sub, depth + 1, change);
      continue;
    }
    Stream s;
    if (Failed(st.OpenStream(e.name, kRW, &s))) continue;
    uint32_t got = 0;
    while (Succeeded(s.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got)) && got > 0) {
    }
    if (change) {
      // Halved from the size of the stream opened: in a damaged tree the name may lead to
      // another element than the one listed, whose size nothing has checked.
      ElementStat opened;
      s.Stat(&opened);
      s.Seek(10, STREAM_SEEK_SET, nullptr);
      s.Write("changed", 7, nullptr);
      s.SetSize(opened.size / 2);
    }
  }
  if (change) {
    Stream added;
    if (Succeeded(st.CreateStream(u"fuzz added", kRW | STGM_CREATE, &added)))
      added.Write(buf.data(), 5000, nullptr);
    added.Release();
    en.Reset();
    if (en.Next(&e) == S_OK) st.DestroyElement(e.name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::MemFs fs;
  const std::string path = "/fuzz/input";
  fs.Install(path, std::vector<uint8_t>(data, data + size));
  {
    Storage root;
    if (Failed(OpenCompoundFile(path, kRW, &root, &fs))) return 0;
    Walk(root, 0, false);
    Walk(root, 0, true);
    root.Release();
  }
  std::vector<std::string> problems;
  CheckCompoundFile(path, &problems, &fs);
  Storage again;
  if (Succeeded(OpenCompoundFile(path, kRW, &again, &fs))) Walk(again, 0, false);
  return 0;
}
