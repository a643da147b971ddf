#include "main/folder_password.h"

#include <string.h>  // explicit_bzero

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "main/book_format.h"

namespace qb::main {

namespace {

// Streams are read and written with 32-bit counts; a record never comes near this.

uint64_t RoundUp8(uint64_t n) {
  return (n + 7) & ~uint64_t{7};
}

bool SameKey(const PasswordKey* a, const PasswordKey* b) {
  if (!a || !b) return a == b;
  return *a == *b;
}

// Bytes that may be a record's plaintext: wiped when dropped.
struct WipedBytes {
  std::vector<uint8_t> bytes;
  WipedBytes() = default;
  explicit WipedBytes(std::size_t n) : bytes(n, 0) {}
  WipedBytes(WipedBytes&&) noexcept = default;
  WipedBytes& operator=(WipedBytes&&) noexcept = default;
  ~WipedBytes() {
    if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
  }
};

storage::HRESULT WriteAll(storage::Stream& stream, const std::vector<uint8_t>& bytes) {
  storage::HRESULT hr = stream.Seek(0, storage::STREAM_SEEK_SET, nullptr);
  if (storage::Succeeded(hr)) hr = stream.SetSize(bytes.size());
  if (storage::Succeeded(hr) && !bytes.empty()) {
    uint32_t written = 0;
    hr = stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
    if (storage::Succeeded(hr) && written != bytes.size()) hr = storage::STG_E_WRITEFAULT;
  }
  return hr;
}

// Rewrites records from one key to another, remembering each record's old bytes so that the
// whole change can be taken back.
class Rekeying {
 public:
  Rekeying(const PasswordKey* from, const PasswordKey* to, const std::function<void()>& after)
      : from_(from), to_(to), after_(after) {}

  storage::HRESULT Folder(storage::Storage& folder) {
    storage::Enumerator elements;
    storage::HRESULT hr = folder.Enumerate(&elements);
    if (storage::Failed(hr)) return hr;
    std::vector<std::pair<std::u16string, uint32_t>> children;
    storage::ElementStat stat;
    while (elements.Next(&stat) == storage::S_OK) {
      // Names beginning with a blank are the book's own: the password and the description.
      if (stat.name.empty() || stat.name[0] == u' ') continue;
      children.emplace_back(std::move(stat.name), stat.type);
    }
    for (const auto& [name, type] : children) {
      if (type == storage::STGTY_STREAM) {
        hr = Record(folder, name);
      } else if (type == storage::STGTY_STORAGE) {
        storage::Storage child;
        hr = folder.OpenStorage(name, kBookOpenMode, &child);
        // A subfolder with its own password keeps its own key.
        if (storage::Succeeded(hr) && !HasPasswordStream(child)) {
          path_.push_back(name);
          hr = Folder(child);
          path_.pop_back();
        }
      }
      if (storage::Failed(hr)) return hr;
    }
    return storage::S_OK;
  }

  // Puts the old bytes back into every record rewritten so far, the last first.
  void Undo(storage::Storage& top) {
    for (auto entry = done_.rbegin(); entry != done_.rend(); ++entry) {
      storage::Storage folder;
      storage::Storage* at = &top;
      bool reached = true;
      for (const std::u16string& part : entry->path) {
        storage::Storage next;
        if (storage::Failed(at->OpenStorage(part, kBookOpenMode, &next))) {
          reached = false;
          break;
        }
        folder = std::move(next);
        at = &folder;
      }
      storage::Stream stream;
      if (reached && storage::Succeeded(at->OpenStream(entry->name, kBookOpenMode, &stream))) {
        WriteAll(stream, entry->old.bytes);
      }
    }
    done_.clear();
  }

 private:
  struct Done {
    std::vector<std::u16string> path;  // folders from the top folder down
    std::u16string name;
    WipedBytes old;
  };

