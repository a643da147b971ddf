// The public storage objects: thin RAII handles over the engine.
#include <utility>

#include "platform/storage/volume.h"

namespace qb::storage {
namespace {

using detail::Volume;

HRESULT CheckMode(uint32_t mode) {
  if ((mode & 3) == 3) return STG_E_INVALIDFLAG;
  return S_OK;
}

bool WantsWrite(uint32_t mode) {
  return (mode & 3) != 0;
}

HRESULT Usable(const std::shared_ptr<Volume>& v) {
  if (v == nullptr) return STG_E_INVALIDHANDLE;
  if (v->closed()) return STG_E_REVERTED;
  return v->broken();
}

// Finds the child `name` of `parent` that is of `type` and marks it open.
HRESULT OpenChild(const std::shared_ptr<Volume>& v, uint32_t parent, std::u16string_view name,
                  uint32_t mode, uint8_t type, uint32_t* id) {
  if (HRESULT hr = Usable(v); Failed(hr)) return hr;
  if (HRESULT hr = CheckMode(mode); Failed(hr)) return hr;
  if (HRESULT hr = ValidateName(name); Failed(hr)) return hr;
  // In a file opened for reading every element is read-only, whatever the mode asks: its
  // changes are refused one by one (STG_E_ACCESSDENIED).
  if (HRESULT hr = v->Find(parent, name, id); Failed(hr)) return hr;
  detail::DirEntry* e = nullptr;
  if (HRESULT hr = v->GetEntry(*id, &e); Failed(hr)) return hr;
  if (e->type != type) return STG_E_FILENOTFOUND;
  return v->Acquire(*id, parent);
}

// OpenChild of a name an enumeration listed as the entry listed_id.
HRESULT OpenListedChild(const std::shared_ptr<Volume>& v, uint32_t parent, std::u16string_view name,
                        uint32_t listed_id, uint32_t mode, uint8_t type, uint32_t* id) {
  if (HRESULT hr = Usable(v); Failed(hr)) return hr;
  if (HRESULT hr = CheckMode(mode); Failed(hr)) return hr;
  if (HRESULT hr = ValidateName(name); Failed(hr)) return hr;
  if (HRESULT hr = v->FindListed(parent, listed_id, name, id); Failed(hr)) return hr;
  detail::DirEntry* e = nullptr;
  if (HRESULT hr = v->GetEntry(*id, &e); Failed(hr)) return hr;
  if (e->type != type) return STG_E_FILENOTFOUND;
  return v->Acquire(*id, parent);
}

// Makes the child `name` of `parent` (replacing one with STGM_CREATE) and marks it open.
HRESULT CreateChild(const std::shared_ptr<Volume>& v, uint32_t parent, std::u16string_view name,
                    uint32_t mode, uint8_t type, uint32_t* id) {
  if (HRESULT hr = Usable(v); Failed(hr)) return hr;
  if (HRESULT hr = CheckMode(mode); Failed(hr)) return hr;
  if (HRESULT hr = v->CreateElement(parent, name, type, (mode & STGM_CREATE) != 0, id); Failed(hr))
    return hr;
  return v->Acquire(*id, parent);
}

}  // namespace

// ---- Files
// ---------------------------------------------------------------------------------------

HRESULT OpenCompoundFile(const std::string& path, uint32_t mode, Storage* out, FileSystem* fs) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = CheckMode(mode); Failed(hr)) return hr;
  bool writable = WantsWrite(mode);
  LockKind lock = (writable || (mode & 0x70) == STGM_SHARE_EXCLUSIVE || (mode & 0x70) == 0)
                      ? LockKind::kExclusive
                      : LockKind::kShared;
  if (!writable && (mode & 0x70) == STGM_SHARE_DENY_NONE) lock = LockKind::kNone;
  std::shared_ptr<Volume> v;
  HRESULT hr = Volume::Open(fs != nullptr ? fs : FileSystem::Posix(), path, writable, lock, &v);
  if (Failed(hr)) return hr;
  out->Release();
  out->volume_ = std::move(v);
  out->id_ = 0;
  out->root_ = true;
  return S_OK;
}

HRESULT CreateCompoundFile(const std::string& path, uint32_t mode, Storage* out, FileSystem* fs) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = CheckMode(mode); Failed(hr)) return hr;
  std::shared_ptr<Volume> v;
  HRESULT hr =
      Volume::Create(fs != nullptr ? fs : FileSystem::Posix(), path, (mode & STGM_CREATE) != 0, &v);
  if (Failed(hr)) return hr;
  out->Release();
  out->volume_ = std::move(v);
  out->id_ = 0;
  out->root_ = true;
  return S_OK;
}

// ---- Storage
// -------------------------------------------------------------------------------------

