#include "platform/storage/volume.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

namespace qb::storage::detail {
namespace {

// Four FAT entries side by side, for checking contiguous stretches quickly.
typedef uint32_t V4 __attribute__((vector_size(16)));
constexpr V4 kStep = {1, 2, 3, 4};

constexpr char kJournalMagic[8] = {'Q', 'B', 'C', 'F', 'B', 'J', '1', 0};
// Sectors of a commit whose content its journal records, to recognise the file it belongs to.
constexpr uint32_t kJournalChecks = 16;
constexpr uint64_t kMaxJournalBytes = 24 + 2 * 4096 + 12 * kJournalChecks;

uint64_t Fnv64(const uint8_t* p, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

// Whether `j`, the content of the file under a book's journal name, is a journal or what a crash
// left of one (a prefix of the magic, or zeros where the data had not landed). Anything else is a
// file of another kind, never to be removed or overwritten.
bool JournalLike(const std::vector<uint8_t>& j) {
  if (j.size() > kMaxJournalBytes) return false;
  if (j.empty()) return true;
  if (memcmp(j.data(), kJournalMagic, std::min<size_t>(j.size(), 8)) == 0) return true;
  return std::all_of(j.begin(), j.end(), [](uint8_t b) { return b == 0; });
}

#define RETURN_IF_FAILED(expr)   \
  do {                           \
    HRESULT hr_ = (expr);        \
    if (Failed(hr_)) return hr_; \
  } while (0)

}  // namespace

Volume::~Volume() = default;

// ---- Opening and creating
// ------------------------------------------------------------------------

HRESULT Volume::Open(FileSystem* fs, const std::string& path, bool writable, LockKind lock,
                     std::shared_ptr<Volume>* out) {
  std::shared_ptr<Volume> v(new Volume);
  v->fs_ = fs;
  v->path_ = path;
  v->writable_ = writable;
  RETURN_IF_FAILED(
      fs->Open(path, writable ? OpenKind::kReadWrite : OpenKind::kReadOnly, lock, &v->file_));
  HRESULT hr = v->LoadHeader();
  if (Failed(hr)) return hr;
  // A crash while the file grew may leave a part of a sector at its end; other readers want whole
  // sectors, and nothing committed lives there.
  // Sectors past the FAT's reach, left by a commit that a crash cut short, belong to nothing.
  uint64_t covered = (static_cast<uint64_t>(v->fat_.size()) + 1) * v->ss_;
  if (writable && !v->fat_.empty() && v->file_size_ > covered &&
      Succeeded(v->file_->SetSize(covered)) && Succeeded(v->file_->Sync())) {
    v->file_size_ = covered;
    v->sector_limit_ = v->top_ = static_cast<uint32_t>(v->fat_.size());
  }
  if (writable && v->file_size_ % v->ss_ != 0) {
    uint64_t whole = (v->file_size_ + v->ss_ - 1) / v->ss_ * v->ss_;
    if (Succeeded(v->file_->SetSize(whole)) && Succeeded(v->file_->Sync())) v->file_size_ = whole;
  }
  *out = std::move(v);
  return S_OK;
}

HRESULT Volume::Create(FileSystem* fs, const std::string& path, bool replace,
                       std::shared_ptr<Volume>* out) {
  // An existing file must not be in use, and without `replace` must not exist at all.
  std::unique_ptr<File> existing;
  if (fs->Exists(path) == S_OK) {
    if (!replace) return STG_E_FILEALREADYEXISTS;
    RETURN_IF_FAILED(fs->Open(path, OpenKind::kReadOnly, LockKind::kExclusive, &existing));
  }
  // The new file is made complete beside its place, then renamed there.
  const std::string temp = path + ".qbnew";
  std::shared_ptr<Volume> v(new Volume);
  v->fs_ = fs;
  v->path_ = temp;
  v->writable_ = true;
  RETURN_IF_FAILED(fs->Open(temp, OpenKind::kCreateAlways, LockKind::kExclusive, &v->file_));
  fs->Remove(temp + "-journal");  // left by a creation that a crash cut short
  v->InitEmpty();
  uint32_t root = 0;
  HRESULT hr = v->NewEntry(&root);
  if (Succeeded(hr)) {
    DirEntry& e = v->entries_[root];
    e = DirEntry{};
    e.name = u"Root Entry";
    e.type = kTypeRoot;
    e.ctime = e.mtime = fs->Now();
    v->MarkEntryDirty(root);
    hr = v->Commit();
  }
  if (Succeeded(hr)) hr = fs->Rename(temp, path, replace);
  if (Succeeded(hr)) hr = fs->SyncDirectory(path);
  if (Failed(hr)) {
    v->file_.reset();
    fs->Remove(temp);
    return hr;
  }
  v->path_ = path;
  *out = std::move(v);
  return S_OK;
}

void Volume::InitEmpty() {
  ss_ = 512;
  epp_ = 128;
  major_ = 3;
  dir_chain_.complete = true;
  minifat_chain_.complete = true;
  ministream_.complete = true;
  file_size_ = 0;
  sector_limit_ = 0;
}

HRESULT Volume::RecoverJournal(std::vector<uint8_t>* head) {
  const std::string jpath = path_ + "-journal";
  if (fs_->Exists(jpath) != S_OK) return S_OK;
  std::unique_ptr<File> jf;
  if (Failed(fs_->Open(jpath, OpenKind::kReadOnly, LockKind::kNone, &jf))) return S_OK;
  uint64_t jsize = 0;
  bool apply = false;
  bool journal = false;  // a file of another kind under that name is left alone
  std::vector<uint8_t> j;
  if (Succeeded(jf->GetSize(&jsize)) && jsize <= kMaxJournalBytes) {
    j.resize(jsize);
    size_t got = 0;
    journal =
        Succeeded(jf->ReadAt(0, j.data(), j.size(), &got)) && got == j.size() && JournalLike(j);
    if (journal && jsize >= 24 && memcmp(j.data(), kJournalMagic, 8) == 0 &&
        Get64(&j[jsize - 8]) == Fnv64(j.data(), jsize - 8)) {
      uint32_t hs = Get32(&j[8]);
      uint32_t checks = Get32(&j[12]);
      if ((hs == 512 || hs == 4096) && checks <= kJournalChecks &&
          24 + 2 * static_cast<uint64_t>(hs) + 12 * static_cast<uint64_t>(checks) == jsize) {
        const uint8_t* old_h = &j[16];
        const uint8_t* new_h = &j[16 + hs];
        std::vector<uint8_t> cur(hs, 0);
        size_t n = 0;
        file_->ReadAt(0, cur.data(), hs, &n);
        // The header on disk is the old one, the new one, or a torn mix of both: finish the
        // switch. Anything else means the journal belongs to another file.
        bool ours = true;
        for (uint32_t i = 0; i < hs && ours; ++i) ours = cur[i] == old_h[i] || cur[i] == new_h[i];
        // A file put in this one's place (a backup, a new book) can have the very same header;
        // the sectors that the commit wrote before its journal must hold what it wrote.
        apply = ours && memcmp(cur.data(), new_h, hs) != 0;
        std::vector<uint8_t> sector(hs);
        for (uint32_t c = 0; c < checks && apply; ++c) {
          const uint8_t* rec = &j[16 + 2 * static_cast<size_t>(hs) + 12 * static_cast<size_t>(c)];
          size_t read = 0;
          apply = Succeeded(file_->ReadAt((static_cast<uint64_t>(Get32(rec)) + 1) * hs,
                                          sector.data(), hs, &read)) &&
                  read == hs && Fnv64(sector.data(), hs) == Get64(rec + 4);
        }
        if (apply) head->assign(new_h, new_h + hs);
      }
    }
  }
  jf.reset();
  if (writable_ && journal) {
    if (apply) {
      RETURN_IF_FAILED(file_->WriteAt(0, head->data(), head->size()));
      RETURN_IF_FAILED(file_->Sync());
    }
    fs_->Remove(jpath);
    fs_->SyncDirectory(jpath);
  }
  return S_OK;
}

HRESULT Volume::LoadHeader() {
  RETURN_IF_FAILED(file_->GetSize(&file_size_));
  std::vector<uint8_t> h(std::min<uint64_t>(file_size_, 4096), 0);
  size_t got = 0;
  RETURN_IF_FAILED(file_->ReadAt(0, h.data(), h.size(), &got));
  h.resize(got);
  RETURN_IF_FAILED(RecoverJournal(&h));
  if (h.size() < 512 || memcmp(h.data(), kSignature, 8) != 0) return STG_E_INVALIDHEADER;
  major_ = Get16(&h[0x1A]);
  uint16_t shift = Get16(&h[0x1E]);
  if (Get16(&h[0x1C]) != 0xFFFE || Get16(&h[0x20]) != 6 || Get32(&h[0x38]) != kMiniCutoff)
    return STG_E_INVALIDHEADER;
  if (!((major_ == 3 && shift == 9) || (major_ == 4 && shift == 12))) return STG_E_INVALIDHEADER;
  ss_ = 1u << shift;
  epp_ = ss_ / 4;
  if (h.size() < ss_) return STG_E_INVALIDHEADER;
  h.resize(ss_);
  committed_header_ = h;
  if (file_size_ > kMaxFileBytes + ss_) return STG_E_DOCFILETOOLARGE;
  sector_limit_ = static_cast<uint32_t>((file_size_ - ss_ + ss_ - 1) / ss_);
  top_ = sector_limit_;

  uint32_t num_fat = Get32(&h[0x2C]);
  uint32_t difat_start = Get32(&h[0x44]);
  uint32_t num_difat = Get32(&h[0x48]);
  if (num_fat > sector_limit_ || num_difat > sector_limit_) return STG_E_DOCFILECORRUPT;
  fat_locs_.clear();
  for (uint32_t i = 0; i < kHeaderFatSlots && fat_locs_.size() < num_fat; ++i)
    fat_locs_.push_back(Get32(&h[0x4C + 4 * i]));
  uint32_t d = difat_start;
  std::vector<uint8_t> buf(ss_);
  while (fat_locs_.size() < num_fat) {
    if (d >= sector_limit_ || difat_locs_.size() >= num_difat) return STG_E_DOCFILECORRUPT;
    for (uint32_t seen : difat_locs_)
      if (seen == d) return STG_E_DOCFILECORRUPT;
    difat_locs_.push_back(d);
    RETURN_IF_FAILED(file_->ReadAt(SectorOffset(d), buf.data(), ss_, &got));
    if (got != ss_) return STG_E_DOCFILECORRUPT;
    for (uint32_t i = 0; i + 1 < epp_ && fat_locs_.size() < num_fat; ++i)
      fat_locs_.push_back(Get32(&buf[4 * i]));
    d = Get32(&buf[ss_ - 4]);
  }
  for (uint32_t loc : fat_locs_)
    if (loc >= sector_limit_) return STG_E_DOCFILECORRUPT;
  fat_.resize(static_cast<size_t>(num_fat) * epp_);  // filled as pages load
  fat_loaded_.assign(num_fat, 0);
  fat_dirty_.assign(num_fat, 0);
  fat_moved_.assign(num_fat, 0);

  dir_chain_ = Chain{};
  dir_chain_.start = Get32(&h[0x30]);
  minifat_chain_ = Chain{};
  minifat_chain_.start = Get32(&h[0x3C]);
  uint32_t num_minifat = Get32(&h[0x40]);
  if (minifat_chain_.start == kEndOfChain) num_minifat = 0;
  if (num_minifat > sector_limit_) return STG_E_DOCFILECORRUPT;
  minifat_.resize(static_cast<size_t>(num_minifat) * epp_);  // filled as pages load
  minifat_loaded_.assign(num_minifat, 0);
  minifat_dirty_.assign(num_minifat, 0);

  DirEntry* root = nullptr;
  RETURN_IF_FAILED(GetEntry(0, &root));
  if (root->type != kTypeRoot) return STG_E_DOCFILECORRUPT;
  if (root->size > static_cast<uint64_t>(sector_limit_) * ss_) return STG_E_DOCFILECORRUPT;
  ministream_ = Chain{};
  ministream_.start = root->size == 0 ? kEndOfChain : root->start;
  mini_count_ = std::min<uint64_t>((root->size + kMiniSize - 1) / kMiniSize, minifat_.size());
  return S_OK;
}

HRESULT Volume::BreakOnFailure(HRESULT hr) {
  // A change that stopped half-way (disk full, a damaged chain met on the way) leaves the
  // session's tables and the stream out of step; nothing of it may reach the file.
  if (Failed(hr) && broken_ == S_OK) broken_ = hr;
  return hr;
}

HRESULT Volume::EnsureWritable() const {
  if (!writable_) return STG_E_ACCESSDENIED;
  if (file_ == nullptr) return STG_E_REVERTED;
  return broken_;
}

// ---- Sectors and allocation tables
// ---------------------------------------------------------------

HRESULT Volume::Page(uint32_t s, uint8_t** out) {
  auto it = pages_.find(s);
  if (it == pages_.end()) {
    if (s >= sector_limit_) return STG_E_DOCFILECORRUPT;
    std::vector<uint8_t> page(ss_, 0);
    size_t got = 0;
    RETURN_IF_FAILED(file_->ReadAt(SectorOffset(s), page.data(), ss_, &got));
    if (got == 0) return STG_E_DOCFILECORRUPT;
    it = pages_.emplace(s, std::move(page)).first;
  }
  *out = it->second.data();
  return S_OK;
}

HRESULT Volume::LoadFatPage(uint32_t p) {
  if (p >= fat_locs_.size()) return STG_E_DOCFILECORRUPT;
  if (fat_loaded_[p]) return S_OK;
  // Read a run of consecutive FAT sectors at once: FATs are usually contiguous.
  uint32_t n = 1;
  while (p + n < fat_locs_.size() && n < 256 && !fat_loaded_[p + n] &&
         fat_locs_[p + n] == fat_locs_[p] + n)
    ++n;
  size_t got = 0;
  uint32_t* dst = &fat_[static_cast<size_t>(p) * epp_];
  RETURN_IF_FAILED(
      file_->ReadAt(SectorOffset(fat_locs_[p]), dst, static_cast<size_t>(n) * ss_, &got));
  if (got < ss_) return STG_E_DOCFILECORRUPT;
  n = static_cast<uint32_t>(got / ss_);
  if constexpr (std::endian::native != std::endian::little) {
    for (size_t i = 0; i < static_cast<size_t>(n) * epp_; ++i)
      dst[i] = Get32(reinterpret_cast<const uint8_t*>(&dst[i]));
  }
  for (uint32_t k = 0; k < n; ++k) fat_loaded_[p + k] = 1;
  return S_OK;
}

HRESULT Volume::FatEntry(uint32_t s, uint32_t* next) {
  RETURN_IF_FAILED(LoadFatPage(s / epp_));
  *next = fat_[s];
  return S_OK;
}

HRESULT Volume::SetFat(uint32_t s, uint32_t value) {
  RETURN_IF_FAILED(LoadFatPage(s / epp_));
  fat_[s] = value;
  fat_dirty_[s / epp_] = 1;
  return S_OK;
}

HRESULT Volume::LoadMiniFatPage(uint32_t p) {
  if (p >= minifat_loaded_.size()) return STG_E_DOCFILECORRUPT;
  if (minifat_loaded_[p]) return S_OK;
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(minifat_chain_, p, &s));
  uint8_t* page = nullptr;
  RETURN_IF_FAILED(Page(s, &page));
  for (uint32_t i = 0; i < epp_; ++i)
    minifat_[static_cast<size_t>(p) * epp_ + i] = Get32(&page[4 * i]);
  minifat_loaded_[p] = 1;
  return S_OK;
}

HRESULT Volume::MiniFatEntry(uint32_t m, uint32_t* next) {
  RETURN_IF_FAILED(LoadMiniFatPage(m / epp_));
  *next = minifat_[m];
  return S_OK;
}

HRESULT Volume::SetMiniFat(uint32_t m, uint32_t value) {
  RETURN_IF_FAILED(LoadMiniFatPage(m / epp_));
  minifat_[m] = value;
  minifat_dirty_[m / epp_] = 1;
  return S_OK;
}

HRESULT Volume::Alloc(uint32_t* out) {
  return AllocFrom(alloc_hint_, true, out);
}

HRESULT Volume::AllocAfter(const Chain& c, uint32_t* out) {
  if (c.known.empty()) return Alloc(out);
  uint32_t prev = c.known.back();
  // The room left for the chain that was in the way grows with this chain's length (a quarter
  // of it), so small files stay small and long chains form long runs.
  const uint32_t kGap = static_cast<uint32_t>(std::clamp<size_t>(c.known.size() / 4, 4, 256));
  uint32_t s = prev + 1;
  uint32_t p = s / epp_;
  bool free_next = p >= fat_locs_.size();
  if (!free_next) {
    RETURN_IF_FAILED(LoadFatPage(p));
    free_next = fat_[s] == kFreeSect && !pending_free_.count(s);
  }
  if (free_next) return AllocFrom(s, false, out);
  return AllocFrom(std::max(top_ + kGap, alloc_hint_), false, out);
}

HRESULT Volume::AllocFrom(uint32_t from, bool first_fit, uint32_t* out) {
  for (uint32_t s = from;; ++s) {
    if ((static_cast<uint64_t>(s) + 2) * ss_ > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
    uint32_t p = s / epp_;
    while (p >= fat_locs_.size()) {  // a new FAT page; its own sector is found at commit
      fat_locs_.push_back(kFreeSect);
      fat_.resize(fat_.size() + epp_, kFreeSect);
      fat_loaded_.push_back(1);
      fat_dirty_.push_back(1);
      fat_moved_.push_back(0);
    }
    RETURN_IF_FAILED(LoadFatPage(p));
    if (fat_[s] != kFreeSect || pending_free_.count(s)) continue;
    fat_[s] = kEndOfChain;
    fat_dirty_[p] = 1;
    fresh_.insert(s);
    pages_[s].assign(ss_, 0);
    dirty_pages_.insert(s);
    sector_limit_ = std::max(sector_limit_, s + 1);
    top_ = std::max(top_, s + 1);
    if (first_fit) alloc_hint_ = s + 1;
    *out = s;
    return S_OK;
  }
}

void Volume::FreeSector(uint32_t s) {
  if (Failed(SetFat(s, kFreeSect))) return;
  pages_.erase(s);
  dirty_pages_.erase(s);
  if (fresh_.erase(s)) {
    alloc_hint_ = std::min(alloc_hint_, s);
  } else {
    pending_free_.insert(s);  // the committed state still uses it
  }
  scrub_.insert(s);
}

HRESULT Volume::MiniStreamIo(uint64_t off, uint8_t* dst, const uint8_t* src, size_t len) {
  while (len > 0) {
    size_t idx = static_cast<size_t>(off / ss_);
    uint32_t within = static_cast<uint32_t>(off % ss_);
    size_t n = std::min<size_t>(len, ss_ - within);
    uint8_t* page = nullptr;
    if (dst != nullptr) {
      uint32_t s = 0;
      RETURN_IF_FAILED(ChainAt(ministream_, idx, &s));
      RETURN_IF_FAILED(Page(s, &page));
      memcpy(dst, page + within, n);
      dst += n;
    } else {
      RETURN_IF_FAILED(WritableSector(ministream_, idx, &page));
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

HRESULT Volume::AllocMini(uint32_t* out) {
  for (uint32_t m = mini_hint_;; ++m) {
    if (static_cast<uint64_t>(m) * kMiniSize >= kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
    // Free mini sectors are looked for only in mini FAT pages already read (the ones this
    // session touched); past them the mini stream grows at its end. Reading the whole mini FAT
    // for every new record would make its cost grow with the book; holes left elsewhere are
    // reclaimed by compaction (CopyTo).
    if (m < mini_count_ && m / epp_ < minifat_loaded_.size() && !minifat_loaded_[m / epp_]) {
      uint64_t next = std::min<uint64_t>((static_cast<uint64_t>(m / epp_) + 1) * epp_, mini_count_);
      m = static_cast<uint32_t>(next) - 1;  // the loop steps to `next`
      continue;
    }
    if (m >= minifat_.size()) {
      minifat_.resize(minifat_.size() + epp_, kFreeSect);
      minifat_loaded_.push_back(1);
      minifat_dirty_.push_back(1);
    }
    uint32_t v = 0;
    RETURN_IF_FAILED(MiniFatEntry(m, &v));
    if (v != kFreeSect) continue;
    RETURN_IF_FAILED(SetMiniFat(m, kEndOfChain));
    if (m >= mini_count_) {
      mini_count_ = m + 1;
      size_t need = static_cast<size_t>((mini_count_ * kMiniSize + ss_ - 1) / ss_);
      RETURN_IF_FAILED(ChainComplete(ministream_));
      while (ministream_.known.size() < need) {
        uint32_t s = 0;
        RETURN_IF_FAILED(AllocAfter(ministream_, &s));
        RETURN_IF_FAILED(ChainAppend(ministream_, s));
      }
    }
    RETURN_IF_FAILED(
        MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize, nullptr, nullptr, kMiniSize));
    mini_hint_ = m + 1;
    *out = m;
    return S_OK;
  }
}

HRESULT Volume::FreeMini(uint32_t m) {
  // Zeroed at once: the mini stream sector holding it is rewritten anyway.
  RETURN_IF_FAILED(MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize, nullptr, nullptr, kMiniSize));
  RETURN_IF_FAILED(SetMiniFat(m, kFreeSect));
  mini_hint_ = std::min(mini_hint_, m);
  return S_OK;
}

// ---- Chains
// --------------------------------------------------------------------------------------

HRESULT Volume::ChainAt(Chain& c, size_t index, uint32_t* out) {
  const uint64_t limit = c.mini ? mini_count_ : sector_limit_;
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
        if (page >= fat_loaded_.size() || !fat_loaded_[page]) break;
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
    RETURN_IF_FAILED(c.mini ? MiniFatEntry(last, &next) : FatEntry(last, &next));
    if (next == kEndOfChain) {
      c.complete = true;
      continue;
    }
    if (next >= limit || !c.known.push_back(next)) return STG_E_DOCFILECORRUPT;
  }
  *out = c.known[index];
  return S_OK;
}

HRESULT Volume::ChainComplete(Chain& c) {
  uint32_t s = 0;
  while (!c.complete) {
    HRESULT hr = ChainAt(c, c.known.size(), &s);
    if (Failed(hr) && !c.complete) return hr;
  }
  return S_OK;
}

HRESULT Volume::ChainAppend(Chain& c, uint32_t s) {
  RETURN_IF_FAILED(ChainComplete(c));
  if (c.known.empty()) {
    c.start = s;
  } else {
    RETURN_IF_FAILED(c.mini ? SetMiniFat(c.known.back(), s) : SetFat(c.known.back(), s));
  }
  RETURN_IF_FAILED(c.mini ? SetMiniFat(s, kEndOfChain) : SetFat(s, kEndOfChain));
  if (!c.known.push_back(s)) return STG_E_DOCFILECORRUPT;
  return S_OK;
}

HRESULT Volume::ChainReplace(Chain& c, size_t index, uint32_t s) {
  uint32_t old = c.known[index];
  uint32_t next = 0;
  RETURN_IF_FAILED(FatEntry(old, &next));
  RETURN_IF_FAILED(SetFat(s, next));
  if (index == 0) {
    c.start = s;
  } else {
    RETURN_IF_FAILED(SetFat(c.known[index - 1], s));
  }
  c.known.set(index, s);
  FreeSector(old);
  return S_OK;
}

HRESULT Volume::ChainTruncate(Chain& c, size_t length) {
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
    RETURN_IF_FAILED(c.mini ? SetMiniFat(c.known.back(), kEndOfChain)
                            : SetFat(c.known.back(), kEndOfChain));
  }
  return S_OK;
}

HRESULT Volume::WritableSector(Chain& c, size_t index, uint8_t** page) {
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(c, index, &s));
  if (!Fresh(s)) {
    uint8_t* src = nullptr;
    RETURN_IF_FAILED(Page(s, &src));
    std::vector<uint8_t> copy(src, src + ss_);
    uint32_t t = 0;
    RETURN_IF_FAILED(Alloc(&t));
    if (t == s) return STG_E_DOCFILECORRUPT;  // the FAT calls a sector of this chain free
    pages_[t] = std::move(copy);
    RETURN_IF_FAILED(ChainReplace(c, index, t));
    s = t;
  }
  // A fresh sector always has its page; one without is shared with another structure through a
  // damaged FAT.
  auto it = pages_.find(s);
  if (it == pages_.end() || it->second.size() != ss_) return STG_E_DOCFILECORRUPT;
  dirty_pages_.insert(s);
  *page = it->second.data();
  return S_OK;
}

// ---- Directory
// -----------------------------------------------------------------------------------

HRESULT Volume::LoadEntrySector(uint32_t id) {
  const uint32_t per = ss_ / kEntrySize;
  uint32_t idx = id / per;
  uint32_t s = 0;
  RETURN_IF_FAILED(ChainAt(dir_chain_, idx, &s));
  uint8_t* page = nullptr;
  RETURN_IF_FAILED(Page(s, &page));
  for (uint32_t k = 0; k < per; ++k) {
    uint32_t eid = idx * per + k;
    if (entries_.count(eid)) continue;
    const uint8_t* p = page + k * kEntrySize;
    DirEntry e;
    e.type = p[0x42];
    if (e.type != kTypeStorage && e.type != kTypeStream && e.type != kTypeRoot)
      e.type = kTypeUnused;
    if (e.type != kTypeUnused) {
      uint32_t units = std::min<uint32_t>(Get16(&p[0x40]) / 2, 32);
      for (uint32_t i = 0; i < units; ++i) {
        char16_t c = static_cast<char16_t>(Get16(&p[2 * i]));
        if (c == 0) break;
        e.name.push_back(c);
      }
      e.color = p[0x43];
      e.left = Get32(&p[0x44]);
      e.right = Get32(&p[0x48]);
      e.child = Get32(&p[0x4C]);
      memcpy(e.clsid, &p[0x50], 16);
      e.state = Get32(&p[0x60]);
      e.ctime = Get64(&p[0x64]);
      e.mtime = Get64(&p[0x6C]);
      e.start = Get32(&p[0x74]);
      // Version 3 writers may leave garbage in the high half of the size.
      e.size = major_ == 3 ? Get32(&p[0x78]) : Get64(&p[0x78]);
    }
    entries_.emplace(eid, std::move(e));
  }
  return S_OK;
}

HRESULT Volume::GetEntry(uint32_t id, DirEntry** out) {
  if (id > kMaxRegSect) return STG_E_DOCFILECORRUPT;
  auto it = entries_.find(id);
  if (it == entries_.end()) {
    RETURN_IF_FAILED(LoadEntrySector(id));
    it = entries_.find(id);
    if (it == entries_.end()) return STG_E_DOCFILECORRUPT;
  }
  *out = &it->second;
  return S_OK;
}

void Volume::MarkEntryDirty(uint32_t id) {
  dirty_dir_sectors_.insert(id / (ss_ / kEntrySize));
}

HRESULT Volume::NewEntry(uint32_t* id) {
  if (!free_ids_.empty()) {
    *id = free_ids_.back();
    free_ids_.pop_back();
    return S_OK;
  }
  const uint32_t per = ss_ / kEntrySize;
  RETURN_IF_FAILED(ChainComplete(dir_chain_));
  uint64_t cap = static_cast<uint64_t>(dir_chain_.known.size()) * per;
  if (!dir_scanned_) {
    // Free entries are looked for in the last directory sector only; holes further up are
    // reused once this session frees them, and compaction (CopyTo) removes them.
    next_id_scan_ = dir_chain_.known.empty() ? 0 : static_cast<uint32_t>(cap - per);
    dir_scanned_ = true;
  }
  while (next_id_scan_ < cap) {
    DirEntry* e = nullptr;
    uint32_t cand = next_id_scan_++;
    RETURN_IF_FAILED(GetEntry(cand, &e));
    if (e->type == kTypeUnused && !open_.count(cand)) {
      *e = DirEntry{};
      *id = cand;
      return S_OK;
    }
  }
  uint32_t s = 0;
  RETURN_IF_FAILED(AllocAfter(dir_chain_, &s));
  RETURN_IF_FAILED(ChainAppend(dir_chain_, s));
  uint32_t first = static_cast<uint32_t>(cap);
  for (uint32_t k = 0; k < per; ++k) {
    entries_[first + k] = DirEntry{};
    MarkEntryDirty(first + k);
  }
  next_id_scan_ = first + 1;
  *id = first;
  return S_OK;
}

HRESULT Volume::WalkTree(uint32_t root, std::vector<uint32_t>* ids) {
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> stack;
  uint32_t cur = root;
  while (cur != kNoStream || !stack.empty()) {
    while (cur != kNoStream) {
      if (!seen.insert(cur).second) return STG_E_DOCFILECORRUPT;  // loop or shared subtree
      DirEntry* e = nullptr;
      RETURN_IF_FAILED(GetEntry(cur, &e));
      if (e->type != kTypeStorage && e->type != kTypeStream) return STG_E_DOCFILECORRUPT;
      stack.push_back(cur);
      cur = e->left;
    }
    cur = stack.back();
    stack.pop_back();
    ids->push_back(cur);
    DirEntry* e = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &e));
    cur = e->right;
  }
  return S_OK;
}

