// The terminal front end: ncursesw draws the screen model; input is read from the terminal
// directly and decoded by InputDecoder, because curses' own key handling knows neither the
// modifier encodings of every terminal nor SGR mouse reports.
//
// Signals are handled by flag: the handlers only record the signal and wake the wait loop
// through a pipe, and the terminal is restored by the normal path (the front end's destructor)
// once the host has left. Only when the process dies without that path (a fatal signal, a second
// quit signal, std::terminate, exit() with the front end alive) is the terminal restored from the
// emergency hooks.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <ncursesw/curses.h>
#include <wchar.h>

#include <bitset>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>

#include "host/terminal/color_map.h"
#include "host/terminal/external_program.h"
#include "host/terminal/input_decoder.h"
#include "host/terminal/osc52.h"
#include "host/terminal/terminal.h"
#include "host/terminal/terminfo_caps.h"
#include "sdk/far.h"

namespace qb::host {
namespace {

constexpr char kMouseOn[] = "\x1b[?1000h\x1b[?1006h";
constexpr char kMouseOff[] = "\x1b[?1006l\x1b[?1000l";
// Extended key reports, so that Ctrl+digit and Ctrl+Enter arrive: xterm's modifyOtherKeys (level
// 1, which tmux's extended-keys follows too) and the "disambiguate" level of the kitty keyboard
// protocol (kitty, foot, WezTerm), pushed on its stack. Terminals without them ignore both. The
// input decoder reads CSI 27;m;k~ and CSI k;m u alike.
constexpr char kKeysOn[] = "\x1b[>4;1m\x1b[>1u";
constexpr char kKeysOff[] = "\x1b[<u\x1b[>4m";

// Process-wide state shared with signal handlers; only async-signal-safe work touches it there.
struct TerminalProcessState {
  volatile sig_atomic_t active = 0;         // a front end owns the terminal
  volatile sig_atomic_t quit_signal = 0;    // SIGINT/SIGTERM/SIGHUP received
  volatile sig_atomic_t resized = 0;        // SIGWINCH received
  volatile sig_atomic_t child_running = 0;  // a pager or editor owns the terminal
  int wake_read = -1, wake_write = -1;
  int tty_fd = STDOUT_FILENO;
  termios saved_modes{};
  bool have_saved_modes = false;
  char restore[256] = {};  // written as is by the emergency restore
  size_t restore_len = 0;
  struct sigaction old_quit[3]{}, old_winch{}, old_fatal[5]{};
  std::terminate_handler old_terminate = nullptr;
  bool atexit_registered = false;
  // While the screen is ours, whatever the program writes to stderr would land in the middle of
  // it; it is kept in a temporary file instead and shown once the terminal is restored.
  int saved_stderr = -1;
  int stderr_file = -1;
};

TerminalProcessState g_state;

constexpr int kQuitSignals[3] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kFatalSignals[5] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
}

// Async-signal-safe: gives stderr back and replays what was written to it meanwhile.
void RestoreStderr() {
  if (g_state.saved_stderr < 0) return;
  dup2(g_state.saved_stderr, STDERR_FILENO);
  close(g_state.saved_stderr);
  g_state.saved_stderr = -1;
  if (g_state.stderr_file >= 0) {
    char buf[4096];
    ssize_t n;
    if (lseek(g_state.stderr_file, 0, SEEK_SET) == 0) {
      while ((n = read(g_state.stderr_file, buf, sizeof buf)) > 0) {
        WriteAll(STDERR_FILENO, buf, static_cast<size_t>(n));
      }
    }
    close(g_state.stderr_file);
    g_state.stderr_file = -1;
  }
}

void CaptureStderr() {
  FILE* file = std::tmpfile();
  if (file == nullptr) return;
  int fd = fcntl(fileno(file), F_DUPFD_CLOEXEC, 3);
  std::fclose(file);
  if (fd < 0) return;
  g_state.saved_stderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (g_state.saved_stderr < 0 || dup2(fd, STDERR_FILENO) < 0) {
    if (g_state.saved_stderr >= 0) close(g_state.saved_stderr);
    g_state.saved_stderr = -1;
    close(fd);
    return;
  }
  g_state.stderr_file = fd;
}

// Async-signal-safe: puts the terminal back into the state it had before we started.
void EmergencyRestore() {
  if (!g_state.active) return;
  g_state.active = 0;
  WriteAll(g_state.tty_fd, g_state.restore, g_state.restore_len);
  if (g_state.have_saved_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_state.saved_modes);
  RestoreStderr();
}

void OnQuitSignal(int sig) {
  int saved_errno = errno;
  // Ctrl+C in a pager reaches us too: it is the pager's.
  if (sig == SIGINT && g_state.child_running) {
    errno = saved_errno;
    return;
  }
  if (g_state.quit_signal != 0) {
    // The host did not leave after the first request; leave now with a usable terminal.
    EmergencyRestore();
    _exit(128 + sig);
  }
  g_state.quit_signal = sig;
  if (g_state.wake_write >= 0) {
    char b = 'q';
    [[maybe_unused]] ssize_t n = write(g_state.wake_write, &b, 1);
  }
  errno = saved_errno;
}

void OnWinch(int) {
  int saved_errno = errno;
  g_state.resized = 1;
  if (g_state.wake_write >= 0) {
    char b = 'w';
    [[maybe_unused]] ssize_t n = write(g_state.wake_write, &b, 1);
  }
  errno = saved_errno;
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
  EmergencyRestore();
  // Hand the signal to whoever handled it before us (the default action, or a sanitizer).
  for (int i = 0; i < 5; ++i) {
    if (kFatalSignals[i] == sig) sigaction(sig, &g_state.old_fatal[i], nullptr);
  }
  // A fault re-raises itself when the instruction runs again; a sent signal must be re-sent.
  if (info == nullptr || info->si_code <= 0 || sig == SIGABRT) raise(sig);
}

void OnTerminate() {
  EmergencyRestore();
  if (g_state.old_terminate != nullptr) g_state.old_terminate();
  std::abort();
}

void OnExit() {
  EmergencyRestore();
}

int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool LocaleIsUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr &&
         (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// The screen model is UTF-8; curses needs a UTF-8 character type locale to write it.
void EnsureUtf8Locale() {
  if (LocaleIsUtf8()) return;
  if (std::setlocale(LC_CTYPE, "") != nullptr && LocaleIsUtf8()) return;
  if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && LocaleIsUtf8()) return;
  std::setlocale(LC_CTYPE, "C.utf8");
}

int EscapeDelayMs() {
  const char* value = std::getenv("ESCDELAY");
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    long ms = std::strtol(value, &end, 10);
    if (*end == '\0' && ms >= 0 && ms <= 10000) return static_cast<int>(ms);
  }
  return 50;
}

