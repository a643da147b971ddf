// cfbtool: list, read, write and verify compound files from the command line.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/storage/check.h"
#include "platform/storage/storage.h"
#include "platform/time/clock.h"

using namespace qb::storage;

namespace {

constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr uint32_t kRO = STGM_READ | STGM_SHARE_DENY_WRITE;

// Names on the command line are UTF-8; one that is not valid becomes an empty name, which the
// engine refuses with STG_E_INVALIDNAME.
std::u16string FromUtf8(const std::string& s) {
  return qb::codepage::Utf8ToUtf16(s).value_or(std::u16string());
}

// Names read from a file written elsewhere may hold lone surrogates; those show as U+FFFD.
std::string ToUtf8(const std::u16string& s) {
  return qb::codepage::Utf16ToUtf8Lossy(s, "\uFFFD");
}

std::vector<std::u16string> SplitPath(const std::string& path) {
  std::vector<std::u16string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/') {
      if (!cur.empty()) parts.push_back(FromUtf8(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(FromUtf8(cur));
  return parts;
}

int Fail(HRESULT hr) {
  fprintf(stderr, "cfbtool: HResult = 0x%08X\n", static_cast<uint32_t>(hr));
  return 1;
}

std::string Time(FileTime t) {
  if (t == 0) return "-";
  time_t secs = static_cast<time_t>(qb::clock::TicksToUnixSeconds(t));
  struct tm tm;
  if (gmtime_r(&secs, &tm) == nullptr) return "?";
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

// Opens the storages named by `parts` below `root` (creating missing ones when asked). The last
// storage ends up in `*out`.
HRESULT Descend(Storage& root, const std::vector<std::u16string>& parts, size_t count, bool create,
                std::vector<Storage>* chain) {
  chain->clear();
  chain->reserve(count);
  for (size_t i = 0; i < count; ++i) {
    Storage& parent = i == 0 ? root : chain->back();
    Storage next;
    HRESULT hr = parent.OpenStorage(parts[i], create ? kRW : kRO, &next);
    if (hr == STG_E_FILENOTFOUND && create) hr = parent.CreateStorage(parts[i], kRW, &next);
    if (Failed(hr)) return hr;
    chain->push_back(std::move(next));
  }
  return S_OK;
}

int List(Storage& st, const std::string& prefix, bool recursive) {
  Enumerator en;
  if (HRESULT hr = st.Enumerate(&en); Failed(hr)) return Fail(hr);
  ElementStat e;
  while (en.Next(&e) == S_OK) {
    std::string name = prefix + ToUtf8(e.name);
    printf("%s %12llu %-20s %-20s %s\n", e.type == STGTY_STORAGE ? "storage" : "stream ",
           static_cast<unsigned long long>(e.size), Time(e.creation).c_str(),
           Time(e.modification).c_str(), name.c_str());
    if (recursive && e.type == STGTY_STORAGE) {
      Storage sub;
      if (HRESULT hr = st.OpenStorage(e.name, kRO, &sub); Failed(hr)) return Fail(hr);
      if (int rc = List(sub, name + "/", true); rc != 0) return rc;
    }
  }
  return 0;
}

int Usage() {
  fprintf(stderr,
          "usage: cfbtool ls [-R] FILE [PATH]\n"
          "       cfbtool cat FILE PATH\n"
          "       cfbtool put FILE PATH   (standard input becomes the stream)\n"
          "       cfbtool mkdir FILE PATH\n"
          "       cfbtool rm FILE PATH\n"
          "       cfbtool mv FILE PATH NEWNAME\n"
          "       cfbtool check FILE\n"
          "       cfbtool copy SRC DST\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string cmd = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);

  if (cmd == "ls") {
    bool recursive = false;
    if (!args.empty() && args[0] == "-R") {
      recursive = true;
      args.erase(args.begin());
    }
    if (args.empty() || args.size() > 2) return Usage();
    Storage root;
    if (HRESULT hr = OpenCompoundFile(args[0], kRO, &root); Failed(hr)) return Fail(hr);
    auto parts = SplitPath(args.size() > 1 ? args[1] : "");
    std::vector<Storage> chain;
    if (HRESULT hr = Descend(root, parts, parts.size(), false, &chain); Failed(hr)) return Fail(hr);
    std::string prefix;
    for (auto& p : parts) prefix += ToUtf8(p) + "/";
    return List(chain.empty() ? root : chain.back(), prefix, recursive);
  }

  if (cmd == "cat") {
    if (args.size() != 2) return Usage();
    auto parts = SplitPath(args[1]);
    if (parts.empty()) return Usage();
    Storage root;
    if (HRESULT hr = OpenCompoundFile(args[0], kRO, &root); Failed(hr)) return Fail(hr);
    std::vector<Storage> chain;
    if (HRESULT hr = Descend(root, parts, parts.size() - 1, false, &chain); Failed(hr))
      return Fail(hr);
    Storage& dir = chain.empty() ? root : chain.back();
    Stream s;
    if (HRESULT hr = dir.OpenStream(parts.back(), kRO, &s); Failed(hr)) return Fail(hr);
    std::vector<char> buf(1 << 16);
    for (;;) {
      uint32_t got = 0;
      if (HRESULT hr = s.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got); Failed(hr))
        return Fail(hr);
      if (got == 0) break;
      if (fwrite(buf.data(), 1, got, stdout) != got) return 1;
    }
    return 0;
  }

  if (cmd == "put" || cmd == "mkdir" || cmd == "rm" || cmd == "mv") {
    if (args.size() != (cmd == "mv" ? 3u : 2u)) return Usage();
    auto parts = SplitPath(args[1]);
    if (parts.empty()) return Usage();
    // A missing FILE is made beside its place and takes its name with the stream in it, so a
    // put cut short leaves no file rather than an empty one.
    struct Fresh {
      std::string path;
      ~Fresh() {
        if (!path.empty()) FileSystem::Posix()->Remove(path);
      }
    } fresh;
    Storage root;
    HRESULT hr = OpenCompoundFile(args[0], kRW, &root);
    if (hr == STG_E_FILENOTFOUND && cmd == "put") {
      fresh.path = args[0] + ".qbput";
      hr = CreateCompoundFile(fresh.path, kRW | STGM_CREATE, &root);
    }
    if (Failed(hr)) return Fail(hr);
    std::vector<Storage> chain;
    if (HRESULT h = Descend(root, parts, parts.size() - 1, cmd == "put" || cmd == "mkdir", &chain);
        Failed(h))
      return Fail(h);
    Storage& dir = chain.empty() ? root : chain.back();
    if (cmd == "put") {
      std::vector<char> data;
      char buf[1 << 16];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, stdin)) > 0) data.insert(data.end(), buf, buf + n);
      Stream s;
      if (HRESULT h = dir.CreateStream(parts.back(), kRW | STGM_CREATE, &s); Failed(h))
        return Fail(h);
      if (HRESULT h = s.Write(data.data(), static_cast<uint32_t>(data.size()), nullptr); Failed(h))
        return Fail(h);
    } else if (cmd == "mkdir") {
      Storage s;
      if (HRESULT h = dir.CreateStorage(parts.back(), kRW, &s); Failed(h)) return Fail(h);
    } else if (cmd == "rm") {
      if (HRESULT h = dir.DestroyElement(parts.back()); Failed(h)) return Fail(h);
    } else {
      if (HRESULT h = dir.RenameElement(parts.back(), FromUtf8(args[2])); Failed(h)) return Fail(h);
    }
    chain.clear();
    if (HRESULT h = root.Release(); Failed(h)) return Fail(h);
    if (!fresh.path.empty()) {
      FileSystem* fs = FileSystem::Posix();
      if (HRESULT h = fs->Rename(fresh.path, args[0], false); Failed(h)) return Fail(h);
      fresh.path.clear();
      if (HRESULT h = fs->SyncDirectory(args[0]); Failed(h)) return Fail(h);
    }
    return 0;
  }

  if (cmd == "check") {
    if (args.size() != 1) return Usage();
    std::vector<std::string> problems;
    HRESULT hr = CheckCompoundFile(args[0], &problems);
    for (auto& p : problems) printf("%s\n", p.c_str());
    if (Failed(hr)) return Fail(hr);
    printf("ok\n");
    return 0;
  }

  if (cmd == "copy") {
    if (args.size() != 2) return Usage();
    Storage src, dst;
    if (HRESULT hr = OpenCompoundFile(args[0], kRO, &src); Failed(hr)) return Fail(hr);
    // The copy is made beside DST and takes its name only when complete, so a copy cut short
    // leaves an existing DST as it was. DST stays locked meanwhile, as a file in use must not be
    // replaced.
    FileSystem* fs = FileSystem::Posix();
    const std::string& target = args[1];
    const std::string temp = target + ".qbcopy";
    std::unique_ptr<File> held;
    if (fs->Exists(target) == S_OK) {
      if (HRESULT hr = fs->Open(target, OpenKind::kReadOnly, LockKind::kExclusive, &held);
          Failed(hr))
        return Fail(hr);
    }
    HRESULT hr = CreateCompoundFile(temp, kRW | STGM_CREATE, &dst);
    if (Succeeded(hr)) hr = src.CopyTo(dst);
    if (Succeeded(hr)) hr = dst.Release();
    if (Succeeded(hr)) hr = fs->Rename(temp, target, true);
    if (Succeeded(hr)) hr = fs->SyncDirectory(target);
    if (Failed(hr)) {
      dst = Storage();
      fs->Remove(temp);
      return Fail(hr);
    }
    return 0;
  }
  return Usage();
}
