#include "platform/storage/sector_space.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/storage/return_if_failed.h"

namespace qb::storage::detail {
namespace {

// Four FAT entries side by side, for checking contiguous stretches quickly.
typedef uint32_t V4 __attribute__((vector_size(16)));
constexpr V4 kStep = {1, 2, 3, 4};

}  // namespace

// ---- Loading
// -------------------------------------------------------------------------------------

void SectorSpace::InstallTables(uint32_t fat_pages, uint32_t minifat_pages) {
  fat_.Reset(epp_, fat_pages, [this](uint32_t p, uint32_t* dst, uint32_t* pages) {
    return LoadFatPages(p, dst, pages);
  });
  minifat_.Reset(epp_, minifat_pages, [this](uint32_t p, uint32_t* dst, uint32_t* pages) {
    return LoadMiniFatPage(p, dst, pages);
  });
}

void SectorSpace::InitEmpty() {
  epp_ = 128;
  InstallTables(0, 0);
  minifat_chain_.complete = true;
  ministream_.complete = true;
}

HRESULT SectorSpace::Load(const Header& h) {
  const uint32_t ss = pager_->sector_size();
  const uint32_t limit = pager_->sector_limit();
  epp_ = ss / 4;
  top_ = limit;
  if (h.fat_sectors > limit || h.difat_sectors > limit) return STG_E_DOCFILECORRUPT;
  fat_locs_.clear();
  for (uint32_t i = 0; i < kHeaderFatSlots && fat_locs_.size() < h.fat_sectors; ++i)
    fat_locs_.push_back(h.fat[i]);
  uint32_t d = h.difat_start;
  std::vector<uint8_t> buf(ss);
  while (fat_locs_.size() < h.fat_sectors) {
    if (d >= limit || difat_locs_.size() >= h.difat_sectors) return STG_E_DOCFILECORRUPT;
    for (uint32_t seen : difat_locs_)
      if (seen == d) return STG_E_DOCFILECORRUPT;
    difat_locs_.push_back(d);
    size_t got = 0;
    RETURN_IF_FAILED(pager_->ReadThrough(d, 0, buf.data(), ss, &got));
    if (got != ss) return STG_E_DOCFILECORRUPT;
    for (uint32_t i = 0; i + 1 < epp_ && fat_locs_.size() < h.fat_sectors; ++i)
      fat_locs_.push_back(Get32(&buf[4 * i]));
    d = Get32(&buf[ss - 4]);
  }
  for (uint32_t loc : fat_locs_)
    if (loc >= limit) return STG_E_DOCFILECORRUPT;
  fat_moved_.assign(h.fat_sectors, 0);

  minifat_chain_ = Chain{};
  minifat_chain_.start = h.minifat_start;
  uint32_t num_minifat = h.minifat_start == kEndOfChain ? 0 : h.minifat_sectors;
  if (num_minifat > limit) return STG_E_DOCFILECORRUPT;
  InstallTables(h.fat_sectors, num_minifat);
  return S_OK;
}

void SectorSpace::SetMiniStream(uint32_t start, uint64_t size) {
  ministream_ = Chain{};
  ministream_.start = size == 0 ? kEndOfChain : start;
  mini_count_ = std::min<uint64_t>((size + kMiniSize - 1) / kMiniSize, minifat_.size());
}

void SectorSpace::CutUnreachable() {
  const uint64_t covered = (static_cast<uint64_t>(fat_.size()) + 1) * pager_->sector_size();
  if (fat_.size() != 0 && pager_->file_size() > covered && pager_->CutTo(covered)) {
    pager_->set_sector_limit(static_cast<uint32_t>(fat_.size()));
    top_ = static_cast<uint32_t>(fat_.size());
  }
}

HRESULT SectorSpace::ValidateStreamSize(uint64_t size) const {
  if (size >= kMiniCutoff) {
    if (size > static_cast<uint64_t>(sector_limit()) * sector_size()) return STG_E_DOCFILECORRUPT;
  } else if (size > mini_count_ * kMiniSize) {
    return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

HRESULT SectorSpace::LoadFatPages(uint32_t p, uint32_t* dst, uint32_t* pages) {
  const uint32_t ss = pager_->sector_size();
  // Read a run of consecutive FAT sectors at once: FATs are usually contiguous.
  uint32_t n = 1;
  while (p + n < fat_locs_.size() && n < 256 && !fat_.loaded(p + n) &&
         fat_locs_[p + n] == fat_locs_[p] + n)
    ++n;
  size_t got = 0;
  RETURN_IF_FAILED(pager_->ReadThrough(fat_locs_[p], 0, dst, static_cast<size_t>(n) * ss, &got));
  if (got < ss) return STG_E_DOCFILECORRUPT;
  n = static_cast<uint32_t>(got / ss);
  if constexpr (std::endian::native != std::endian::little) {
    for (size_t i = 0; i < static_cast<size_t>(n) * epp_; ++i)
      dst[i] = Get32(reinterpret_cast<const uint8_t*>(&dst[i]));
  }
  *pages = n;
  return S_OK;
}

HRESULT SectorSpace::LoadMiniFatPage(uint32_t p, uint32_t* dst, uint32_t* pages) {
  uint32_t first = 0;
  RETURN_IF_FAILED(ChainAt(minifat_chain_, p, &first));
  *pages = 1;
  if (const uint8_t* page = pager_->Cached(first); page != nullptr) {
    for (uint32_t i = 0; i < epp_; ++i) dst[i] = Get32(&page[4 * i]);
    return S_OK;
  }
  // A run of consecutive mini FAT sectors that nothing has read yet goes in one read (first fit
  // may read much of the mini FAT).
  uint32_t n = 1;
  while (n < 64 && p + n < minifat_.pages() && !minifat_.loaded(p + n)) {
    uint32_t s = 0;
    if (Failed(ChainAt(minifat_chain_, p + n, &s)) || s != first + n ||
        pager_->Cached(s) != nullptr)
      break;
    ++n;
  }
  const uint32_t ss = pager_->sector_size();
  size_t got = 0;
  RETURN_IF_FAILED(pager_->ReadThrough(first, 0, dst, static_cast<size_t>(n) * ss, &got));
  if (got < ss) return STG_E_DOCFILECORRUPT;
  n = static_cast<uint32_t>(got / ss);
  if constexpr (std::endian::native != std::endian::little) {
    for (size_t i = 0; i < static_cast<size_t>(n) * epp_; ++i)
      dst[i] = Get32(reinterpret_cast<const uint8_t*>(&dst[i]));
  }
  *pages = n;
  return S_OK;
}

// ---- Allocation
// ----------------------------------------------------------------------------------

HRESULT SectorSpace::Alloc(uint32_t* out) {
  return AllocFrom(alloc_hint_, true, out);
}

HRESULT SectorSpace::AllocAfter(const Chain& c, uint32_t* out) {
  if (c.known.empty()) return Alloc(out);
  uint32_t s = c.known.back() + 1;
  uint32_t p = s / epp_;
  bool free_next = p >= fat_locs_.size();
  if (!free_next) {
    RETURN_IF_FAILED(fat_.Load(p));
    free_next = fat_.at(s) == kFreeSect && !pending_free_.count(s);
  }
  // Inside the file, holes further down come first; past its end the next sector is as good as
  // any.
  if (free_next) {
    uint32_t hole = kFreeSect;
    RETURN_IF_FAILED(FirstFree(std::min(s, top_), &hole));
    if (hole == kFreeSect) return AllocFrom(s, false, out);
  }
  return Alloc(out);
}

HRESULT SectorSpace::FirstFree(uint32_t below, uint32_t* out) {
  *out = kFreeSect;
  const uint64_t end = std::min<uint64_t>(below, static_cast<uint64_t>(fat_locs_.size()) * epp_);
  uint64_t s = alloc_hint_;
  for (; s < end; ++s) {
    const uint32_t u = static_cast<uint32_t>(s);
    RETURN_IF_FAILED(fat_.Load(u / epp_));
    if (fat_.at(u) == kFreeSect && !pending_free_.count(u)) {
      *out = u;
      break;
    }
  }
  // Nothing below is free now (but what this session frees).
  alloc_hint_ = static_cast<uint32_t>(std::max<uint64_t>(alloc_hint_, s));
  return S_OK;
}

void SectorSpace::Take(uint32_t s) {
  fat_.Set(s, kEndOfChain);  // its page is loaded
  fresh_.insert(s);
  pager_->NewPage(s);
  pager_->set_sector_limit(std::max(pager_->sector_limit(), s + 1));
  top_ = std::max(top_, s + 1);
}

HRESULT SectorSpace::AllocFrom(uint32_t from, bool first_fit, uint32_t* out) {
  const uint32_t ss = pager_->sector_size();
  for (uint32_t s = from;; ++s) {
    if ((static_cast<uint64_t>(s) + 2) * ss > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
    uint32_t p = s / epp_;
    while (p >= fat_locs_.size()) {  // a new FAT page; its own sector is found at commit
      fat_locs_.push_back(kFreeSect);
      fat_.AddPage();
      fat_moved_.push_back(0);
    }
    RETURN_IF_FAILED(fat_.Load(p));
    if (fat_.at(s) != kFreeSect || pending_free_.count(s)) continue;
    Take(s);
    if (first_fit) alloc_hint_ = s + 1;
    *out = s;
    return S_OK;
  }
}

HRESULT SectorSpace::MoveDown(Chain& c, size_t index, bool* moved) {
  *moved = false;
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(c, index, &s));
  if (Fresh(s)) return S_OK;
  uint32_t t = kFreeSect;
  RETURN_IF_FAILED(FirstFree(s, &t));
  if (t == kFreeSect) return S_OK;
  uint8_t* src = nullptr;
  RETURN_IF_FAILED(pager_->Page(s, &src));
  std::vector<uint8_t> copy(src, src + pager_->sector_size());
  Take(t);
  alloc_hint_ = t + 1;
  pager_->Put(t, std::move(copy));
  RETURN_IF_FAILED(ChainReplace(c, index, t));
  *moved = true;
  return S_OK;
}

void SectorSpace::SectorsFrom(Chain& c, uint32_t floor, std::vector<ChainSector>* out) {
  c.known.ForEachRun([&](uint32_t first, uint32_t count, size_t pos) {
    for (uint32_t k = first < floor ? floor - first : 0; k < count; ++k)
      out->push_back(ChainSector{first + k, &c, pos + k});
  });
}

HRESULT SectorSpace::OwnSectorsFrom(uint32_t floor, std::vector<ChainSector>* out) {
  SectorsFrom(ministream_, floor, out);
  SectorsFrom(minifat_chain_, floor, out);
  return S_OK;
}

HRESULT SectorSpace::HolesBelow(uint32_t below, size_t max, std::vector<uint32_t>* out) {
  const uint64_t end = std::min<uint64_t>(below, static_cast<uint64_t>(fat_locs_.size()) * epp_);
  for (uint64_t s = alloc_hint_; s < end && out->size() < max; ++s) {
    const uint32_t u = static_cast<uint32_t>(s);
    RETURN_IF_FAILED(fat_.Load(u / epp_));
    if (fat_.at(u) == kFreeSect && !pending_free_.count(u)) out->push_back(u);
  }
  return S_OK;
}

void SectorSpace::FatPagesFrom(uint32_t floor, std::set<uint32_t>* pages) const {
  for (uint32_t p = 0; p < fat_locs_.size(); ++p)
    if (fat_locs_[p] != kFreeSect && fat_locs_[p] >= floor) pages->insert(p);
}

HRESULT SectorSpace::MarkFatPagesFrom(uint32_t floor) {
  for (uint32_t p = 0; p < fat_locs_.size(); ++p) {
    if (fat_locs_[p] == kFreeSect || fat_locs_[p] < floor) continue;
    uint32_t hole = kFreeSect;
    RETURN_IF_FAILED(FirstFree(fat_locs_[p], &hole));
    if (hole == kFreeSect) continue;
    RETURN_IF_FAILED(fat_.Load(p));
    fat_.Touch(p);
  }
  return S_OK;
}

void SectorSpace::FreeSector(uint32_t s) {
  if (Failed(fat_.Set(s, kFreeSect))) return;
  pager_->Drop(s);
  if (fresh_.erase(s)) {
    alloc_hint_ = std::min(alloc_hint_, s);
  } else {
    pending_free_.insert(s);  // the committed state still uses it
  }
  scrub_.insert(s);
}

HRESULT SectorSpace::SectorIo(Chain& c, uint64_t off, uint8_t* dst, const uint8_t* src,
                              uint64_t len) {
  const uint32_t ss = pager_->sector_size();
  while (len > 0) {
    size_t idx = static_cast<size_t>(off / ss);
    uint32_t within = static_cast<uint32_t>(off % ss);
    size_t n = static_cast<size_t>(std::min<uint64_t>(len, ss - within));
    if (dst != nullptr) {
      const uint8_t* page = nullptr;
      RETURN_IF_FAILED(ReadableSector(c, idx, &page));
      memcpy(dst, page + within, n);
      dst += n;
    } else {
      uint8_t* page = nullptr;
      RETURN_IF_FAILED(WritableSector(c, idx, &page));
      if (src != nullptr) {
        memcpy(page + within, src, n);
        src += n;
      } else {
        memset(page + within, 0, n);
      }
    }
    off += n;
    len -= n;
  }
  return S_OK;
}

HRESULT SectorSpace::MiniStreamIo(uint64_t off, uint8_t* dst, const uint8_t* src, size_t len) {
  return SectorIo(ministream_, off, dst, src, len);
}

HRESULT SectorSpace::AllocMini(uint32_t* out) {
  for (uint32_t m = mini_hint_;; ++m) {
    if (static_cast<uint64_t>(m) * kMiniSize >= kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
    // First fit from the hint, below which every mini sector is in use: the scan reads only
    // the mini FAT pages between it and the next hole.
    if (m >= minifat_.size()) minifat_.AddPage();
    uint32_t v = 0;
    RETURN_IF_FAILED(minifat_.Get(m, &v));
    if (v != kFreeSect) continue;
    RETURN_IF_FAILED(minifat_.Set(m, kEndOfChain));
    if (m >= mini_count_) {
      mini_count_ = m + 1;
      const uint32_t ss = pager_->sector_size();
      size_t need = static_cast<size_t>((mini_count_ * kMiniSize + ss - 1) / ss);
      RETURN_IF_FAILED(ChainComplete(ministream_));
      while (ministream_.known.size() < need) {
        uint32_t s = 0;
        RETURN_IF_FAILED(AllocAfter(ministream_, &s));
        RETURN_IF_FAILED(ChainAppend(ministream_, s));
      }
    }
    RETURN_IF_FAILED(
        MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize, nullptr, nullptr, kMiniSize));
    mini_scrub_.erase(m);
    mini_hint_ = m + 1;
    *out = m;
    return S_OK;
  }
}

HRESULT SectorSpace::FreeMini(uint32_t m) {
  // Zeroed in place once the commit stands (Settle): copying the mini stream's sector now would
  // make deleting many records rewrite the whole mini stream.
  RETURN_IF_FAILED(minifat_.Set(m, kFreeSect));
  mini_scrub_.insert(m);
  mini_hint_ = std::min(mini_hint_, m);
  return S_OK;
}

// ---- Chains
// --------------------------------------------------------------------------------------

HRESULT SectorSpace::ChainAt(Chain& c, size_t index, uint32_t* out) {
  const uint64_t limit = c.mini ? mini_count_ : sector_limit();
  if (c.known.empty() && !c.complete) {
    if (c.start == kEndOfChain) {
      c.complete = true;
    } else {
      if (c.start >= limit) return STG_E_DOCFILECORRUPT;
      c.known.push_back(c.start);  // the first sector is never a repeat
    }
  }
  while (c.known.size() <= index) {
    if (c.complete) return STG_E_DOCFILECORRUPT;  // shorter than its size says
    uint32_t last = c.known.back();
    if (!c.mini) {
      // Measure a contiguous stretch in a tight loop, as far as the FAT is loaded, and add it
      // in one go.
      uint64_t want = index + 1 - c.known.size();
      uint32_t s = last, n = 0;
      for (;;) {
        uint32_t page = s / epp_;
        if (!fat_.loaded(page)) break;
        uint64_t bound = std::min<uint64_t>(
            {(page + 1) * uint64_t{epp_}, s + (want - n), limit > 0 ? limit - 1 : 0});
        uint32_t from = s;
        const uint32_t* f = fat_.data();
        while (s + 16 <= bound) {  // sixteen at a time, in vector registers
          V4 a, b, c, d;
          memcpy(&a, f + s, 16);
          memcpy(&b, f + s + 4, 16);
          memcpy(&c, f + s + 8, 16);
          memcpy(&d, f + s + 12, 16);
          V4 diff = (a ^ (kStep + s)) | (b ^ (kStep + (s + 4))) | (c ^ (kStep + (s + 8))) |
                    (d ^ (kStep + (s + 12)));
          uint64_t halves[2];
          memcpy(halves, &diff, 16);
          if ((halves[0] | halves[1]) != 0) break;
          s += 16;
        }
        while (s < bound && f[s] == s + 1) ++s;
        n += s - from;
        if (s < (page + 1) * uint64_t{epp_} || n >= want) break;
      }
      if (!c.known.append_range(last + 1, n)) return STG_E_DOCFILECORRUPT;
      if (c.known.size() > index) break;
      last = s;
    }
    uint32_t next = 0;
    RETURN_IF_FAILED(TableOf(c).Get(last, &next));
    if (next == kEndOfChain) {
      c.complete = true;
      continue;
    }
    if (next >= limit || !c.known.push_back(next)) return STG_E_DOCFILECORRUPT;
  }
  *out = c.known[index];
  return S_OK;
}

HRESULT SectorSpace::ChainComplete(Chain& c) {
  uint32_t s = 0;
  while (!c.complete) {
    HRESULT hr = ChainAt(c, c.known.size(), &s);
    if (Failed(hr) && !c.complete) return hr;
  }
  return S_OK;
}

HRESULT SectorSpace::ChainAppend(Chain& c, uint32_t s) {
  RETURN_IF_FAILED(ChainComplete(c));
  AllocTable& table = TableOf(c);
  if (c.known.empty()) {
    c.start = s;
  } else {
    RETURN_IF_FAILED(table.Set(c.known.back(), s));
  }
  RETURN_IF_FAILED(table.Set(s, kEndOfChain));
  if (!c.known.push_back(s)) return STG_E_DOCFILECORRUPT;
  return S_OK;
}

HRESULT SectorSpace::ChainReplace(Chain& c, size_t index, uint32_t s) {
  uint32_t old = c.known[index];
  uint32_t next = 0;
  RETURN_IF_FAILED(fat_.Get(old, &next));
  RETURN_IF_FAILED(fat_.Set(s, next));
  if (index == 0) {
    c.start = s;
  } else {
    RETURN_IF_FAILED(fat_.Set(c.known[index - 1], s));
  }
  c.known.set(index, s);
  FreeSector(old);
  return S_OK;
}

HRESULT SectorSpace::ChainTruncate(Chain& c, size_t length) {
  RETURN_IF_FAILED(ChainComplete(c));
  if (c.known.size() <= length) return S_OK;
  for (size_t i = length; i < c.known.size(); ++i) {
    if (c.mini) {
      RETURN_IF_FAILED(FreeMini(c.known[i]));
    } else {
      FreeSector(c.known[i]);
    }
  }
  c.known.resize(length);
  if (length == 0) {
    c.start = kEndOfChain;
  } else {
    RETURN_IF_FAILED(TableOf(c).Set(c.known.back(), kEndOfChain));
  }
  return S_OK;
}

HRESULT SectorSpace::ReadableSector(Chain& c, size_t index, const uint8_t** page) {
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(c, index, &s));
  uint8_t* p = nullptr;
  RETURN_IF_FAILED(pager_->Page(s, &p));
  *page = p;
  return S_OK;
}

HRESULT SectorSpace::WritableSector(Chain& c, size_t index, uint8_t** page) {
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(c, index, &s));
  if (!Fresh(s)) {
    uint8_t* src = nullptr;
    RETURN_IF_FAILED(pager_->Page(s, &src));
    std::vector<uint8_t> copy(src, src + pager_->sector_size());
    uint32_t t = 0;
    RETURN_IF_FAILED(Alloc(&t));
    if (t == s) return STG_E_DOCFILECORRUPT;  // the FAT calls a sector of this chain free
    pager_->Put(t, std::move(copy));
    RETURN_IF_FAILED(ChainReplace(c, index, t));
    s = t;
  }
  // A fresh sector always has its page; one without is shared with another structure through a
  // damaged FAT.
  return pager_->Writable(s, page);
}

HRESULT SectorSpace::ReadChain(Chain& c, uint64_t pos, uint8_t* data, uint64_t len) {
  const uint32_t ss = pager_->sector_size();
  while (len > 0) {
    if (c.mini) {
      uint32_t m = 0;
      RETURN_IF_FAILED(ChainAt(c, static_cast<size_t>(pos / kMiniSize), &m));
      uint32_t within = static_cast<uint32_t>(pos % kMiniSize);
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, kMiniSize - within));
      RETURN_IF_FAILED(
          MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + within, data, nullptr, n));
      pos += n;
      data += n;
      len -= n;
      continue;
    }
    size_t idx = static_cast<size_t>(pos / ss);
    uint32_t within = static_cast<uint32_t>(pos % ss);
    uint32_t s = 0;
    RETURN_IF_FAILED(ChainAt(c, idx, &s));
    if (const uint8_t* cached = pager_->Cached(s); cached != nullptr) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, ss - within));
      memcpy(data, cached + within, n);
      pos += n;
      data += n;
      len -= n;
      continue;
    }
    // One read for a run of consecutive sectors.
    uint64_t run = ss - within;
    while (run < len) {
      uint32_t t = 0;
      if (Failed(ChainAt(c, idx + 1, &t)) || t != s + 1 || pager_->Cached(t) != nullptr) break;
      ++idx;
      ++s;
      run += ss;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(run, len));
    size_t got = 0;
    uint32_t first = 0;
    RETURN_IF_FAILED(ChainAt(c, static_cast<size_t>(pos / ss), &first));
    RETURN_IF_FAILED(pager_->ReadThrough(first, within, data, n, &got));
    if (got != n) return STG_E_DOCFILECORRUPT;
    pos += n;
    data += n;
    len -= n;
  }
  return S_OK;
}

