#include "platform/storage/header.h"

#include <cstring>

namespace qb::storage::detail {

HRESULT DecodeHeader(const std::vector<uint8_t>& h, Header* out) {
  if (h.size() < 512 || memcmp(h.data(), kSignature, 8) != 0) return STG_E_INVALIDHEADER;
  const uint16_t major = Get16(&h[0x1A]);
  const uint16_t shift = Get16(&h[0x1E]);
  if (Get16(&h[0x1C]) != 0xFFFE || Get16(&h[0x20]) != 6 || Get32(&h[0x38]) != kMiniCutoff)
    return STG_E_INVALIDHEADER;
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return STG_E_INVALIDHEADER;
  const uint32_t ss = 1u << shift;
  if (h.size() < ss) return STG_E_INVALIDHEADER;
  out->major = major;
  out->sector_size = ss;
  out->dir_sectors = Get32(&h[0x28]);
  out->fat_sectors = Get32(&h[0x2C]);
  out->dir_start = Get32(&h[0x30]);
  out->minifat_start = Get32(&h[0x3C]);
  out->minifat_sectors = Get32(&h[0x40]);
  out->difat_start = Get32(&h[0x44]);
  out->difat_sectors = Get32(&h[0x48]);
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i) out->fat[i] = Get32(&h[0x4C + 4 * i]);
  return S_OK;
}

std::vector<uint8_t> EncodeHeader(const Header& in) {
  std::vector<uint8_t> h(in.sector_size, 0);
  memcpy(h.data(), kSignature, 8);
  Put16(&h[0x18], 0x3E);
  Put16(&h[0x1A], in.major);
  Put16(&h[0x1C], 0xFFFE);
  Put16(&h[0x1E], in.sector_size == 512 ? 9 : 12);
  Put16(&h[0x20], 6);
  Put32(&h[0x28], in.dir_sectors);
  Put32(&h[0x2C], in.fat_sectors);
  Put32(&h[0x30], in.dir_start);
  Put32(&h[0x38], kMiniCutoff);
  Put32(&h[0x3C], in.minifat_start);
  Put32(&h[0x40], in.minifat_sectors);
  Put32(&h[0x44], in.difat_start);
  Put32(&h[0x48], in.difat_sectors);
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i) Put32(&h[0x4C + 4 * i], in.fat[i]);
  return h;
}

}  // namespace qb::storage::detail