Storage::Storage() = default;
Storage::~Storage() {
  Release();
}
Storage::Storage(Storage&& o) noexcept : volume_(std::move(o.volume_)), id_(o.id_), root_(o.root_) {
  o.volume_ = nullptr;
}
Storage& Storage::operator=(Storage&& o) noexcept {
  if (this != &o) {
    Release();
    volume_ = std::move(o.volume_);
    o.volume_ = nullptr;
    id_ = o.id_;
    root_ = o.root_;
  }
  return *this;
}

bool Storage::is_root() const {
  return root_;
}

HRESULT Storage::Release() {
  if (volume_ == nullptr) return S_OK;
  HRESULT hr = S_OK;
  if (root_) {
    hr = volume_->Close(true);
  } else if (!volume_->closed()) {
    volume_->Forget(id_);
  }
  volume_.reset();
  return hr;
}

HRESULT Storage::Commit() {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return root_ ? volume_->Commit() : S_OK;
}

template <class Handle>
HRESULT Storage::Child(std::u16string_view name, uint32_t mode, uint8_t type, bool create,
                       Handle* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  uint32_t id = 0;
  HRESULT hr = create ? CreateChild(volume_, id_, name, mode, type, &id)
                      : OpenChild(volume_, id_, name, mode, type, &id);
  if (Failed(hr)) return hr;
  out->Adopt(volume_, id);
  return S_OK;
}

template <class Handle>
HRESULT Storage::ListedChild(const Enumerator& listed, uint32_t mode, uint8_t type, Handle* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (listed.next_ == 0 || listed.next_ > listed.items_.size()) return STG_E_INVALIDPARAMETER;
  const ElementStat& stat = listed.items_[listed.next_ - 1];
  // An enumerator of another storage names its entries in its own storage's tree: only the name
  // counts then.
  if (listed.volume_ != volume_.get() || listed.storage_ != id_)
    return Child(stat.name, mode, type, false, out);
  uint32_t id = 0;
  HRESULT hr =
      OpenListedChild(volume_, id_, stat.name, listed.ids_[listed.next_ - 1], mode, type, &id);
  if (Failed(hr)) return hr;
  out->Adopt(volume_, id);
  return S_OK;
}

HRESULT Storage::OpenListedStorage(const Enumerator& listed, uint32_t mode, Storage* out) {
  return ListedChild(listed, mode, detail::kTypeStorage, out);
}

HRESULT Storage::OpenListedStream(const Enumerator& listed, uint32_t mode, Stream* out) {
  return ListedChild(listed, mode, detail::kTypeStream, out);
}

HRESULT Storage::OpenStorage(std::u16string_view name, uint32_t mode, Storage* out) {
  return Child(name, mode, detail::kTypeStorage, false, out);
}

HRESULT Storage::CreateStorage(std::u16string_view name, uint32_t mode, Storage* out) {
  return Child(name, mode, detail::kTypeStorage, true, out);
}

HRESULT Storage::OpenStream(std::u16string_view name, uint32_t mode, Stream* out) {
  return Child(name, mode, detail::kTypeStream, false, out);
}

HRESULT Storage::CreateStream(std::u16string_view name, uint32_t mode, Stream* out) {
  return Child(name, mode, detail::kTypeStream, true, out);
}

void Storage::Adopt(const std::shared_ptr<detail::Volume>& volume, uint32_t id) {
  Release();
  volume_ = volume;
  id_ = id;
  root_ = false;
}

void Stream::Adopt(const std::shared_ptr<detail::Volume>& volume, uint32_t id) {
  Release();
  volume_ = volume;
  id_ = id;
  position_ = 0;
}

HRESULT Storage::Enumerate(Enumerator* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  std::vector<uint32_t> ids;
  if (HRESULT hr = volume_->Children(id_, &ids); Failed(hr)) return hr;
  Enumerator e;
  e.items_.reserve(ids.size());
  for (uint32_t id : ids) {
    ElementStat st;
    if (HRESULT hr = volume_->StatOf(id, &st); Failed(hr)) return hr;
    e.items_.push_back(std::move(st));
  }
  e.ids_ = std::move(ids);
  e.volume_ = volume_.get();
  e.storage_ = id_;
  *out = std::move(e);
  return S_OK;
}

HRESULT Storage::DestroyElement(std::u16string_view name) {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return volume_->DestroyElement(id_, name);
}

HRESULT Storage::RenameElement(std::u16string_view old_name, std::u16string_view new_name) {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return volume_->RenameElement(id_, old_name, new_name);
}

HRESULT Storage::Stat(ElementStat* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return volume_->StatOf(id_, out);
}

