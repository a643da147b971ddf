// The engine behind the public storage objects: one open compound file.
//
// Transactions are copy-on-write: a sector that belongs to the committed state is never written
// while a session runs. Changed content goes to sectors that are free in the committed state; the
// FAT pages, mini FAT pages, directory sectors and DIFAT sectors that change are written to fresh
// sectors too. The header is the only structure written in place, and it is switched last: the
// new header first goes to a small journal file beside the book (checksummed, synced), then over
// the old one. Opening a file repairs a header torn by a crash from that journal. Afterwards the
// sectors that the old state alone used are zeroed and the file's free tail is cut.
//
// Everything is loaded lazily: opening reads the header (and DIFAT sectors of big files); a name
// lookup reads the directory sectors on its tree path and the FAT pages on the way. Creating,
// destroying and renaming keep each storage's children a red-black tree by insertion and deletion
// along the search path; only a tree written elsewhere that is not red-black is rebuilt whole
// (balanced) when this engine first takes an element out of it.
//
// Free space: regular sectors are found first-fit (the FAT is read in large runs); a chain that
// grows takes the sector after its last one, or jumps a little past the end of what is in use so
// that chains growing side by side form long runs. Free mini sectors and directory entries are
// looked for only where this session has read or freed them; elsewhere the mini stream and the
// directory grow at their ends, and compaction (CopyTo) reclaims the holes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/storage/format.h"
#include "platform/storage/storage.h"

namespace qb::storage {
char16_t UpperCodeUnit(char16_t c);
}

namespace qb::storage::detail {

struct DirEntry {
  std::u16string name;
  uint8_t type = kTypeUnused;
  uint8_t color = kBlack;
  uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  uint8_t clsid[16] = {};
  uint32_t state = 0;
  uint64_t ctime = 0, mtime = 0;
  uint32_t start = kEndOfChain;
  uint64_t size = 0;
};

struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return CompareNames(a, b) < 0;
  }
};

// The sectors of a chain in order, kept as runs of consecutive sector numbers: chains are
// mostly contiguous, so walking and storing them stays cheap for long chains. It also catches a
// sector entering the chain twice (a cycle) at once.
class SectorList {
 public:
  size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  uint32_t back() const { return runs_.back().first + runs_.back().count - 1; }
  uint32_t operator[](size_t i) const {
    const Run& r = runs_[RunOf(i)];
    return r.first + static_cast<uint32_t>(i - r.pos);
  }
  bool contains(uint32_t s) const { return Overlaps(s, 1); }
  // Appends the n sectors a, a+1, ...; false when any of them is in the list already (a cycle).
  bool append_range(uint32_t a, uint32_t n) {
    if (n == 0) return true;
    if (Overlaps(a, n)) return false;
    if (!runs_.empty() && a == back() + 1) {
      runs_.back().count += n;
    } else {
      runs_.push_back(Run{a, n, length_});
    }
    length_ += n;
    if (bits_.empty() && runs_.size() >= 8) {
      for (const Run& r : runs_) SetBits(r.first, r.count, true);
    } else if (!bits_.empty()) {
      SetBits(a, n, true);
    }
    return true;
  }
  bool push_back(uint32_t s) { return append_range(s, 1); }
  // Replaces the sector at index i; `s` must not be in the list.
  void set(size_t i, uint32_t s) {
    size_t k = RunOf(i);
    Run r = runs_[k];
    uint32_t off = static_cast<uint32_t>(i - r.pos);
    if (!bits_.empty()) {
      SetBits(r.first + off, 1, false);
      SetBits(s, 1, true);
    }
    std::vector<Run> parts;
    if (off > 0) parts.push_back(Run{r.first, off, r.pos});
    parts.push_back(Run{s, 1, i});
    if (off + 1 < r.count) parts.push_back(Run{r.first + off + 1, r.count - off - 1, i + 1});
    runs_.erase(runs_.begin() + static_cast<long>(k));
    runs_.insert(runs_.begin() + static_cast<long>(k), parts.begin(), parts.end());
  }
  // Keeps the first n sectors.
  void resize(size_t n) {
    if (n >= length_) return;
    size_t k = n == 0 ? 0 : RunOf(n - 1);
    for (size_t j = k; j < runs_.size(); ++j) {
      uint32_t from = j == k && n > 0 ? static_cast<uint32_t>(n - runs_[j].pos) : 0;
      if (!bits_.empty()) SetBits(runs_[j].first + from, runs_[j].count - from, false);
    }
    if (n == 0) {
      runs_.clear();
    } else {
      runs_.resize(k + 1);
      runs_[k].count = static_cast<uint32_t>(n - runs_[k].pos);
    }
    length_ = n;
  }