HRESULT SectorSpace::WriteChain(Chain& c, uint64_t size, uint64_t pos, const uint8_t* data,
                                uint64_t len) {
  RETURN_IF_FAILED(ChainComplete(c));
  if (c.mini) {
    size_t need = static_cast<size_t>((size + kMiniSize - 1) / kMiniSize);
    while (c.known.size() < need) {
      uint32_t m = 0;
      RETURN_IF_FAILED(AllocMini(&m));
      RETURN_IF_FAILED(ChainAppend(c, m));
    }
    while (len > 0) {
      uint32_t m = c.known[static_cast<size_t>(pos / kMiniSize)];
      uint32_t within = static_cast<uint32_t>(pos % kMiniSize);
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, kMiniSize - within));
      RETURN_IF_FAILED(
          MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + within, nullptr, data, n));
      if (data != nullptr) data += n;
      pos += n;
      len -= n;
    }
    return S_OK;
  }
  const uint32_t ss = pager_->sector_size();
  size_t need = static_cast<size_t>((size + ss - 1) / ss);
  while (c.known.size() < need) {
    uint32_t s = 0;
    RETURN_IF_FAILED(AllocAfter(c, &s));
    RETURN_IF_FAILED(ChainAppend(c, s));
  }
  return SectorIo(c, pos, nullptr, data, len);
}