HRESULT Volume::LoadChildren(uint32_t storage, Children_** out) {
  auto it = children_.find(storage);
  if (it == children_.end()) {
    DirEntry* e = nullptr;
    RETURN_IF_FAILED(GetEntry(storage, &e));
    std::vector<uint32_t> ids;
    RETURN_IF_FAILED(WalkTree(e->child, &ids));
    Children_ ch;
    for (uint32_t id : ids) {
      DirEntry* c = nullptr;
      RETURN_IF_FAILED(GetEntry(id, &c));
      if (!ch.by_name.emplace(c->name, id).second) return STG_E_DOCFILECORRUPT;
    }
    it = children_.emplace(storage, std::move(ch)).first;
  }
  *out = &it->second;
  return S_OK;
}

HRESULT Volume::Find(uint32_t storage, std::u16string_view name, uint32_t* id) {
  if (file_ == nullptr) return STG_E_REVERTED;
  auto it = children_.find(storage);
  if (it != children_.end()) {
    auto f = it->second.by_name.find(std::u16string(name));
    if (f == it->second.by_name.end()) return STG_E_FILENOTFOUND;
    *id = f->second;
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &e));
  uint32_t cur = e->child;
  uint64_t steps = 0;
  const uint64_t max_steps = static_cast<uint64_t>(sector_limit_) * (ss_ / kEntrySize) + 1;
  while (cur != kNoStream) {
    DirEntry* n = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &n));
    if (n->type != kTypeStorage && n->type != kTypeStream) return STG_E_DOCFILECORRUPT;
    int cmp = CompareNames(name, n->name);
    if (cmp == 0) {
      *id = cur;
      return S_OK;
    }
    cur = cmp < 0 ? n->left : n->right;
    if (++steps > max_steps) return STG_E_DOCFILECORRUPT;
  }
  return STG_E_FILENOTFOUND;
}