 private:
  struct Run {
    uint32_t first, count;
    size_t pos;  // chain index of `first`
  };
  size_t RunOf(size_t i) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                               [](size_t v, const Run& r) { return v < r.pos; });
    return static_cast<size_t>(it - runs_.begin()) - 1;
  }
  // Lists of few runs answer membership by scanning them; longer ones keep a bitmap.
  bool Overlaps(uint32_t a, uint32_t n) const {
    uint64_t end = static_cast<uint64_t>(a) + n;
    if (bits_.empty()) {
      for (const Run& r : runs_)
        if (a < static_cast<uint64_t>(r.first) + r.count && r.first < end) return true;
      return false;
    }
    for (uint64_t s = a; s < end;) {
      size_t w = static_cast<size_t>(s / 64);
      if (w >= bits_.size()) return false;
      uint32_t lo = static_cast<uint32_t>(s % 64);
      uint64_t span = std::min<uint64_t>(64 - lo, end - s);
      uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << lo;
      if (bits_[w] & mask) return true;
      s += span;
    }
    return false;
  }
  void SetBits(uint32_t a, uint32_t n, bool on) {
    uint64_t end = static_cast<uint64_t>(a) + n;
    if (on && (end + 63) / 64 > bits_.size()) bits_.resize(static_cast<size_t>((end + 63) / 64), 0);
    for (uint64_t s = a; s < end;) {
      size_t w = static_cast<size_t>(s / 64);
      if (w >= bits_.size()) return;
      uint32_t lo = static_cast<uint32_t>(s % 64);
      uint64_t span = std::min<uint64_t>(64 - lo, end - s);
      uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << lo;
      if (on) {
        bits_[w] |= mask;
      } else {
        bits_[w] &= ~mask;
      }
      s += span;
    }
  }

  std::vector<Run> runs_;
  size_t length_ = 0;
  std::vector<uint64_t> bits_;
};

// A chain of sectors (regular or mini) whose prefix is known.
struct Chain {
  uint32_t start = kEndOfChain;
  SectorList known;
  bool complete = false;
  bool mini = false;
};

// A table of 32-bit entries whose slots are filled before they are read (no zeroing on growth
// beyond what the caller asks for).
template <class T>
struct NoInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = NoInitAllocator<U>;
  };
  using std::allocator<T>::allocator;
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using Table = std::vector<uint32_t, NoInitAllocator<uint32_t>>;

class Volume {
 public:
  ~Volume();

  static HRESULT Open(FileSystem* fs, const std::string& path, bool writable, LockKind lock,
                      std::shared_ptr<Volume>* out);
  static HRESULT Create(FileSystem* fs, const std::string& path, bool replace,
                        std::shared_ptr<Volume>* out);

  bool closed() const { return file_ == nullptr; }
  bool writable() const { return writable_; }
  HRESULT broken() const { return broken_; }

  // Directory.
  HRESULT GetEntry(uint32_t id, DirEntry** out);
  // S_OK with the child's id, STG_E_FILENOTFOUND when absent.
  HRESULT Find(uint32_t storage, std::u16string_view name, uint32_t* id);
  HRESULT Children(uint32_t storage, std::vector<uint32_t>* ids);
  HRESULT CreateElement(uint32_t storage, std::u16string_view name, uint8_t type, bool replace,
                        uint32_t* id);
  HRESULT DestroyElement(uint32_t storage, std::u16string_view name);
  HRESULT RenameElement(uint32_t storage, std::u16string_view old_name,
                        std::u16string_view new_name);
  HRESULT SetStorageTimes(uint32_t id, FileTime ctime, FileTime mtime);
  HRESULT StatOf(uint32_t id, ElementStat* out);
  bool IsBelow(uint32_t id, uint32_t ancestor) const;

