// An in-memory file system for the storage engine's tests. It keeps, per file, what a disk would
// hold after a power loss (synced content, directory entries made durable) apart from what the
// running process sees, and can fail or cut the n-th write, sync or directory sync.
#pragma once

#include <algorithm>
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

  struct Node {
    std::vector<uint8_t> live, durable;
    bool live_exists = false, durable_exists = false;
    int locks = 0;
    bool exclusive = false;
  };

  // Arms a fault at the operation numbered `at` (0-based; writes, syncs and directory syncs).
  void Arm(Fault f, long at) {
    fault_ = f;
    fault_at_ = at;
    ops_ = 0;
    dead_ = false;
  }
  long ops() const { return ops_; }
  bool dead() const { return dead_; }

  // Power loss: everything not made durable is gone; the process is restarted.
  void PowerLoss() {
    for (auto& [path, n] : nodes_) {
      n.live = n.durable;
      n.live_exists = n.durable_exists;
      n.locks = 0;
    }
    Restart();
  }
  // Process killed: the page cache survives.
  void Restart() {
    for (auto& [path, n] : nodes_) n.locks = 0;
    fault_ = Fault::kNone;
    dead_ = false;
  }
  Node& node(const std::string& path) { return nodes_[path]; }

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
    auto it = nodes_.find(path);
    return it != nodes_.end() && it->second.live_exists ? S_OK : S_FALSE;
  }
  HRESULT Remove(const std::string& path) override {
    if (dead_) return STG_E_WRITEFAULT;
    auto it = nodes_.find(path);
    if (it != nodes_.end()) {
      it->second.live_exists = false;
      it->second.live.clear();
    }
    return S_OK;
  }
  HRESULT SyncDirectory(const std::string&) override {
    if (HRESULT hr = Op(); Failed(hr)) return hr;
    for (auto& [p, n] : nodes_) {
      n.durable_exists = n.live_exists;
      if (!n.live_exists) n.durable.clear();
    }
    return S_OK;
  }
  FileTime Now() override { return now_ += 10000000; }

 private:
  std::map<std::string, Node> nodes_;
  Fault fault_ = Fault::kNone;
  long fault_at_ = -1, ops_ = 0;
  bool dead_ = false;
  FileTime now_ = 133000000000000000ull;
};

class MemFile : public File {
 public:
  MemFile(MemFs* fs, MemFs::Node* n, bool locked, bool writable)
      : fs_(fs), n_(n), locked_(locked), writable_(writable) {}
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
    n_->live.resize(size, 0);
    return S_OK;
  }

 private:
  static void Put(std::vector<uint8_t>* v, uint64_t off, const uint8_t* p, size_t n) {
    if (v->size() < off + n) v->resize(off + n, 0);
    std::copy_n(p, n, v->begin() + static_cast<long>(off));
  }
  MemFs* fs_;
  MemFs::Node* n_;
  bool locked_, writable_;
};

inline HRESULT MemFs::Open(const std::string& path, OpenKind kind, LockKind lock,
                           std::unique_ptr<File>* out) {
  Node& n = nodes_[path];
  bool exists = n.live_exists;
  if ((kind == OpenKind::kReadOnly || kind == OpenKind::kReadWrite) && !exists)
    return STG_E_FILENOTFOUND;
  if (kind == OpenKind::kCreateNew && exists) return STG_E_FILEALREADYEXISTS;
  if (lock != LockKind::kNone) {
    if (n.locks > 0 && (n.exclusive || lock == LockKind::kExclusive)) return STG_E_SHAREVIOLATION;
    ++n.locks;
    n.exclusive = lock == LockKind::kExclusive;
  }
  if (kind == OpenKind::kCreateNew || kind == OpenKind::kCreateAlways) {
    n.live_exists = true;
    n.live.clear();
  }
  *out = std::make_unique<MemFile>(this, &n, lock != LockKind::kNone, kind != OpenKind::kReadOnly);
  return S_OK;
}

}  // namespace qb::storage::testing