HRESULT Volume::Children(uint32_t storage, std::vector<uint32_t>* ids) {
  if (file_ == nullptr) return STG_E_REVERTED;
  auto it = children_.find(storage);
  if (it != children_.end()) {
    for (auto& [name, id] : it->second.by_name) ids->push_back(id);
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &e));
  RETURN_IF_FAILED(WalkTree(e->child, ids));
  // A storage that holds itself or one of the storages it is in would nest without end.
  auto path = open_.find(storage);
  for (uint32_t id : *ids) {
    if (id == storage || id == 0) return STG_E_DOCFILECORRUPT;
    if (path != open_.end() &&
        std::find(path->second.begin(), path->second.end(), id) != path->second.end())
      return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

bool Volume::IsBelow(uint32_t id, uint32_t ancestor) const {
  if (id == ancestor) return true;
  auto it = open_.find(id);
  if (it == open_.end()) return false;
  return std::find(it->second.begin(), it->second.end(), ancestor) != it->second.end();
}

HRESULT Volume::Acquire(uint32_t id, uint32_t parent) {
  if (file_ == nullptr) return STG_E_REVERTED;
  if (id == 0 || open_.count(id)) return STG_E_ACCESSDENIED;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  std::vector<uint32_t> path;
  auto p = open_.find(parent);
  if (p != open_.end()) path = p->second;
  path.push_back(parent);
  if (std::find(path.begin(), path.end(), id) != path.end()) return STG_E_DOCFILECORRUPT;
  if (e->type == kTypeStream) {
    RETURN_IF_FAILED(ValidateStream(*e));
    StreamState st;
    st.size = e->size;
    st.chain.start = e->size == 0 ? kEndOfChain : e->start;
    st.chain.mini = e->size < kMiniCutoff;
    st.parent = parent;
    streams_[id] = std::move(st);
  }
  open_[id] = std::move(path);
  return S_OK;
}

void Volume::Forget(uint32_t id) {
  open_.erase(id);
  streams_.erase(id);
}

HRESULT Volume::ValidateStream(const DirEntry& e) const {
  if (e.size >= kMiniCutoff) {
    if (e.size > static_cast<uint64_t>(sector_limit_) * ss_) return STG_E_DOCFILECORRUPT;
  } else if (e.size > mini_count_ * kMiniSize) {
    return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

HRESULT Volume::CreateElement(uint32_t storage, std::u16string_view name, uint8_t type,
                              bool replace, uint32_t* id) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(name));
  uint32_t existing = 0;
  HRESULT found = Find(storage, name, &existing);
  if (Succeeded(found)) {
    if (!replace) return STG_E_FILEALREADYEXISTS;
    RETURN_IF_FAILED(DestroyElement(storage, name));
  } else if (found != STG_E_FILENOTFOUND) {
    return found;
  }
  uint32_t nid = 0;
  RETURN_IF_FAILED(NewEntry(&nid));
  DirEntry& e = entries_[nid];
  e = DirEntry{};
  e.name = std::u16string(name);
  e.type = type;
  if (type == kTypeStorage) {
    e.ctime = e.mtime = fs_->Now();
    e.start = 0;
  }
  MarkEntryDirty(nid);
  RETURN_IF_FAILED(Link(storage, nid));
  modified_.insert(storage);
  *id = nid;
  return S_OK;
}

// Red-black insertion along the search path (entries keep no parent links, so the path is the
// parent list). Touches O(log n) entries.
HRESULT Volume::InsertIntoTree(uint32_t storage, uint32_t nid) {
  DirEntry* node = nullptr;
  RETURN_IF_FAILED(GetEntry(nid, &node));
  DirEntry* top = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &top));
  std::vector<uint32_t> path;
  uint32_t cur = top->child;
  bool left = false;
  const uint64_t max_steps = static_cast<uint64_t>(sector_limit_) * (ss_ / kEntrySize) + 1;
  while (cur != kNoStream) {
    if (path.size() > max_steps) return STG_E_DOCFILECORRUPT;
    DirEntry* n = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &n));
    path.push_back(cur);
    left = CompareNames(node->name, n->name) < 0;
    cur = left ? n->left : n->right;
  }
  node->left = node->right = kNoStream;
  node->color = kRed;
  MarkEntryDirty(nid);
  if (path.empty()) {
    top->child = nid;
    node->color = kBlack;
    MarkEntryDirty(storage);
    return S_OK;
  }
  DirEntry* p = nullptr;
  RETURN_IF_FAILED(GetEntry(path.back(), &p));
  (left ? p->left : p->right) = nid;
  MarkEntryDirty(path.back());

  auto color = [&](uint32_t id) -> uint8_t {
    DirEntry* e = nullptr;
    if (id == kNoStream || Failed(GetEntry(id, &e))) return kBlack;
    return e->color;
  };
  // Replaces the link to `from` in the entry above position `i` of the path (or the storage).
  auto relink = [&](long i, uint32_t from, uint32_t to) -> HRESULT {
    if (i < 0) {
      top->child = to;
      MarkEntryDirty(storage);
      return S_OK;
    }
    DirEntry* up = nullptr;
    RETURN_IF_FAILED(GetEntry(path[static_cast<size_t>(i)], &up));
    if (up->left == from) {
      up->left = to;
    } else {
      up->right = to;
    }
    MarkEntryDirty(path[static_cast<size_t>(i)]);
    return S_OK;
  };

  uint32_t x = nid;
  long i = static_cast<long>(path.size()) - 1;  // x's parent is path[i]
  while (i >= 0 && color(path[static_cast<size_t>(i)]) == kRed) {
    if (i == 0) break;  // a red root turns black below
    uint32_t pid = path[static_cast<size_t>(i)], gid = path[static_cast<size_t>(i - 1)];
    DirEntry *pe = nullptr, *ge = nullptr;
    RETURN_IF_FAILED(GetEntry(pid, &pe));
    RETURN_IF_FAILED(GetEntry(gid, &ge));
    bool parent_left = ge->left == pid;
    uint32_t uid = parent_left ? ge->right : ge->left;
    if (color(uid) == kRed) {
      DirEntry* ue = nullptr;
      RETURN_IF_FAILED(GetEntry(uid, &ue));
      pe->color = kBlack;
      ue->color = kBlack;
      ge->color = kRed;
      MarkEntryDirty(pid);
      MarkEntryDirty(uid);
      MarkEntryDirty(gid);
      x = gid;
      i -= 2;
      continue;
    }
    DirEntry* xe = nullptr;
    RETURN_IF_FAILED(GetEntry(x, &xe));
    if (parent_left && pe->right == x) {  // rotate left at the parent
      pe->right = xe->left;
      xe->left = pid;
      ge->left = x;
      MarkEntryDirty(pid);
      MarkEntryDirty(x);
      std::swap(x, pid);
      std::swap(xe, pe);
    } else if (!parent_left && pe->left == x) {  // rotate right at the parent
      pe->left = xe->right;
      xe->right = pid;
      ge->right = x;
      MarkEntryDirty(pid);
      MarkEntryDirty(x);
      std::swap(x, pid);
      std::swap(xe, pe);
    }
    // Rotate at the grandparent; the parent takes its place.
    if (parent_left) {
      ge->left = pe->right;
      pe->right = gid;
    } else {
      ge->right = pe->left;
      pe->left = gid;
    }
    pe->color = kBlack;
    ge->color = kRed;
    MarkEntryDirty(pid);
    MarkEntryDirty(gid);
    RETURN_IF_FAILED(relink(i - 2, gid, pid));
    break;
  }
  DirEntry* root = nullptr;
  RETURN_IF_FAILED(GetEntry(top->child, &root));
  if (root->color != kBlack) {
    root->color = kBlack;
    MarkEntryDirty(top->child);
  }
  return S_OK;
}