  // Open objects: an element is open at most once.
  HRESULT Acquire(uint32_t id, uint32_t parent);
  void Forget(uint32_t id);

  // Streams (must be acquired).
  HRESULT StreamSize(uint32_t id, uint64_t* size);
  HRESULT StreamRead(uint32_t id, uint64_t pos, void* data, uint32_t size, uint32_t* read);
  HRESULT StreamWrite(uint32_t id, uint64_t pos, const void* data, uint32_t size);
  HRESULT StreamSetSize(uint32_t id, uint64_t size);

  static HRESULT SetTimesOf(Storage& s, FileTime ctime, FileTime mtime) {
    return s.volume_->SetStorageTimes(s.id_, ctime, mtime);
  }

  HRESULT Commit();
  // Commits (when writable and asked) and closes the file.
  HRESULT Close(bool commit);

 private:
  struct StreamState {
    Chain chain;
    uint64_t size = 0;
    uint32_t parent = 0;
  };
  struct Children_ {
    std::map<std::u16string, uint32_t, NameLess> by_name;
  };

  Volume() = default;
  HRESULT LoadHeader();
  HRESULT RecoverJournal(std::vector<uint8_t>* header);
  void InitEmpty();

  // Sectors.
  uint64_t SectorOffset(uint32_t s) const { return (static_cast<uint64_t>(s) + 1) * ss_; }
  HRESULT Page(uint32_t s, uint8_t** out);  // cached sector content
  HRESULT ReadSectors(uint32_t s, uint32_t offset, uint8_t* dst, size_t len);
  HRESULT FatEntry(uint32_t s, uint32_t* next);
  HRESULT SetFat(uint32_t s, uint32_t value);
  HRESULT LoadFatPage(uint32_t p);
  HRESULT MiniFatEntry(uint32_t m, uint32_t* next);
  HRESULT SetMiniFat(uint32_t m, uint32_t value);
  HRESULT LoadMiniFatPage(uint32_t p);
  HRESULT Alloc(uint32_t* s);  // first fit
  // For a chain growing after `prev`: the next sector when free, else one well past the end of
  // what is in use, so that chains growing side by side stay in long contiguous runs.
  HRESULT AllocAfter(const Chain& c, uint32_t* s);
  HRESULT AllocFrom(uint32_t from, bool first_fit, uint32_t* s);
  HRESULT AllocMini(uint32_t* m);
  void FreeSector(uint32_t s);
  HRESULT FreeMini(uint32_t m);
  bool Fresh(uint32_t s) const { return fresh_.count(s) != 0; }
  HRESULT EnsureWritable() const;
  // Marks the session broken when hr is a failure, so that the commit refuses it; returns hr.
  HRESULT BreakOnFailure(HRESULT hr);

  // Chains.
  HRESULT ChainAt(Chain& c, size_t index, uint32_t* out);
  HRESULT ChainComplete(Chain& c);
  HRESULT ChainAppend(Chain& c, uint32_t s);
  HRESULT ChainReplace(Chain& c, size_t index, uint32_t s);
  HRESULT ChainTruncate(Chain& c, size_t length);                  // frees what is cut
  HRESULT WritableSector(Chain& c, size_t index, uint8_t** page);  // copy-on-write
  HRESULT MiniStreamIo(uint64_t off, uint8_t* dst, const uint8_t* src, size_t len);

