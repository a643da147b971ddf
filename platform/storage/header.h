// The header of a compound file: its first sector, the only structure written in place.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/storage/format.h"
#include "platform/storage/storage.h"

namespace qb::storage::detail {

struct Header {
  uint16_t major = 3;  // 3: 512-byte sectors, 4: 4096-byte sectors
  uint32_t sector_size = 512;
  uint32_t dir_sectors = 0;  // version 4 only
  uint32_t fat_sectors = 0;
  uint32_t dir_start = kEndOfChain;
  uint32_t minifat_start = kEndOfChain;
  uint32_t minifat_sectors = 0;
  uint32_t difat_start = kEndOfChain;
  uint32_t difat_sectors = 0;
  uint32_t fat[kHeaderFatSlots] = {};  // the first FAT sectors; kFreeSect past fat_sectors
};

// Reads the header at the start of `bytes` (the file's first bytes, up to one sector).
// STG_E_INVALIDHEADER for anything that is no header this engine reads.
HRESULT DecodeHeader(const std::vector<uint8_t>& bytes, Header* out);

// The header's sector (sector_size bytes).
std::vector<uint8_t> EncodeHeader(const Header& h);

}  // namespace qb::storage::detail
