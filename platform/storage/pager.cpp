#include "platform/storage/pager.h"

#include <algorithm>
#include <cstring>

namespace qb::storage::detail {
namespace {

constexpr uint64_t kMiniBytes = 64;  // a mini sector

// Reads the whole file at `path` when it is no longer than `limit`.
bool ReadSmallFile(FileSystem* fs, const std::string& path, uint64_t limit,
                   std::vector<uint8_t>* out) {
  std::unique_ptr<File> f;
  uint64_t size = 0;
  size_t got = 0;
  if (Failed(fs->Open(path, OpenKind::kReadOnly, LockKind::kNone, &f)) ||
      Failed(f->GetSize(&size)) || size > limit)
    return false;
  out->resize(size);
  return Succeeded(f->ReadAt(0, out->data(), out->size(), &got)) && got == size;
}

}  // namespace

HRESULT Pager::Open(FileSystem* fs, const std::string& path, OpenKind kind, LockKind lock,
                    bool writable) {
  fs_ = fs;
  path_ = path;
  writable_ = writable;
  return fs->Open(path, kind, lock, &file_);
}

HRESULT Pager::ReadHeader(std::vector<uint8_t>* header) {
  std::vector<uint8_t>& h = *header;
  if (HRESULT hr = file_->GetSize(&file_size_); Failed(hr)) return hr;
  h.assign(std::min<uint64_t>(file_size_, 4096), 0);
  size_t got = 0;
  if (HRESULT hr = file_->ReadAt(0, h.data(), h.size(), &got); Failed(hr)) return hr;
  h.resize(got);
  return RecoverJournal(header);
}

HRESULT Pager::RecoverJournal(std::vector<uint8_t>* head) {
  const std::string jpath = JournalPath();
  if (fs_->Exists(jpath) != S_OK) return S_OK;
  std::vector<uint8_t> bytes;
  // A file of another kind under that name is left alone.
  const bool journal = ReadSmallFile(fs_, jpath, kMaxJournalBytes, &bytes) && JournalLike(bytes);
  bool apply = false;
  Journal j;
  if (journal && DecodeJournal(bytes, &j)) {
    const uint32_t hs = static_cast<uint32_t>(j.new_header.size());
    std::vector<uint8_t> cur(hs, 0);
    size_t n = 0;
    file_->ReadAt(0, cur.data(), hs, &n);
    // The header on disk is the old one, the new one, or a torn mix of both: finish the switch.
    // Anything else means the journal belongs to another file.
    bool ours = true;
    for (uint32_t i = 0; i < hs && ours; ++i)
      ours = cur[i] == j.old_header[i] || cur[i] == j.new_header[i];
    // A file put in this one's place (a backup, a new book) can have the very same header; the
    // sectors that the commit wrote before its journal must hold what it wrote.
    apply = ours && cur != j.new_header;
    std::vector<uint8_t> sector(hs);
    for (size_t c = 0; c < j.checks.size() && apply; ++c) {
      size_t read = 0;
      apply = Succeeded(file_->ReadAt((static_cast<uint64_t>(j.checks[c].sector) + 1) * hs,
                                      sector.data(), hs, &read)) &&
              read == hs && Fnv64(sector.data(), hs) == j.checks[c].hash;
    }
    if (apply) *head = j.new_header;
  }
  if (writable_ && journal) {
    if (apply) {
      if (HRESULT hr = file_->WriteAt(0, head->data(), head->size()); Failed(hr)) return hr;
      if (HRESULT hr = file_->Sync(); Failed(hr)) return hr;
    }
    fs_->Remove(jpath);
    fs_->SyncDirectory(jpath);
  }
  return S_OK;
}

bool Pager::CutTo(uint64_t bytes) {
  if (Failed(file_->SetSize(bytes)) || Failed(file_->Sync())) return false;
  file_size_ = bytes;
  return true;
}

void Pager::RoundUpToSectors() {
  if (file_size_ % ss_ == 0) return;
  uint64_t whole = (file_size_ + ss_ - 1) / ss_ * ss_;
  if (Succeeded(file_->SetSize(whole)) && Succeeded(file_->Sync())) file_size_ = whole;
}

HRESULT Pager::Page(uint32_t s, uint8_t** out) {
  auto it = pages_.find(s);
  if (it == pages_.end()) {
    if (s >= sector_limit_) return STG_E_DOCFILECORRUPT;
    std::vector<uint8_t> page(ss_, 0);
    size_t got = 0;
    if (HRESULT hr = file_->ReadAt(SectorOffset(s), page.data(), ss_, &got); Failed(hr)) return hr;
    if (got == 0) return STG_E_DOCFILECORRUPT;
    it = pages_.emplace(s, std::move(page)).first;
  }
  *out = it->second.data();
  return S_OK;
}

uint8_t* Pager::Cached(uint32_t s) {
  auto it = pages_.find(s);
  return it == pages_.end() ? nullptr : it->second.data();
}

HRESULT Pager::ReadThrough(uint32_t s, uint32_t within, void* dst, size_t size, size_t* got) {
  return file_->ReadAt(SectorOffset(s) + within, dst, size, got);
}

void Pager::NewPage(uint32_t s) {
  pages_[s].assign(ss_, 0);
  dirty_.insert(s);
}

void Pager::Put(uint32_t s, std::vector<uint8_t> content) {
  pages_[s] = std::move(content);
}

HRESULT Pager::Writable(uint32_t s, uint8_t** out) {
  auto it = pages_.find(s);
  if (it == pages_.end() || it->second.size() != ss_) return STG_E_DOCFILECORRUPT;
  dirty_.insert(s);
  *out = it->second.data();
  return S_OK;
}

void Pager::Drop(uint32_t s) {
  pages_.erase(s);
  dirty_.erase(s);
}

HRESULT Pager::WriteOut(const std::map<uint32_t, const uint8_t*>& tables) {
  std::map<uint32_t, const uint8_t*> out;
  for (uint32_t s : dirty_) out[s] = pages_[s].data();
  for (auto& [s, data] : tables) out[s] = data;
  // The journal names a few of the sectors written here, the allocation tables' first: every
  // commit that changes anything moves at least one FAT page.
  checks_.clear();
  for (int pass = 0; pass < 2; ++pass) {
    for (auto& [s, data] : out) {
      if (checks_.size() >= kJournalChecks) break;
      bool table = dirty_.count(s) == 0;
      if (table == (pass == 0)) checks_.push_back(SectorCheck{s, Fnv64(data, ss_)});
    }
  }
  // Runs of consecutive sectors go out in one write.
  std::vector<uint8_t> buf;
  auto flush_run = [&](uint32_t first) -> HRESULT {
    if (buf.empty()) return S_OK;
    HRESULT hr = file_->WriteAt(SectorOffset(first), buf.data(), buf.size());
    buf.clear();
    return hr;
  };
  uint32_t first = 0, prev = 0;
  for (auto& [s, data] : out) {
    if (!buf.empty() && (s != prev + 1 || buf.size() >= (256u << 10))) {
      if (HRESULT hr = flush_run(first); Failed(hr)) return hr;
    }
    if (buf.empty()) first = s;
    buf.insert(buf.end(), data, data + ss_);
    prev = s;
  }
  return flush_run(first);
}

HRESULT Pager::SwitchHeader(const std::vector<uint8_t>& header, bool* decided) {
  *decided = false;
  const std::string jpath = JournalPath();
  Journal journal;
  journal.old_header = committed_header_;
  journal.new_header = header;
  journal.checks = checks_;
  const std::vector<uint8_t> j = EncodeJournal(journal);
  // A file of another kind under the journal's name (a book called so) is not overwritten: the
  // commit fails and the book stays as it was.
  if (fs_->Exists(jpath) == S_OK) {
    std::vector<uint8_t> content;
    if (!ReadSmallFile(fs_, jpath, kMaxJournalBytes, &content) || !JournalLike(content))
      return STG_E_ACCESSDENIED;
  }
  HRESULT hr = S_OK;
  {
    std::unique_ptr<File> jf;
    // Never made through a symbolic link (the file system refuses); what sits under the name
    // then is not ours to remove.
    hr = fs_->Open(jpath, OpenKind::kCreateAlways, LockKind::kNone, &jf);
    if (Failed(hr)) return hr;
    hr = jf->WriteAt(0, j.data(), j.size());
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
  committed_header_ = header;
  fs_->Remove(jpath);
  fs_->SyncDirectory(jpath);
  return S_OK;
}

HRESULT Pager::Settle(const std::set<uint32_t>& freed, std::vector<uint64_t> minis,
                      uint32_t in_use) {
  std::vector<uint8_t> zeros(ss_, 0);
  for (uint32_t s : freed) {
    if (SectorOffset(s) >= file_size_) continue;
    if (HRESULT hr = file_->WriteAt(SectorOffset(s), zeros.data(), ss_); Failed(hr)) return hr;
  }
  // Neighbouring mini sectors go out in one write.
  std::sort(minis.begin(), minis.end());
  for (size_t i = 0; i < minis.size();) {
    size_t j = i + 1;
    while (j < minis.size() && minis[j] == minis[j - 1] + kMiniBytes &&
           (j - i + 1) * kMiniBytes <= ss_)
      ++j;
    const uint64_t off = minis[i];
    const size_t len = (j - i) * kMiniBytes;
    i = j;
    if (off + len > file_size_) continue;
    if (HRESULT hr = file_->WriteAt(off, zeros.data(), len); Failed(hr)) return hr;
  }
  uint64_t size = (static_cast<uint64_t>(in_use) + 1) * ss_;
  if (HRESULT hr = file_->GetSize(&file_size_); Failed(hr)) return hr;
  if (file_size_ != size) {
    if (HRESULT hr = file_->SetSize(size); Failed(hr)) return hr;
    file_size_ = size;
  }
  sector_limit_ = in_use;
  return file_->Sync();
}

void Pager::Rollback(uint64_t size_before, const std::unordered_set<uint32_t>& taken) {
  std::vector<uint8_t> zeros(ss_, 0);
  for (uint32_t s : taken)
    if (SectorOffset(s) + ss_ <= size_before) file_->WriteAt(SectorOffset(s), zeros.data(), ss_);
  file_->SetSize(size_before);
  file_->Sync();
}

void Pager::EndCommit() {
  dirty_.clear();
  pages_.clear();
}

}  // namespace qb::storage::detail
