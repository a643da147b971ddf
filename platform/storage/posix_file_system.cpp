// The real file system under the engine: POSIX calls, flock() for share modes, fsync.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/storage/file_hooks.h"
#include "platform/storage/storage.h"
#include "platform/time/clock.h"

namespace qb::storage {
namespace {

testing::BeforeLockHook g_before_lock = nullptr;

// How often a lock that turned out to be on a file no longer under its name is given up and the
// name opened again before the open counts as a share violation (which callers try again).
constexpr int kMaxReopens = 100;

HRESULT FromErrno(int err, HRESULT fallback) {
  switch (err) {
    case ENOENT:
      return STG_E_FILENOTFOUND;
    case ENOTDIR:
      return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return STG_E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // the process's file-size limit: to the user as good as a full disk
      return STG_E_MEDIUMFULL;
    case ENOMEM:
      return STG_E_INSUFFICIENTMEMORY;
    case EEXIST:
      return STG_E_FILEALREADYEXISTS;
    default:
      return fallback;
  }
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { close(fd_); }  // closing drops the flock

  HRESULT ReadAt(uint64_t offset, void* data, size_t size, size_t* read) override {
    size_t done = 0;
    while (done < size) {
      ssize_t n = pread(fd_, static_cast<char*>(data) + done, size - done,
                        static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        *read = done;
        return STG_E_READFAULT;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    *read = done;
    return S_OK;
  }
  HRESULT WriteAt(uint64_t offset, const void* data, size_t size) override {
    size_t done = 0;
    while (done < size) {
      ssize_t n = pwrite(fd_, static_cast<const char*>(data) + done, size - done,
                         static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return FromErrno(errno, STG_E_WRITEFAULT);
      }
      done += static_cast<size_t>(n);
    }
    return S_OK;
  }
  HRESULT Sync() override { return fsync(fd_) == 0 ? S_OK : FromErrno(errno, STG_E_WRITEFAULT); }
  HRESULT GetSize(uint64_t* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return STG_E_READFAULT;
    *size = static_cast<uint64_t>(st.st_size);
    return S_OK;
  }
  HRESULT SetSize(uint64_t size) override {
    return ftruncate(fd_, static_cast<off_t>(size)) == 0 ? S_OK
                                                         : FromErrno(errno, STG_E_WRITEFAULT);
  }

 private:
  int fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  HRESULT Open(const std::string& path, OpenKind kind, LockKind lock,
               std::unique_ptr<File>* out) override {
    // Never blocks on a FIFO or a device planted under the name (only regular files are taken,
    // below), and a file this engine creates (a new book, its journal, a temporary file) is never
    // made through a symbolic link: a link planted beside the book would have it create or
    // overwrite the file the link points at.
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (kind == OpenKind::kCreateNew || kind == OpenKind::kCreateAlways) flags |= O_NOFOLLOW;
    switch (kind) {
      case OpenKind::kReadOnly:
        flags |= O_RDONLY;
        break;
      case OpenKind::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenKind::kCreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
      case OpenKind::kCreateAlways:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    int fd = -1;
    for (int reopened = 0;; ++reopened) {
      fd = open(path.c_str(), flags, 0666);
      if (fd < 0) {
        int err = errno;
        if (err == ENOENT) {
          struct stat st;
          if (stat(DirectoryOf(path).c_str(), &st) != 0) return STG_E_PATHNOTFOUND;
        }
        return FromErrno(err, STG_E_ACCESSDENIED);
      }
      struct stat st;
      if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return STG_E_ACCESSDENIED;
      }
      if (lock == LockKind::kNone) break;
      if (g_before_lock) g_before_lock(path);
      int op = (lock == LockKind::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
      while (flock(fd, op) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? STG_E_SHAREVIOLATION : STG_E_LOCKVIOLATION;
      }
      // Between the opening and the locking, another process holding the lock may have given the
      // name to another file (a compaction renames its copy over the book, then lets go): the
      // lock is then on a file that is no longer the one under this name, and whatever is
      // committed into it would be lost. Such a file is let go and the name opened again.
      struct stat named;
      if (stat(path.c_str(), &named) == 0 && named.st_dev == st.st_dev &&
          named.st_ino == st.st_ino) {
        break;
      }
      close(fd);
      if (reopened >= kMaxReopens) return STG_E_SHAREVIOLATION;
    }
    // Truncate only once the lock is ours, so a file in use elsewhere is never cut.
    if (kind == OpenKind::kCreateAlways && ftruncate(fd, 0) != 0) {
      int err = errno;
      close(fd);
      return FromErrno(err, STG_E_WRITEFAULT);
    }
    *out = std::make_unique<PosixFile>(fd);
    return S_OK;
  }

  // A symbolic link exists even when it points nowhere.
  HRESULT Exists(const std::string& path) override {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? S_OK : S_FALSE;
  }

  HRESULT Remove(const std::string& path) override {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return S_OK;
    return FromErrno(errno, STG_E_ACCESSDENIED);
  }

  HRESULT Rename(const std::string& from, const std::string& to, bool replace) override {
    if (replace) {
      return rename(from.c_str(), to.c_str()) == 0 ? S_OK : FromErrno(errno, STG_E_ACCESSDENIED);
    }
    // link() refuses an existing name, which makes the no-replace rename atomic.
    if (link(from.c_str(), to.c_str()) != 0) return FromErrno(errno, STG_E_ACCESSDENIED);
    unlink(from.c_str());
    return S_OK;
  }

  HRESULT SyncDirectory(const std::string& path) override {
    int fd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno, STG_E_WRITEFAULT);
    int rc = fsync(fd);
    close(fd);
    return rc == 0 ? S_OK : FromErrno(errno, STG_E_WRITEFAULT);
  }

  FileTime Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return qb::clock::UnixToTicks(ts.tv_sec, static_cast<uint32_t>(ts.tv_nsec));
  }
};

}  // namespace

void testing::SetBeforeLockHook(BeforeLockHook hook) {
  g_before_lock = hook;
}

FileSystem* FileSystem::Posix() {
  static PosixFileSystem fs;
  return &fs;
}

}  // namespace qb::storage
