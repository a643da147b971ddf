#include "platform/storage/directory.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_set>

#include "platform/storage/return_if_failed.h"

namespace qb::storage::detail {
namespace {

// Version 3 writers may leave garbage in the high half of the size.
void DecodeEntry(const uint8_t* p, uint16_t major, DirEntry* out) {
  DirEntry& e = *out;
  e.type = p[0x42];
  if (e.type != kTypeStorage && e.type != kTypeStream && e.type != kTypeRoot) e.type = kTypeUnused;
  if (e.type == kTypeUnused) return;
  uint32_t units = std::min<uint32_t>(Get16(&p[0x40]) / 2, 32);
  for (uint32_t i = 0; i < units; ++i) {
    char16_t c = static_cast<char16_t>(Get16(&p[2 * i]));
    if (c == 0) break;
    e.name.push_back(c);
  }
  e.color = p[0x43];
  e.left = Get32(&p[0x44]);
  e.right = Get32(&p[0x48]);
  e.child = Get32(&p[0x4C]);
  memcpy(e.clsid, &p[0x50], 16);
  e.state = Get32(&p[0x60]);
  e.ctime = Get64(&p[0x64]);
  e.mtime = Get64(&p[0x6C]);
  e.start = Get32(&p[0x74]);
  e.size = major == 3 ? Get32(&p[0x78]) : Get64(&p[0x78]);
}

// Streams keep no times.
void EncodeEntry(const DirEntry& e, uint8_t* p) {
  memset(p, 0, kEntrySize);
  if (e.type == kTypeUnused) {
    Put32(&p[0x44], kNoStream);
    Put32(&p[0x48], kNoStream);
    Put32(&p[0x4C], kNoStream);
    return;
  }
  size_t units = std::min<size_t>(e.name.size(), kMaxNameLength);
  for (size_t i = 0; i < units; ++i) Put16(&p[2 * i], e.name[i]);
  Put16(&p[0x40], static_cast<uint16_t>((units + 1) * 2));
  p[0x42] = e.type;
  p[0x43] = e.color;
  Put32(&p[0x44], e.left);
  Put32(&p[0x48], e.right);
  Put32(&p[0x4C], e.child);
  memcpy(&p[0x50], e.clsid, 16);
  Put32(&p[0x60], e.state);
  Put64(&p[0x64], e.type == kTypeStream ? 0 : e.ctime);
  Put64(&p[0x6C], e.type == kTypeStream ? 0 : e.mtime);
  Put32(&p[0x74], e.start);
  Put64(&p[0x78], e.size);
}

}  // namespace

void Directory::Reset(uint16_t major, uint32_t start) {
  major_ = major;
  dir_chain_ = Chain{};
  dir_chain_.start = start;
  raw_.clear();
  raw_first_ = raw_end_ = 0;
}

HRESULT Directory::LoadEntrySector(uint32_t id) {
  const uint32_t per = PerSector();
  uint32_t idx = id / per;
  const uint8_t* page = nullptr;
  RETURN_IF_FAILED(space_->ReadableSector(dir_chain_, idx, &page));
  for (uint32_t k = 0; k < per; ++k) {
    uint32_t eid = idx * per + k;
    if (entries_.count(eid)) continue;
    DirEntry e;
    DecodeEntry(page + k * kEntrySize, major_, &e);
    entries_.emplace(eid, std::move(e));
  }
  return S_OK;
}

HRESULT Directory::GetEntry(uint32_t id, DirEntry** out) {
  if (id > kMaxRegSect) return STG_E_DOCFILECORRUPT;
  auto it = entries_.find(id);
  if (it == entries_.end()) {
    RETURN_IF_FAILED(LoadEntrySector(id));
    it = entries_.find(id);
    if (it == entries_.end()) return STG_E_DOCFILECORRUPT;
  }
  *out = &it->second;
  return S_OK;
}

void Directory::MarkEntryDirty(uint32_t id) {
  dirty_sectors_.insert(id / (PerSector()));
}

HRESULT Directory::NewEntry(uint32_t* id) {
  if (!free_ids_.empty()) {
    *id = free_ids_.back();
    free_ids_.pop_back();
    return S_OK;
  }
  const uint32_t per = PerSector();
  const uint32_t ss = space_->sector_size();
  RETURN_IF_FAILED(space_->ChainComplete(dir_chain_));
  const uint64_t cap = static_cast<uint64_t>(dir_chain_.known.size()) * per;
  // First fit from the hint on. Sectors not read yet are looked at raw, many at a time, and
  // only their entries' types; the entry taken is read properly and checked again.
  while (next_id_scan_ < cap) {
    const uint32_t cand = next_id_scan_++;
    auto it = entries_.find(cand);
    if (it != entries_.end()) {
      if (it->second.type != kTypeUnused) continue;
    } else {
      if (cand < raw_first_ || cand >= raw_end_) {
        const uint64_t sector = cand / per;
        const uint64_t n = std::min<uint64_t>(kScanSectors, dir_chain_.known.size() - sector);
        raw_end_ = 0;
        raw_.resize(static_cast<size_t>(n * ss));
        RETURN_IF_FAILED(space_->ReadChain(dir_chain_, sector * ss, raw_.data(), n * ss));
        raw_first_ = sector * per;
        raw_end_ = raw_first_ + n * per;
      }
      const uint8_t type = raw_[static_cast<size_t>((cand - raw_first_) * kEntrySize + 0x42)];
      if (type == kTypeStorage || type == kTypeStream || type == kTypeRoot) continue;
    }
    DirEntry* e = nullptr;
    RETURN_IF_FAILED(GetEntry(cand, &e));
    if (e->type == kTypeUnused && !open_->count(cand)) {
      *e = DirEntry{};
      *id = cand;
      return S_OK;
    }
  }
  uint32_t s = 0;
  RETURN_IF_FAILED(space_->AllocAfter(dir_chain_, &s));
  RETURN_IF_FAILED(space_->ChainAppend(dir_chain_, s));
  uint32_t first = static_cast<uint32_t>(cap);
  for (uint32_t k = 0; k < per; ++k) {
    entries_[first + k] = DirEntry{};
    MarkEntryDirty(first + k);
  }
  next_id_scan_ = first + 1;
  *id = first;
  return S_OK;
}

uint32_t Directory::free_hint() const {
  uint32_t hint = next_id_scan_;
  for (uint32_t id : free_ids_) hint = std::min(hint, id);
  return hint;
}

HRESULT Directory::WalkTree(uint32_t root, std::vector<uint32_t>* ids) {
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> stack;
  uint32_t cur = root;
  while (cur != kNoStream || !stack.empty()) {
    while (cur != kNoStream) {
      if (!seen.insert(cur).second) return STG_E_DOCFILECORRUPT;  // loop or shared subtree
      DirEntry* e = nullptr;
      RETURN_IF_FAILED(GetEntry(cur, &e));
      if (e->type != kTypeStorage && e->type != kTypeStream) return STG_E_DOCFILECORRUPT;
      stack.push_back(cur);
      cur = e->left;
    }
    cur = stack.back();
    stack.pop_back();
    ids->push_back(cur);
    DirEntry* e = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &e));
    cur = e->right;
  }
  return S_OK;
}

