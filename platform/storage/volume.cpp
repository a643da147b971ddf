#include "platform/storage/volume.h"

#include <algorithm>

#include "platform/storage/header.h"
#include "platform/storage/return_if_failed.h"

namespace qb::storage::detail {

Volume::~Volume() = default;

// ---- Opening and creating
// ------------------------------------------------------------------------

HRESULT Volume::Open(FileSystem* fs, const std::string& path, bool writable, LockKind lock,
                     std::shared_ptr<Volume>* out) {
  std::shared_ptr<Volume> v(new Volume);
  RETURN_IF_FAILED(v->pager_.Open(fs, path, writable ? OpenKind::kReadWrite : OpenKind::kReadOnly,
                                  lock, writable));
  RETURN_IF_FAILED(v->Load());
  if (writable) {
    v->space_.CutUnreachable();
    // A crash while the file grew may leave a part of a sector at its end; other readers want
    // whole sectors, and nothing committed lives there.
    v->pager_.RoundUpToSectors();
    v->start_sectors_ = v->pager_.sector_limit();
    v->UseHints();
  }
  *out = std::move(v);
  return S_OK;
}

HRESULT Volume::Create(FileSystem* fs, const std::string& path, bool replace,
                       std::shared_ptr<Volume>* out) {
  // An existing file must not be in use, and without `replace` must not exist at all.
  std::unique_ptr<File> existing;
  if (fs->Exists(path) == S_OK) {
    if (!replace) return STG_E_FILEALREADYEXISTS;
    RETURN_IF_FAILED(fs->Open(path, OpenKind::kReadOnly, LockKind::kExclusive, &existing));
  }
  // The new file is made complete beside its place, then renamed there.
  const std::string temp = path + ".qbnew";
  std::shared_ptr<Volume> v(new Volume);
  RETURN_IF_FAILED(v->pager_.Open(fs, temp, OpenKind::kCreateAlways, LockKind::kExclusive, true));
  fs->Remove(temp + "-journal");  // left by a creation that a crash cut short
  v->space_.InitEmpty();
  v->dir_.InitEmpty();
  uint32_t root = 0;
  DirEntry* e = nullptr;
  HRESULT hr = v->dir_.NewEntry(&root);
  if (Succeeded(hr)) hr = v->dir_.GetEntry(root, &e);
  if (Succeeded(hr)) {
    *e = DirEntry{};
    e->name = u"Root Entry";
    e->type = kTypeRoot;
    e->ctime = e->mtime = fs->Now();
    v->dir_.MarkEntryDirty(root);
    hr = v->Commit();
  }
  if (Succeeded(hr)) hr = fs->Rename(temp, path, replace);
  if (Succeeded(hr)) hr = fs->SyncDirectory(path);
  if (Failed(hr)) {
    v->pager_.Close();
    fs->Remove(temp);
    return hr;
  }
  v->pager_.set_path(path);
  v->start_sectors_ = v->pager_.sector_limit();
  v->KeepHints();
  *out = std::move(v);
  return S_OK;
}

HRESULT Volume::Load() {
  std::vector<uint8_t> bytes;
  RETURN_IF_FAILED(pager_.ReadHeader(&bytes));
  Header h;
  RETURN_IF_FAILED(DecodeHeader(bytes, &h));
  major_ = h.major;
  const uint32_t ss = h.sector_size;
  pager_.set_sector_size(ss);
  bytes.resize(ss);
  pager_.set_committed_header(std::move(bytes));
  const uint64_t file_size = pager_.file_size();
  if (file_size > kMaxFileBytes + ss) return STG_E_DOCFILETOOLARGE;
  pager_.set_sector_limit(static_cast<uint32_t>((file_size - ss + ss - 1) / ss));
  RETURN_IF_FAILED(space_.Load(h));
  dir_.Reset(major_, h.dir_start);

  DirEntry* root = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(0, &root));
  if (root->type != kTypeRoot) return STG_E_DOCFILECORRUPT;
  if (root->size > static_cast<uint64_t>(pager_.sector_limit()) * ss) return STG_E_DOCFILECORRUPT;
  space_.SetMiniStream(root->start, root->size);
  return S_OK;
}

HRESULT Volume::BreakOnFailure(HRESULT hr) {
  // A change that stopped half-way (disk full, a damaged chain met on the way) leaves the
  // session's tables and the stream out of step; nothing of it may reach the file.
  if (Failed(hr) && broken_ == S_OK) broken_ = hr;
  return hr;
}

