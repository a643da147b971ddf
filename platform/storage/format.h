// On-disk constants and little-endian helpers of the compound-file format.
#pragma once

#include <cstdint>
#include <cstring>

namespace qb::storage::detail {

inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFAu;
inline constexpr uint32_t kDifSect = 0xFFFFFFFCu;
inline constexpr uint32_t kFatSect = 0xFFFFFFFDu;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFFu;
inline constexpr uint32_t kNoStream = 0xFFFFFFFFu;

inline constexpr uint32_t kMiniCutoff = 4096;
inline constexpr uint32_t kMiniSize = 64;
inline constexpr uint32_t kEntrySize = 128;
inline constexpr uint32_t kHeaderFatSlots = 109;
// Files refuse to grow past this many bytes (the range-lock sector sits just below 2 GB).
inline constexpr uint64_t kMaxFileBytes = 0x7FFFFF00ull;

inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

inline constexpr uint8_t kTypeUnused = 0;
inline constexpr uint8_t kTypeStorage = 1;
inline constexpr uint8_t kTypeStream = 2;
inline constexpr uint8_t kTypeRoot = 5;
inline constexpr uint8_t kRed = 0;
inline constexpr uint8_t kBlack = 1;

inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace qb::storage::detail
