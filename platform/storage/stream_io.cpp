#include "platform/storage/stream_io.h"

#include <algorithm>
#include <vector>

#include "platform/storage/return_if_failed.h"

namespace qb::storage::detail {

HRESULT StreamIo::Read(StreamState& st, uint64_t pos, uint8_t* data, uint64_t len) {
  return space_->ReadChain(st.chain, pos, data, len);
}

HRESULT StreamIo::Move(StreamState& st, bool to_mini, uint64_t keep) {
  std::vector<uint8_t> content(static_cast<size_t>(keep));
  RETURN_IF_FAILED(space_->ReadChain(st.chain, 0, content.data(), keep));
  RETURN_IF_FAILED(space_->ChainTruncate(st.chain, 0));
  st.chain = Chain{};
  st.chain.complete = true;
  st.chain.mini = to_mini;
  st.size = 0;
  return Write(st, 0, content.data(), keep);
}

HRESULT StreamIo::Write(StreamState& st, uint64_t pos, const uint8_t* data, uint64_t len) {
  uint64_t new_size = std::max(st.size, pos + len);
  if (st.chain.mini && new_size >= kMiniCutoff) RETURN_IF_FAILED(Move(st, false, st.size));
  RETURN_IF_FAILED(space_->WriteChain(st.chain, new_size, pos, data, len));
  st.size = new_size;
  return S_OK;
}

HRESULT StreamIo::Resize(StreamState& st, uint64_t size) {
  if (size > st.size) return Write(st, st.size, nullptr, size - st.size);
  if (!st.chain.mini && size < kMiniCutoff) return Move(st, true, size);
  const uint64_t unit = st.chain.mini ? kMiniSize : space_->sector_size();
  RETURN_IF_FAILED(space_->ChainTruncate(st.chain, static_cast<size_t>((size + unit - 1) / unit)));
  RETURN_IF_FAILED(space_->ZeroTail(st.chain, size));
  st.size = size;
  return S_OK;
}

}  // namespace qb::storage::detail