class TerminalFrontEnd final : public FrontEnd {
 public:
  TerminalFrontEnd() : decoder_(EscapeDelayMs()) {}
  ~TerminalFrontEnd() override { Stop(); }

  // Takes over the terminal; false (after a message) when it cannot.
  bool Start();

  int cols() const override { return COLS; }
  int rows() const override { return LINES; }
  void Present(const Screen& screen) override;
  Event Wait(int timeout_ms) override;
  Event Poll() override;
  int64_t NowMs() const override { return MonotonicMs(); }
  void SetClipboard(const std::string& text) override;
  int RunExternal(const std::string& program, const std::string& file) override;

 private:
  void Stop();
  void InstallSignalHandlers();
  void RestoreSignalHandlers();
  void Draw(int x, int y, wchar_t ch, const Cell& colors);
  attr_t ColorAttributes(const Cell& cell, short* pair);
  bool CheckSize(Event* resize);
  void DrainWakePipe();

  SCREEN* screen_ = nullptr;
  InputDecoder decoder_;
  std::deque<Event> pending_;
  ColorCapacity capacity_;
  std::bitset<256> pairs_ready_;
  bool mouse_ = false;
  bool input_closed_ = false;
  bool signals_installed_ = false;
};

bool TerminalFrontEnd::Start() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    std::fprintf(stderr,
                 "quillbox: standard input and output must be a terminal "
                 "(use --headless to run a script)\n");
    return false;
  }
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) {
    std::fprintf(stderr, "quillbox: TERM does not name a terminal that can show full screens\n");
    return false;
  }
  if (g_state.active) {
    std::fprintf(stderr, "quillbox: the terminal is already in use\n");
    return false;
  }
  EnsureUtf8Locale();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "quillbox: cannot create a pipe: %s\n", std::strerror(errno));
    return false;
  }
  g_state.wake_read = fds[0];
  g_state.wake_write = fds[1];
  g_state.quit_signal = 0;
  g_state.resized = 0;
  g_state.have_saved_modes = tcgetattr(STDIN_FILENO, &g_state.saved_modes) == 0;
  // Our SIGWINCH handler must be in place before curses starts, so curses leaves it alone.
  InstallSignalHandlers();

  screen_ = newterm(nullptr, stdout, stdin);
  if (screen_ == nullptr) {
    std::fprintf(stderr, "quillbox: the terminal type \"%s\" is unknown\n", term);
    Stop();
    return false;
  }
  set_term(screen_);
  raw();  // Ctrl+C, Ctrl+Z, Ctrl+S and Ctrl+Q are keys of the program
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, FALSE);  // keys are decoded from the raw bytes
  curs_set(0);
  if (has_colors() && start_color() == OK) capacity_ = ColorCapacity{COLORS, COLOR_PAIRS};

  mouse_ = !TerminfoString("kmous").empty();
  std::string restore = kKeysOff;
  if (mouse_) restore += kMouseOff;
  restore += TerminfoString("sgr0");
  restore += TerminfoString("cnorm");
  restore += TerminfoString("rmcup");
  size_t len = std::min(restore.size(), sizeof g_state.restore);
  std::memcpy(g_state.restore, restore.data(), len);
  g_state.restore_len = len;
  g_state.active = 1;
  if (!g_state.atexit_registered) {
    g_state.atexit_registered = std::atexit(OnExit) == 0;
  }
  g_state.old_terminate = std::set_terminate(OnTerminate);

  if (isatty(STDERR_FILENO)) CaptureStderr();
  erase();
  refresh();
  if (mouse_) WriteAll(STDOUT_FILENO, kMouseOn, sizeof kMouseOn - 1);
  WriteAll(STDOUT_FILENO, kKeysOn, sizeof kKeysOn - 1);
  return true;
}

