// An allocation table: the FAT, or the mini FAT. Each entry names the next sector of its chain
// (or kEndOfChain, kFreeSect, ...). The table is read page by page as entries are asked for and
// remembers which pages this session changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/storage/format.h"
#include "platform/storage/storage.h"

namespace qb::storage::detail {

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

class AllocTable {
 public:
  // Fills the entries of page `page` (and, when it can, of the pages after it that are not
  // loaded yet) at `dst`, and says how many pages it filled (at least one).
  using Loader = std::function<HRESULT(uint32_t page, uint32_t* dst, uint32_t* pages)>;

  // Starts over with `pages` pages of `per_page` entries, none of them read yet.
  void Reset(uint32_t per_page, uint32_t pages, Loader loader);

  uint32_t pages() const { return static_cast<uint32_t>(loaded_.size()); }
  size_t size() const { return entries_.size(); }
  bool loaded(uint32_t page) const { return page < loaded_.size() && loaded_[page]; }
  bool dirty(uint32_t page) const { return dirty_[page] != 0; }
  bool any_dirty() const;
  void Clean(uint32_t page) { dirty_[page] = 0; }
  // Marks a loaded page changed, to be written again.
  void Touch(uint32_t page) { dirty_[page] = 1; }
  void CleanAll();

  HRESULT Load(uint32_t page);  // STG_E_DOCFILECORRUPT past the table's end
  HRESULT Get(uint32_t i, uint32_t* next);
  HRESULT Set(uint32_t i, uint32_t value);
  // Entry `i` of a page already loaded.
  uint32_t at(uint32_t i) const { return entries_[i]; }
  // The loaded entries, for scanning contiguous stretches.
  const uint32_t* data() const { return entries_.data(); }
  // Appends a page of free entries; it counts as loaded and changed.
  void AddPage();
  // Drops the last page.
  void RemoveLastPage();
  // Whether every entry of loaded page `page` is free.
  bool PageFree(uint32_t page) const;
  // The on-disk form of page `page`.
  void Encode(uint32_t page, uint8_t* out) const;

 private:
  uint32_t per_page_ = 128;
  Table entries_;
  std::vector<uint8_t> loaded_, dirty_;
  Loader loader_;
};

}  // namespace qb::storage::detail
