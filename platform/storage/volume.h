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
// lookup reads the directory sectors on its tree path and the FAT pages on the way.
#pragma once

#include <cstdint>
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

// A chain of sectors (regular or mini) whose prefix is known.
struct Chain {
  uint32_t start = kEndOfChain;
  std::vector<uint32_t> known;
  std::unordered_set<uint32_t> seen;  // the members of `known`: a repeat is a cycle
  bool complete = false;
  bool mini = false;
};

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
  HRESULT Alloc(uint32_t* s);
  HRESULT AllocMini(uint32_t* m);
  void FreeSector(uint32_t s);
  HRESULT FreeMini(uint32_t m);
  bool Fresh(uint32_t s) const { return fresh_.count(s) != 0; }
  HRESULT EnsureWritable() const;

  // Chains.
  HRESULT ChainAt(Chain& c, size_t index, uint32_t* out);
  HRESULT ChainComplete(Chain& c);
  HRESULT ChainAppend(Chain& c, uint32_t s);
  HRESULT ChainReplace(Chain& c, size_t index, uint32_t s);
  HRESULT ChainTruncate(Chain& c, size_t length);  // frees what is cut
  HRESULT WritableSector(Chain& c, size_t index, uint8_t** page);  // copy-on-write
  HRESULT MiniStreamIo(uint64_t off, uint8_t* dst, const uint8_t* src, size_t len);

  // Directory.
  HRESULT LoadEntrySector(uint32_t id);
  void MarkEntryDirty(uint32_t id);
  HRESULT NewEntry(uint32_t* id);
  HRESULT LoadChildren(uint32_t storage, Children_** out);
  HRESULT WalkTree(uint32_t root, std::vector<uint32_t>* ids);
  HRESULT DestroyRecursive(uint32_t id, int depth);
  HRESULT FreeStreamContent(DirEntry* e);
  HRESULT ValidateStream(const DirEntry& e) const;
  void RebuildTree(uint32_t storage);

  // Streams.
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
  std::vector<uint32_t> fat_locs_;    // FAT page -> sector (kFreeSect: new page)
  std::vector<uint32_t> difat_locs_;  // DIFAT sectors
  uint64_t file_size_ = 0;
  uint32_t sector_limit_ = 0;  // sectors that may be referenced

  // FAT.
  std::vector<uint32_t> fat_;
  std::vector<uint8_t> fat_loaded_, fat_dirty_, fat_moved_;
  uint32_t alloc_hint_ = 0;
  std::unordered_set<uint32_t> fresh_;         // allocated in this session
  std::unordered_set<uint32_t> pending_free_;  // committed sectors freed in this session
  std::set<uint32_t> scrub_;                   // to zero after the commit
  bool difat_moved_ = false;

  // Pages: directory, mini FAT, mini stream and every written sector.
  std::unordered_map<uint32_t, std::vector<uint8_t>> pages_;
  std::set<uint32_t> dirty_pages_;

  // Mini FAT and mini stream.
  Chain minifat_chain_;
  std::vector<uint32_t> minifat_;
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
