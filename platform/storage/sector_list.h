// Chains of sectors as the engine holds them: the known prefix of a chain, kept as runs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/storage/format.h"

namespace qb::storage::detail {

// The sectors of a chain in order, kept as runs of consecutive sector numbers: chains are
// mostly contiguous, so walking and storing them stays cheap for long chains. It also catches a
// sector entering the chain twice (a cycle) at once.
class SectorList {
 public:
  size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  uint32_t back() const { return runs_.back().first + runs_.back().count - 1; }
  uint32_t operator[](size_t i) const {
    const Run& r = runs_[RunOf(i)];
    return r.first + static_cast<uint32_t>(i - r.pos);
  }
  bool contains(uint32_t s) const { return Overlaps(s, 1); }
  // Appends the n sectors a, a+1, ...; false when any of them is in the list already (a cycle).
  bool append_range(uint32_t a, uint32_t n) {
    if (n == 0) return true;
    if (Overlaps(a, n)) return false;
    if (!runs_.empty() && a == back() + 1) {
      runs_.back().count += n;
    } else {
      runs_.push_back(Run{a, n, length_});
    }
    length_ += n;
    if (bits_.empty() && runs_.size() >= 8) {
      for (const Run& r : runs_) SetBits(r.first, r.count, true);
    } else if (!bits_.empty()) {
      SetBits(a, n, true);
    }
    return true;
  }
  bool push_back(uint32_t s) { return append_range(s, 1); }
  // Calls fn(first sector, count, chain index of the first) for each run, in chain order.
  template <class Fn>
  void ForEachRun(Fn fn) const {
    for (const Run& r : runs_) fn(r.first, r.count, r.pos);
  }
  // Replaces the sector at index i; `s` must not be in the list.
  void set(size_t i, uint32_t s) {
    size_t k = RunOf(i);
    Run r = runs_[k];
    uint32_t off = static_cast<uint32_t>(i - r.pos);
    if (!bits_.empty()) {
      SetBits(r.first + off, 1, false);
      SetBits(s, 1, true);
    }
    // A sector that continues the run before (or starts the one after) joins it: moving a
    // chain's sectors one after the other into consecutive places keeps the list short.
    if (off == 0 && k > 0 && runs_[k - 1].first + runs_[k - 1].count == s) {
      ++runs_[k - 1].count;
      if (r.count == 1) {
        runs_.erase(runs_.begin() + static_cast<long>(k));
      } else {
        runs_[k] = Run{r.first + 1, r.count - 1, r.pos + 1};
      }
      return;
    }
    if (off + 1 == r.count && k + 1 < runs_.size() && runs_[k + 1].first == s + 1) {
      runs_[k + 1] = Run{s, runs_[k + 1].count + 1, i};
      if (r.count == 1) {
        runs_.erase(runs_.begin() + static_cast<long>(k));
      } else {
        --runs_[k].count;
      }
      return;
    }
    std::vector<Run> parts;
    if (off > 0) parts.push_back(Run{r.first, off, r.pos});
    parts.push_back(Run{s, 1, i});
    if (off + 1 < r.count) parts.push_back(Run{r.first + off + 1, r.count - off - 1, i + 1});
    runs_[k] = parts[0];
    runs_.insert(runs_.begin() + static_cast<long>(k) + 1, parts.begin() + 1, parts.end());
  }
  // Keeps the first n sectors.
  void resize(size_t n) {
    if (n >= length_) return;
    size_t k = n == 0 ? 0 : RunOf(n - 1);
    for (size_t j = k; j < runs_.size(); ++j) {
      uint32_t from = j == k && n > 0 ? static_cast<uint32_t>(n - runs_[j].pos) : 0;
      if (!bits_.empty()) SetBits(runs_[j].first + from, runs_[j].count - from, false);
    }
    if (n == 0) {
      runs_.clear();
    } else {
      runs_.resize(k + 1);
      runs_[k].count = static_cast<uint32_t>(n - runs_[k].pos);
    }
    length_ = n;
  }

 private:
  struct Run {
    uint32_t first, count;
    size_t pos;  // chain index of `first`
  };
  size_t RunOf(size_t i) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                               [](size_t v, const Run& r) { return v < r.pos; });
    return static_cast<size_t>(it - runs_.begin()) - 1;
  }
  // Lists of few runs answer membership by scanning them; longer ones keep a bitmap.
  bool Overlaps(uint32_t a, uint32_t n) const {
    uint64_t end = static_cast<uint64_t>(a) + n;
    if (bits_.empty()) {
      for (const Run& r : runs_)
        if (a < static_cast<uint64_t>(r.first) + r.count && r.first < end) return true;
      return false;
    }
    for (uint64_t s = a; s < end;) {
      size_t w = static_cast<size_t>(s / 64);
      if (w >= bits_.size()) return false;
      uint32_t lo = static_cast<uint32_t>(s % 64);
      uint64_t span = std::min<uint64_t>(64 - lo, end - s);
      uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << lo;
      if (bits_[w] & mask) return true;
      s += span;
    }
    return false;
  }
  void SetBits(uint32_t a, uint32_t n, bool on) {
    uint64_t end = static_cast<uint64_t>(a) + n;
    if (on && (end + 63) / 64 > bits_.size()) bits_.resize(static_cast<size_t>((end + 63) / 64), 0);
    for (uint64_t s = a; s < end;) {
      size_t w = static_cast<size_t>(s / 64);
      if (w >= bits_.size()) return;
      uint32_t lo = static_cast<uint32_t>(s % 64);
      uint64_t span = std::min<uint64_t>(64 - lo, end - s);
      uint64_t mask = (span == 64 ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << lo;
      if (on) {
        bits_[w] |= mask;
      } else {
        bits_[w] &= ~mask;
      }
      s += span;
    }
  }

  std::vector<Run> runs_;
  size_t length_ = 0;
  std::vector<uint64_t> bits_;
};

// A chain of sectors (regular or mini) whose prefix is known.
struct Chain {
  uint32_t start = kEndOfChain;
  SectorList known;
  bool complete = false;
  bool mini = false;
};

}  // namespace qb::storage::detail