HRESULT Directory::LoadChildren(uint32_t storage, ChildMap** out) {
  auto it = children_.find(storage);
  if (it == children_.end()) {
    DirEntry* e = nullptr;
    RETURN_IF_FAILED(GetEntry(storage, &e));
    std::vector<uint32_t> ids;
    RETURN_IF_FAILED(WalkTree(e->child, &ids));
    RETURN_IF_FAILED(ClaimChildren(storage, ids));
    ChildMap ch;
    for (uint32_t id : ids) {
      DirEntry* c = nullptr;
      RETURN_IF_FAILED(GetEntry(id, &c));
      if (!ch.emplace(c->name, id).second) return STG_E_DOCFILECORRUPT;
    }
    it = children_.emplace(storage, std::move(ch)).first;
  }
  *out = &it->second;
  return S_OK;
}

HRESULT Directory::Find(uint32_t storage, std::u16string_view name, uint32_t* id) {
  auto it = children_.find(storage);
  if (it != children_.end()) {
    auto f = it->second.find(std::u16string(name));
    if (f == it->second.end()) return STG_E_FILENOTFOUND;
    *id = f->second;
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &e));
  uint32_t cur = e->child;
  uint64_t steps = 0;
  const uint64_t max_steps = MaxSteps();
  while (cur != kNoStream) {
    DirEntry* n = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &n));
    if (n->type != kTypeStorage && n->type != kTypeStream) return STG_E_DOCFILECORRUPT;
    int cmp = CompareNames(name, n->name);
    if (cmp == 0) {
      if (auto o = owner_.find(cur); o != owner_.end() && o->second != storage)
        return STG_E_DOCFILECORRUPT;
      *id = cur;
      return S_OK;
    }
    cur = cmp < 0 ? n->left : n->right;
    if (++steps > max_steps) return STG_E_DOCFILECORRUPT;
  }
  return STG_E_FILENOTFOUND;
}