HRESULT Volume::EnsureWritable() const {
  if (!pager_.writable()) return STG_E_ACCESSDENIED;
  if (closed()) return STG_E_REVERTED;
  return broken_;
}

// ---- Elements
// ------------------------------------------------------------------------------------

HRESULT Volume::Find(uint32_t storage, std::u16string_view name, uint32_t* id) {
  if (closed()) return STG_E_REVERTED;
  return dir_.Find(storage, name, id);
}

HRESULT Volume::FindListed(uint32_t storage, uint32_t listed_id, std::u16string_view name,
                           uint32_t* id) {
  if (closed()) return STG_E_REVERTED;
  DirEntry* e = nullptr;
  if (dir_.Holds(storage, listed_id) && Succeeded(dir_.GetEntry(listed_id, &e)) &&
      e->name == name) {
    *id = listed_id;
    return S_OK;
  }
  return dir_.Find(storage, name, id);
}

HRESULT Volume::Children(uint32_t storage, std::vector<uint32_t>* ids) {
  if (closed()) return STG_E_REVERTED;
  return dir_.Children(storage, ids);
}

bool Volume::IsBelow(uint32_t id, uint32_t ancestor) const {
  if (id == ancestor) return true;
  auto it = open_.find(id);
  if (it == open_.end()) return false;
  return std::find(it->second.begin(), it->second.end(), ancestor) != it->second.end();
}

HRESULT Volume::Acquire(uint32_t id, uint32_t parent) {
  if (closed()) return STG_E_REVERTED;
  if (id == 0 || open_.count(id)) return STG_E_ACCESSDENIED;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(id, &e));
  std::vector<uint32_t> path;
  auto p = open_.find(parent);
  if (p != open_.end()) path = p->second;
  path.push_back(parent);
  if (std::find(path.begin(), path.end(), id) != path.end()) return STG_E_DOCFILECORRUPT;
  if (e->type == kTypeStream) {
    RETURN_IF_FAILED(space_.ValidateStreamSize(e->size));
    StreamState st;
    st.size = e->size;
    st.chain.start = e->size == 0 ? kEndOfChain : e->start;
    st.chain.mini = e->size < kMiniCutoff;
    st.parent = parent;
    streams_[id] = std::move(st);
  }
  open_[id] = std::move(path);
  return S_OK;
}

void Volume::Forget(uint32_t id) {
  open_.erase(id);
  streams_.erase(id);
}

HRESULT Volume::CreateElement(uint32_t storage, std::u16string_view name, uint8_t type,
                              bool replace, uint32_t* id) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(name));
  uint32_t existing = 0;
  HRESULT found = dir_.Find(storage, name, &existing);
  if (Succeeded(found)) {
    if (!replace) return STG_E_FILEALREADYEXISTS;
    RETURN_IF_FAILED(DestroyElement(storage, name));
  } else if (found != STG_E_FILENOTFOUND) {
    return found;
  }
  uint32_t nid = 0;
  RETURN_IF_FAILED(dir_.NewEntry(&nid));
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(nid, &e));
  *e = DirEntry{};
  e->name = std::u16string(name);
  e->type = type;
  if (type == kTypeStorage) {
    e->ctime = e->mtime = pager_.fs()->Now();
    e->start = 0;
  }
  dir_.MarkEntryDirty(nid);
  RETURN_IF_FAILED(dir_.Link(storage, nid));
  dir_.Modified(storage);
  *id = nid;
  return S_OK;
}

HRESULT Volume::DestroyElement(uint32_t storage, std::u16string_view name) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(name));
  uint32_t id = 0;
  RETURN_IF_FAILED(dir_.Find(storage, name, &id));
  for (auto& [oid, path] : open_)
    if (IsBelow(oid, id)) return STG_E_ACCESSDENIED;
  // Checked before anything changes, so that a refused destroy leaves nothing to commit.
  RETURN_IF_FAILED(dir_.CheckOwnSubtree(id));
  RETURN_IF_FAILED(dir_.Unlink(storage, id));
  dir_.Modified(storage);
  return dir_.Destroy(id);
}