void TerminalFrontEnd::Stop() {
  if (screen_ != nullptr) {
    if (g_state.active) {
      WriteAll(STDOUT_FILENO, kKeysOff, sizeof kKeysOff - 1);
      if (mouse_) WriteAll(STDOUT_FILENO, kMouseOff, sizeof kMouseOff - 1);
      curs_set(1);
      endwin();
      RestoreStderr();
    }
    g_state.active = 0;
    delscreen(screen_);
    screen_ = nullptr;
    std::set_terminate(g_state.old_terminate);
  }
  RestoreSignalHandlers();
  if (g_state.wake_read >= 0) close(g_state.wake_read);
  if (g_state.wake_write >= 0) close(g_state.wake_write);
  g_state.wake_read = g_state.wake_write = -1;
}

void TerminalFrontEnd::InstallSignalHandlers() {
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sa.sa_handler = OnQuitSignal;
  for (int i = 0; i < 3; ++i) sigaction(kQuitSignals[i], &sa, &g_state.old_quit[i]);
  sa.sa_handler = OnWinch;
  sigaction(SIGWINCH, &sa, &g_state.old_winch);
  struct sigaction fatal {};
  sigemptyset(&fatal.sa_mask);
  fatal.sa_flags = SA_SIGINFO;
  fatal.sa_sigaction = OnFatalSignal;
  for (int i = 0; i < 5; ++i) sigaction(kFatalSignals[i], &fatal, &g_state.old_fatal[i]);
  signals_installed_ = true;
}