HRESULT Volume::FreeStreamContent(DirEntry* e) {
  if (e->size == 0 || Failed(ValidateStream(*e))) return S_OK;  // nothing trustworthy to free
  Chain c;
  c.start = e->start;
  c.mini = e->size < kMiniCutoff;
  return ChainTruncate(c, 0);
}

HRESULT Volume::DestroyRecursive(uint32_t id, int depth) {
  if (depth > 4096) return STG_E_DOCFILECORRUPT;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  if (e->type == kTypeStorage) {
    std::vector<uint32_t> kids;
    RETURN_IF_FAILED(Children(id, &kids));
    for (uint32_t k : kids) {
      if (k == id) return STG_E_DOCFILECORRUPT;
      RETURN_IF_FAILED(DestroyRecursive(k, depth + 1));
    }
    children_.erase(id);
    touched_.erase(id);
    modified_.erase(id);
  } else {
    RETURN_IF_FAILED(FreeStreamContent(e));
  }
  RETURN_IF_FAILED(GetEntry(id, &e));
  *e = DirEntry{};
  MarkEntryDirty(id);
  free_ids_.push_back(id);
  return S_OK;
}

HRESULT Volume::DestroyElement(uint32_t storage, std::u16string_view name) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(name));
  uint32_t id = 0;
  RETURN_IF_FAILED(Find(storage, name, &id));
  for (auto& [oid, path] : open_)
    if (IsBelow(oid, id)) return STG_E_ACCESSDENIED;
  RETURN_IF_FAILED(Unlink(storage, id));
  modified_.insert(storage);
  return DestroyRecursive(id, 0);
}

