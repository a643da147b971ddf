#include "platform/storage/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/codepage/codepage.h"
#include "platform/storage/format.h"

namespace qb::storage {
namespace {

using namespace detail;

std::string Utf8(const std::u16string& s) {
  return codepage::Utf16ToUtf8Lossy(s, "\uFFFD");
}

std::string Hex(uint32_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

struct Entry {
  std::u16string name;
  uint16_t name_bytes = 0;
  uint8_t type = 0, color = 0;
  uint32_t left = 0, right = 0, child = 0, start = 0;
  uint64_t ctime = 0, mtime = 0, size = 0, raw_size = 0;
};

class Checker {
 public:
  Checker(std::vector<uint8_t> data, std::vector<std::string>* problems)
      : d_(std::move(data)), p_(problems) {}

  HRESULT Run();

 private:
  void Fail(const std::string& what) { p_->push_back(what); }
  const uint8_t* Sector(uint32_t s) const { return &d_[(static_cast<size_t>(s) + 1) * ss_]; }
  // Walks a regular chain, claiming each sector for `owner`. Returns the chain.
  std::vector<uint32_t> Walk(uint32_t start, const std::string& owner);
  std::vector<uint32_t> WalkMini(uint32_t start, const std::string& owner);
  // An allocation table as the walk sees it: entries, their owners so far, how many of them lie
  // in the file (or the mini stream), and how its faults read.
  struct Table {
    const std::vector<uint32_t>& next;
    std::vector<std::string>& owners;
    uint64_t count;
    const char* unit;
    const char* leaves;
  };
  std::vector<uint32_t> WalkIn(const Table& t, uint32_t start, const std::string& owner);
  void CheckTree(uint32_t storage, const std::string& path, int depth);
  int BlackHeight(uint32_t node, const std::string& path, int depth);

  std::vector<uint8_t> d_;
  std::vector<std::string>* p_;
  uint32_t ss_ = 512, epp_ = 128, n_ = 0;
  uint16_t major_ = 3;
  std::vector<uint32_t> fat_, minifat_;
  std::vector<std::string> owner_, mini_owner_;
  std::vector<Entry> entries_;
  std::vector<uint8_t> reached_;
  uint64_t mini_count_ = 0;
};

std::vector<uint32_t> Checker::WalkIn(const Table& t, uint32_t start, const std::string& owner) {
  std::vector<uint32_t> chain;
  const uint64_t limit = std::min<uint64_t>(t.count, t.next.size());
  uint32_t s = start;
  while (s != kEndOfChain) {
    if (s >= limit) {
      Fail(owner + t.leaves + Hex(s));
      break;
    }
    if (!t.owners[s].empty()) {
      Fail(owner + ": " + t.unit + " " + Hex(s) + " already belongs to " + t.owners[s]);
      break;
    }
    t.owners[s] = owner;
    chain.push_back(s);
    s = t.next[s];
  }
  return chain;
}

std::vector<uint32_t> Checker::Walk(uint32_t start, const std::string& owner) {
  return WalkIn(Table{fat_, owner_, n_, "sector", ": chain leaves the file at sector "}, start,
                owner);
}

std::vector<uint32_t> Checker::WalkMini(uint32_t start, const std::string& owner) {
  return WalkIn(Table{minifat_, mini_owner_, mini_count_, "mini sector",
                      ": mini chain leaves the mini stream at "},
                start, owner);
}

int Checker::BlackHeight(uint32_t node, const std::string& path, int depth) {
  if (node == kNoStream) return 1;
  if (depth > 64 || node >= entries_.size()) return -1000;
  const Entry& e = entries_[node];
  int l = BlackHeight(e.left, path, depth + 1);
  int r = BlackHeight(e.right, path, depth + 1);
  if (l != r) {
    Fail(path + ": red-black rule broken: paths below \"" + Utf8(e.name) +
         "\" hold different numbers of black nodes");
    return -1000;
  }
  if (e.color == kRed) {
    for (uint32_t c : {e.left, e.right})
      if (c != kNoStream && c < entries_.size() && entries_[c].color == kRed)
        Fail(path + ": red-black rule broken: red \"" + Utf8(e.name) + "\" has a red child");
  }
  return l + (e.color == kBlack ? 1 : 0);
}

void Checker::CheckTree(uint32_t storage, const std::string& path, int depth) {
  if (depth > 256) {
    Fail(path + ": storages nested too deep");
    return;
  }
  uint32_t root = entries_[storage].child;
  if (root == kNoStream) return;
  // In-order walk: every node once, names strictly increasing.
  std::vector<uint32_t> order, stack;
  uint32_t cur = root;
  bool broken = false;
  while ((cur != kNoStream || !stack.empty()) && !broken) {
    while (cur != kNoStream) {
      if (cur >= entries_.size()) {
        Fail(path + ": sibling id " + Hex(cur) + " outside the directory");
        broken = true;
        break;
      }
      if (reached_[cur]) {
        Fail(path + ": entry " + Hex(cur) + " reached twice (loop or shared subtree)");
        broken = true;
        break;
      }
      reached_[cur] = 1;
      stack.push_back(cur);
      cur = entries_[cur].left;
    }
    if (broken || stack.empty()) break;
    cur = stack.back();
    stack.pop_back();
    order.push_back(cur);
    cur = entries_[cur].right;
  }
  if (broken) return;
  if (entries_[root].color != kBlack) Fail(path + ": tree root is red");
  BlackHeight(root, path, 0);
  for (size_t i = 0; i < order.size(); ++i) {
    const Entry& e = entries_[order[i]];
    std::string where = path + "/" + Utf8(e.name);
    if (i > 0 && CompareNames(entries_[order[i - 1]].name, e.name) >= 0)
      Fail(where + ": out of order after \"" + Utf8(entries_[order[i - 1]].name) + "\"");
    if (e.type != kTypeStorage && e.type != kTypeStream) {
      Fail(where + ": entry of type " + std::to_string(e.type) + " in a tree");
      continue;
    }
    if (ValidateName(e.name) != S_OK) Fail(where + ": invalid name");
    if (e.name_bytes != (e.name.size() + 1) * 2) Fail(where + ": name length field wrong");
    if (e.color != kRed && e.color != kBlack) Fail(where + ": colour neither red nor black");
    if (e.type == kTypeStorage) {
      if (e.start != 0 || e.raw_size != 0) Fail(where + ": storage with a start sector or size");
      CheckTree(order[i], where, depth + 1);
      continue;
    }
    if (e.ctime != 0 || e.mtime != 0) Fail(where + ": stream with times");
    if (e.child != kNoStream) Fail(where + ": stream with children");
    if (major_ == 3 && (e.raw_size >> 32) != 0) Fail(where + ": size above 4 GB in version 3");
    if (e.size == 0) continue;
    if (e.size < kMiniCutoff) {
      auto chain = WalkMini(e.start, where);
      if (chain.size() != (e.size + kMiniSize - 1) / kMiniSize)
        Fail(where + ": size " + std::to_string(e.size) + " against " +
             std::to_string(chain.size()) + " mini sectors");
    } else {
      auto chain = Walk(e.start, where);
      if (chain.size() != (e.size + ss_ - 1) / ss_)
        Fail(where + ": size " + std::to_string(e.size) + " against " +
             std::to_string(chain.size()) + " sectors");
    }
  }
}

HRESULT Checker::Run() {
  if (d_.size() < 512 || memcmp(d_.data(), kSignature, 8) != 0) {
    Fail("header: not a compound file");
    return STG_E_INVALIDHEADER;
  }
  const uint8_t* h = d_.data();
  major_ = Get16(h + 0x1A);
  uint16_t shift = Get16(h + 0x1E);
  if (!((major_ == 3 && shift == 9) || (major_ == 4 && shift == 12))) {
    Fail("header: version " + std::to_string(major_) + " with sector shift " +
         std::to_string(shift));
    return STG_E_INVALIDHEADER;
  }
  ss_ = 1u << shift;
  epp_ = ss_ / 4;
  if (Get16(h + 0x1C) != 0xFFFE) Fail("header: byte order mark");
  if (Get16(h + 0x20) != 6) Fail("header: mini sector shift");
  if (Get32(h + 0x38) != kMiniCutoff) Fail("header: mini stream cutoff");
  if (Get16(h + 0x18) != 0x3E) Fail("header: minor version");
  if (major_ == 3 && Get32(h + 0x28) != 0) Fail("header: directory sector count in version 3");
  if (d_.size() < ss_) {
    Fail("file shorter than its header");
    return STG_E_DOCFILECORRUPT;
  }
  if (d_.size() % ss_ != 0) Fail("file length is not a whole number of sectors");
  n_ = static_cast<uint32_t>((d_.size() - ss_) / ss_);
  d_.resize((static_cast<size_t>(n_) + 1) * ss_);
  owner_.assign(n_, "");

  // FAT sectors from the header and the DIFAT chain.
  uint32_t num_fat = Get32(h + 0x2C), num_difat = Get32(h + 0x48);
  std::vector<uint32_t> locs;
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i) {
    uint32_t v = Get32(h + 0x4C + 4 * i);
    if (i < num_fat) {
      locs.push_back(v);
    } else if (v != kFreeSect) {
      Fail("header: FAT slot " + std::to_string(i) + " used beyond the FAT sector count");
    }
  }
  std::vector<uint32_t> difat;
  uint32_t dsec = Get32(h + 0x44);
  while (dsec != kEndOfChain && difat.size() <= num_difat) {
    if (dsec >= n_) {
      Fail("DIFAT: sector " + Hex(dsec) + " outside the file");
      break;
    }
    difat.push_back(dsec);
    const uint8_t* p = Sector(dsec);
    for (uint32_t i = 0; i + 1 < epp_; ++i) {
      uint32_t v = Get32(p + 4 * i);
      if (locs.size() < num_fat) {
        locs.push_back(v);
      } else if (v != kFreeSect) {
        Fail("DIFAT: entry used beyond the FAT sector count");
      }
    }
    dsec = Get32(p + ss_ - 4);
  }
  if (difat.size() != num_difat) Fail("header: DIFAT sector count differs from the DIFAT chain");
  if (locs.size() != num_fat) {
    Fail("FAT: fewer FAT sectors listed than the header counts");
    return STG_E_DOCFILECORRUPT;
  }
  fat_.assign(static_cast<size_t>(num_fat) * epp_, kFreeSect);
  for (uint32_t i = 0; i < num_fat; ++i) {
    if (locs[i] >= n_) {
      Fail("FAT: sector " + Hex(locs[i]) + " outside the file");
      return STG_E_DOCFILECORRUPT;
    }
    for (uint32_t k = 0; k < epp_; ++k)
      fat_[static_cast<size_t>(i) * epp_ + k] = Get32(Sector(locs[i]) + 4 * k);
  }
  // Sectors past the FAT's reach can belong to nothing: trailing bytes, left by a commit that a
  // crash cut short. Readers ignore them.
  n_ = std::min<uint32_t>(n_, static_cast<uint32_t>(fat_.size()));
  owner_.resize(n_);
  // The sectors of the FAT and of the DIFAT belong to them and are marked so in the FAT.
  auto claim = [&](const std::vector<uint32_t>& sectors, const std::string& what,
                   const char* repeated, uint32_t mark, const char* mark_name) {
    for (uint32_t s : sectors) {
      if (s >= n_) {
        Fail(what + " sector " + Hex(s) + " beyond the FAT's reach");
        continue;
      }
      if (!owner_[s].empty()) Fail(what + " sector " + Hex(s) + " " + repeated);
      owner_[s] = what;
      if (s < fat_.size() && fat_[s] != mark)
        Fail(what + " sector " + Hex(s) + " not marked " + mark_name);
    }
  };
  claim(locs, "FAT", "listed twice", kFatSect, "FATSECT");
  claim(difat, "DIFAT", "used twice", kDifSect, "DIFSECT");

  // Directory.
  auto dir = Walk(Get32(h + 0x30), "directory");
  if (dir.empty()) {
    Fail("directory: empty");
    return STG_E_DOCFILECORRUPT;
  }
  if (major_ == 4 && Get32(h + 0x28) != dir.size()) Fail("header: directory sector count");
  const uint32_t per = ss_ / kEntrySize;
  for (uint32_t s : dir) {
    for (uint32_t k = 0; k < per; ++k) {
      const uint8_t* p = Sector(s) + k * kEntrySize;
      Entry e;
      e.name_bytes = Get16(p + 0x40);
      for (uint32_t i = 0; i < std::min<uint32_t>(e.name_bytes / 2, 32); ++i) {
        char16_t c = static_cast<char16_t>(Get16(p + 2 * i));
        if (c == 0) break;
        e.name.push_back(c);
      }
      e.type = p[0x42];
      e.color = p[0x43];
      e.left = Get32(p + 0x44);
      e.right = Get32(p + 0x48);
      e.child = Get32(p + 0x4C);
      e.ctime = Get64(p + 0x64);
      e.mtime = Get64(p + 0x6C);
      e.start = Get32(p + 0x74);
      e.raw_size = Get64(p + 0x78);
      e.size = major_ == 3 ? (e.raw_size & 0xFFFFFFFFu) : e.raw_size;
      entries_.push_back(std::move(e));
    }
  }
  reached_.assign(entries_.size(), 0);
  const Entry& root = entries_[0];
  if (root.type != kTypeRoot) {
    Fail("directory: entry 0 is not the root");
    return STG_E_DOCFILECORRUPT;
  }
  reached_[0] = 1;

  // Mini FAT and mini stream.
  auto mfchain = Walk(Get32(h + 0x3C), "mini FAT");
  if (mfchain.size() != Get32(h + 0x40))
    Fail("header: mini FAT sector count differs from its chain");
  for (uint32_t s : mfchain)
    for (uint32_t k = 0; k < epp_; ++k) minifat_.push_back(Get32(Sector(s) + 4 * k));
  auto ministream = root.size > 0 ? Walk(root.start, "mini stream") : std::vector<uint32_t>{};
  if (ministream.size() != (root.size + ss_ - 1) / ss_)
    Fail("mini stream: size " + std::to_string(root.size) + " against " +
         std::to_string(ministream.size()) + " sectors");
  mini_count_ = std::min<uint64_t>(root.size / kMiniSize, minifat_.size());
  mini_owner_.assign(mini_count_, "");

  CheckTree(0, "", 0);

  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.type == kTypeUnused) {
      if (reached_[i]) continue;
      if (e.name_bytes != 0)
        Fail("directory: unused entry " + Hex(static_cast<uint32_t>(i)) + " has a name");
      continue;
    }
    if (!reached_[i])
      Fail("directory: entry " + Hex(static_cast<uint32_t>(i)) + " (\"" + Utf8(e.name) +
           "\") is unreachable");
  }
  for (uint32_t s = 0; s < n_ && s < fat_.size(); ++s) {
    if (owner_[s].empty() && fat_[s] != kFreeSect)
      Fail("sector " + Hex(s) + " is allocated but lost");
  }
  for (uint64_t m = 0; m < mini_count_; ++m) {
    if (mini_owner_[m].empty() && minifat_[m] != kFreeSect)
      Fail("mini sector " + Hex(static_cast<uint32_t>(m)) + " is allocated but lost");
  }
  return p_->empty() ? S_OK : STG_E_DOCFILECORRUPT;
}

}  // namespace

HRESULT CheckCompoundFile(const std::string& path, std::vector<std::string>* problems,
                          FileSystem* fs) {
  if (fs == nullptr) fs = FileSystem::Posix();
  std::unique_ptr<File> f;
  if (HRESULT hr = fs->Open(path, OpenKind::kReadOnly, LockKind::kShared, &f); Failed(hr))
    return hr;
  uint64_t size = 0;
  if (HRESULT hr = f->GetSize(&size); Failed(hr)) return hr;
  if (size > kMaxFileBytes + 4096) return STG_E_DOCFILETOOLARGE;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  size_t got = 0;
  if (HRESULT hr = f->ReadAt(0, data.data(), data.size(), &got); Failed(hr)) return hr;
  data.resize(got);
  Checker c(std::move(data), problems);
  return c.Run();
}

}  // namespace qb::storage