HRESULT SectorSpace::ZeroTail(Chain& c, uint64_t from) {
  if (c.mini) {
    uint32_t tail = static_cast<uint32_t>(from % kMiniSize);
    if (tail == 0) return S_OK;
    uint32_t m = c.known.back();
    return MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + tail, nullptr, nullptr,
                        kMiniSize - tail);
  }
  const uint32_t ss = pager_->sector_size();
  uint32_t tail = static_cast<uint32_t>(from % ss);
  if (tail == 0) return S_OK;
  uint8_t* page = nullptr;
  RETURN_IF_FAILED(WritableSector(c, static_cast<size_t>(from / ss), &page));
  memset(page + tail, 0, ss - tail);
  return S_OK;
}

// ---- Commit
// --------------------------------------------------------------------------------------

HRESULT SectorSpace::FlushMiniFat() {
  RETURN_IF_FAILED(ChainComplete(minifat_chain_));
  for (uint32_t p = 0; p < minifat_.pages(); ++p) {
    if (!minifat_.dirty(p)) continue;
    uint8_t* page = nullptr;
    if (p < minifat_chain_.known.size()) {
      RETURN_IF_FAILED(WritableSector(minifat_chain_, p, &page));
    } else {
      uint32_t s = 0;
      RETURN_IF_FAILED(AllocAfter(minifat_chain_, &s));
      RETURN_IF_FAILED(ChainAppend(minifat_chain_, s));
      page = pager_->Cached(s);
    }
    minifat_.Encode(p, page);
    minifat_.Clean(p);
  }
  return S_OK;
}

