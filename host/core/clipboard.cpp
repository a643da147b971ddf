// The desktop's clipboard through the usual command-line tools; the host keeps its own copy and
// the terminal front end adds OSC 52, so this is best effort.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "host/core/services.h"

extern char** environ;

namespace qb::host {

namespace {

// Runs argv with the text on its standard input; true when it ran and exited 0.
bool Pipe(const std::vector<const char*>& argv, const std::string& text) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  std::vector<char*> args;
  for (const char* a : argv) args.push_back(const_cast<char*>(a));
  args.push_back(nullptr);
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (rc != 0) {
    close(fds[1]);
    return false;
  }
  // The tool may exit without reading; a broken pipe must not end the host.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);
  size_t off = 0;
  while (off < text.size()) {
    ssize_t n = write(fds[1], text.data() + off, text.size() - off);
    if (n <= 0) break;
    off += static_cast<size_t>(n);
  }
  close(fds[1]);
  sigaction(SIGPIPE, &old, nullptr);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool SystemClipboardCopy(const std::string& text) {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  if (wayland && *wayland && Pipe({"wl-copy"}, text)) return true;
  if (x11 && *x11) {
    if (Pipe({"xclip", "-selection", "clipboard"}, text)) return true;
    if (Pipe({"xsel", "--clipboard", "--input"}, text)) return true;
  }
  return false;
}

}  // namespace qb::host