HRESULT Directory::Children(uint32_t storage, std::vector<uint32_t>* ids) {
  auto it = children_.find(storage);
  if (it != children_.end()) {
    for (auto& [name, id] : it->second) ids->push_back(id);
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &e));
  RETURN_IF_FAILED(WalkTree(e->child, ids));
  RETURN_IF_FAILED(ClaimChildren(storage, *ids));
  // A storage that holds itself or one of the storages it is in would nest without end.
  auto path = open_->find(storage);
  for (uint32_t id : *ids) {
    if (id == storage || id == 0) return STG_E_DOCFILECORRUPT;
    if (path != open_->end() &&
        std::find(path->second.begin(), path->second.end(), id) != path->second.end())
      return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

HRESULT Directory::ClaimChildren(uint32_t storage, const std::vector<uint32_t>& ids) {
  for (uint32_t id : ids) {
    auto [it, fresh] = owner_.emplace(id, storage);
    if (!fresh && it->second != storage) return STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

HRESULT Directory::InsertIntoTree(uint32_t storage, uint32_t nid) {
  DirEntry* node = nullptr;
  RETURN_IF_FAILED(GetEntry(nid, &node));
  DirEntry* top = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &top));
  std::vector<uint32_t> path;
  uint32_t cur = top->child;
  bool left = false;
  const uint64_t max_steps = MaxSteps();
  while (cur != kNoStream) {
    if (path.size() > max_steps) return STG_E_DOCFILECORRUPT;
    DirEntry* n = nullptr;
    RETURN_IF_FAILED(GetEntry(cur, &n));
    path.push_back(cur);
    left = CompareNames(node->name, n->name) < 0;
    cur = left ? n->left : n->right;
  }
  node->left = node->right = kNoStream;
  node->color = kRed;
  MarkEntryDirty(nid);
  if (path.empty()) {
    top->child = nid;
    node->color = kBlack;
    MarkEntryDirty(storage);
    return S_OK;
  }
  DirEntry* p = nullptr;
  RETURN_IF_FAILED(GetEntry(path.back(), &p));
  (left ? p->left : p->right) = nid;
  MarkEntryDirty(path.back());

  auto color = [&](uint32_t id) -> uint8_t {
    DirEntry* e = nullptr;
    if (id == kNoStream || Failed(GetEntry(id, &e))) return kBlack;
    return e->color;
  };
  // Replaces the link to `from` in the entry above position `i` of the path (or the storage).
  auto relink = [&](long i, uint32_t from, uint32_t to) -> HRESULT {
    if (i < 0) {
      top->child = to;
      MarkEntryDirty(storage);
      return S_OK;
    }
    DirEntry* up = nullptr;
    RETURN_IF_FAILED(GetEntry(path[static_cast<size_t>(i)], &up));
    if (up->left == from) {
      up->left = to;
    } else {
      up->right = to;
    }
    MarkEntryDirty(path[static_cast<size_t>(i)]);
    return S_OK;
  };

  uint32_t x = nid;
  long i = static_cast<long>(path.size()) - 1;  // x's parent is path[i]
  while (i >= 0 && color(path[static_cast<size_t>(i)]) == kRed) {
    if (i == 0) break;  // a red root turns black below
    uint32_t pid = path[static_cast<size_t>(i)], gid = path[static_cast<size_t>(i - 1)];
    DirEntry *pe = nullptr, *ge = nullptr;
    RETURN_IF_FAILED(GetEntry(pid, &pe));
    RETURN_IF_FAILED(GetEntry(gid, &ge));
    bool parent_left = ge->left == pid;
    uint32_t uid = parent_left ? ge->right : ge->left;
    if (color(uid) == kRed) {
      DirEntry* ue = nullptr;
      RETURN_IF_FAILED(GetEntry(uid, &ue));
      pe->color = kBlack;
      ue->color = kBlack;
      ge->color = kRed;
      MarkEntryDirty(pid);
      MarkEntryDirty(uid);
      MarkEntryDirty(gid);
      x = gid;
      i -= 2;
      continue;
    }
    DirEntry* xe = nullptr;
    RETURN_IF_FAILED(GetEntry(x, &xe));
    // The link on the parent's side of the grandparent, and the one on the other side.
    auto near = [&](DirEntry* e) -> uint32_t& { return parent_left ? e->left : e->right; };
    auto far = [&](DirEntry* e) -> uint32_t& { return parent_left ? e->right : e->left; };
    if (far(pe) == x) {  // x is an inner grandchild: rotate at the parent first
      far(pe) = near(xe);
      near(xe) = pid;
      near(ge) = x;
      MarkEntryDirty(pid);
      MarkEntryDirty(x);
      std::swap(x, pid);
      std::swap(xe, pe);
    }
    // Rotate at the grandparent; the parent takes its place.
    near(ge) = far(pe);
    far(pe) = gid;
    pe->color = kBlack;
    ge->color = kRed;
    MarkEntryDirty(pid);
    MarkEntryDirty(gid);
    RETURN_IF_FAILED(relink(i - 2, gid, pid));
    break;
  }
  DirEntry* root = nullptr;
  RETURN_IF_FAILED(GetEntry(top->child, &root));
  if (root->color != kBlack) {
    root->color = kBlack;
    MarkEntryDirty(top->child);
  }
  return S_OK;
}

HRESULT Directory::FreeStreamContent(DirEntry* e) {
  if (e->size == 0 || Failed(space_->ValidateStreamSize(e->size)))
    return S_OK;  // nothing trustworthy to free
  Chain c;
  c.start = e->start;
  c.mini = e->size < kMiniCutoff;
  return space_->ChainTruncate(c, 0);
}

HRESULT Directory::CheckOwnSubtree(uint32_t id) {
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  if (e->type != kTypeStorage) return S_OK;
  // Everything below `id`, each entry once.
  std::unordered_set<uint32_t> below;
  std::vector<uint32_t> todo{id};
  while (!todo.empty()) {
    const uint32_t s = todo.back();
    todo.pop_back();
    std::vector<uint32_t> kids;
    RETURN_IF_FAILED(Children(s, &kids));
    for (uint32_t k : kids) {
      if (k == id || k == 0 || !below.insert(k).second) return STG_E_DOCFILECORRUPT;
      DirEntry* c = nullptr;
      RETURN_IF_FAILED(GetEntry(k, &c));
      if (c->type == kTypeStorage) todo.push_back(k);
    }
  }
  if (below.empty()) return S_OK;
  // Everything reached from the root without passing through `id`.
  std::unordered_set<uint32_t> seen{0};
  todo.assign(1, 0);
  while (!todo.empty()) {
    const uint32_t s = todo.back();
    todo.pop_back();
    std::vector<uint32_t> kids;
    RETURN_IF_FAILED(Children(s, &kids));
    for (uint32_t k : kids) {
      if (below.count(k)) return STG_E_DOCFILECORRUPT;
      if (k == id || !seen.insert(k).second) continue;
      DirEntry* c = nullptr;
      RETURN_IF_FAILED(GetEntry(k, &c));
      if (c->type == kTypeStorage) todo.push_back(k);
    }
  }
  return S_OK;
}

HRESULT Directory::DestroyRecursive(uint32_t id, int depth) {
  if (depth > 4096) return STG_E_DOCFILECORRUPT;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  if (e->type == kTypeStorage) {
    std::vector<uint32_t> kids;
    RETURN_IF_FAILED(Children(id, &kids));
    for (uint32_t k : kids) {
      if (k == id) return STG_E_DOCFILECORRUPT;
      RETURN_IF_FAILED(DestroyRecursive(k, depth + 1));
    }
    children_.erase(id);
    touched_.erase(id);
    modified_.erase(id);
  } else {
    RETURN_IF_FAILED(FreeStreamContent(e));
  }
  RETURN_IF_FAILED(GetEntry(id, &e));
  *e = DirEntry{};
  MarkEntryDirty(id);
  owner_.erase(id);
  free_ids_.push_back(id);
  return S_OK;
}

HRESULT Directory::Link(uint32_t storage, uint32_t id) {
  owner_[id] = storage;
  auto ch = children_.find(storage);
  if (ch == children_.end()) return InsertIntoTree(storage, id);
  // This storage's tree is rebuilt at commit anyway.
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  ch->second.emplace(e->name, id);
  touched_.insert(storage);
  return S_OK;
}

HRESULT Directory::Unlink(uint32_t storage, uint32_t id) {
  owner_.erase(id);
  auto ch = children_.find(storage);
  if (ch == children_.end()) {
    HRESULT hr = RemoveFromTree(storage, id);
    if (hr != S_FALSE) return hr;
    // The tree was not red-black to begin with (written elsewhere): it keeps its order; give
    // it a fresh balanced shape at commit.
    ChildMap* loaded = nullptr;
    RETURN_IF_FAILED(LoadChildren(storage, &loaded));
    touched_.insert(storage);
    return S_OK;
  }
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &e));
  ch->second.erase(e->name);
  touched_.insert(storage);
  return S_OK;
}