HRESULT SectorSpace::RelocateFat() {
  // FAT pages past the last sector in use go (their own sectors are listed lower down).
  while (fat_locs_.size() > 1) {
    const uint32_t p = static_cast<uint32_t>(fat_locs_.size() - 1);
    RETURN_IF_FAILED(fat_.Load(p));
    if (!fat_.PageFree(p)) break;
    const uint32_t loc = fat_locs_[p];
    fat_locs_.pop_back();
    fat_moved_.pop_back();
    fat_.RemoveLastPage();
    if (loc != kFreeSect && loc < fat_.size()) FreeSector(loc);
  }
  for (;;) {
    bool again = false;
    for (uint32_t p = 0; p < fat_locs_.size(); ++p) {
      if (!fat_.dirty(p) || fat_moved_[p]) continue;
      uint32_t s = 0;
      RETURN_IF_FAILED(Alloc(&s));
      pager_->Drop(s);
      uint32_t old = fat_locs_[p];
      fat_locs_[p] = s;
      fat_moved_[p] = 1;
      RETURN_IF_FAILED(fat_.Set(s, kFatSect));
      if (old != kFreeSect) FreeSector(old);
      again = true;
    }
    size_t n = fat_locs_.size();
    size_t needed = n > kHeaderFatSlots ? (n - kHeaderFatSlots + epp_ - 2) / (epp_ - 1) : 0;
    if (needed != difat_locs_.size() || (needed > 0 && !difat_moved_)) {
      for (uint32_t d : difat_locs_) FreeSector(d);
      difat_locs_.clear();
      for (size_t i = 0; i < needed; ++i) {
        uint32_t s = 0;
        RETURN_IF_FAILED(Alloc(&s));
        pager_->Drop(s);
        RETURN_IF_FAILED(fat_.Set(s, kDifSect));
        difat_locs_.push_back(s);
      }
      difat_moved_ = true;
      again = true;
    }
    if (!again) return S_OK;
  }
}

