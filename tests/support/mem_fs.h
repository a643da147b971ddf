// An in-memory file system for tests of the storage engine and of what stores books with it. It
// keeps, per file, what a disk would hold after a power loss (synced content, directory entries
// made durable) apart from what the running process sees, and can fail or cut the n-th write,
// sync or directory sync, or refuse to let files grow past a size (a full disk).
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

namespace qb::storage::testing {

class MemFs : public FileSystem {
 public:
  enum class Fault {
    kNone,
    kCrash,      // the n-th operation and everything after fail: the process died there
    kTornCrash,  // like kCrash, and a write hit there lands half, durably
    kError,      // only the n-th operation fails (disk full); the process goes on
  };

  // A file's content: what the process sees, and what survives a power loss.
  struct Node {
    std::vector<uint8_t> live, durable;
    int locks = 0;
    bool exclusive = false;
  };
  // A name in the directory: the file it names now, and after a power loss.
  struct Name {
    std::shared_ptr<Node> live, durable;
  };

  // Puts `bytes` at `path`, durably.
  void Install(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto n = std::make_shared<Node>();
    n->live = n->durable = bytes;
    names_[path] = Name{n, n};
  }
  // What the process sees at `path` (empty when there is no such file).
  std::vector<uint8_t> Bytes(const std::string& path) const {
    auto it = names_.find(path);
    return it != names_.end() && it->second.live ? it->second.live->live : std::vector<uint8_t>{};
  }

  // Arms a fault at the operation numbered `at` (0-based; writes, syncs and directory syncs).
  void Arm(Fault f, long at) {
    fault_ = f;
    fault_at_ = at;
    ops_ = 0;
    dead_ = false;
  }
  // Files cannot grow past `bytes` from now on: the write or resize fails with
  // STG_E_MEDIUMFULL and changes nothing, as on a full disk.
  void LimitFileSize(uint64_t bytes) { max_file_bytes_ = bytes; }
  uint64_t max_file_bytes() const { return max_file_bytes_; }
  long ops() const { return ops_; }
  bool dead() const { return dead_; }

  // Power loss: everything not made durable is gone; the process is restarted.
  void PowerLoss() {
    for (auto& [path, n] : names_) {
      n.live = n.durable;
      if (n.live) n.live->live = n.live->durable;
    }
    Restart();
  }
  // Process killed: the page cache survives.
  void Restart() {
    for (auto& [path, n] : names_) {
      if (n.live) n.live->locks = 0;
      if (n.durable) n.durable->locks = 0;
    }
    fault_ = Fault::kNone;
    dead_ = false;
  }

  // Counts an operation; returns a failure when it is the armed one (or the process is dead).
  HRESULT Op(bool* torn = nullptr) {
    if (dead_) return STG_E_WRITEFAULT;
    long n = ops_++;
    if (fault_ == Fault::kNone || n != fault_at_) return S_OK;
    if (fault_ == Fault::kError) return STG_E_MEDIUMFULL;
    dead_ = true;
    if (torn != nullptr) *torn = fault_ == Fault::kTornCrash;
    return STG_E_WRITEFAULT;
  }

  HRESULT Open(const std::string& path, OpenKind kind, LockKind lock,
               std::unique_ptr<File>* out) override;
  HRESULT Exists(const std::string& path) override {
    auto it = names_.find(path);
    return it != names_.end() && it->second.live ? S_OK : S_FALSE;
  }
  HRESULT Remove(const std::string& path) override {
    if (dead_) return STG_E_WRITEFAULT;
    auto it = names_.find(path);
    if (it != names_.end()) it->second.live = nullptr;
    return S_OK;
  }
  HRESULT Rename(const std::string& from, const std::string& to, bool replace) override {
    if (HRESULT hr = Op(); Failed(hr)) return hr;
    auto it = names_.find(from);
    if (it == names_.end() || !it->second.live) return STG_E_FILENOTFOUND;
    Name& dst = names_[to];
    if (dst.live && !replace) return STG_E_FILEALREADYEXISTS;
    dst.live = names_[from].live;
    names_[from].live = nullptr;
    return S_OK;
  }
  HRESULT SyncDirectory(const std::string&) override {
    if (HRESULT hr = Op(); Failed(hr)) return hr;
    for (auto& [p, n] : names_) n.durable = n.live;
    return S_OK;
  }
  FileTime Now() override { return now_ += 10000000; }

