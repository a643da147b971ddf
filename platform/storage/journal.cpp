#include "platform/storage/journal.h"

#include <algorithm>
#include <cstring>

#include "platform/storage/format.h"

namespace qb::storage::detail {
namespace {

constexpr char kJournalMagic[8] = {'Q', 'B', 'C', 'F', 'B', 'J', '1', 0};
constexpr size_t kFixedBytes = 16;  // magic, header size, count of checks
constexpr size_t kCheckBytes = 12;
constexpr size_t kHashBytes = 8;

}  // namespace

uint64_t Fnv64(const uint8_t* p, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

std::vector<uint8_t> EncodeJournal(const Journal& j) {
  const size_t hs = j.new_header.size();
  std::vector<uint8_t> out(kFixedBytes + 2 * hs + kCheckBytes * j.checks.size() + kHashBytes, 0);
  memcpy(out.data(), kJournalMagic, 8);
  Put32(&out[8], static_cast<uint32_t>(hs));
  Put32(&out[12], static_cast<uint32_t>(j.checks.size()));
  if (j.old_header.size() == hs) std::copy(j.old_header.begin(), j.old_header.end(), &out[16]);
  std::copy(j.new_header.begin(), j.new_header.end(), &out[16 + hs]);
  for (size_t c = 0; c < j.checks.size(); ++c) {
    uint8_t* rec = &out[kFixedBytes + 2 * hs + kCheckBytes * c];
    Put32(rec, j.checks[c].sector);
    Put64(rec + 4, j.checks[c].hash);
  }
  Put64(&out[out.size() - kHashBytes], Fnv64(out.data(), out.size() - kHashBytes));
  return out;
}

bool DecodeJournal(const std::vector<uint8_t>& bytes, Journal* out) {
  const size_t n = bytes.size();
  if (n < kFixedBytes + kHashBytes || n > kMaxJournalBytes) return false;
  if (memcmp(bytes.data(), kJournalMagic, 8) != 0) return false;
  if (Get64(&bytes[n - kHashBytes]) != Fnv64(bytes.data(), n - kHashBytes)) return false;
  const uint32_t hs = Get32(&bytes[8]);
  const uint32_t checks = Get32(&bytes[12]);
  if ((hs != 512 && hs != 4096) || checks > kJournalChecks) return false;
  if (kFixedBytes + 2 * static_cast<uint64_t>(hs) + kCheckBytes * static_cast<uint64_t>(checks) +
          kHashBytes !=
      n)
    return false;
  const uint8_t* old_h = &bytes[kFixedBytes];
  const uint8_t* new_h = old_h + hs;
  out->old_header.assign(old_h, old_h + hs);
  out->new_header.assign(new_h, new_h + hs);
  out->checks.resize(checks);
  for (uint32_t c = 0; c < checks; ++c) {
    const uint8_t* rec = new_h + hs + kCheckBytes * static_cast<size_t>(c);
    out->checks[c] = SectorCheck{Get32(rec), Get64(rec + 4)};
  }
  return true;
}

bool JournalLike(const std::vector<uint8_t>& bytes) {
  if (bytes.size() > kMaxJournalBytes) return false;
  if (bytes.empty()) return true;
  if (memcmp(bytes.data(), kJournalMagic, std::min<size_t>(bytes.size(), 8)) == 0) return true;
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace qb::storage::detail