void SectorSpace::TableSectors(std::map<uint32_t, const uint8_t*>* out,
                               std::vector<std::vector<uint8_t>>* keep) const {
  const uint32_t ss = pager_->sector_size();
  keep->reserve(fat_locs_.size() + difat_locs_.size());
  for (uint32_t p = 0; p < fat_locs_.size(); ++p) {
    if (!fat_moved_[p]) continue;
    std::vector<uint8_t> page(ss);
    fat_.Encode(p, page.data());
    keep->push_back(std::move(page));
    (*out)[fat_locs_[p]] = keep->back().data();
  }
  for (size_t d = 0; d < difat_locs_.size(); ++d) {
    std::vector<uint8_t> page(ss);
    for (uint32_t i = 0; i + 1 < epp_; ++i) {
      size_t k = kHeaderFatSlots + d * (epp_ - 1) + i;
      Put32(&page[4 * i], k < fat_locs_.size() ? fat_locs_[k] : kFreeSect);
    }
    Put32(&page[ss - 4], d + 1 < difat_locs_.size() ? difat_locs_[d + 1] : kEndOfChain);
    keep->push_back(std::move(page));
    (*out)[difat_locs_[d]] = keep->back().data();
  }
}

void SectorSpace::FillHeader(Header* h) const {
  h->fat_sectors = static_cast<uint32_t>(fat_locs_.size());
  h->minifat_start = minifat_chain_.known.empty() ? kEndOfChain : minifat_chain_.start;
  h->minifat_sectors = static_cast<uint32_t>(minifat_chain_.known.size());
  h->difat_start = difat_locs_.empty() ? kEndOfChain : difat_locs_[0];
  h->difat_sectors = static_cast<uint32_t>(difat_locs_.size());
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i)
    h->fat[i] = i < fat_locs_.size() ? fat_locs_[i] : kFreeSect;
}