void TerminalFrontEnd::RestoreSignalHandlers() {
  if (!signals_installed_) return;
  for (int i = 0; i < 3; ++i) sigaction(kQuitSignals[i], &g_state.old_quit[i], nullptr);
  sigaction(SIGWINCH, &g_state.old_winch, nullptr);
  for (int i = 0; i < 5; ++i) sigaction(kFatalSignals[i], &g_state.old_fatal[i], nullptr);
  signals_installed_ = false;
}

attr_t TerminalFrontEnd::ColorAttributes(const Cell& cell, short* pair) {
  CursesColor c = MapColor(cell.fg, cell.bg, capacity_);
  *pair = c.pair;
  if (capacity_.colors < 8 || capacity_.pairs < 64) {
    // A monochrome terminal: anything on a coloured background stands out in reverse.
    *pair = 0;
    return cell.bg != kBlack ? A_REVERSE : A_NORMAL;
  }
  if (c.pair > 0 && c.pair < 256 && !pairs_ready_[static_cast<size_t>(c.pair)]) {
    init_pair(c.pair, c.fg, c.bg);
    pairs_ready_[static_cast<size_t>(c.pair)] = true;
  }
  return c.bold ? A_BOLD : A_NORMAL;
}

void TerminalFrontEnd::Draw(int x, int y, wchar_t ch, const Cell& colors) {
  short pair = 0;
  attr_t attrs = ColorAttributes(colors, &pair);
  wchar_t text[2] = {ch, L'\0'};
  cchar_t cc;
  setcchar(&cc, text, attrs, pair, nullptr);
  mvadd_wch(y, x, &cc);  // the bottom-right cell reports ERR after drawing; nothing to do
}

void TerminalFrontEnd::Present(const Screen& screen) {
  int rows = std::min(screen.rows(), LINES);
  int cols = std::min(screen.cols(), COLS);
  if (screen.rows() < LINES || screen.cols() < COLS) erase();
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < cols; ++x) {
      const Cell& cell = screen.at(x, y);
      if (cell.continuation) continue;
      int width = (x + 1 < screen.cols() && screen.at(x + 1, y).continuation) ? 2 : 1;
      char32_t ch = cell.ch;
      if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0) || ch > 0x10FFFF) ch = U' ';
      int terminal_width = wcwidth(static_cast<wchar_t>(ch));
      if (width == 2 && x + 1 >= cols) {
        ch = U' ';  // its right half is cut off
        width = 1;
        terminal_width = 1;
      }
      // Where the C library disagrees with our width table, keep the columns aligned: a
      // narrow glyph is padded, anything else is replaced.
      if (terminal_width != width && terminal_width != 1) ch = U'?';
      Draw(x, y, static_cast<wchar_t>(ch), cell);
      if (width == 2 && terminal_width != 2) Draw(x + 1, y, L' ', cell);
    }
  }
  int cx = screen.cursor_x(), cy = screen.cursor_y();
  if (screen.cursor_visible() && cx >= 0 && cy >= 0 && cx < COLS && cy < LINES) {
    curs_set(1);
    move(cy, cx);
  } else {
    curs_set(0);
  }
  refresh();
}

void TerminalFrontEnd::DrainWakePipe() {
  char buf[64];
  while (read(g_state.wake_read, buf, sizeof buf) > 0) {
  }
}

// Follows the terminal's size after SIGWINCH; true with a resize event when it changed.
bool TerminalFrontEnd::CheckSize(Event* resize) {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
    return false;
  }
  if (ws.ws_col == COLS && ws.ws_row == LINES) return false;
  resize_term(ws.ws_row, ws.ws_col);
  clearok(curscr, TRUE);
  resize->kind = Event::kResize;
  resize->x = COLS;
  resize->y = LINES;
  return true;
}