 private:
  std::map<std::string, Name> names_;
  Fault fault_ = Fault::kNone;
  long fault_at_ = -1, ops_ = 0;
  bool dead_ = false;
  uint64_t max_file_bytes_ = UINT64_MAX;
  FileTime now_ = 133000000000000000ull;
};

class MemFile : public File {
 public:
  MemFile(MemFs* fs, std::shared_ptr<MemFs::Node> n, bool locked, bool writable)
      : fs_(fs), n_(std::move(n)), locked_(locked), writable_(writable) {}
  ~MemFile() override {
    if (locked_ && n_->locks > 0) --n_->locks;
  }
  HRESULT ReadAt(uint64_t offset, void* data, size_t size, size_t* read) override {
    *read = 0;
    if (offset >= n_->live.size()) return S_OK;
    size_t n = std::min<size_t>(size, n_->live.size() - offset);
    std::copy_n(n_->live.begin() + static_cast<long>(offset), n, static_cast<uint8_t*>(data));
    *read = n;
    return S_OK;
  }
  HRESULT WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (!writable_) return STG_E_ACCESSDENIED;
    bool torn = false;
    HRESULT hr = fs_->Op(&torn);
    if (Succeeded(hr) && offset + size > std::max<uint64_t>(n_->live.size(), fs_->max_file_bytes()))
      return STG_E_MEDIUMFULL;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (Failed(hr)) {
      if (torn) {  // half of it reached the platter
        size_t half = size / 2 + 3;
        half = std::min(half, size);
        Put(&n_->live, offset, p, half);
        Put(&n_->durable, offset, p, half);
      }
      return hr;
    }
    Put(&n_->live, offset, p, size);
    return S_OK;
  }
  HRESULT Sync() override {
    if (HRESULT hr = fs_->Op(); Failed(hr)) return hr;
    n_->durable = n_->live;
    return S_OK;
  }
  HRESULT GetSize(uint64_t* size) override {
    *size = n_->live.size();
    return S_OK;
  }
  HRESULT SetSize(uint64_t size) override {
    if (fs_->dead()) return STG_E_WRITEFAULT;
    if (size > std::max<uint64_t>(n_->live.size(), fs_->max_file_bytes())) return STG_E_MEDIUMFULL;
    n_->live.resize(size, 0);
    return S_OK;
  }

 private:
  static void Put(std::vector<uint8_t>* v, uint64_t off, const uint8_t* p, size_t n) {
    if (v->size() < off + n) v->resize(off + n, 0);
    std::copy_n(p, n, v->begin() + static_cast<long>(off));
  }
  MemFs* fs_;
  std::shared_ptr<MemFs::Node> n_;
  bool locked_, writable_;
};

inline HRESULT MemFs::Open(const std::string& path, OpenKind kind, LockKind lock,
                           std::unique_ptr<File>* out) {
  Name& name = names_[path];
  bool exists = name.live != nullptr;
  if ((kind == OpenKind::kReadOnly || kind == OpenKind::kReadWrite) && !exists)
    return STG_E_FILENOTFOUND;
  if (kind == OpenKind::kCreateNew && exists) return STG_E_FILEALREADYEXISTS;
  if (!exists) name.live = std::make_shared<Node>();
  Node& n = *name.live;
  if (lock != LockKind::kNone) {
    if (n.locks > 0 && (n.exclusive || lock == LockKind::kExclusive)) return STG_E_SHAREVIOLATION;
    ++n.locks;
    n.exclusive = lock == LockKind::kExclusive;
  }
  if (kind == OpenKind::kCreateAlways) n.live.clear();
  *out = std::make_unique<MemFile>(this, name.live, lock != LockKind::kNone,
                                   kind != OpenKind::kReadOnly);
  return S_OK;
}

}  // namespace qb::storage::testing