HRESULT Volume::RenameElement(uint32_t storage, std::u16string_view old_name,
                              std::u16string_view new_name) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(old_name));
  RETURN_IF_FAILED(ValidateName(new_name));
  uint32_t id = 0, other = 0;
  RETURN_IF_FAILED(Find(storage, old_name, &id));
  HRESULT taken = Find(storage, new_name, &other);
  if (Succeeded(taken) && other != id) return STG_E_FILEALREADYEXISTS;
  if (Failed(taken) && taken != STG_E_FILENOTFOUND) return taken;
  if (open_.count(id)) return STG_E_ACCESSDENIED;
  RETURN_IF_FAILED(Unlink(storage, id));
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  e->name = std::u16string(new_name);
  MarkEntryDirty(id);
  RETURN_IF_FAILED(Link(storage, id));
  modified_.insert(storage);
  return S_OK;
}

HRESULT Volume::Link(uint32_t storage, uint32_t id) {
  auto ch = children_.find(storage);
  if (ch == children_.end()) return InsertIntoTree(storage, id);
  // This storage's tree is rebuilt at commit anyway.
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  ch->second.by_name.emplace(e->name, id);
  touched_.insert(storage);
  return S_OK;
}

HRESULT Volume::Unlink(uint32_t storage, uint32_t id) {
  auto ch = children_.find(storage);
  if (ch == children_.end()) {
    HRESULT hr = RemoveFromTree(storage, id);
    if (hr != S_FALSE) return hr;
    // The tree was not red-black to begin with (written elsewhere): it keeps its order; give
    // it a fresh balanced shape at commit.
    Children_* loaded = nullptr;
    RETURN_IF_FAILED(LoadChildren(storage, &loaded));
    touched_.insert(storage);
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  ch->second.by_name.erase(e->name);
  touched_.insert(storage);
  return S_OK;
}

// Red-black deletion along the search path. S_FALSE: the element is out and the order kept, but
// the tree was no valid red-black tree, so its colours could not be kept right.
HRESULT Volume::RemoveFromTree(uint32_t storage, uint32_t id) {
  HRESULT failure = S_OK;
  auto node = [&](uint32_t n) -> DirEntry* {
    DirEntry* e = nullptr;
    if (n == kNoStream) return nullptr;
    HRESULT hr = GetEntry(n, &e);
    if (Failed(hr)) {
      if (Succeeded(failure)) failure = hr;
      return nullptr;
    }
    MarkEntryDirty(n);
    return e;
  };
  auto color = [&](uint32_t n) -> uint8_t {
    DirEntry* e = n == kNoStream ? nullptr : node(n);
    return e == nullptr ? kBlack : e->color;
  };
  auto link = [](DirEntry* e, bool left) -> uint32_t& { return left ? e->left : e->right; };
  DirEntry* top = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &top));
  MarkEntryDirty(storage);
  std::vector<uint32_t> path;  // the ancestors of the node being removed, root first
  // Replaces `from` by `to` below path[i] (or as the tree's root when i < 0).
  auto relink = [&](long i, uint32_t from, uint32_t to) {
    if (i < 0) {
      top->child = to;
      return;
    }
    DirEntry* up = node(path[static_cast<size_t>(i)]);
    if (up == nullptr) return;
    (up->left == from ? up->left : up->right) = to;
  };

  DirEntry* z = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &z));
  const uint64_t max_steps = static_cast<uint64_t>(sector_limit_) * (ss_ / kEntrySize) + 1;
  for (uint32_t cur = top->child; cur != id;) {
    DirEntry* n = node(cur);
    if (n == nullptr || path.size() > max_steps)
      return Failed(failure) ? failure : STG_E_DOCFILECORRUPT;
    path.push_back(cur);
    int cmp = CompareNames(z->name, n->name);
    if (cmp == 0) return STG_E_DOCFILECORRUPT;  // two elements of one name
    cur = cmp < 0 ? n->left : n->right;
  }
  MarkEntryDirty(id);

  // With two children, the node first trades places with its successor.
  if (z->left != kNoStream && z->right != kNoStream) {
    std::vector<uint32_t> below;  // from z's right child down to the successor's parent
    uint32_t y = z->right;
    DirEntry* ye = node(y);
    while (ye != nullptr && ye->left != kNoStream) {
      if (below.size() > max_steps) return STG_E_DOCFILECORRUPT;
      below.push_back(y);
      y = ye->left;
      ye = node(y);
    }
    if (ye == nullptr) return Failed(failure) ? failure : STG_E_DOCFILECORRUPT;
    uint32_t z_left = z->left, z_right = z->right, y_right = ye->right;
    uint8_t z_color = z->color, y_color = ye->color;
    relink(static_cast<long>(path.size()) - 1, id, y);
    ye->left = z_left;
    ye->color = z_color;
    if (below.empty()) {
      ye->right = id;
    } else {
      ye->right = z_right;
      DirEntry* yp = node(below.back());
      if (yp == nullptr) return failure;
      yp->left = id;
    }
    z->left = kNoStream;
    z->right = y_right;
    z->color = y_color;
    path.push_back(y);
    path.insert(path.end(), below.begin(), below.end());
  }

  // Now the node has one child at most, which takes its place.
  uint32_t x = z->left != kNoStream ? z->left : z->right;
  long i = static_cast<long>(path.size()) - 1;  // x's parent
  bool x_left = false;
  if (i >= 0) {
    DirEntry* p = node(path[static_cast<size_t>(i)]);
    if (p == nullptr) return failure;
    x_left = p->left == id;
  }
  relink(i, id, x);
  uint8_t removed_color = z->color;
  z->left = z->right = kNoStream;
  bool valid = true;
  if (removed_color == kBlack) {
    while (i >= 0 && color(x) == kBlack) {
      uint32_t pid = path[static_cast<size_t>(i)];
      DirEntry* p = node(pid);
      uint32_t wid = p != nullptr ? link(p, !x_left) : kNoStream;
      DirEntry* w = node(wid);
      if (w == nullptr) {  // a black-height mismatch: not a red-black tree
        valid = false;
        break;
      }
      if (w->color == kRed) {
        w->color = kBlack;
        p->color = kRed;
        link(p, !x_left) = link(w, x_left);
        link(w, x_left) = pid;
        relink(i - 1, pid, wid);
        path.insert(path.begin() + i, wid);
        ++i;
        wid = link(p, !x_left);
        w = node(wid);
        if (w == nullptr) {
          valid = false;
          break;
        }
      }
      if (color(w->left) == kBlack && color(w->right) == kBlack) {
        w->color = kRed;
        x = pid;
        --i;
        if (i >= 0) {
          DirEntry* up = node(path[static_cast<size_t>(i)]);
          if (up == nullptr) break;
          x_left = up->left == x;
        }
        continue;
      }
      if (color(link(w, !x_left)) == kBlack) {
        uint32_t nid = link(w, x_left);
        DirEntry* near = node(nid);
        if (near == nullptr) break;
        near->color = kBlack;
        w->color = kRed;
        link(w, x_left) = link(near, !x_left);
        link(near, !x_left) = wid;
        link(p, !x_left) = nid;
        wid = nid;
        w = near;
      }
      w->color = p->color;
      p->color = kBlack;
      if (DirEntry* far = node(link(w, !x_left)); far != nullptr) far->color = kBlack;
      link(p, !x_left) = link(w, x_left);
      link(w, x_left) = pid;
      relink(i - 1, pid, wid);
      x = kNoStream;
      break;
    }
    if (DirEntry* xe = node(x); xe != nullptr) xe->color = kBlack;
  }
  if (DirEntry* root = node(top->child); root != nullptr) root->color = kBlack;
  if (Failed(failure)) return failure;
  return valid ? S_OK : S_FALSE;
}

