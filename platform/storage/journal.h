// The commit journal: the small file beside a book that makes switching its header atomic.
//
// A commit writes the old and the new header there (synced) before it overwrites the header in
// place; an open that finds the journal finishes a switch that a crash tore. The journal also
// names a few sectors the commit wrote before it, with a hash of their content, so that a
// journal is never applied to another file that happens to sit under the book's name.
//
// Layout (little-endian): magic "QBCFBJ1\0", header size (512 or 4096), count of sector checks,
// the old header, the new header, per check the sector number (32 bits) and the FNV-1a hash of
// its content (64 bits), and last the FNV-1a hash of everything before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qb::storage::detail {

// Sectors of a commit whose content its journal records.
inline constexpr uint32_t kJournalChecks = 16;
// No journal is longer (two 4096-byte headers and every check).
inline constexpr uint64_t kMaxJournalBytes = 24 + 2 * 4096 + 12 * kJournalChecks;

struct SectorCheck {
  uint32_t sector = 0;
  uint64_t hash = 0;  // Fnv64 of the sector's content
};

struct Journal {
  std::vector<uint8_t> old_header;  // empty, or as long as new_header
  std::vector<uint8_t> new_header;  // 512 or 4096 bytes
  std::vector<SectorCheck> checks;  // at most kJournalChecks
};

// 64-bit FNV-1a.
uint64_t Fnv64(const uint8_t* p, size_t n);

// The bytes of `j`. A missing old header is written as zeros.
std::vector<uint8_t> EncodeJournal(const Journal& j);

// Reads a journal written by EncodeJournal; false for anything else (torn, damaged, foreign).
bool DecodeJournal(const std::vector<uint8_t>& bytes, Journal* out);

// Whether `bytes`, the content of the file under a book's journal name, is a journal or what a
// crash left of one (a prefix of the magic, or zeros where the data had not landed). Anything
// else is a file of another kind, never to be removed or overwritten.
bool JournalLike(const std::vector<uint8_t>& bytes);

}  // namespace qb::storage::detail