// Red-black deletion along the search path. S_FALSE: the element is out and the order kept, but
// the tree was no valid red-black tree, so its colours could not be kept right.
HRESULT Directory::RemoveFromTree(uint32_t storage, uint32_t id) {
  HRESULT failure = S_OK;
  auto node = [&](uint32_t n) -> DirEntry* {
    DirEntry* e = nullptr;
    if (n == kNoStream) return nullptr;
    HRESULT hr = GetEntry(n, &e);
    if (Failed(hr)) {
      if (Succeeded(failure)) failure = hr;
      return nullptr;
    }
    MarkEntryDirty(n);
    return e;
  };
  auto color = [&](uint32_t n) -> uint8_t {
    DirEntry* e = n == kNoStream ? nullptr : node(n);
    return e == nullptr ? kBlack : e->color;
  };
  auto link = [](DirEntry* e, bool left) -> uint32_t& { return left ? e->left : e->right; };
  DirEntry* top = nullptr;
  RETURN_IF_FAILED(GetEntry(storage, &top));
  MarkEntryDirty(storage);
  std::vector<uint32_t> path;  // the ancestors of the node being removed, root first
  // Replaces `from` by `to` below path[i] (or as the tree's root when i < 0).
  auto relink = [&](long i, uint32_t from, uint32_t to) {
    if (i < 0) {
      top->child = to;
      return;
    }
    DirEntry* up = node(path[static_cast<size_t>(i)]);
    if (up == nullptr) return;
    (up->left == from ? up->left : up->right) = to;
  };

  DirEntry* z = nullptr;
  RETURN_IF_FAILED(GetEntry(id, &z));
  const uint64_t max_steps = MaxSteps();
  for (uint32_t cur = top->child; cur != id;) {
    DirEntry* n = node(cur);
    if (n == nullptr || path.size() > max_steps)
      return Failed(failure) ? failure : STG_E_DOCFILECORRUPT;
    path.push_back(cur);
    int cmp = CompareNames(z->name, n->name);
    if (cmp == 0) return STG_E_DOCFILECORRUPT;  // two elements of one name
    cur = cmp < 0 ? n->left : n->right;
  }
  MarkEntryDirty(id);

  // With two children, the node first trades places with its successor.
  if (z->left != kNoStream && z->right != kNoStream) {
    std::vector<uint32_t> below;  // from z's right child down to the successor's parent
    uint32_t y = z->right;
    DirEntry* ye = node(y);
    while (ye != nullptr && ye->left != kNoStream) {
      if (below.size() > max_steps) return STG_E_DOCFILECORRUPT;
      below.push_back(y);
      y = ye->left;
      ye = node(y);
    }
    if (ye == nullptr) return Failed(failure) ? failure : STG_E_DOCFILECORRUPT;
    uint32_t z_left = z->left, z_right = z->right, y_right = ye->right;
    uint8_t z_color = z->color, y_color = ye->color;
    relink(static_cast<long>(path.size()) - 1, id, y);
    ye->left = z_left;
    ye->color = z_color;
    if (below.empty()) {
      ye->right = id;
    } else {
      ye->right = z_right;
      DirEntry* yp = node(below.back());
      if (yp == nullptr) return failure;
      yp->left = id;
    }
    z->left = kNoStream;
    z->right = y_right;
    z->color = y_color;
    path.push_back(y);
    path.insert(path.end(), below.begin(), below.end());
  }

  // Now the node has one child at most, which takes its place.
  uint32_t x = z->left != kNoStream ? z->left : z->right;
  long i = static_cast<long>(path.size()) - 1;  // x's parent
  bool x_left = false;
  if (i >= 0) {
    DirEntry* p = node(path[static_cast<size_t>(i)]);
    if (p == nullptr) return failure;
    x_left = p->left == id;
  }
  relink(i, id, x);
  uint8_t removed_color = z->color;
  z->left = z->right = kNoStream;
  bool valid = true;
  if (removed_color == kBlack) {
    while (i >= 0 && color(x) == kBlack) {
      uint32_t pid = path[static_cast<size_t>(i)];
      DirEntry* p = node(pid);
      uint32_t wid = p != nullptr ? link(p, !x_left) : kNoStream;
      DirEntry* w = node(wid);
      if (w == nullptr) {  // a black-height mismatch: not a red-black tree
        valid = false;
        break;
      }
      if (w->color == kRed) {
        w->color = kBlack;
        p->color = kRed;
        link(p, !x_left) = link(w, x_left);
        link(w, x_left) = pid;
        relink(i - 1, pid, wid);
        path.insert(path.begin() + i, wid);
        ++i;
        wid = link(p, !x_left);
        w = node(wid);
        if (w == nullptr) {
          valid = false;
          break;
        }
      }
      if (color(w->left) == kBlack && color(w->right) == kBlack) {
        w->color = kRed;
        x = pid;
        --i;
        if (i >= 0) {
          DirEntry* up = node(path[static_cast<size_t>(i)]);
          if (up == nullptr) break;
          x_left = up->left == x;
        }
        continue;
      }
      if (color(link(w, !x_left)) == kBlack) {
        uint32_t nid = link(w, x_left);
        DirEntry* near = node(nid);
        if (near == nullptr) break;
        near->color = kBlack;
        w->color = kRed;
        link(w, x_left) = link(near, !x_left);
        link(near, !x_left) = wid;
        link(p, !x_left) = nid;
        wid = nid;
        w = near;
      }
      w->color = p->color;
      p->color = kBlack;
      if (DirEntry* far = node(link(w, !x_left)); far != nullptr) far->color = kBlack;
      link(p, !x_left) = link(w, x_left);
      link(w, x_left) = pid;
      relink(i - 1, pid, wid);
      x = kNoStream;
      break;
    }
    if (DirEntry* xe = node(x); xe != nullptr) xe->color = kBlack;
  }
  if (DirEntry* root = node(top->child); root != nullptr) root->color = kBlack;
  if (Failed(failure)) return failure;
  return valid ? S_OK : S_FALSE;
}

