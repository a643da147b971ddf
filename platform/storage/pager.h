// The pager: one open compound file seen as numbered sectors, and the atomic switch of its
// header.
//
// It caches the sectors read (pages) and the ones a session writes, writes them out at commit,
// and makes the commit atomic: the new header goes to the journal beside the file (synced) before
// it replaces the old one in place. Opening a file repairs a header that a crash tore from that
// journal. It knows nothing of what the sectors hold; the layers above tell it which sectors they
// use. Every byte goes through the file-access layer (File, FileSystem).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/storage/journal.h"
#include "platform/storage/storage.h"

namespace qb::storage::detail {

class Pager {
 public:
  HRESULT Open(FileSystem* fs, const std::string& path, OpenKind kind, LockKind lock,
               bool writable);
  void Close() { file_.reset(); }
  bool open() const { return file_ != nullptr; }
  bool writable() const { return writable_; }
  FileSystem* fs() const { return fs_; }
  const std::string& path() const { return path_; }
  // The file was renamed (a new file put in its place).
  void set_path(const std::string& path) { path_ = path; }

  uint32_t sector_size() const { return ss_; }
  void set_sector_size(uint32_t ss) { ss_ = ss; }
  uint64_t file_size() const { return file_size_; }
  // Sectors that may be referenced: those in the file and those allocated since.
  uint32_t sector_limit() const { return sector_limit_; }
  void set_sector_limit(uint32_t n) { sector_limit_ = n; }
  uint64_t SectorOffset(uint32_t s) const { return (static_cast<uint64_t>(s) + 1) * ss_; }

  // Reads the file's first bytes (up to 4096), after finishing a header switch that a crash
  // interrupted (when writable), and counts the sectors the file holds.
  HRESULT ReadHeader(std::vector<uint8_t>* header);
  // The header as it stands on disk; the journal keeps it as the old one.
  void set_committed_header(std::vector<uint8_t> h) { committed_header_ = std::move(h); }
  bool has_committed_header() const { return !committed_header_.empty(); }
  const std::vector<uint8_t>& committed_header() const { return committed_header_; }

  // Cuts the file to `bytes` (durably); false when that fails, and nothing changes then.
  bool CutTo(uint64_t bytes);
  // Extends a file that ends in a part of a sector to whole sectors (best effort).
  void RoundUpToSectors();

  // The cached content of sector `s` (read when not cached yet).
  HRESULT Page(uint32_t s, uint8_t** out);
  // The cached content of `s`, or nullptr.
  uint8_t* Cached(uint32_t s);
  // Reads `size` bytes starting `within` bytes into sector `s`, past the cache.
  HRESULT ReadThrough(uint32_t s, uint32_t within, void* dst, size_t size, size_t* got);
  // A sector newly taken into use: zeroed, cached and to be written.
  void NewPage(uint32_t s);
  // Caches `content` as sector `s`'s.
  void Put(uint32_t s, std::vector<uint8_t> content);
  // Marks cached sector `s` to be written and gives its content; STG_E_DOCFILECORRUPT when it is
  // not cached whole.
  HRESULT Writable(uint32_t s, uint8_t** out);
  // Forgets sector `s` (freed, or to be written from elsewhere).
  void Drop(uint32_t s);
  bool has_dirty() const { return !dirty_.empty(); }

  // ---- Commit
  // Writes every page marked to be written and the sectors in `tables` (the allocation tables,
  // built by the caller), in runs; a few of them are named in the journal.
  HRESULT WriteOut(const std::map<uint32_t, const uint8_t*>& tables);
  HRESULT Sync() { return file_->Sync(); }
  // Puts `header` in place through the journal. `*decided` tells whether the commit may already
  // stand (the journal is durable and was kept).
  HRESULT SwitchHeader(const std::vector<uint8_t>& header, bool* decided);
  HRESULT RefreshSize() { return file_->GetSize(&file_size_); }
  // After a commit: zeroes the sectors in `freed` that lie in the file and the 64-byte mini
  // sectors at the offsets in `minis`, and cuts the file after its first `in_use` sectors
  // (durably).
  HRESULT Settle(const std::set<uint32_t>& freed, std::vector<uint64_t> minis, uint32_t in_use);
  // After a failed commit (best effort): zeroes the sectors in `taken` that were in the file
  // (free in the committed state) and cuts what the commit appended.
  void Rollback(uint64_t size_before, const std::unordered_set<uint32_t>& taken);
  // Empties the cache once a commit stands.
  void EndCommit();

 private:
  HRESULT RecoverJournal(std::vector<uint8_t>* header);
  std::string JournalPath() const { return path_ + "-journal"; }

  FileSystem* fs_ = nullptr;
  std::string path_;
  std::unique_ptr<File> file_;
  bool writable_ = false;
  uint32_t ss_ = 512;
  uint64_t file_size_ = 0;
  uint32_t sector_limit_ = 0;
  std::vector<uint8_t> committed_header_;
  std::vector<SectorCheck> checks_;  // of the commit under way

  // Directory, mini FAT, mini stream and every written sector.
  std::unordered_map<uint32_t, std::vector<uint8_t>> pages_;
  std::set<uint32_t> dirty_;
};

}  // namespace qb::storage::detail
