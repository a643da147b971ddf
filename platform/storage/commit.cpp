// The commit: the steps that take a session's changes into the file, atomically.
//
// The mini FAT and the directory go to their (copy-on-write) sectors, the FAT pages that changed
// and the DIFAT move to fresh sectors, all of it is written and synced; then the pager switches
// the header through the journal, which is the moment the commit stands. Last, the sectors that
// only the old state used are zeroed and the file's free tail is cut. A commit that fails before
// the switch leaves the file as it was (what it wrote went to sectors free in the committed
// state, and is zeroed again) and the session broken.
//
// Copy-on-write needs room beside what the committed state uses, which a file without holes
// finds only past its end. So the last commit of a session is followed by one more when that
// left the file longer than it was at the session's start: what the session wrote past that
// length moves down into the holes the commit freed (the highest sectors, into the lowest holes),
// and that second commit, atomic like any other, cuts the end off.
//
// Free space is found first fit from hints below which nothing is free; this process keeps the
// hints a commit leaves per file, for the next session on the same file state (anything else,
// a file changed elsewhere, starts from zero). The hints only say where looking starts: what is
// found is always checked in the tables.
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/storage/header.h"
#include "platform/storage/return_if_failed.h"
#include "platform/storage/volume.h"

namespace qb::storage::detail {
namespace {

// A file's end may stay this many sectors past its length at the session's start. None: a
// session that leaves some behind would let the next ones build on it, and the holes its
// commit freed would stay holes.
constexpr uint32_t kTailSlack = 0;
// Moving sectors down changes FAT pages, which move too: a few rounds settle it.
constexpr int kTailRounds = 3;

struct Hints {
  std::vector<uint8_t> header;  // the file state they are for: its header and length
  uint64_t size = 0;
  uint32_t sector = 0, mini = 0, entry = 0;
};
constexpr size_t kHintFiles = 16;

std::mutex& HintLock() {
  static std::mutex m;
  return m;
}
std::map<std::pair<FileSystem*, std::string>, Hints>& HintTable() {
  static std::map<std::pair<FileSystem*, std::string>, Hints> table;
  return table;
}

}  // namespace

void Volume::UseHints() {
  std::lock_guard<std::mutex> lock(HintLock());
  auto& table = HintTable();
  auto it = table.find({pager_.fs(), pager_.path()});
  if (it == table.end()) return;
  const Hints& h = it->second;
  if (h.header != pager_.committed_header() || h.size != pager_.file_size()) return;
  space_.SetHints(h.sector, h.mini);
  dir_.set_free_hint(h.entry);
}

void Volume::KeepHints() {
  Hints h;
  h.header = pager_.committed_header();
  h.size = pager_.file_size();
  h.sector = space_.sector_hint();
  h.mini = space_.mini_hint();
  h.entry = dir_.free_hint();
  std::lock_guard<std::mutex> lock(HintLock());
  auto& table = HintTable();
  if (table.size() >= kHintFiles && !table.count({pager_.fs(), pager_.path()})) table.clear();
  table[{pager_.fs(), pager_.path()}] = std::move(h);
}

HRESULT Volume::GiveBackTail() {
  const uint32_t floor = start_sectors_;
  for (int round = 0; round < kTailRounds; ++round) {
    if (pager_.sector_limit() <= floor + kTailSlack) return S_OK;
    // Every sector past the floor belongs to a chain this session wrote: the directory, the
    // mini FAT and mini stream, the streams written, or the FAT and DIFAT themselves.
    std::vector<ChainSector> todo;
    RETURN_IF_FAILED(space_.OwnSectorsFrom(floor, &todo));
    SectorSpace::SectorsFrom(dir_.chain(), floor, &todo);
    std::deque<Chain> streams;
    std::vector<uint32_t> stream_ids;
    for (uint32_t id : written_) {
      DirEntry* e = nullptr;
      if (Failed(dir_.GetEntry(id, &e)) || e->type != kTypeStream || e->size < kMiniCutoff ||
          Failed(space_.ValidateStreamSize(e->size)))
        continue;
      Chain c;
      c.start = e->start;
      RETURN_IF_FAILED(space_.ChainComplete(c));
      streams.push_back(std::move(c));
      stream_ids.push_back(id);
    }
    for (Chain& c : streams) SectorSpace::SectorsFrom(c, floor, &todo);
    std::sort(todo.begin(), todo.end(),
              [](const ChainSector& a, const ChainSector& b) { return a.sector > b.sector; });
    // Each move changes the FAT pages of its sector, its new place and the sector before it in
    // the chain; all of those pages move too, and need holes of their own (with some room for
    // the pages that their moving changes in turn). The highest sectors go first, into the
    // lowest holes, as long as the holes left suffice for the pages.
    if (todo.empty()) return S_OK;
    std::set<uint32_t> pages;
    space_.FatPagesFrom(floor, &pages);
    const size_t fixed = space_.difat_sectors() + streams.size() + 2;
    std::vector<uint32_t> holes;
    RETURN_IF_FAILED(space_.HolesBelow(todo.front().sector,
                                       4 * todo.size() + 2 * pages.size() + fixed + 8, &holes));
    size_t moves = 0;
    for (const ChainSector& cs : todo) {
      if (moves >= holes.size() || holes[moves] >= cs.sector) break;
      std::vector<uint32_t> touched = {space_.fat_page_of(cs.sector),
                                       space_.fat_page_of(holes[moves])};
      if (cs.index > 0) touched.push_back(space_.fat_page_of(cs.chain->known[cs.index - 1]));
      std::sort(touched.begin(), touched.end());
      touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
      size_t count = pages.size();
      for (uint32_t p : touched) count += pages.count(p) ? 0 : 1;
      if (moves + 1 + count + count / 8 + fixed > holes.size()) break;
      pages.insert(touched.begin(), touched.end());
      ++moves;
    }
    // The lowest of the sectors chosen goes first: chains keep their order on the disk, and
    // one read gets a run of them again.
    bool moved_any = false;
    for (size_t k = moves; k-- > 0;) {
      bool moved = false;
      RETURN_IF_FAILED(space_.MoveDown(*todo[k].chain, todo[k].index, &moved));
      if (!moved) break;  // no hole below this one, nor below the ones after it
      moved_any = true;
    }
    if (!moved_any) return S_OK;
    RETURN_IF_FAILED(space_.MarkFatPagesFrom(floor));
    for (size_t k = 0; k < streams.size(); ++k) {
      DirEntry* e = nullptr;
      RETURN_IF_FAILED(dir_.GetEntry(stream_ids[k], &e));
      if (e->start != streams[k].start) {
        e->start = streams[k].start;
        dir_.MarkEntryDirty(stream_ids[k]);
      }
    }
    RETURN_IF_FAILED(Commit());
  }
  return S_OK;
}

HRESULT Volume::WriteCommit(bool* decided) {
  *decided = false;
  RETURN_IF_FAILED(space_.FlushMiniFat());
  RETURN_IF_FAILED(dir_.Flush());
  RETURN_IF_FAILED(space_.RelocateFat());
  std::map<uint32_t, const uint8_t*> tables;
  std::vector<std::vector<uint8_t>> keep;
  space_.TableSectors(&tables, &keep);
  RETURN_IF_FAILED(pager_.WriteOut(tables));
  RETURN_IF_FAILED(pager_.Sync());
  Header h;
  h.major = major_;
  h.sector_size = pager_.sector_size();
  dir_.FillHeader(&h);
  space_.FillHeader(&h);
  return pager_.SwitchHeader(EncodeHeader(h), decided);
}

HRESULT Volume::Commit() {
  if (closed()) return STG_E_REVERTED;
  if (!writable()) return S_OK;
  RETURN_IF_FAILED(broken_);
  const uint64_t size_before = pager_.file_size();
  auto fail = [&](HRESULT hr) {
    broken_ = hr;
    space_.Rollback(size_before);
    return hr;
  };
  dir_.PrepareCommit(pager_.fs()->Now());
  // The mini stream's place and length live in the root entry.
  {
    DirEntry* root = nullptr;
    HRESULT hr = dir_.GetEntry(0, &root);
    if (Failed(hr)) return fail(hr);
    uint32_t start = space_.ministream_start();
    uint64_t size = space_.mini_count() * kMiniSize;
    if (root->start != start || root->size != size) {
      root->start = start;
      root->size = size;
      dir_.MarkEntryDirty(0);
    }
  }
  bool dirty = pager_.has_dirty() || dir_.dirty() || space_.dirty();
  if (!dirty && pager_.has_committed_header()) {
    dir_.EndCommit();
    return S_OK;
  }
  bool decided = false;
  HRESULT hr = WriteCommit(&decided);
  if (Failed(hr)) {
    if (!decided) return fail(hr);
    broken_ = hr;  // the next open finishes the commit from the journal
    return hr;
  }
  RETURN_IF_FAILED(pager_.RefreshSize());
  hr = space_.Settle();
  space_.EndCommit();
  pager_.EndCommit();
  dir_.EndCommit();
  if (Failed(hr)) {
    broken_ = hr;
    return hr;
  }
  KeepHints();
  return S_OK;
}

}  // namespace qb::storage::detail