HRESULT Volume::SetStorageTimes(uint32_t id, FileTime ctime, FileTime mtime) {
  RETURN_IF_FAILED(EnsureWritable());
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  e->ctime = ctime;
  e->mtime = mtime;
  MarkEntryDirty(id);
  modified_.erase(id);
  return S_OK;
}

HRESULT Volume::StatOf(uint32_t id, ElementStat* out) {
  if (file_ == nullptr) return STG_E_REVERTED;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  out->name = e->name;
  out->type = e->type == kTypeStream ? STGTY_STREAM : STGTY_STORAGE;
  out->size = 0;
  if (e->type == kTypeStream) {
    auto st = streams_.find(id);
    out->size = st != streams_.end() ? st->second.size : e->size;
  }
  out->creation = e->ctime;
  out->modification = e->mtime;
  out->access = 0;
  return S_OK;
}

void Volume::RebuildTree(uint32_t storage) {
  auto it = children_.find(storage);
  DirEntry* parent = nullptr;
  if (it == children_.end() || Failed(GetEntry(storage, &parent))) return;
  std::vector<uint32_t> ids;
  for (auto& [name, id] : it->second.by_name) ids.push_back(id);
  const size_t n = ids.size();
  // Balanced by halving: every path from the root to a leaf's missing child has the same length
  // or one more. Nodes on the deepest level are red when the tree is not perfect, all others
  // black, which gives every path the same number of black nodes.
  size_t max_depth = 0;
  std::vector<size_t> depth(n, 0);
  std::function<uint32_t(size_t, size_t, size_t)> build = [&](size_t lo, size_t hi,
                                                              size_t d) -> uint32_t {
    if (lo >= hi) return kNoStream;
    size_t mid = lo + (hi - lo) / 2;
    depth[mid] = d;
    max_depth = std::max(max_depth, d);
    uint32_t l = build(lo, mid, d + 1);
    uint32_t r = build(mid + 1, hi, d + 1);
    DirEntry* e = nullptr;
    if (Succeeded(GetEntry(ids[mid], &e)) && (e->left != l || e->right != r)) {
      e->left = l;
      e->right = r;
      MarkEntryDirty(ids[mid]);
    }
    return ids[mid];
  };
  uint32_t root = build(0, n, 0);
  bool perfect = ((n + 1) & n) == 0;
  for (size_t i = 0; i < n; ++i) {
    DirEntry* e = nullptr;
    if (Failed(GetEntry(ids[i], &e))) continue;
    uint8_t color = (!perfect && depth[i] == max_depth && max_depth > 0) ? kRed : kBlack;
    if (e->color != color) {
      e->color = color;
      MarkEntryDirty(ids[i]);
    }
  }
  if (Succeeded(GetEntry(storage, &parent)) && parent->child != root) {
    parent->child = root;
    MarkEntryDirty(storage);
  }
}

// ---- Streams
// -------------------------------------------------------------------------------------

HRESULT Volume::StreamSize(uint32_t id, uint64_t* size) {
  if (file_ == nullptr) return STG_E_REVERTED;
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  *size = it->second.size;
  return S_OK;
}

HRESULT Volume::StreamReadRange(StreamState& st, uint64_t pos, uint8_t* data, uint64_t len) {
  while (len > 0) {
    if (st.chain.mini) {
      uint32_t m = 0;
      RETURN_IF_FAILED(ChainAt(st.chain, static_cast<size_t>(pos / kMiniSize), &m));
      uint32_t within = static_cast<uint32_t>(pos % kMiniSize);
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, kMiniSize - within));
      RETURN_IF_FAILED(
          MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + within, data, nullptr, n));
      pos += n;
      data += n;
      len -= n;
      continue;
    }
    size_t idx = static_cast<size_t>(pos / ss_);
    uint32_t within = static_cast<uint32_t>(pos % ss_);
    uint32_t s = 0;
    RETURN_IF_FAILED(ChainAt(st.chain, idx, &s));
    auto cached = pages_.find(s);
    if (cached != pages_.end()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, ss_ - within));
      memcpy(data, cached->second.data() + within, n);
      pos += n;
      data += n;
      len -= n;
      continue;
    }
    // One read for a run of consecutive sectors.
    uint64_t run = ss_ - within;
    while (run < len) {
      uint32_t t = 0;
      if (Failed(ChainAt(st.chain, idx + 1, &t)) || t != s + 1 || pages_.count(t)) break;
      ++idx;
      ++s;
      run += ss_;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(run, len));
    size_t got = 0;
    uint32_t first = 0;
    RETURN_IF_FAILED(ChainAt(st.chain, static_cast<size_t>(pos / ss_), &first));
    RETURN_IF_FAILED(file_->ReadAt(SectorOffset(first) + within, data, n, &got));
    if (got != n) return STG_E_DOCFILECORRUPT;
    pos += n;
    data += n;
    len -= n;
  }
  return S_OK;
}

HRESULT Volume::StreamRead(uint32_t id, uint64_t pos, void* data, uint32_t size, uint32_t* read) {
  *read = 0;
  if (file_ == nullptr) return STG_E_REVERTED;
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (pos >= st.size) return S_OK;
  uint64_t n = std::min<uint64_t>(size, st.size - pos);
  RETURN_IF_FAILED(StreamReadRange(st, pos, static_cast<uint8_t*>(data), n));
  *read = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT Volume::StreamUpdateEntry(StreamState& st, uint32_t id) {
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  e->size = st.size;
  e->start = st.size == 0 ? kEndOfChain : st.chain.start;
  MarkEntryDirty(id);
  modified_.insert(st.parent);
  return S_OK;
}

HRESULT Volume::StreamMove(StreamState& st, uint32_t id, bool to_mini, uint64_t keep) {
  std::vector<uint8_t> content(static_cast<size_t>(keep));
  RETURN_IF_FAILED(StreamReadRange(st, 0, content.data(), keep));
  RETURN_IF_FAILED(ChainTruncate(st.chain, 0));
  st.chain = Chain{};
  st.chain.complete = true;
  st.chain.mini = to_mini;
  st.size = 0;
  return StreamWriteRange(st, id, 0, content.data(), keep);
}

HRESULT Volume::StreamWriteRange(StreamState& st, uint32_t id, uint64_t pos, const uint8_t* data,
                                 uint64_t len) {
  uint64_t new_size = std::max(st.size, pos + len);
  if (st.chain.mini && new_size >= kMiniCutoff) {
    RETURN_IF_FAILED(StreamMove(st, id, false, st.size));
  }
  RETURN_IF_FAILED(ChainComplete(st.chain));
  if (st.chain.mini) {
    size_t need = static_cast<size_t>((new_size + kMiniSize - 1) / kMiniSize);
    while (st.chain.known.size() < need) {
      uint32_t m = 0;
      RETURN_IF_FAILED(AllocMini(&m));
      RETURN_IF_FAILED(ChainAppend(st.chain, m));
    }
    while (len > 0) {
      uint32_t m = st.chain.known[static_cast<size_t>(pos / kMiniSize)];
      uint32_t within = static_cast<uint32_t>(pos % kMiniSize);
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, kMiniSize - within));
      RETURN_IF_FAILED(
          MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + within, nullptr, data, n));
      if (data != nullptr) data += n;
      pos += n;
      len -= n;
    }
  } else {
    size_t need = static_cast<size_t>((new_size + ss_ - 1) / ss_);
    while (st.chain.known.size() < need) {
      uint32_t s = 0;
      RETURN_IF_FAILED(AllocAfter(st.chain, &s));
      RETURN_IF_FAILED(ChainAppend(st.chain, s));
    }
    while (len > 0) {
      uint8_t* page = nullptr;
      RETURN_IF_FAILED(WritableSector(st.chain, static_cast<size_t>(pos / ss_), &page));
      uint32_t within = static_cast<uint32_t>(pos % ss_);
      size_t n = static_cast<size_t>(std::min<uint64_t>(len, ss_ - within));
      if (data != nullptr) {
        memcpy(page + within, data, n);
        data += n;
      } else {
        memset(page + within, 0, n);
      }
      pos += n;
      len -= n;
    }
  }
  st.size = new_size;
  return StreamUpdateEntry(st, id);
}