void Directory::RebuildTree(uint32_t storage) {
  auto it = children_.find(storage);
  DirEntry* parent = nullptr;
  if (it == children_.end() || Failed(GetEntry(storage, &parent))) return;
  std::vector<uint32_t> ids;
  for (auto& [name, id] : it->second) ids.push_back(id);
  const size_t n = ids.size();
  // Balanced by halving: every path from the root to a leaf's missing child has the same length
  // or one more. Nodes on the deepest level are red when the tree is not perfect, all others
  // black, which gives every path the same number of black nodes.
  size_t max_depth = 0;
  std::vector<size_t> depth(n, 0);
  std::function<uint32_t(size_t, size_t, size_t)> build = [&](size_t lo, size_t hi,
                                                              size_t d) -> uint32_t {
    if (lo >= hi) return kNoStream;
    size_t mid = lo + (hi - lo) / 2;
    depth[mid] = d;
    max_depth = std::max(max_depth, d);
    uint32_t l = build(lo, mid, d + 1);
    uint32_t r = build(mid + 1, hi, d + 1);
    DirEntry* e = nullptr;
    if (Succeeded(GetEntry(ids[mid], &e)) && (e->left != l || e->right != r)) {
      e->left = l;
      e->right = r;
      MarkEntryDirty(ids[mid]);
    }
    return ids[mid];
  };
  uint32_t root = build(0, n, 0);
  bool perfect = ((n + 1) & n) == 0;
  for (size_t i = 0; i < n; ++i) {
    DirEntry* e = nullptr;
    if (Failed(GetEntry(ids[i], &e))) continue;
    uint8_t color = (!perfect && depth[i] == max_depth && max_depth > 0) ? kRed : kBlack;
    if (e->color != color) {
      e->color = color;
      MarkEntryDirty(ids[i]);
    }
  }
  if (Succeeded(GetEntry(storage, &parent)) && parent->child != root) {
    parent->child = root;
    MarkEntryDirty(storage);
  }
}

