// Stream content: reading, writing and resizing a stream's chain, which is a chain of mini
// sectors while the stream is shorter than kMiniCutoff bytes and of regular sectors from there
// on (moved across as its size crosses that line).
#pragma once

#include <cstdint>

#include "platform/storage/sector_space.h"

namespace qb::storage::detail {

// An open stream.
struct StreamState {
  Chain chain;
  uint64_t size = 0;
  uint32_t parent = 0;  // the storage it is in
};

class StreamIo {
 public:
  explicit StreamIo(SectorSpace* space) : space_(space) {}

  // Reads `len` bytes at `pos`, all within the stream.
  HRESULT Read(StreamState& st, uint64_t pos, uint8_t* data, uint64_t len);
  // Writes `len` bytes at `pos` (zeros when `data` is null), growing the stream as needed; `pos`
  // is at most the stream's size.
  HRESULT Write(StreamState& st, uint64_t pos, const uint8_t* data, uint64_t len);
  // Grows (with zeros) or cuts the stream to `size` bytes.
  HRESULT Resize(StreamState& st, uint64_t size);

 private:
  // Moves the first `keep` bytes of the stream into a new chain of the other kind.
  HRESULT Move(StreamState& st, bool to_mini, uint64_t keep);

  SectorSpace* space_;
};

}  // namespace qb::storage::detail