HRESULT SectorSpace::Settle() {
  // The highest sector still in use decides the file's new length.
  int64_t hi = -1;
  for (int64_t s = static_cast<int64_t>(fat_.size()) - 1; s >= 0; --s) {
    uint32_t v = 0;
    RETURN_IF_FAILED(fat_.Get(static_cast<uint32_t>(s), &v));
    if (v != kFreeSect) {
      hi = s;
      break;
    }
  }
  std::set<uint32_t> freed;
  for (uint32_t s : scrub_) {
    if (static_cast<int64_t>(s) > hi) break;
    if (fat_.at(s) == kFreeSect) freed.insert(s);
  }
  // Freed mini sectors are zeroed where they lie: the bytes around them belong to other streams
  // and are not written.
  std::vector<uint64_t> minis;
  const uint32_t ss = pager_->sector_size();
  for (uint32_t m : mini_scrub_) {
    if (m >= mini_count_ || minifat_.at(m) != kFreeSect) continue;
    uint32_t s = 0;
    if (Failed(ChainAt(ministream_, static_cast<size_t>(m) * kMiniSize / ss, &s))) continue;
    minis.push_back(pager_->SectorOffset(s) + static_cast<uint64_t>(m) * kMiniSize % ss);
  }
  HRESULT hr = pager_->Settle(freed, minis, static_cast<uint32_t>(hi + 1));
  top_ = pager_->sector_limit();
  return hr;
}

void SectorSpace::EndCommit() {
  fresh_.clear();
  scrub_.clear();
  fat_.CleanAll();
  std::fill(fat_moved_.begin(), fat_moved_.end(), 0);
  difat_moved_ = false;
  // What the commit freed is free from now on.
  for (uint32_t s : pending_free_) alloc_hint_ = std::min(alloc_hint_, s);
  // Past the cut end, first fit would leave a gap.
  alloc_hint_ = std::min(alloc_hint_, pager_->sector_limit());
  pending_free_.clear();
  mini_scrub_.clear();
}

}  // namespace qb::storage::detail
