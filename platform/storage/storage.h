// Compound-file ("structured storage") engine: the book's storage layer on Linux.
//
// Files are real compound files (version 3, 512-byte sectors, written; versions 3 and 4 read) that
// other implementations open. Everything is reported through HRESULT return values with Windows'
// numbers; nothing throws. Objects are move-only RAII handles: releasing (destroying) an object
// closes it.
//
// Transactions: everything changed between opening a file and releasing its root storage becomes
// durable together when the root is released (or Commit() is called), or not at all. A crash at any
// moment (process killed, power lost with unsynced writes dropped, a torn sector write) leaves a
// file that opens and holds exactly the state before or after the commit. Content that was deleted,
// truncated or overwritten is nowhere in the file once the commit has completed.
//
// Thread safety: a file and every object opened from it belong to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qb::storage {

// ---- Result codes (Windows' values)
// --------------------------------------------------------------

using HRESULT = int32_t;

inline constexpr HRESULT MakeHr(uint32_t v) {
  return static_cast<HRESULT>(v);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;  // Enumerator::Next at the end
inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHr(0x80030001u);
inline constexpr HRESULT STG_E_FILENOTFOUND = MakeHr(0x80030002u);
inline constexpr HRESULT STG_E_PATHNOTFOUND = MakeHr(0x80030003u);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeHr(0x80030005u);
inline constexpr HRESULT STG_E_INVALIDHANDLE = MakeHr(0x80030006u);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = MakeHr(0x80030008u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = MakeHr(0x80030009u);
inline constexpr HRESULT STG_E_WRITEFAULT = MakeHr(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = MakeHr(0x8003001Eu);
inline constexpr HRESULT STG_E_SHAREVIOLATION = MakeHr(0x80030020u);
inline constexpr HRESULT STG_E_LOCKVIOLATION = MakeHr(0x80030021u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHr(0x80030050u);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = MakeHr(0x80030057u);
inline constexpr HRESULT STG_E_MEDIUMFULL = MakeHr(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDHEADER = MakeHr(0x800300FBu);
inline constexpr HRESULT STG_E_INVALIDNAME = MakeHr(0x800300FCu);
inline constexpr HRESULT STG_E_INVALIDFLAG = MakeHr(0x800300FFu);
inline constexpr HRESULT STG_E_REVERTED = MakeHr(0x80030102u);  // object outlived its root
inline constexpr HRESULT STG_E_DOCFILECORRUPT = MakeHr(0x80030109u);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = MakeHr(0x80030111u);

inline constexpr bool Succeeded(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool Failed(HRESULT hr) {
  return hr < 0;
}

// ---- Modes and element types
// ---------------------------------------------------------------------

inline constexpr uint32_t STGM_READ = 0x0;
inline constexpr uint32_t STGM_WRITE = 0x1;
inline constexpr uint32_t STGM_READWRITE = 0x2;
inline constexpr uint32_t STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr uint32_t STGM_SHARE_DENY_WRITE = 0x20;
inline constexpr uint32_t STGM_SHARE_DENY_NONE = 0x40;
inline constexpr uint32_t STGM_CREATE = 0x1000;
inline constexpr uint32_t STGM_TRANSACTED = 0x10000;

inline constexpr uint32_t STGTY_STORAGE = 1;
inline constexpr uint32_t STGTY_STREAM = 2;

// Seek origins (Windows' STREAM_SEEK_* values).
inline constexpr uint32_t STREAM_SEEK_SET = 0;
inline constexpr uint32_t STREAM_SEEK_CUR = 1;
inline constexpr uint32_t STREAM_SEEK_END = 2;

// 100-nanosecond intervals since 1601-01-01 UTC (Windows' FILETIME as one number).
using FileTime = uint64_t;

// The longest element name in UTF-16 code units.
inline constexpr size_t kMaxNameLength = 31;

// What Stat and enumeration report about an element.
struct ElementStat {
  std::u16string name;
  uint32_t type = 0;  // STGTY_STORAGE or STGTY_STREAM
  uint64_t size = 0;  // streams: byte size; storages: 0
  FileTime creation = 0;
  FileTime modification = 0;
  FileTime access = 0;  // the format keeps no access time: always 0
};

// ---- File-access layer
// ---------------------------------------------------------------------------
//
// Every byte the engine reads or writes goes through these interfaces, so tests can inject faults
// (fail or cut the n-th write, fail a sync, drop unsynced writes as a power loss would).

class File {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes at `offset`; `*read` receives the count (short only at end of file).
  virtual HRESULT ReadAt(uint64_t offset, void* data, size_t size, size_t* read) = 0;
  // Writes all `size` bytes at `offset`, extending the file as needed. Not durable before Sync.
  // On failure any prefix of the bytes may have been written.
  virtual HRESULT WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  // Makes every earlier write durable.
  virtual HRESULT Sync() = 0;
  virtual HRESULT GetSize(uint64_t* size) = 0;
  // Shrinks or extends (with zeros) the file. Not durable before Sync.
  virtual HRESULT SetSize(uint64_t size) = 0;
};

enum class OpenKind {
  kReadOnly,      // existing file, reading
  kReadWrite,     // existing file, reading and writing
  kCreateNew,     // new file; STG_E_FILEALREADYEXISTS when one exists
  kCreateAlways,  // new file, replacing (truncating) an existing one
};

enum class LockKind { kNone, kShared, kExclusive };

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens `path`. With a lock, a file already locked incompatibly (from this process or another)
  // gives STG_E_SHAREVIOLATION. Missing file: STG_E_FILENOTFOUND; missing directory:
  // STG_E_PATHNOTFOUND; no permission: STG_E_ACCESSDENIED.
  virtual HRESULT Open(const std::string& path, OpenKind kind, LockKind lock,
                       std::unique_ptr<File>* out) = 0;
  // S_OK when `path` exists, S_FALSE when not.
  virtual HRESULT Exists(const std::string& path) = 0;
  // Removes `path`; a missing file is not an error. Not durable before SyncDirectory.
  virtual HRESULT Remove(const std::string& path) = 0;
  // Gives the file `from` the name `to` (same directory). Without `replace`, an existing `to`
  // gives STG_E_FILEALREADYEXISTS and nothing changes. Not durable before SyncDirectory.
  virtual HRESULT Rename(const std::string& from, const std::string& to, bool replace) = 0;
  // Makes creations, renames and removals of files in the directory holding `path` durable.
  virtual HRESULT SyncDirectory(const std::string& path) = 0;
  // The current time (tests may fix it).
  virtual FileTime Now() = 0;

  // The real file system: POSIX calls, advisory flock() locks, fsync.
  static FileSystem* Posix();
};

// ---- Storage objects
// -----------------------------------------------------------------------------

namespace detail {
class Volume;
}

class Stream;
class Enumerator;

// A storage: the root of a file or a storage element inside it.
class Storage {
 public:
  Storage();
  ~Storage();  // releasing the root commits (errors are lost; call Release() to see them)
  Storage(Storage&&) noexcept;
  Storage& operator=(Storage&&) noexcept;
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  bool valid() const { return volume_ != nullptr; }
  bool is_root() const;

  // Opens the child storage `name`. STG_E_FILENOTFOUND when there is no storage of that name
  // (including when the name belongs to a stream); STG_E_ACCESSDENIED when it is open already;
  // STG_E_INVALIDNAME for an unacceptable name. `mode` is checked for validity only (every
  // element of a writable file is read-write and exclusive; every element of a file opened for
  // reading is read-only, and its changes give STG_E_ACCESSDENIED).
  HRESULT OpenStorage(std::u16string_view name, uint32_t mode, Storage* out);
  // Creates the child storage `name` with creation and modification time now. A taken name gives
  // STG_E_FILEALREADYEXISTS unless `mode` has STGM_CREATE, which destroys the existing element
  // first (STG_E_ACCESSDENIED when it or anything below it is open).
  HRESULT CreateStorage(std::u16string_view name, uint32_t mode, Storage* out);
  // Like OpenStorage / CreateStorage for streams. A new stream is empty and has zero times.
  HRESULT OpenStream(std::u16string_view name, uint32_t mode, Stream* out);
  HRESULT CreateStream(std::u16string_view name, uint32_t mode, Stream* out);
  // OpenStorage / OpenStream of the element that the last Next of `listed`, an enumerator of this
  // storage, returned, without looking its name up again in the storage's tree. Should the
  // element be gone since, the name is looked up as by OpenStorage / OpenStream.
  HRESULT OpenListedStorage(const Enumerator& listed, uint32_t mode, Storage* out);
  HRESULT OpenListedStream(const Enumerator& listed, uint32_t mode, Stream* out);

  // An enumerator over the children as they are now, in the format's name order.
  HRESULT Enumerate(Enumerator* out);
  // Destroys `name` and everything below it. STG_E_FILENOTFOUND when missing,
  // STG_E_ACCESSDENIED when it or anything below it is open.
  HRESULT DestroyElement(std::u16string_view name);
  // Renames a child. STG_E_FILENOTFOUND when `old_name` is missing, STG_E_FILEALREADYEXISTS when
  // `new_name` is taken (by another element), STG_E_ACCESSDENIED when the element is open.
  HRESULT RenameElement(std::u16string_view old_name, std::u16string_view new_name);
  // Copies every element below this storage into `dest` (which may be in another file), replacing
  // elements of the same names there. Storage times are copied. `copied`, when given, is called
  // after each element (stream or storage) is whole in `dest`, so long copies can show progress.
  HRESULT CopyTo(Storage& dest, const std::function<void()>& copied = nullptr);
  // Name (root: "Root Entry"), type STGTY_STORAGE, times.
  HRESULT Stat(ElementStat* out);

  // Root only: makes everything changed so far durable now, atomically. Other storages: S_OK.
  HRESULT Commit();
  // Closes this object. For the root: commits, then closes the file (the result tells whether the
  // commit succeeded; on failure the file keeps its state before the commit). Objects opened from
  // the file that are still alive afterwards answer STG_E_REVERTED.
  HRESULT Release();

 private:
  friend class detail::Volume;
  friend HRESULT OpenCompoundFile(const std::string&, uint32_t, Storage*, FileSystem*);
  friend HRESULT CreateCompoundFile(const std::string&, uint32_t, Storage*, FileSystem*);
  // Makes this object the handle of the open storage `id` (releasing what it held).
  void Adopt(const std::shared_ptr<detail::Volume>& volume, uint32_t id);
  // Opens (or creates) the child `name` of `type` and makes `*out` its handle.
  template <class Handle>
  HRESULT Child(std::u16string_view name, uint32_t mode, uint8_t type, bool create, Handle* out);
  template <class Handle>
  HRESULT ListedChild(const Enumerator& listed, uint32_t mode, uint8_t type, Handle* out);
  std::shared_ptr<detail::Volume> volume_;
  uint32_t id_ = 0;
  bool root_ = false;
};

// A stream element. Position starts at 0.
class Stream {
 public:
  Stream();
  ~Stream();
  Stream(Stream&&) noexcept;
  Stream& operator=(Stream&&) noexcept;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool valid() const { return volume_ != nullptr; }

  // Name, type STGTY_STREAM, byte size; times are zero.
  HRESULT Stat(ElementStat* out);
  // Moves the position (STREAM_SEEK_SET/CUR/END); `new_position` may be null. A resulting
  // position below 0 gives STG_E_INVALIDFUNCTION and leaves the position unchanged. Positions past
  // the end are allowed (a later Write fills the gap with zeros).
  HRESULT Seek(int64_t offset, uint32_t origin, uint64_t* new_position);
  // Reads up to `size` bytes at the position and advances it; `*read` (may be null) gets the
  // count, short at the end of the stream. Reading at or past the end gives S_OK with 0.
  HRESULT Read(void* data, uint32_t size, uint32_t* read);
  // Writes `size` bytes at the position, growing the stream, and advances the position.
  // `*written` (may be null) gets the count. STG_E_ACCESSDENIED on a read-only file;
  // STG_E_DOCFILETOOLARGE when the file would pass 2 GB.
  HRESULT Write(const void* data, uint32_t size, uint32_t* written);
  // Truncates or extends (with zeros) the stream. The position is not changed.
  HRESULT SetSize(uint64_t size);
  HRESULT Release();

 private:
  friend class detail::Volume;
  friend class Storage;
  // Makes this object the handle of the open stream `id` (releasing what it held).
  void Adopt(const std::shared_ptr<detail::Volume>& volume, uint32_t id);
  std::shared_ptr<detail::Volume> volume_;
  uint32_t id_ = 0;
  uint64_t position_ = 0;
};

// The children of a storage, taken when the enumerator was made.
class Enumerator {
 public:
  // S_OK with the next element, S_FALSE at the end.
  HRESULT Next(ElementStat* out);
  void Reset() { next_ = 0; }
  size_t count() const { return items_.size(); }

 private:
  friend class Storage;
  std::vector<ElementStat> items_;
  std::vector<uint32_t> ids_;  // the entries of items_
  const void* volume_ = nullptr;
  uint32_t storage_ = 0;  // whose children these are
  size_t next_ = 0;
};

// ---- Files
// ---------------------------------------------------------------------------------------

// Opens an existing compound file. Mode: STGM_READWRITE | STGM_SHARE_EXCLUSIVE (an exclusive
// advisory lock; a second open from this process or another gives STG_E_SHAREVIOLATION), or
// STGM_READ with STGM_SHARE_DENY_WRITE (a shared lock; writes then give STG_E_ACCESSDENIED).
// A commit interrupted by a crash is completed or rolled back here. Not a compound file:
// STG_E_INVALIDHEADER; damaged structure: STG_E_DOCFILECORRUPT. `fs` null means the real one.
HRESULT OpenCompoundFile(const std::string& path, uint32_t mode, Storage* out,
                         FileSystem* fs = nullptr);
// Creates a new, empty compound file (STGM_READWRITE | STGM_SHARE_EXCLUSIVE, plus STGM_CREATE to
// replace an existing file; without it an existing file gives STG_E_FILEALREADYEXISTS; replacing
// a file that is open share-exclusive elsewhere gives STG_E_SHAREVIOLATION). The file appears
// complete, or not at all: it is written beside its place and renamed there, so a crash never
// leaves a half-made file, and a replaced file stays whole until the new one takes its name.
HRESULT CreateCompoundFile(const std::string& path, uint32_t mode, Storage* out,
                           FileSystem* fs = nullptr);

// The simple upper-case mapping of one UTF-16 code unit that the name order uses: explicit for
// Latin-1, Latin Extended-A, Greek and Cyrillic, the C library's Unicode table elsewhere.
// Searches that ignore letter case fold with it too, so they agree with the book's names.
char16_t UpperCodeUnit(char16_t c);
// The format's name order: shorter names first, then code units after simple upper-casing.
// Returns <0, 0, >0. Names equal under this order are the same element.
int CompareNames(std::u16string_view a, std::u16string_view b);
// S_OK or STG_E_INVALIDNAME (empty, longer than 31 code units, or holding / \ : !).
HRESULT ValidateName(std::u16string_view name);

}  // namespace qb::storage
