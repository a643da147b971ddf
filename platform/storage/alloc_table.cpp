#include "platform/storage/alloc_table.h"

#include <algorithm>

namespace qb::storage::detail {

void AllocTable::Reset(uint32_t per_page, uint32_t pages, Loader loader) {
  per_page_ = per_page;
  entries_.resize(static_cast<size_t>(pages) * per_page);  // filled as pages load
  loaded_.assign(pages, 0);
  dirty_.assign(pages, 0);
  loader_ = std::move(loader);
}

bool AllocTable::any_dirty() const {
  return std::find(dirty_.begin(), dirty_.end(), 1) != dirty_.end();
}

void AllocTable::CleanAll() {
  std::fill(dirty_.begin(), dirty_.end(), 0);
}

HRESULT AllocTable::Load(uint32_t page) {
  if (page >= loaded_.size()) return STG_E_DOCFILECORRUPT;
  if (loaded_[page]) return S_OK;
  uint32_t n = 0;
  HRESULT hr = loader_(page, &entries_[static_cast<size_t>(page) * per_page_], &n);
  if (Failed(hr)) return hr;
  for (uint32_t k = 0; k < n; ++k) loaded_[page + k] = 1;
  return S_OK;
}

HRESULT AllocTable::Get(uint32_t i, uint32_t* next) {
  HRESULT hr = Load(i / per_page_);
  if (Failed(hr)) return hr;
  *next = entries_[i];
  return S_OK;
}

HRESULT AllocTable::Set(uint32_t i, uint32_t value) {
  HRESULT hr = Load(i / per_page_);
  if (Failed(hr)) return hr;
  entries_[i] = value;
  dirty_[i / per_page_] = 1;
  return S_OK;
}

void AllocTable::AddPage() {
  entries_.resize(entries_.size() + per_page_, kFreeSect);
  loaded_.push_back(1);
  dirty_.push_back(1);
}

void AllocTable::RemoveLastPage() {
  entries_.resize(entries_.size() - per_page_);
  loaded_.pop_back();
  dirty_.pop_back();
}

bool AllocTable::PageFree(uint32_t page) const {
  const uint32_t* p = entries_.data() + static_cast<size_t>(page) * per_page_;
  return std::all_of(p, p + per_page_, [](uint32_t v) { return v == kFreeSect; });
}

void AllocTable::Encode(uint32_t page, uint8_t* out) const {
  for (uint32_t i = 0; i < per_page_; ++i)
    Put32(out + 4 * i, entries_[static_cast<size_t>(page) * per_page_ + i]);
}

}  // namespace qb::storage::detail
