// The directory: every element's 128-byte entry, and each storage's children as a red-black
// tree of entries ordered by name.
//
// Entries are read as they are asked for: a name lookup reads the directory sectors on its tree
// path only. Creating, destroying and renaming keep each storage's children a red-black tree by
// insertion and deletion along the search path; only a tree written elsewhere that is not
// red-black is rebuilt whole (balanced) when this engine first takes an element out of it. Free
// entries are taken first fit: the ones this session freed, then the first free one from a hint
// below which none is free (0 when nothing is known); the directory grows at its end only when
// no entry is free.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/storage/format.h"
#include "platform/storage/header.h"
#include "platform/storage/sector_space.h"
#include "platform/storage/storage.h"

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

// The open elements, each with the storages it was opened through (root first).
using OpenPaths = std::unordered_map<uint32_t, std::vector<uint32_t>>;

class Directory {
 public:
  Directory(SectorSpace* space, const OpenPaths* open) : space_(space), open_(open) {}

  // A new, empty file.
  void InitEmpty() { dir_chain_.complete = true; }
  // The directory of an existing file of format version `major`, starting at sector `start`.
  void Reset(uint16_t major, uint32_t start);

  HRESULT GetEntry(uint32_t id, DirEntry** out);
  // Marks the entry to be written at commit.
  void MarkEntryDirty(uint32_t id);
  // A free entry (reset), growing the directory when needed.
  HRESULT NewEntry(uint32_t* id);
  // No entry below `id` is free (a hint; the entries found are checked).
  void set_free_hint(uint32_t id) { next_id_scan_ = id; }
  // The same, as the session leaves the directory.
  uint32_t free_hint() const;
  // The directory's chain (for moving its sectors).
  Chain& chain() { return dir_chain_; }

  // S_OK with the child's id, STG_E_FILENOTFOUND when absent.
  HRESULT Find(uint32_t storage, std::u16string_view name, uint32_t* id);
  // Whether the entry id is listed as a child of storage now (its tree was walked, or it was
  // linked there since).
  bool Holds(uint32_t storage, uint32_t id) const {
    auto o = owner_.find(id);
    return o != owner_.end() && o->second == storage;
  }
  // The children of `storage` in name order.
  HRESULT Children(uint32_t storage, std::vector<uint32_t>* ids);
  // Puts a child into / takes it out of its storage's tree.
  HRESULT Link(uint32_t storage, uint32_t id);
  HRESULT Unlink(uint32_t storage, uint32_t id);
  // Frees the entry `id`, already unlinked, with everything below it and its streams' content.
  HRESULT Destroy(uint32_t id) { return DestroyRecursive(id, 0); }
  // S_OK when everything below the element `id` belongs to it alone: no entry there is reached
  // twice, and none is reached from the root by another path (a damaged directory may link a
  // storage's children back to the storages it is in, or share a subtree between two storages).
  // STG_E_DOCFILECORRUPT otherwise: destroying it would free entries still in use.
  HRESULT CheckOwnSubtree(uint32_t id);

  // The storage's modification time becomes the commit's time, or stays as set.
  void Modified(uint32_t storage) { modified_.insert(storage); }
  void Unmodified(uint32_t storage) { modified_.erase(storage); }

  // ---- Commit
  // Rebuilds the trees that lost their shape and stamps the modified storages with `now`.
  void PrepareCommit(FileTime now);
  bool dirty() const { return !dirty_sectors_.empty(); }
  // Writes the changed entries into their sectors (copy-on-write) and reads the rest of the
  // directory's chain, whose length the header names.
  HRESULT Flush();
  // What the header says about the directory.
  void FillHeader(Header* h) const;
  void EndCommit();

 private:
  struct NameLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
      return CompareNames(a, b) < 0;
    }
  };
  using ChildMap = std::map<std::u16string, uint32_t, NameLess>;

  // Directory sectors looked at per read while looking for a free entry.
  static constexpr uint64_t kScanSectors = 64;

  uint32_t PerSector() const { return space_->sector_size() / kEntrySize; }
  uint64_t MaxSteps() const {
    return static_cast<uint64_t>(space_->sector_limit()) * PerSector() + 1;
  }
  HRESULT LoadEntrySector(uint32_t id);
  HRESULT LoadChildren(uint32_t storage, ChildMap** out);
  HRESULT InsertIntoTree(uint32_t storage, uint32_t id);
  // S_FALSE: the element is out and the order kept, but the tree was no valid red-black tree.
  HRESULT RemoveFromTree(uint32_t storage, uint32_t id);
  HRESULT WalkTree(uint32_t root, std::vector<uint32_t>* ids);
  // Records `storage` as the holder of the entries listed in its tree. STG_E_DOCFILECORRUPT
  // when one of them was already listed in another storage's tree: a damaged directory that
  // shares a subtree between storages would otherwise be walked once per path to it, which
  // nested sharing makes exponential.
  HRESULT ClaimChildren(uint32_t storage, const std::vector<uint32_t>& ids);
  HRESULT DestroyRecursive(uint32_t id, int depth);
  HRESULT FreeStreamContent(DirEntry* e);
  void RebuildTree(uint32_t storage);

  SectorSpace* space_;
  const OpenPaths* open_;
  uint16_t major_ = 3;
  Chain dir_chain_;
  std::unordered_map<uint32_t, DirEntry> entries_;
  std::set<uint32_t> dirty_sectors_;
  std::vector<uint32_t> free_ids_;
  uint32_t next_id_scan_ = 0;  // no entry below is free, but those in free_ids_
  // Directory sectors read raw while looking for a free entry (their entries' ids), for the
  // ones not read properly yet: those do not change during a session.
  std::vector<uint8_t> raw_;
  uint64_t raw_first_ = 0, raw_end_ = 0;
  std::unordered_map<uint32_t, ChildMap> children_;
  std::unordered_map<uint32_t, uint32_t> owner_;  // a listed entry -> the storage holding it
  std::set<uint32_t> touched_;   // storages whose children changed: trees to rebuild
  std::set<uint32_t> modified_;  // storages whose modification time becomes the commit's
};

}  // namespace qb::storage::detail
