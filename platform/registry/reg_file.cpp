#include "platform/registry/reg_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/paths/paths.h"
#include "platform/registry/reg_format.h"

namespace qb::registry {
namespace {

constexpr const char* kFileName = "quillbox.reg";

std::atomic<WriteHook> g_writeHook{nullptr};

bool Hook(WriteStage stage) {
  WriteHook hook = g_writeHook.load();
  return hook == nullptr || hook(stage);
}

LSTATUS FromErrno(int error) {
  return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                               : ERROR_WRITE_FAULT;
}

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting close's result (a delayed write error shows up here).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  passwd pw{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return ".";
}

// Creates dir and its missing parents (mode 0700 for what is created).
bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeDirectories(dir.substr(0, slash))) return false;
  }
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// The whole file; false with errno set when it cannot be read (ENOENT when it does not exist).
bool ReadWholeFile(const std::string& path, std::string* text) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  text->clear();
  char buffer[16384];
  while (true) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Moves a damaged file to quillbox.reg.damaged-<date>-<time>[-n], never over an earlier one.
// Called under the lock, so no other writer of ours races for the names.
bool MoveAside(const std::string& path) {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string base = path + ".damaged-" + stamp;
  for (int n = 1; n < 1000; ++n) {
    std::string target = n == 1 ? base : base + "-" + std::to_string(n);
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0) continue;
    return rename(path.c_str(), target.c_str()) == 0;
  }
  errno = EEXIST;
  return false;
}

// Writes text as the new file: temporary file, flush, rename, flush of the directory.
LSTATUS ReplaceFile(const std::string& dir, const std::string& path, const std::string& text) {
  // The temporary name is ours (the caller holds the lock): whatever is there, a file a crash
  // left or a link planted there, goes, and the new file is made fresh, never through a link.
  std::string temp = path + ".tmp";
  if (unlink(temp.c_str()) != 0 && errno != ENOENT) return FromErrno(errno);
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return FromErrno(errno);
  LSTATUS failure = ERROR_SUCCESS;
  std::size_t half = text.size() / 2;
  if (!Hook(WriteStage::kTempOpened)) {
    failure = ERROR_WRITE_FAULT;
  } else if (!WriteAll(fd.get(), text.data(), half)) {
    failure = FromErrno(errno);
  } else if (!Hook(WriteStage::kHalfWritten)) {
    failure = ERROR_WRITE_FAULT;
  } else if (!WriteAll(fd.get(), text.data() + half, text.size() - half) || fsync(fd.get()) != 0 ||
             !fd.Close()) {
    failure = FromErrno(errno);
  } else if (!Hook(WriteStage::kTempWritten)) {
    failure = ERROR_WRITE_FAULT;
  } else if (rename(temp.c_str(), path.c_str()) != 0) {
    failure = FromErrno(errno);
  }
  if (failure != ERROR_SUCCESS) {
    unlink(temp.c_str());
    return failure;
  }
  // The new file is in place; flushing the directory makes the rename itself durable. A failure
  // here no longer undoes the change.
  if (!Hook(WriteStage::kRenamed)) return ERROR_SUCCESS;
  Fd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) fsync(dirFd.get());
  return ERROR_SUCCESS;
}

// Where the file's contents really live: users who keep their settings elsewhere link the file
// into the configuration directory, and replacing the link by a file would silently cut them off.
// A dangling or unresolvable link is replaced like a file.
std::string RealTarget(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string target = real;
  std::free(real);
  return target;
}

// The lock file, never created or opened through a symbolic link: a link planted under its name
// is removed (no writer of ours makes one), and anything but a regular file is refused.
int OpenLockFile(const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
      struct stat st {};
      if (errno == ELOOP && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
          unlink(path.c_str()) == 0)
        continue;
      return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      errno = EACCES;
      return -1;
    }
    return fd;
  }
  errno = EACCES;
  return -1;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string ConfigDirectory() {
  const char* configured = std::getenv("QUILLBOX_CONFIG_DIR");
  if (configured != nullptr && *configured != '\0') return configured;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
  if (xdg != nullptr && xdg[0] == '/') return JoinPath(xdg, "quillbox");
  return JoinPath(HomeDirectory(), ".config/quillbox");
}

std::string FilePath() {
  return JoinPath(ConfigDirectory(), kFileName);
}

void SetConfigDirectory(const std::string& dir) {
  if (dir.empty()) {
    unsetenv("QUILLBOX_CONFIG_DIR");
  } else {
    setenv("QUILLBOX_CONFIG_DIR", dir.c_str(), 1);
  }
}

void SetWriteHookForTesting(WriteHook hook) {
  g_writeHook.store(hook);
}

RegTree ReadRegistry() {
  std::string text;
  if (!ReadWholeFile(FilePath(), &text)) return RegTree();
  auto tree = ParseRegFile(text);
  return tree ? std::move(*tree) : RegTree();
}

LSTATUS ModifyRegistry(const std::function<LSTATUS(RegTree& tree, bool* changed)>& change) {
  std::string dir = ConfigDirectory();
  std::string path = FilePath();
  if (!MakeDirectories(dir)) return FromErrno(errno);
  // The lock lives in its own file: the registry file itself is replaced by every change, so a
  // lock on it would be a lock on a file that is no longer there.
  Fd lock(OpenLockFile(path + ".lock"));
  if (lock.get() < 0) return FromErrno(errno);
  while (flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return FromErrno(errno);
  }
  // Read again under the lock: whatever other processes wrote before is kept.
  std::string text;
  bool exists = ReadWholeFile(path, &text);
  if (!exists && errno != ENOENT) return FromErrno(errno);
  std::optional<RegTree> tree = exists ? ParseRegFile(text) : RegTree();
  bool damaged = !tree;
  if (damaged) tree = RegTree();
  bool changed = false;
  LSTATUS status = change(*tree, &changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  std::string target = RealTarget(path);
  if (damaged && !MoveAside(target)) return FromErrno(errno);
  return ReplaceFile(DirectoryOf(target), target, SerializeRegFile(*tree));
  // The lock goes with its descriptor.
}

}  // namespace qb::registry
