// Sector space: which sectors and mini sectors are in use, and the chains they form.
//
// It holds the FAT and the mini FAT (one AllocTable each), the FAT's own sectors (named by the
// header and the DIFAT) and the mini stream, the chain inside the file that holds the mini
// sectors. It hands out free sectors, walks, grows and cuts chains, and gives a chain's sectors
// for reading and, copy-on-write, for writing: a sector of the committed state is never written
// while a session runs; what changes goes to a sector that the committed state leaves free.
//
// Free space: regular sectors and mini sectors are found first-fit, from a point below which
// nothing is free (0 when nothing is known; the volume passes on what the last commit of this
// process left). A chain that grows takes the sector after its last one when that is free. A
// sector that the committed state uses becomes free for this session only once the commit that
// frees it is durable; a freed mini sector is reusable at once (the mini stream's sectors are
// copied on write anyway) and, unless reused, is zeroed in place once the commit stands. After a
// commit, the sectors near the file's end that this session wrote can be moved down into the
// holes (MoveDown), so that the next commit cuts the end off.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include "platform/storage/alloc_table.h"
#include "platform/storage/header.h"
#include "platform/storage/pager.h"
#include "platform/storage/sector_list.h"

namespace qb::storage::detail {

// A sector of a chain: where it lies, and its place in the chain.
struct ChainSector {
  uint32_t sector;
  Chain* chain;
  size_t index;
};

class SectorSpace {
 public:
  explicit SectorSpace(Pager* pager) : pager_(pager) {}

  // A new, empty file.
  void InitEmpty();
  // The tables of an existing file, as its header names them. The pager knows the sector size
  // and the file's length.
  HRESULT Load(const Header& h);
  // The mini stream, as the root entry names it (`size` checked against the file already).
  void SetMiniStream(uint32_t start, uint64_t size);
  // Cuts sectors past the FAT's reach from the file: a commit that a crash cut short may leave
  // some, and they belong to nothing.
  void CutUnreachable();

  uint32_t sector_size() const { return pager_->sector_size(); }
  uint32_t sector_limit() const { return pager_->sector_limit(); }
  uint64_t mini_count() const { return mini_count_; }  // mini sectors in the mini stream
  // Whether a stream of `size` bytes can lie in this file (STG_E_DOCFILECORRUPT when not).
  HRESULT ValidateStreamSize(uint64_t size) const;

  // ---- Chains
  // Sector number of `c`'s index'th sector (mini sector number for mini chains).
  HRESULT ChainAt(Chain& c, size_t index, uint32_t* out);
  HRESULT ChainComplete(Chain& c);
  HRESULT ChainAppend(Chain& c, uint32_t s);
  HRESULT ChainTruncate(Chain& c, size_t length);  // frees what is cut
  // Sector `index` of a regular chain, for reading.
  HRESULT ReadableSector(Chain& c, size_t index, const uint8_t** page);
  // Sector `index` of a regular chain, for writing (moved to a fresh sector first when the
  // committed state uses it).
  HRESULT WritableSector(Chain& c, size_t index, uint8_t** page);
  // Reads `len` bytes at `pos` of the content of `c` (regular or mini).
  HRESULT ReadChain(Chain& c, uint64_t pos, uint8_t* data, uint64_t len);
  // Grows `c` to hold `size` bytes, then writes `len` bytes at `pos` (zeros when `data` is
  // null).
  HRESULT WriteChain(Chain& c, uint64_t size, uint64_t pos, const uint8_t* data, uint64_t len);
  // Zeroes the bytes of `c`'s content from `from` to the end of its last sector.
  HRESULT ZeroTail(Chain& c, uint64_t from);

  // ---- Allocation
  HRESULT Alloc(uint32_t* s);  // first fit
  // For a chain growing after its last sector: the next sector when free, else the first fit.
  HRESULT AllocAfter(const Chain& c, uint32_t* s);

  // ---- Free-space hints: nothing below these is free (the first free sector, mini sector).
  void SetHints(uint32_t sector, uint32_t mini) {
    alloc_hint_ = std::min(sector, pager_->sector_limit());
    mini_hint_ = static_cast<uint32_t>(std::min<uint64_t>(mini, mini_count_));
  }
  uint32_t sector_hint() const { return alloc_hint_; }
  uint32_t mini_hint() const { return mini_hint_; }

