// The commit: the steps that take a session's changes into the file, atomically.
//
// The mini FAT and the directory go to their (copy-on-write) sectors, the FAT pages that changed
// and the DIFAT move to fresh sectors, all of it is written and synced; then the pager switches
// the header through the journal, which is the moment the commit stands. Last, the sectors that
// only the old state used are zeroed and the file's free tail is cut. A commit that fails before
// the switch leaves the file as it was (what it wrote went to sectors free in the committed
// state, and is zeroed again) and the session broken.
#include <map>
#include <vector>

#include "platform/storage/header.h"
#include "platform/storage/return_if_failed.h"
#include "platform/storage/volume.h"

namespace qb::storage::detail {

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
  if (Failed(hr)) broken_ = hr;
  return hr;
}

}  // namespace qb::storage::detail