HRESULT Volume::StreamWrite(uint32_t id, uint64_t pos, const void* data, uint32_t size) {
  RETURN_IF_FAILED(EnsureWritable());
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (pos + size > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
  if (size == 0) return S_OK;
  HRESULT hr = S_OK;
  if (pos > st.size) hr = StreamWriteRange(st, id, st.size, nullptr, pos - st.size);
  if (Succeeded(hr)) hr = StreamWriteRange(st, id, pos, static_cast<const uint8_t*>(data), size);
  return BreakOnFailure(hr);
}

HRESULT Volume::StreamSetSize(uint32_t id, uint64_t size) {
  RETURN_IF_FAILED(EnsureWritable());
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (size > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
  if (size == st.size) return S_OK;
  return BreakOnFailure(StreamResize(st, id, size));
}

HRESULT Volume::StreamResize(StreamState& st, uint32_t id, uint64_t size) {
  if (size > st.size) return StreamWriteRange(st, id, st.size, nullptr, size - st.size);
  if (!st.chain.mini && size < kMiniCutoff) return StreamMove(st, id, true, size);
  if (st.chain.mini) {
    RETURN_IF_FAILED(
        ChainTruncate(st.chain, static_cast<size_t>((size + kMiniSize - 1) / kMiniSize)));
    uint32_t tail = static_cast<uint32_t>(size % kMiniSize);
    if (tail != 0) {
      uint32_t m = st.chain.known.back();
      RETURN_IF_FAILED(MiniStreamIo(static_cast<uint64_t>(m) * kMiniSize + tail, nullptr, nullptr,
                                    kMiniSize - tail));
    }
  } else {
    size_t keep = static_cast<size_t>((size + ss_ - 1) / ss_);
    RETURN_IF_FAILED(ChainTruncate(st.chain, keep));
    uint32_t tail = static_cast<uint32_t>(size % ss_);
    if (tail != 0) {
      uint8_t* page = nullptr;
      RETURN_IF_FAILED(WritableSector(st.chain, keep - 1, &page));
      memset(page + tail, 0, ss_ - tail);
    }
  }
  st.size = size;
  return StreamUpdateEntry(st, id);
}

// ---- Commit
// --------------------------------------------------------------------------------------

HRESULT Volume::FlushMiniFat() {
  RETURN_IF_FAILED(ChainComplete(minifat_chain_));
  for (uint32_t p = 0; p < minifat_dirty_.size(); ++p) {
    if (!minifat_dirty_[p]) continue;
    uint8_t* page = nullptr;
    if (p < minifat_chain_.known.size()) {
      RETURN_IF_FAILED(WritableSector(minifat_chain_, p, &page));
    } else {
      uint32_t s = 0;
      RETURN_IF_FAILED(AllocAfter(minifat_chain_, &s));
      RETURN_IF_FAILED(ChainAppend(minifat_chain_, s));
      page = pages_[s].data();
    }
    for (uint32_t i = 0; i < epp_; ++i)
      Put32(page + 4 * i, minifat_[static_cast<size_t>(p) * epp_ + i]);
    minifat_dirty_[p] = 0;
  }
  return S_OK;
}

HRESULT Volume::FlushDirectory() {
  const uint32_t per = ss_ / kEntrySize;
  // Copy-on-write may move directory sectors, which touches no entry; loop for safety anyway.
  std::set<uint32_t> todo;
  todo.swap(dirty_dir_sectors_);
  for (uint32_t idx : todo) {
    uint8_t* page = nullptr;
    RETURN_IF_FAILED(WritableSector(dir_chain_, idx, &page));
    for (uint32_t k = 0; k < per; ++k) {
      auto it = entries_.find(idx * per + k);
      if (it == entries_.end()) continue;
      const DirEntry& e = it->second;
      uint8_t* p = page + k * kEntrySize;
      memset(p, 0, kEntrySize);
      if (e.type == kTypeUnused) {
        Put32(&p[0x44], kNoStream);
        Put32(&p[0x48], kNoStream);
        Put32(&p[0x4C], kNoStream);
        continue;
      }
      size_t units = std::min<size_t>(e.name.size(), kMaxNameLength);
      for (size_t i = 0; i < units; ++i) Put16(&p[2 * i], e.name[i]);
      Put16(&p[0x40], static_cast<uint16_t>((units + 1) * 2));
      p[0x42] = e.type;
      p[0x43] = e.color;
      Put32(&p[0x44], e.left);
      Put32(&p[0x48], e.right);
      Put32(&p[0x4C], e.child);
      memcpy(&p[0x50], e.clsid, 16);
      Put32(&p[0x60], e.state);
      Put64(&p[0x64], e.type == kTypeStream ? 0 : e.ctime);
      Put64(&p[0x6C], e.type == kTypeStream ? 0 : e.mtime);
      Put32(&p[0x74], e.start);
      Put64(&p[0x78], e.size);
    }
  }
  return S_OK;
}

HRESULT Volume::RelocateFat() {
  for (;;) {
    bool again = false;
    for (uint32_t p = 0; p < fat_locs_.size(); ++p) {
      if (!fat_dirty_[p] || fat_moved_[p]) continue;
      uint32_t s = 0;
      RETURN_IF_FAILED(Alloc(&s));
      pages_.erase(s);
      dirty_pages_.erase(s);
      uint32_t old = fat_locs_[p];
      fat_locs_[p] = s;
      fat_moved_[p] = 1;
      RETURN_IF_FAILED(SetFat(s, kFatSect));
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
        pages_.erase(s);
        dirty_pages_.erase(s);
        RETURN_IF_FAILED(SetFat(s, kDifSect));
        difat_locs_.push_back(s);
      }
      difat_moved_ = true;
      again = true;
    }
    if (!again) return S_OK;
  }
}

HRESULT Volume::WriteAll() {
  // Runs of consecutive sectors go out in one write.
  std::vector<uint8_t> buf;
  auto flush_run = [&](uint32_t first) -> HRESULT {
    if (buf.empty()) return S_OK;
    HRESULT hr = file_->WriteAt(SectorOffset(first), buf.data(), buf.size());
    buf.clear();
    return hr;
  };
  std::map<uint32_t, const uint8_t*> out;
  for (uint32_t s : dirty_pages_) out[s] = pages_[s].data();
  std::vector<std::vector<uint8_t>> meta;
  meta.reserve(fat_locs_.size() + difat_locs_.size());
  for (uint32_t p = 0; p < fat_locs_.size(); ++p) {
    if (!fat_moved_[p]) continue;
    std::vector<uint8_t> page(ss_);
    for (uint32_t i = 0; i < epp_; ++i)
      Put32(&page[4 * i], fat_[static_cast<size_t>(p) * epp_ + i]);
    meta.push_back(std::move(page));
    out[fat_locs_[p]] = meta.back().data();
  }
  for (size_t d = 0; d < difat_locs_.size(); ++d) {
    std::vector<uint8_t> page(ss_);
    for (uint32_t i = 0; i + 1 < epp_; ++i) {
      size_t k = kHeaderFatSlots + d * (epp_ - 1) + i;
      Put32(&page[4 * i], k < fat_locs_.size() ? fat_locs_[k] : kFreeSect);
    }
    Put32(&page[ss_ - 4], d + 1 < difat_locs_.size() ? difat_locs_[d + 1] : kEndOfChain);
    meta.push_back(std::move(page));
    out[difat_locs_[d]] = meta.back().data();
  }
  // The journal names a few of the sectors written here, the allocation tables' first: every
  // commit that changes anything moves at least one FAT page.
  journal_checks_.clear();
  for (int pass = 0; pass < 2; ++pass) {
    for (auto& [s, data] : out) {
      if (journal_checks_.size() >= kJournalChecks) break;
      bool meta = dirty_pages_.count(s) == 0;
      if (meta == (pass == 0)) journal_checks_.emplace_back(s, Fnv64(data, ss_));
    }
  }
  uint32_t first = 0, prev = 0;
  for (auto& [s, data] : out) {
    if (!buf.empty() && (s != prev + 1 || buf.size() >= (256u << 10))) {
      RETURN_IF_FAILED(flush_run(first));
    }
    if (buf.empty()) first = s;
    buf.insert(buf.end(), data, data + ss_);
    prev = s;
  }
  return flush_run(first);
}

void Volume::BuildHeader(std::vector<uint8_t>* out) const {
  std::vector<uint8_t>& h = *out;
  h.assign(ss_, 0);
  memcpy(h.data(), kSignature, 8);
  Put16(&h[0x18], 0x3E);
  Put16(&h[0x1A], major_);
  Put16(&h[0x1C], 0xFFFE);
  Put16(&h[0x1E], ss_ == 512 ? 9 : 12);
  Put16(&h[0x20], 6);
  Put32(&h[0x28], major_ == 3 ? 0 : static_cast<uint32_t>(dir_chain_.known.size()));
  Put32(&h[0x2C], static_cast<uint32_t>(fat_locs_.size()));
  Put32(&h[0x30], dir_chain_.start);
  Put32(&h[0x38], kMiniCutoff);
  Put32(&h[0x3C], minifat_chain_.known.empty() ? kEndOfChain : minifat_chain_.start);
  Put32(&h[0x40], static_cast<uint32_t>(minifat_chain_.known.size()));
  Put32(&h[0x44], difat_locs_.empty() ? kEndOfChain : difat_locs_[0]);
  Put32(&h[0x48], static_cast<uint32_t>(difat_locs_.size()));
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i)
    Put32(&h[0x4C + 4 * i], i < fat_locs_.size() ? fat_locs_[i] : kFreeSect);
}

