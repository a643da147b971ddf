// The engine behind the public storage objects: one open compound file.
//
// It is built in layers, each calling only the ones below it:
//   Volume       (volume.cc, commit.cc)  open objects, element operations, the commit's steps
//   StreamIo     (stream_io.cc)          stream content, mini or regular
//   Directory    (directory.cc)          entries and each storage's red-black tree of children
//   SectorSpace  (sector_space.cc)       FAT and mini FAT (AllocTable), allocation, chains,
//                                        copy-on-write
//   Pager        (pager.cc)              sectors of the file, their cache, the atomic header
//                                        switch through the journal (journal.cc)
//   File, FileSystem (storage.h)         file access, where tests inject faults
//
// Transactions are copy-on-write: a sector that belongs to the committed state is never written
// while a session runs. Changed content goes to sectors that are free in the committed state; the
// FAT pages, mini FAT pages, directory sectors and DIFAT sectors that change are written to fresh
// sectors too. The header is the only structure written in place, and it is switched last: the
// new header first goes to a small journal file beside the book (checksummed, synced), then over
// the old one. Opening a file repairs a header torn by a crash from that journal. Afterwards the
// sectors that the old state alone used are zeroed and the file's free tail is cut. Free space is
// reused first fit wherever it lies; a session that left the file longer than it found it moves
// what it wrote into the holes and commits once more, so that the end comes off (commit.cc).
//
// Everything is loaded lazily: opening reads the header (and DIFAT sectors of big files); a name
// lookup reads the directory sectors on its tree path and the FAT pages on the way.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/storage/directory.h"
#include "platform/storage/pager.h"
#include "platform/storage/sector_space.h"
#include "platform/storage/storage.h"
#include "platform/storage/stream_io.h"

namespace qb::storage::detail {

class Volume {
 public:
  ~Volume();

  static HRESULT Open(FileSystem* fs, const std::string& path, bool writable, LockKind lock,
                      std::shared_ptr<Volume>* out);
  static HRESULT Create(FileSystem* fs, const std::string& path, bool replace,
                        std::shared_ptr<Volume>* out);

  bool closed() const { return !pager_.open(); }
  bool writable() const { return pager_.writable(); }
  HRESULT broken() const { return broken_; }

  // Directory.
  HRESULT GetEntry(uint32_t id, DirEntry** out) { return dir_.GetEntry(id, out); }
  // S_OK with the child's id, STG_E_FILENOTFOUND when absent.
  HRESULT Find(uint32_t storage, std::u16string_view name, uint32_t* id);
  // Find for a name an enumeration of storage listed as the entry listed_id: that entry when it
  // still is the child of that name, else the lookup by name.
  HRESULT FindListed(uint32_t storage, uint32_t listed_id, std::u16string_view name, uint32_t* id);
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
  Volume() = default;
  HRESULT Load();
  HRESULT EnsureWritable() const;
  // Marks the session broken when hr is a failure, so that the commit refuses it; returns hr.
  HRESULT BreakOnFailure(HRESULT hr);
  // The stream's entry takes its size and first sector; its storage counts as modified.
  HRESULT RecordStream(StreamState& st, uint32_t id);
  // The commit's writing steps, up to the header switch (commit.cc).
  HRESULT WriteCommit(bool* decided);
  // After the last commit: moves what this session wrote past the file's length at its start
  // into the holes below, and commits again so that the end is cut off (commit.cc).
  HRESULT GiveBackTail();
  // Where this process's last commit of the file left free space (commit.cc).
  void UseHints();
  void KeepHints();

  Pager pager_;
  SectorSpace space_{&pager_};
  OpenPaths open_;  // id -> its storages, root first
  Directory dir_{&space_, &open_};
  StreamIo io_{&space_};
  std::unordered_map<uint32_t, StreamState> streams_;
  uint16_t major_ = 3;
  HRESULT broken_ = S_OK;       // a failed commit leaves the session unusable
  uint32_t start_sectors_ = 0;  // the file's length in sectors when the session began
  std::set<uint32_t> written_;  // streams written in this session
};

}  // namespace qb::storage::detail