HRESULT Directory::Flush() {
  const uint32_t per = PerSector();
  // Copy-on-write may move directory sectors, which touches no entry; loop for safety anyway.
  std::set<uint32_t> todo;
  todo.swap(dirty_sectors_);
  for (uint32_t idx : todo) {
    uint8_t* page = nullptr;
    RETURN_IF_FAILED(space_->WritableSector(dir_chain_, idx, &page));
    for (uint32_t k = 0; k < per; ++k) {
      auto it = entries_.find(idx * per + k);
      if (it == entries_.end()) continue;
      EncodeEntry(it->second, page + k * kEntrySize);
    }
  }
  return space_->ChainComplete(dir_chain_);
}

void Directory::PrepareCommit(FileTime now) {
  for (uint32_t s : touched_) RebuildTree(s);
  for (uint32_t s : modified_) {
    DirEntry* e = nullptr;
    if (Failed(GetEntry(s, &e)) || e->type == kTypeUnused) continue;
    e->mtime = now;
    MarkEntryDirty(s);
  }
}

void Directory::FillHeader(Header* h) const {
  h->dir_sectors = major_ == 3 ? 0 : static_cast<uint32_t>(dir_chain_.known.size());
  h->dir_start = dir_chain_.start;
}

void Directory::EndCommit() {
  touched_.clear();
  modified_.clear();
  raw_.clear();
  raw_first_ = raw_end_ = 0;
}

}  // namespace qb::storage::detail