  // ---- Giving the end of the file back
  // Moves sector `index` of the regular chain `c` into the lowest free sector when that lies
  // below it; `*moved` says whether it did. Sectors this session wrote stay where they are.
  HRESULT MoveDown(Chain& c, size_t index, bool* moved);
  // Adds the sectors at or past `floor` of the known part of `c` to `out`, each with its
  // place, for MoveDown.
  static void SectorsFrom(Chain& c, uint32_t floor, std::vector<ChainSector>* out);
  // The same for the chains this layer owns (the mini stream and the mini FAT). The sectors a
  // session put into a chain are always in its known part.
  HRESULT OwnSectorsFrom(uint32_t floor, std::vector<ChainSector>* out);
  // The first `max` free sectors below `below`, lowest first.
  HRESULT HolesBelow(uint32_t below, size_t max, std::vector<uint32_t>* out);
  // Adds the FAT pages that lie at or past `floor` to `pages`.
  void FatPagesFrom(uint32_t floor, std::set<uint32_t>* pages) const;
  uint32_t fat_page_of(uint32_t s) const { return s / epp_; }
  uint32_t difat_sectors() const { return static_cast<uint32_t>(difat_locs_.size()); }
  // Marks the FAT pages that lie at or past `floor`, above a hole, to be moved by the next
  // commit.
  HRESULT MarkFatPagesFrom(uint32_t floor);

  // ---- Commit
  bool dirty() const { return fat_.any_dirty() || minifat_.any_dirty(); }
  uint32_t ministream_start() const { return mini_count_ == 0 ? kEndOfChain : ministream_.start; }
  // Writes the changed mini FAT pages into their sectors.
  HRESULT FlushMiniFat();
  // Moves every changed FAT page, and the DIFAT, to fresh sectors.
  HRESULT RelocateFat();
  // The content of the moved FAT pages and of the DIFAT, by sector; `keep` holds it.
  void TableSectors(std::map<uint32_t, const uint8_t*>* out,
                    std::vector<std::vector<uint8_t>>* keep) const;
  // What the header says about the tables.
  void FillHeader(Header* h) const;
  // Zeroes what the old state alone used and cuts the file's free tail.
  HRESULT Settle();
  // The commit stands: this session's sectors are the committed state's.
  void EndCommit();
  // The commit failed: what it wrote to free sectors and appended goes.
  void Rollback(uint64_t size_before) { pager_->Rollback(size_before, fresh_); }

 private:
  HRESULT LoadFatPages(uint32_t p, uint32_t* dst, uint32_t* pages);
  HRESULT LoadMiniFatPage(uint32_t p, uint32_t* dst, uint32_t* pages);
  void InstallTables(uint32_t fat_pages, uint32_t minifat_pages);
  AllocTable& TableOf(const Chain& c) { return c.mini ? minifat_ : fat_; }
  HRESULT AllocFrom(uint32_t from, bool first_fit, uint32_t* s);
  // The first free sector below `below` (kFreeSect when none), looked for from the first-fit
  // point on, which moves up to it.
  HRESULT FirstFree(uint32_t below, uint32_t* s);
  void Take(uint32_t s);
  HRESULT AllocMini(uint32_t* m);
  void FreeSector(uint32_t s);
  HRESULT FreeMini(uint32_t m);
  bool Fresh(uint32_t s) const { return fresh_.count(s) != 0; }
  HRESULT ChainReplace(Chain& c, size_t index, uint32_t s);
  // Reads (dst), writes (src) or zeroes (both null) `len` bytes at `off` of the content of the
  // regular chain `c`, which holds them already.
  HRESULT SectorIo(Chain& c, uint64_t off, uint8_t* dst, const uint8_t* src, uint64_t len);
  // The same for the mini stream.
  HRESULT MiniStreamIo(uint64_t off, uint8_t* dst, const uint8_t* src, size_t len);

  Pager* pager_;
  uint32_t epp_ = 128;  // 32-bit entries per sector

  // FAT.
  AllocTable fat_;
  std::vector<uint32_t> fat_locs_;  // FAT page -> sector (kFreeSect: new page)
  std::vector<uint8_t> fat_moved_;
  std::vector<uint32_t> difat_locs_;  // DIFAT sectors
  bool difat_moved_ = false;
  uint32_t alloc_hint_ = 0;  // first fit starts here: nothing below is free but what is pending
  uint32_t top_ = 0;         // one past the highest sector in use
  std::unordered_set<uint32_t> fresh_;         // allocated in this session
  std::unordered_set<uint32_t> pending_free_;  // committed sectors freed in this session
  std::set<uint32_t> scrub_;                   // to zero after the commit

  // Mini FAT and mini stream.
  AllocTable minifat_;
  Chain minifat_chain_;
  Chain ministream_;
  uint64_t mini_count_ = 0;
  uint32_t mini_hint_ = 0;
  std::set<uint32_t> mini_scrub_;  // freed mini sectors, zeroed in place after the commit
};

}  // namespace qb::storage::detail