HRESULT Volume::SwitchHeader(const std::vector<uint8_t>& header, bool* decided) {
  *decided = false;
  const std::string jpath = path_ + "-journal";
  const uint32_t hs = static_cast<uint32_t>(header.size());
  const size_t checks = journal_checks_.size();
  std::vector<uint8_t> j(24 + 2 * static_cast<size_t>(hs) + 12 * checks, 0);
  memcpy(j.data(), kJournalMagic, 8);
  Put32(&j[8], hs);
  Put32(&j[12], static_cast<uint32_t>(checks));
  if (committed_header_.size() == hs) memcpy(&j[16], committed_header_.data(), hs);
  memcpy(&j[16 + hs], header.data(), hs);
  for (size_t c = 0; c < checks; ++c) {
    uint8_t* rec = &j[16 + 2 * static_cast<size_t>(hs) + 12 * c];
    Put32(rec, journal_checks_[c].first);
    Put64(rec + 4, journal_checks_[c].second);
  }
  Put64(&j[j.size() - 8], Fnv64(j.data(), j.size() - 8));
  // A file of another kind under the journal's name (a book called so) is not overwritten: the
  // commit fails and the book stays as it was.
  if (fs_->Exists(jpath) == S_OK) {
    std::unique_ptr<File> other;
    uint64_t size = 0;
    std::vector<uint8_t> content;
    size_t got = 0;
    if (Failed(fs_->Open(jpath, OpenKind::kReadOnly, LockKind::kNone, &other)) ||
        Failed(other->GetSize(&size)) || size > kMaxJournalBytes)
      return STG_E_ACCESSDENIED;
    content.resize(size);
    if (Failed(other->ReadAt(0, content.data(), content.size(), &got)) || got != size ||
        !JournalLike(content))
      return STG_E_ACCESSDENIED;
  }
  HRESULT hr = S_OK;
  {
    std::unique_ptr<File> jf;
    hr = fs_->Open(jpath, OpenKind::kCreateAlways, LockKind::kNone, &jf);
    if (Succeeded(hr)) hr = jf->WriteAt(0, j.data(), j.size());
    if (Succeeded(hr)) hr = jf->Sync();
  }
  if (Succeeded(hr)) hr = fs_->SyncDirectory(jpath);
  if (Failed(hr)) {
    // The journal must not outlive a commit that did not happen; when it cannot be removed the
    // next open may still complete the commit, so the new sectors stay.
    if (Failed(fs_->Remove(jpath)) || Failed(fs_->SyncDirectory(jpath))) *decided = true;
    return hr;
  }
  // From here the commit stands: a torn or lost header write is finished from the journal.
  *decided = true;
  hr = file_->WriteAt(0, header.data(), header.size());
  if (Succeeded(hr)) hr = file_->Sync();
  if (Failed(hr)) return hr;
  fs_->Remove(jpath);
  fs_->SyncDirectory(jpath);
  return S_OK;
}

HRESULT Volume::Scrub() {
  // The highest sector still in use decides the file's new length.
  int64_t hi = -1;
  for (int64_t s = static_cast<int64_t>(fat_.size()) - 1; s >= 0; --s) {
    uint32_t v = 0;
    RETURN_IF_FAILED(FatEntry(static_cast<uint32_t>(s), &v));
    if (v != kFreeSect) {
      hi = s;
      break;
    }
  }
  std::vector<uint8_t> zeros(ss_, 0);
  for (uint32_t s : scrub_) {
    if (static_cast<int64_t>(s) > hi) break;
    if (fat_[s] != kFreeSect) continue;
    if (SectorOffset(s) >= file_size_) continue;
    RETURN_IF_FAILED(file_->WriteAt(SectorOffset(s), zeros.data(), ss_));
  }
  uint64_t size = (static_cast<uint64_t>(hi + 1) + 1) * ss_;
  RETURN_IF_FAILED(file_->GetSize(&file_size_));
  if (file_size_ != size) {
    RETURN_IF_FAILED(file_->SetSize(size));
    file_size_ = size;
  }
  sector_limit_ = static_cast<uint32_t>(hi + 1);
  top_ = sector_limit_;
  return file_->Sync();
}

HRESULT Volume::Commit() {
  if (file_ == nullptr) return STG_E_REVERTED;
  if (!writable_) return S_OK;
  RETURN_IF_FAILED(broken_);
  uint64_t size_before = file_size_;
  auto fail = [&](HRESULT hr) {
    broken_ = hr;
    // Best effort: the sectors this commit took were free (zero) in the committed state; what
    // reached them, and whatever it appended, does not stay in the file.
    std::vector<uint8_t> zeros(ss_, 0);
    for (uint32_t s : fresh_)
      if (SectorOffset(s) + ss_ <= size_before) file_->WriteAt(SectorOffset(s), zeros.data(), ss_);
    file_->SetSize(size_before);
    file_->Sync();
    return hr;
  };
  FileTime now = fs_->Now();
  for (uint32_t s : touched_) RebuildTree(s);
  for (uint32_t s : modified_) {
    DirEntry* e = nullptr;
    if (Failed(GetEntry(s, &e)) || e->type == kTypeUnused) continue;
    e->mtime = now;
    MarkEntryDirty(s);
  }
  // The mini stream's place and length live in the root entry.
  {
    DirEntry* root = nullptr;
    HRESULT hr = GetEntry(0, &root);
    if (Failed(hr)) return fail(hr);
    uint32_t start = mini_count_ == 0 ? kEndOfChain : ministream_.start;
    uint64_t size = mini_count_ * kMiniSize;
    if (root->start != start || root->size != size) {
      root->start = start;
      root->size = size;
      MarkEntryDirty(0);
    }
  }
  bool dirty = !dirty_pages_.empty() || !dirty_dir_sectors_.empty() ||
               std::find(fat_dirty_.begin(), fat_dirty_.end(), 1) != fat_dirty_.end() ||
               std::find(minifat_dirty_.begin(), minifat_dirty_.end(), 1) != minifat_dirty_.end();
  if (!dirty && !committed_header_.empty()) {
    touched_.clear();
    modified_.clear();
    return S_OK;
  }
  HRESULT hr = FlushMiniFat();
  if (Succeeded(hr)) hr = FlushDirectory();
  if (Succeeded(hr)) hr = ChainComplete(dir_chain_);
  if (Succeeded(hr)) hr = RelocateFat();
  if (Succeeded(hr)) hr = WriteAll();
  if (Succeeded(hr)) hr = file_->Sync();
  std::vector<uint8_t> header;
  bool decided = false;
  if (Succeeded(hr)) {
    BuildHeader(&header);
    hr = SwitchHeader(header, &decided);
  }
  if (Failed(hr)) {
    if (!decided) return fail(hr);
    broken_ = hr;  // the next open finishes the commit from the journal
    return hr;
  }
  committed_header_ = header;
  RETURN_IF_FAILED(file_->GetSize(&file_size_));
  hr = Scrub();
  fresh_.clear();
  pending_free_.clear();
  scrub_.clear();
  dirty_pages_.clear();
  pages_.clear();
  std::fill(fat_dirty_.begin(), fat_dirty_.end(), 0);
  std::fill(fat_moved_.begin(), fat_moved_.end(), 0);
  difat_moved_ = false;
  touched_.clear();
  modified_.clear();
  alloc_hint_ = 0;
  if (Failed(hr)) broken_ = hr;
  return hr;
}

HRESULT Volume::Close(bool commit) {
  if (file_ == nullptr) return S_OK;
  HRESULT hr = S_OK;
  if (commit && writable_) hr = broken_ != S_OK ? broken_ : Commit();
  file_.reset();
  open_.clear();
  streams_.clear();
  return hr;
}

}  // namespace qb::storage::detail