Event TerminalFrontEnd::Poll() {
  // Takes what the terminal has sent so far, then hands out the first event of it.
  pollfd fd = {STDIN_FILENO, POLLIN, 0};
  if (!input_closed_ && poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
    char buf[4096];
    const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) decoder_.Feed(std::string_view(buf, static_cast<size_t>(n)), MonotonicMs());
  }
  return Wait(0);
}

Event TerminalFrontEnd::Wait(int timeout_ms) {
  const int64_t deadline = timeout_ms < 0 ? -1 : MonotonicMs() + timeout_ms;
  for (;;) {
    if (g_state.quit_signal || input_closed_) {
      Event quit;
      quit.kind = Event::kQuit;
      return quit;
    }
    if (!pending_.empty()) {
      Event e = pending_.front();
      pending_.pop_front();
      return e;
    }
    if (g_state.resized) {
      g_state.resized = 0;
      Event resize;
      if (CheckSize(&resize)) return resize;
    }
    int64_t now = MonotonicMs();
    if (std::optional<Event> e = decoder_.Next(now)) {
      // A terminal never reports Shift, Alt or Ctrl held alone, so the key bar cannot follow
      // them as it does on a console. After a modified function key the modifiers are reported
      // on their own as well: the key bar then shows that layer until the next key.
      if (e->kind == Event::kKey && e->vk >= VK_F1 && e->vk <= VK_F12 && e->control != 0) {
        Event modifiers;
        modifiers.kind = Event::kKey;
        modifiers.control = e->control;
        modifiers.vk = (e->control & PKF_SHIFT) ? VK_SHIFT
                       : (e->control & PKF_ALT) ? VK_MENU
                                                : VK_CONTROL;
        pending_.push_back(modifiers);
      }
      return *e;
    }

    int wait_ms = -1;
    if (deadline >= 0) wait_ms = static_cast<int>(std::max<int64_t>(0, deadline - now));
    int pending_ms = decoder_.PendingMs(now);
    if (pending_ms >= 0 && (wait_ms < 0 || pending_ms < wait_ms)) wait_ms = pending_ms;
    if (deadline >= 0 && now >= deadline && pending_ms != 0) return Event{};

    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_state.wake_read, POLLIN, 0}};
    int ready = poll(fds, 2, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      input_closed_ = true;
      continue;
    }
    if (fds[1].revents & POLLIN) DrainWakePipe();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[4096];
      ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n > 0) {
        decoder_.Feed(std::string_view(buf, static_cast<size_t>(n)), MonotonicMs());
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        input_closed_ = true;  // the terminal went away
      }
    }
  }
}

void TerminalFrontEnd::SetClipboard(const std::string& text) {
  std::string seq = Osc52Sequence(text);
  WriteAll(STDOUT_FILENO, seq.data(), seq.size());
}

int TerminalFrontEnd::RunExternal(const std::string& program, const std::string& file) {
  auto candidates = ProgramCandidates(program, [](const char* name) { return std::getenv(name); });
  def_prog_mode();
  WriteAll(STDOUT_FILENO, kKeysOff, sizeof kKeysOff - 1);
  if (mouse_) WriteAll(STDOUT_FILENO, kMouseOff, sizeof kMouseOff - 1);
  endwin();
  g_state.child_running = 1;
  int status = SpawnAndWait(candidates, file);
  g_state.child_running = 0;
  reset_prog_mode();
  if (mouse_) WriteAll(STDOUT_FILENO, kMouseOn, sizeof kMouseOn - 1);
  WriteAll(STDOUT_FILENO, kKeysOn, sizeof kKeysOn - 1);
  // The program may have resized the terminal, and has certainly drawn over our screen.
  Event resize;
  if (CheckSize(&resize)) pending_.push_back(resize);
  g_state.resized = 0;
  clearok(curscr, TRUE);
  refresh();
  return status;
}

}  // namespace

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd() {
  auto front_end = std::make_unique<TerminalFrontEnd>();
  if (!front_end->Start()) return nullptr;
  return front_end;
}

}  // namespace qb::host
