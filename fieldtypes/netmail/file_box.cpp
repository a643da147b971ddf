#include "fieldtypes/netmail/file_box.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/paths/paths.h"

namespace qb::netmail {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting a failure of the close (a write the disk refused late).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool CopyBytes(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    std::string_view rest(buffer, static_cast<size_t>(got));
    while (!rest.empty()) {
      const ssize_t put = ::write(to, rest.data(), rest.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      rest.remove_prefix(static_cast<size_t>(put));
    }
  }
}

// The file's name: after the last "/" of its path.
std::string_view FileName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CopyIntoBox(const std::string& box, const std::string& source) {
  const std::string_view name = FileName(source);
  if (box.empty() || name.empty() || name == "." || name == "..") return false;
  if (::mkdir(box.c_str(), 0777) != 0 && errno != EEXIST) return false;
  struct stat box_stat {};
  if (::stat(box.c_str(), &box_stat) != 0 || !S_ISDIR(box_stat.st_mode)) return false;

  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat source_stat {};
  if (in.get() < 0 || ::fstat(in.get(), &source_stat) != 0 || !S_ISREG(source_stat.st_mode))
    return false;

  // A name no mailer takes for a file to send to the node, made anew (never one that is there).
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = JoinPath(
        box, ".quillbox-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part");
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                source_stat.st_mode & 0777);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  Fd out(fd);
  bool done = CopyBytes(in.get(), out.get());
  done = out.Close() && done;
  done = done && ::rename(temporary.c_str(), JoinPath(box, name).c_str()) == 0;
  if (!done) ::unlink(temporary.c_str());
  return done;
}

}  // namespace qb::netmail
