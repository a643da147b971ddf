// Starting programs and handing documents and URLs to xdg-open. See process.h for the promises:
// no shell, no waiting for the program, no zombies, no inherited descriptors.
#include "platform/process/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qb::process {
namespace {

std::atomic<long> g_verdict_wait_ms{kOpenerVerdictWait.count()};

int FromErrno(int error) {
  switch (error) {
    case 0:
      return kStarted;
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return kPathNotFound;
    case ENOMEM:
    case EAGAIN:
    case EMFILE:
    case ENFILE:
      return kOutOfMemory;
    case ENOEXEC:
    case E2BIG:
      return kBadFormat;
    case ETXTBSY:
      return kSharingViolation;
    default:  // EACCES, EPERM and whatever else refuses the start
      return kAccessDenied;
  }
}

// xdg-open's exit statuses: 1 bad arguments, 2 no such file, 3 a needed tool missing, 4 the
// action failed.
int FromOpenerStatus(const Outcome& outcome) {
  if (outcome.start != kStarted || !outcome.ended) return outcome.start;
  if (outcome.exit_status == 0) return kStarted;
  if (outcome.exit_status == 2) return kFileNotFound;
  return kNoAssociation;
}

// One program to start: an executable path and its words (the first one is argv[0]).
struct Launch {
  std::string path;
  std::vector<std::string> argv;
  std::string directory;       // working directory; the caller's when empty
  bool await_verdict = false;  // wait a while for its exit status (xdg-open's verdict)
  long verdict_wait_ms = 0;
};

// What the intermediate process tells the caller through the pipe.
struct Answer {
  int start;
  int ended;   // 1 when the program ended within the wait
  int status;  // its exit status, -1 when a signal ended it
};

class SpawnSetup {
 public:
  explicit SpawnSetup(const std::string& directory) {
    ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    if (!ok_) return;
    attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    ok_ = attr_ok_;
    if (!ok_) return;
    ok_ = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
          posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
          posix_spawn_file_actions_adddup2(&actions_, 1, 2) == 0 &&
          (directory.empty() ||
           posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str()) == 0) &&
          posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    if (!ok_) return;
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    ok_ = posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
          posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
          posix_spawnattr_setflags(
              &attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID) == 0;
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    if (attr_ok_) posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attr_{};
  bool ok_ = false;
  bool attr_ok_ = false;
};

long MillisecondsSince(const timespec& start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

// Runs in the intermediate process: only async-signal-safe calls and posix_spawn, everything
// prepared by the caller before the fork.
[[noreturn]] void Intermediate(int answer_fd, const Launch& launch, const SpawnSetup& setup,
                               char* const* argv) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGCHLD, &dfl, nullptr);  // a caller ignoring SIGCHLD would hide the verdict
  pid_t child = -1;
  int error =
      posix_spawn(&child, launch.path.c_str(), setup.actions(), setup.attr(), argv, environ);
  Answer answer{FromErrno(error), 0, -1};
  if (error == 0 && launch.await_verdict) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      int status = 0;
      pid_t done = waitpid(child, &status, WNOHANG);
      if (done == child) {
        answer.ended = 1;
        answer.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (done < 0 && errno != EINTR) break;
      if (MillisecondsSince(start) >= launch.verdict_wait_ms) break;  // still busy: it has started
      timespec pause{0, 10 * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
  ssize_t written;
  do {
    written = write(answer_fd, &answer, sizeof answer);
  } while (written < 0 && errno == EINTR);
  _exit(0);
}

Outcome Start(const Launch& launch) {
  const Outcome out_of_memory{kOutOfMemory, false, -1};
  SpawnSetup setup(launch.directory);
  if (!setup.ok()) return out_of_memory;
  std::vector<char*> argv;
  argv.reserve(launch.argv.size() + 1);
  for (const std::string& word : launch.argv) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return out_of_memory;
  pid_t intermediate = fork();
  if (intermediate < 0) {
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    return out_of_memory;
  }
  if (intermediate == 0) {
    close(pipe_ends[0]);
    Intermediate(pipe_ends[1], launch, setup, argv.data());
  }
  close(pipe_ends[1]);
  Answer answer{};
  size_t got = 0;
  while (got < sizeof answer) {
    ssize_t n = read(pipe_ends[0], reinterpret_cast<char*>(&answer) + got, sizeof answer - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(pipe_ends[0]);
  // Only this one child is collected; a caller that reaped it already leaves ECHILD here.
  while (waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (got != sizeof answer) return out_of_memory;
  return Outcome{answer.start, answer.ended != 0, answer.status};
}

bool StatPath(const std::string& path, struct stat& st) {
  return stat(path.c_str(), &st) == 0;
}

// The result for a path that cannot be found: 3 when its directory is missing, else 2.
int MissingPath(const std::string& path) {
  int error = errno;
  if (error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG) return kPathNotFound;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    struct stat st {};
    std::string parent = path.substr(0, slash);
    if (!StatPath(parent, st) || !S_ISDIR(st.st_mode)) return kPathNotFound;
  }
  return FromErrno(error == EACCES ? EACCES : ENOENT);
}

bool IsExecutableFile(const std::string& path, const struct stat& st) {
  return S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A program name without "/" on PATH: 0 and the path when found, else 2 (none there) or 5 (one
// there but not executable), as execvp decides.
int FindOnPath(const std::string& name, std::string& found) {
  const char* path = getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  int result = kFileNotFound;
  while (true) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    if (!dir.empty()) {  // an empty entry would mean the current directory: not searched
      std::string candidate(dir);
      candidate += '/';
      candidate += name;
      struct stat st {};
      if (StatPath(candidate, st) && S_ISREG(st.st_mode)) {
        if (access(candidate.c_str(), X_OK) == 0) {
          found = std::move(candidate);
          return 0;
        }
        result = kAccessDenied;
      }
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return result;
}

bool HasScheme(std::string_view text, std::string_view& scheme) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;  // "C:" is no scheme
  for (size_t i = 0; i < colon; ++i) {
    char c = text[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!(letter || (i > 0 && other))) return false;
  }
  scheme = text.substr(0, colon);
  return true;
}

bool IsKnownScheme(std::string_view scheme) {
  static constexpr std::string_view kKnown[] = {"http", "https", "ftp", "mailto", "tel", "file"};
  for (std::string_view known : kKnown) {
    if (known.size() != scheme.size()) continue;
    bool same = true;
    for (size_t i = 0; i < known.size() && same; ++i) {
      char c = scheme[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == known[i];
    }
    if (same) return true;
  }
  return false;
}

int Open(const std::string& target, const std::string& directory) {
  Launch launch;
  if (FindOnPath("xdg-open", launch.path) != 0) return kNoAssociation;
  launch.argv = {"xdg-open", target};
  launch.directory = directory;
  launch.await_verdict = true;
  launch.verdict_wait_ms = g_verdict_wait_ms.load();
  return FromOpenerStatus(Start(launch));
}

std::string Joined(const std::string& directory, const std::string& path) {
  if (directory.empty() || path.front() == '/') return path;
  return directory.back() == '/' ? directory + path : directory + "/" + path;
}

}  // namespace

void SetOpenerVerdictWait(std::chrono::milliseconds wait) {
  g_verdict_wait_ms = wait.count();
}

int ShellExecute(const char* file, const char* parameters, const char* directory, int /*show*/) {
  std::string name = file != nullptr ? file : "";
  std::string dir = directory != nullptr ? directory : "";
  if (name.empty()) return kFileNotFound;
  if (!dir.empty()) {
    struct stat st {};
    if (!StatPath(dir, st) || !S_ISDIR(st.st_mode)) return kPathNotFound;
  }
  std::string_view scheme;
  bool has_scheme = HasScheme(name, scheme);
  if (has_scheme && IsKnownScheme(scheme)) return Open(name, dir);
  struct stat named {};
  if (has_scheme && !StatPath(Joined(dir, name), named)) return Open(name, dir);  // "irc://..."

  Launch launch;
  launch.directory = dir;
  if (name.find('/') != std::string::npos) {
    std::string path = Joined(dir, name);
    struct stat st {};
    if (!StatPath(path, st)) return MissingPath(path);
    if (S_ISDIR(st.st_mode)) return Open(name, dir);
    if (!IsExecutableFile(path, st)) {
      if (access(path.c_str(), R_OK) != 0) return kAccessDenied;
      return Open(name, dir);  // a document
    }
    launch.path = path;
  } else {
    int found = FindOnPath(name, launch.path);
    if (found != 0) {
      // Not a program: a document or folder of that name here, or a URL of another scheme.
      std::string path = Joined(dir, name);
      struct stat st {};
      if (StatPath(path, st)) {
        if (S_ISDIR(st.st_mode)) return Open(name, dir);
        if (IsExecutableFile(path, st)) return found;  // programs are not run from here
        if (access(path.c_str(), R_OK) != 0) return kAccessDenied;
        return Open(name, dir);
      }
      return found;
    }
  }
  launch.argv.push_back(name);
  for (std::string& word : SplitParameters(parameters != nullptr ? parameters : ""))
    launch.argv.push_back(std::move(word));
  return Start(launch).start;
}

int WinExec(const char* command_line, int /*show*/) {
  std::vector<std::string> words = SplitCommandLine(command_line != nullptr ? command_line : "");
  if (words.empty() || words.front().empty()) return kFileNotFound;
  Launch launch;
  const std::string& program = words.front();
  if (program.find('/') != std::string::npos) {
    struct stat st {};
    if (!StatPath(program, st)) return MissingPath(program);
    if (!IsExecutableFile(program, st)) return kAccessDenied;
    launch.path = program;
  } else {
    int found = FindOnPath(program, launch.path);
    if (found != 0) return found;
  }
  launch.argv = std::move(words);
  return Start(launch).start;
}

Outcome Spawn(const std::vector<std::string>& argv, std::chrono::milliseconds wait) {
  if (argv.empty() || argv.front().empty()) return Outcome{kFileNotFound, false, -1};
  Launch launch;
  const std::string& program = argv.front();
  if (program.find('/') != std::string::npos) {
    struct stat st {};
    if (!StatPath(program, st)) return Outcome{MissingPath(program), false, -1};
    if (!IsExecutableFile(program, st)) return Outcome{kAccessDenied, false, -1};
    launch.path = program;
  } else {
    int found = FindOnPath(program, launch.path);
    if (found != 0) return Outcome{found, false, -1};
  }
  launch.argv = argv;
  launch.await_verdict = wait.count() > 0;
  launch.verdict_wait_ms = static_cast<long>(wait.count());
  return Start(launch);
}

}  // namespace qb::process