  storage::HRESULT Record(storage::Storage& folder, const std::u16string& name) {
    storage::Stream stream;
    storage::HRESULT hr = folder.OpenStream(name, kBookOpenMode, &stream);
    if (storage::Failed(hr)) return hr;
    storage::ElementStat stat;
    hr = stream.Stat(&stat);
    if (storage::Failed(hr)) return hr;
    if (stat.size > kMaxRecordBytes) return storage::STG_E_DOCFILETOOLARGE;
    if (stat.size == 0) return storage::S_OK;  // an empty record has no block to change
    WipedBytes old(static_cast<std::size_t>(stat.size));
    uint32_t read = 0;
    hr = stream.Read(old.bytes.data(), static_cast<uint32_t>(old.bytes.size()), &read);
    if (storage::Failed(hr)) return hr;
    if (read != old.bytes.size()) return storage::STG_E_READFAULT;

    WipedBytes now(static_cast<std::size_t>(RoundUp8(stat.size)));
    std::memcpy(now.bytes.data(), old.bytes.data(), old.bytes.size());
    if (from_) DecipherBuffer(from_->bytes, now.bytes.data(), now.bytes.size());
    if (to_) EncipherBuffer(to_->bytes, now.bytes.data(), now.bytes.size());
    // Remembered before writing: a write that fails half-way is taken back too.
    done_.push_back(Done{path_, name, std::move(old)});
    hr = WriteAll(stream, now.bytes);
    if (storage::Failed(hr)) return hr;
    if (after_) after_();
    return storage::S_OK;
  }

  const PasswordKey* from_;
  const PasswordKey* to_;
  const std::function<void()>& after_;
  std::vector<std::u16string> path_;
  std::vector<Done> done_;
};

storage::HRESULT WriteCheck(storage::Storage& folder, const std::uint8_t* bytes) {
  storage::Stream stream;
  storage::HRESULT hr = folder.CreateStream(kPasswordStream, kBookReplaceMode, &stream);
  if (storage::Failed(hr)) return hr;
  uint32_t written = 0;
  hr = stream.Write(bytes, kPasswordCheckBytes, &written);
  if (storage::Succeeded(hr) && written != kPasswordCheckBytes) hr = storage::STG_E_WRITEFAULT;
  return hr;
}

}  // namespace

PasswordStream ReadPasswordStream(storage::Storage& folder,
                                  std::uint8_t (&check)[kPasswordCheckBytes],
                                  storage::HRESULT* error) {
  storage::HRESULT ignored = storage::S_OK;
  storage::HRESULT& hr = error ? *error : ignored;
  storage::Stream stream;
  hr = folder.OpenStream(kPasswordStream, kBookOpenMode, &stream);
  if (hr == storage::STG_E_FILENOTFOUND) {
    // A storage of that name is no password either; the name is then simply not a stream.
    hr = storage::S_OK;
    return PasswordStream::kAbsent;
  }
  if (storage::Failed(hr)) return PasswordStream::kFailed;
  storage::ElementStat stat;
  hr = stream.Stat(&stat);
  if (storage::Failed(hr)) return PasswordStream::kFailed;
  if (stat.size != kPasswordCheckBytes) return PasswordStream::kDamaged;
  uint32_t read = 0;
  hr = stream.Read(check, kPasswordCheckBytes, &read);
  if (storage::Failed(hr)) return PasswordStream::kFailed;
  if (read != kPasswordCheckBytes) return PasswordStream::kDamaged;
  return PasswordStream::kPresent;
}

bool HasPasswordStream(storage::Storage& folder) {
  storage::Stream stream;
  return folder.OpenStream(kPasswordStream, kBookOpenMode, &stream) != storage::STG_E_FILENOTFOUND;
}

storage::HRESULT ChangeFolderKey(storage::Storage& folder, const PasswordKey* password,
                                 const PasswordKey* from, const PasswordKey* to,
                                 const std::function<void()>& after_record) {
  std::uint8_t before[kPasswordCheckBytes];
  storage::HRESULT hr = storage::S_OK;
  const PasswordStream had = ReadPasswordStream(folder, before, &hr);
  // A damaged check is left alone: nobody knows which key its records are under.
  if (had == PasswordStream::kDamaged) return storage::STG_E_DOCFILECORRUPT;
  if (had == PasswordStream::kFailed) return hr;

  if (password) {
    std::uint8_t check[kPasswordCheckBytes];
    MakePasswordCheck(*password, check);
    hr = WriteCheck(folder, check);
  } else if (had == PasswordStream::kPresent) {
    hr = folder.DestroyElement(kPasswordStream);
  }
  if (storage::Succeeded(hr) && !SameKey(from, to)) {
    Rekeying rekeying(from, to, after_record);
    hr = rekeying.Folder(folder);
    if (storage::Failed(hr)) rekeying.Undo(folder);
  }
  if (storage::Failed(hr)) {
    if (had == PasswordStream::kPresent) {
      WriteCheck(folder, before);
    } else {
      folder.DestroyElement(kPasswordStream);
    }
  }
  return hr;
}

}  // namespace qb::main