namespace {

// One buffer serves every stream of a copy: a book holds many small streams.
HRESULT CopyChildren(Storage& src, Storage& dst, std::vector<uint8_t>& buf,
                     const std::function<void()>& copied) {
  Enumerator en;
  if (HRESULT hr = src.Enumerate(&en); Failed(hr)) return hr;
  ElementStat st;
  constexpr uint32_t kMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  while (en.Next(&st) == S_OK) {
    if (st.type == STGTY_STORAGE) {
      Storage from, to;
      if (HRESULT hr = src.OpenStorage(st.name, STGM_SHARE_EXCLUSIVE, &from); Failed(hr)) return hr;
      if (HRESULT hr = dst.CreateStorage(st.name, kMode | STGM_CREATE, &to); Failed(hr)) return hr;
      if (HRESULT hr = CopyChildren(from, to, buf, copied); Failed(hr)) return hr;
      if (HRESULT hr = detail::Volume::SetTimesOf(to, st.creation, st.modification); Failed(hr))
        return hr;
    } else {
      Stream from, to;
      if (HRESULT hr = src.OpenStream(st.name, STGM_SHARE_EXCLUSIVE, &from); Failed(hr)) return hr;
      if (HRESULT hr = dst.CreateStream(st.name, kMode | STGM_CREATE, &to); Failed(hr)) return hr;
      for (;;) {
        uint32_t got = 0;
        if (HRESULT hr = from.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got); Failed(hr))
          return hr;
        if (got == 0) break;
        if (HRESULT hr = to.Write(buf.data(), got, nullptr); Failed(hr)) return hr;
      }
    }
    if (copied) copied();
  }
  return S_OK;
}

}  // namespace

HRESULT Storage::CopyTo(Storage& dest, const std::function<void()>& copied) {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  if (HRESULT hr = Usable(dest.volume_); Failed(hr)) return hr;
  // Copying a storage into itself or below itself would never end.
  if (dest.volume_ == volume_ && volume_->IsBelow(dest.id_, id_)) return STG_E_ACCESSDENIED;
  std::vector<uint8_t> buf(64 << 10);
  return CopyChildren(*this, dest, buf, copied);
}

// ---- Stream
// --------------------------------------------------------------------------------------

Stream::Stream() = default;
Stream::~Stream() {
  Release();
}
Stream::Stream(Stream&& o) noexcept
    : volume_(std::move(o.volume_)), id_(o.id_), position_(o.position_) {
  o.volume_ = nullptr;
}
Stream& Stream::operator=(Stream&& o) noexcept {
  if (this != &o) {
    Release();
    volume_ = std::move(o.volume_);
    o.volume_ = nullptr;
    id_ = o.id_;
    position_ = o.position_;
  }
  return *this;
}

HRESULT Stream::Release() {
  if (volume_ != nullptr && !volume_->closed()) volume_->Forget(id_);
  volume_.reset();
  return S_OK;
}

HRESULT Stream::Stat(ElementStat* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return volume_->StatOf(id_, out);
}

HRESULT Stream::Seek(int64_t offset, uint32_t origin, uint64_t* new_position) {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  int64_t base = 0;
  if (origin == STREAM_SEEK_CUR) {
    base = static_cast<int64_t>(position_);
  } else if (origin == STREAM_SEEK_END) {
    uint64_t size = 0;
    if (HRESULT hr = volume_->StreamSize(id_, &size); Failed(hr)) return hr;
    base = static_cast<int64_t>(size);
  } else if (origin != STREAM_SEEK_SET) {
    return STG_E_INVALIDFUNCTION;
  }
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
    return STG_E_INVALIDFUNCTION;
  position_ = static_cast<uint64_t>(base + offset);
  if (new_position != nullptr) *new_position = position_;
  return S_OK;
}

HRESULT Stream::Read(void* data, uint32_t size, uint32_t* read) {
  uint32_t got = 0;
  if (read != nullptr) *read = 0;
  if (data == nullptr && size != 0) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  HRESULT hr = volume_->StreamRead(id_, position_, data, size, &got);
  position_ += got;
  if (read != nullptr) *read = got;
  return hr;
}

HRESULT Stream::Write(const void* data, uint32_t size, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (data == nullptr && size != 0) return STG_E_INVALIDPOINTER;
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  HRESULT hr = volume_->StreamWrite(id_, position_, data, size);
  if (Failed(hr)) return hr;
  position_ += size;
  if (written != nullptr) *written = size;
  return S_OK;
}

HRESULT Stream::SetSize(uint64_t size) {
  if (HRESULT hr = Usable(volume_); Failed(hr)) return hr;
  return volume_->StreamSetSize(id_, size);
}

// ---- Enumerator
// ----------------------------------------------------------------------------------

HRESULT Enumerator::Next(ElementStat* out) {
  if (out == nullptr) return STG_E_INVALIDPOINTER;
  if (next_ >= items_.size()) return S_FALSE;
  *out = items_[next_++];
  return S_OK;
}

}  // namespace qb::storage