  // Directory.
  HRESULT LoadEntrySector(uint32_t id);
  void MarkEntryDirty(uint32_t id);
  HRESULT NewEntry(uint32_t* id);
  HRESULT LoadChildren(uint32_t storage, Children_** out);
  HRESULT InsertIntoTree(uint32_t storage, uint32_t id);
  HRESULT RemoveFromTree(uint32_t storage, uint32_t id);
  // Puts a child into / takes it out of its storage's tree.
  HRESULT Link(uint32_t storage, uint32_t id);
  HRESULT Unlink(uint32_t storage, uint32_t id);
  HRESULT WalkTree(uint32_t root, std::vector<uint32_t>* ids);
  HRESULT DestroyRecursive(uint32_t id, int depth);
  HRESULT FreeStreamContent(DirEntry* e);
  HRESULT ValidateStream(const DirEntry& e) const;
  void RebuildTree(uint32_t storage);

  // Streams.
  HRESULT StreamResize(StreamState& st, uint32_t id, uint64_t size);
  HRESULT StreamWriteRange(StreamState& st, uint32_t id, uint64_t pos, const uint8_t* data,
                           uint64_t len);
  HRESULT StreamReadRange(StreamState& st, uint64_t pos, uint8_t* data, uint64_t len);
  HRESULT StreamMove(StreamState& st, uint32_t id, bool to_mini, uint64_t keep);
  HRESULT StreamUpdateEntry(StreamState& st, uint32_t id);

  // Commit steps.
  HRESULT FlushMiniFat();
  HRESULT FlushDirectory();
  HRESULT RelocateFat();
  HRESULT WriteAll();
  void BuildHeader(std::vector<uint8_t>* h) const;
  // `*decided` tells whether the commit may already stand (the journal is durable and was kept).
  HRESULT SwitchHeader(const std::vector<uint8_t>& header, bool* decided);
  HRESULT Scrub();

  FileSystem* fs_ = nullptr;
  std::string path_;
  std::unique_ptr<File> file_;
  bool writable_ = false;
  HRESULT broken_ = S_OK;  // a failed commit leaves the session unusable

  // Header.
  uint32_t ss_ = 512;
  uint32_t epp_ = 128;  // 32-bit entries per sector
  uint16_t major_ = 3;
  std::vector<uint8_t> committed_header_;
  std::vector<std::pair<uint32_t, uint64_t>> journal_checks_;  // sector, content hash
  std::vector<uint32_t> fat_locs_;    // FAT page -> sector (kFreeSect: new page)
  std::vector<uint32_t> difat_locs_;  // DIFAT sectors
  uint64_t file_size_ = 0;
  uint32_t sector_limit_ = 0;  // sectors that may be referenced

  // FAT.
  Table fat_;
  std::vector<uint8_t> fat_loaded_, fat_dirty_, fat_moved_;
  uint32_t alloc_hint_ = 0;
  uint32_t top_ = 0;                           // one past the highest sector in use
  std::unordered_set<uint32_t> fresh_;         // allocated in this session
  std::unordered_set<uint32_t> pending_free_;  // committed sectors freed in this session
  std::set<uint32_t> scrub_;                   // to zero after the commit
  bool difat_moved_ = false;

  // Pages: directory, mini FAT, mini stream and every written sector.
  std::unordered_map<uint32_t, std::vector<uint8_t>> pages_;
  std::set<uint32_t> dirty_pages_;

  // Mini FAT and mini stream.
  Chain minifat_chain_;
  Table minifat_;
  std::vector<uint8_t> minifat_loaded_, minifat_dirty_;
  Chain ministream_;
  uint64_t mini_count_ = 0;  // mini sectors in the mini stream
  uint32_t mini_hint_ = 0;

  // Directory.
  Chain dir_chain_;
  std::unordered_map<uint32_t, DirEntry> entries_;
  std::set<uint32_t> dirty_dir_sectors_;
  std::vector<uint32_t> free_ids_;
  uint32_t next_id_scan_ = 0;
  bool dir_scanned_ = false;
  std::unordered_map<uint32_t, Children_> children_;
  std::set<uint32_t> touched_;   // storages whose children changed: trees to rebuild
  std::set<uint32_t> modified_;  // storages whose modification time becomes the commit's

  // Open objects.
  std::unordered_map<uint32_t, std::vector<uint32_t>> open_;  // id -> its storages, root first
  std::unordered_map<uint32_t, StreamState> streams_;
};

}  // namespace qb::storage::detail