HRESULT Volume::RenameElement(uint32_t storage, std::u16string_view old_name,
                              std::u16string_view new_name) {
  RETURN_IF_FAILED(EnsureWritable());
  RETURN_IF_FAILED(ValidateName(old_name));
  RETURN_IF_FAILED(ValidateName(new_name));
  uint32_t id = 0, other = 0;
  RETURN_IF_FAILED(dir_.Find(storage, old_name, &id));
  HRESULT taken = dir_.Find(storage, new_name, &other);
  if (Succeeded(taken) && other != id) return STG_E_FILEALREADYEXISTS;
  if (Failed(taken) && taken != STG_E_FILENOTFOUND) return taken;
  if (open_.count(id)) return STG_E_ACCESSDENIED;
  RETURN_IF_FAILED(dir_.Unlink(storage, id));
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(id, &e));
  e->name = std::u16string(new_name);
  dir_.MarkEntryDirty(id);
  RETURN_IF_FAILED(dir_.Link(storage, id));
  dir_.Modified(storage);
  return S_OK;
}

HRESULT Volume::SetStorageTimes(uint32_t id, FileTime ctime, FileTime mtime) {
  RETURN_IF_FAILED(EnsureWritable());
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(id, &e));
  e->ctime = ctime;
  e->mtime = mtime;
  dir_.MarkEntryDirty(id);
  dir_.Unmodified(id);
  return S_OK;
}

HRESULT Volume::StatOf(uint32_t id, ElementStat* out) {
  if (closed()) return STG_E_REVERTED;
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(id, &e));
  out->name = e->name;
  out->type = e->type == kTypeStream ? STGTY_STREAM : STGTY_STORAGE;
  out->size = 0;
  if (e->type == kTypeStream) {
    auto st = streams_.find(id);
    out->size = st != streams_.end() ? st->second.size : e->size;
  }
  out->creation = e->ctime;
  out->modification = e->mtime;
  out->access = 0;
  return S_OK;
}

// ---- Streams
// -------------------------------------------------------------------------------------

HRESULT Volume::StreamSize(uint32_t id, uint64_t* size) {
  if (closed()) return STG_E_REVERTED;
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  *size = it->second.size;
  return S_OK;
}

HRESULT Volume::StreamRead(uint32_t id, uint64_t pos, void* data, uint32_t size, uint32_t* read) {
  *read = 0;
  if (closed()) return STG_E_REVERTED;
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (pos >= st.size) return S_OK;
  uint64_t n = std::min<uint64_t>(size, st.size - pos);
  RETURN_IF_FAILED(io_.Read(st, pos, static_cast<uint8_t*>(data), n));
  *read = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT Volume::RecordStream(StreamState& st, uint32_t id) {
  DirEntry* e = nullptr;
  RETURN_IF_FAILED(dir_.GetEntry(id, &e));
  e->size = st.size;
  e->start = st.size == 0 ? kEndOfChain : st.chain.start;
  dir_.MarkEntryDirty(id);
  dir_.Modified(st.parent);
  written_.insert(id);
  return S_OK;
}

HRESULT Volume::StreamWrite(uint32_t id, uint64_t pos, const void* data, uint32_t size) {
  RETURN_IF_FAILED(EnsureWritable());
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (pos + size > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
  if (size == 0) return S_OK;
  HRESULT hr = S_OK;
  if (pos > st.size) hr = io_.Write(st, st.size, nullptr, pos - st.size);
  if (Succeeded(hr)) hr = io_.Write(st, pos, static_cast<const uint8_t*>(data), size);
  if (Succeeded(hr)) hr = RecordStream(st, id);
  return BreakOnFailure(hr);
}

HRESULT Volume::StreamSetSize(uint32_t id, uint64_t size) {
  RETURN_IF_FAILED(EnsureWritable());
  auto it = streams_.find(id);
  if (it == streams_.end()) return STG_E_INVALIDHANDLE;
  StreamState& st = it->second;
  if (size > kMaxFileBytes) return STG_E_DOCFILETOOLARGE;
  if (size == st.size) return S_OK;
  HRESULT hr = io_.Resize(st, size);
  if (Succeeded(hr)) hr = RecordStream(st, id);
  return BreakOnFailure(hr);
}

HRESULT Volume::Close(bool commit) {
  if (closed()) return S_OK;
  HRESULT hr = S_OK;
  if (commit && writable()) {
    hr = broken_ != S_OK ? broken_ : Commit();
    if (Succeeded(hr)) hr = GiveBackTail();
  }
  pager_.Close();
  open_.clear();
  streams_.clear();
  written_.clear();
  return hr;
}

}  // namespace qb::storage::detail
