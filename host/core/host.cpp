#include "host/core/host.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "host/core/host_text.h"
#include "host/core/keys.h"
#include "host/core/panel_layout.h"
#include "host/core/services.h"
#include "platform/registry/registry.h"
#include "shared/lang/lang_store.h"

namespace qb::host {

namespace {

Host* g_host = nullptr;

}  // namespace

Host* Host::Current() {
  return g_host;
}

Host::Host(FrontEnd& front_end, HostOptions options)
    : fe_(front_end), options_(std::move(options)), screen_(front_end.cols(), front_end.rows()) {
  g_host = this;
}

Host::~Host() {
  if (g_host == this) g_host = nullptr;
}

void Host::PopWindow() {
  if (!windows_.empty()) windows_.pop_back();
}

void Host::ShowTransient(std::unique_ptr<Window> w) {
  transient_ = std::move(w);
  Present();
}

void Host::Present() {
  Render();
  fe_.Present(screen_);
}

Event Host::NextEvent() {
  if (quitting_) {
    Event ev;
    ev.kind = Event::kQuit;
    return ev;
  }
  for (;;) {
    Present();
    int timeout = -1;
    int64_t due = NextTimerDue();
    if (due >= 0) timeout = static_cast<int>(std::clamp<int64_t>(due - fe_.NowMs(), 0, 1 << 30));
    Event ev;
    if (typed_ahead_.empty()) {
      ev = fe_.Wait(timeout);
    } else {
      ev = typed_ahead_.front();
      typed_ahead_.pop_front();
    }
    switch (ev.kind) {
      case Event::kQuit:
        quitting_ = true;
        return ev;
      case Event::kNone:
        FireTimers();
        continue;
      case Event::kResize:
        screen_.Resize(std::max(ev.x, 1), std::max(ev.y, 1));
        continue;
      case Event::kMouse: {
        // Clicks go to the panels and the key bar; over a menu, dialog or message they are
        // dropped (those windows are driven by keys).
        if (!windows_.empty()) continue;
        transient_.reset();
        Event out = ev;
        if (ev.y == screen_.rows() - 1) {
          // A label of the key bar is its function key with the modifiers of the layer shown.
          out = keybar_.KeyAt(ev.x, screen_.cols());
          if (out.kind == Event::kNone) continue;
        }
        keybar_.Reset();
        FireTimers();
        return out;
      }
      case Event::kKey:
        break;
    }
    transient_.reset();
    if (IsModifierKey(ev.vk)) {
      // A modifier held alone shows its layer of the key bar until the next key.
      keybar_.ShowLayerOf(ev.control);
      continue;
    }
    keybar_.Reset();
    // Time passes for timers between keys as well.
    FireTimers();
    return ev;
  }
}

bool Host::CheckForEscape() {
  // A bounded queue: input beyond it during one long piece of work is dropped, as a console's
  // input buffer drops it.
  constexpr std::size_t kMaxTypedAhead = 256;
  for (;;) {
    Event ev = fe_.Poll();
    if (ev.kind == Event::kNone) return false;
    if (ev.kind == Event::kKey && ev.vk == VK_ESCAPE && ev.control == 0) return true;
    if (ev.kind == Event::kQuit) quitting_ = true;
    if (typed_ahead_.size() < kMaxTypedAhead) typed_ahead_.push_back(ev);
    if (ev.kind == Event::kQuit) return true;
  }
}

// ---- Timers -----------------------------------------------------------------------------------

uintptr_t Host::SetTimer(uint32_t interval_ms, TimerCallback callback) {
  if (!callback) return 0;
  Timer t{next_timer_id_++, std::max<uint32_t>(interval_ms, 1), 0, callback};
  t.due = fe_.NowMs() + t.interval;
  timers_.push_back(t);
  return t.id;
}

bool Host::KillTimer(uintptr_t id) {
  auto it =
      std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

int64_t Host::NextTimerDue() const {
  int64_t due = -1;
  for (const Timer& t : timers_) {
    if (due < 0 || t.due < due) due = t.due;
  }
  return due;
}

void Host::FireTimers() {
  // A callback that opens a message box runs the event loop again; timers don't nest.
  if (in_timer_) return;
  in_timer_ = true;
  int64_t now = fe_.NowMs();
  std::vector<uintptr_t> due;
  for (Timer& t : timers_) {
    if (t.due <= now) {
      due.push_back(t.id);
      t.due = now + t.interval;
    }
  }
  for (uintptr_t id : due) {
    auto it =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;  // killed by an earlier callback
    it->callback(id, static_cast<uint32_t>(now));
  }
  in_timer_ = false;
}

// ---- Clipboard --------------------------------------------------------------------------------

void Host::SetClipboard(const std::string& windows_text) {
  // Plug-ins hand over text as on Windows, lines ended by CR LF (the Ctrl+Ins of field texts puts
  // CR LF between fields); a Linux clipboard carries LF alone, so the line ends change here, at
  // the one place text leaves for the terminal and the desktop.
  std::string text;
  text.reserve(windows_text.size());
  for (std::size_t i = 0; i < windows_text.size(); ++i) {
    if (windows_text[i] == '\r' && i + 1 < windows_text.size() && windows_text[i + 1] == '\n') {
      continue;
    }
    text += windows_text[i];
  }
  clipboard_ = text;
  fe_.SetClipboard(text);
  if (!options_.headless) SystemClipboardCopy(text);
}

// ---- Start and end ----------------------------------------------------------------------------

void Host::ReadLanguage() {
  language_ = "English";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Language", &key) == ERROR_SUCCESS) {
    if (auto v = registry::QueryString(key, "Main"); v && !v->empty()) language_ = *v;
    RegCloseKey(key);
  }
}

void Host::LoadPlugin() {
  std::string dir = options_.plugin_dir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::string path = dir + "Quillbox.so";
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) path = resolved;
  if (!plugin_.Load(path)) {
    char text[1024];
    std::snprintf(text, sizeof text, Text(HostText::kPluginNotLoaded), plugin_.error().c_str());
    status_message_ = text;
    std::fprintf(stderr, "quillbox: %s\n", status_message_.c_str());
    return;
  }
  lang_ = std::make_unique<lang::LangStore>();
  lang_->Load(path.substr(0, path.rfind('/') + 1), language_);
  FillStartupInfo(startup_, path);
  if (plugin_.fn().SetStartupInfo) plugin_.fn().SetStartupInfo(&startup_);
  plugin_.RefreshInfo();
}

void Host::Startup() {
  if (!options_.config_dir.empty()) setenv("QUILLBOX_CONFIG_DIR", options_.config_dir.c_str(), 1);
  ReadLanguage();
  // The host's own texts lie beside the program.
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string program_dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  program_dir.erase(program_dir.rfind('/') + 1);
  LoadHostTexts(program_dir, language_);
  std::string start = options_.start_dir;
  if (start.empty()) {
    char buf[PATH_MAX];
    start = getcwd(buf, sizeof buf) ? buf : "/";
  }
  panels_.OpenFileDir(0, start);
  panels_.OpenFileDir(1, start);
  panels_.Activate(0);
  LoadPlugin();
  if (plugin_.loaded() && !plugin_.menus().disk_menu.empty()) {
    panels_.OpenPluginIn(0, OPEN_DISKMENU, 0);
  }
  if (!status_message_.empty()) {
    const char* lines[] = {Text(HostText::kError), status_message_.c_str()};
    Message(FMSG_WARNING, lines, 2, 0);
  }
}

void Host::Shutdown() {
  for (int side = 0; side < 2; ++side) {
    if (panels_[side].is_plugin()) panels_.ClosePluginPanel(side);
  }
  plugin_.Unload();
}

int Host::RunCommand(const std::function<int(PluginModule&)>& fn) {
  if (!options_.config_dir.empty()) setenv("QUILLBOX_CONFIG_DIR", options_.config_dir.c_str(), 1);
  ReadLanguage();
  LoadPlugin();
  if (!plugin_.loaded()) return 2;
  const int status = fn(plugin_);
  plugin_.Unload();
  return status;
}

int Host::Run() {
  Startup();
  while (!exit_ && !quitting_) {
    Event ev = NextEvent();
    if (ev.kind == Event::kQuit) break;
    if (ev.kind == Event::kKey) keys_.HandleKey(ev);
    if (ev.kind == Event::kMouse) keys_.HandleClick(ev);
  }
  Shutdown();
  return 0;
}

void Host::Render() {
  if (fe_.cols() != screen_.cols() || fe_.rows() != screen_.rows())
    screen_.Resize(std::max(fe_.cols(), 1), std::max(fe_.rows(), 1));
  screen_.Fill(0, 0, screen_.cols(), screen_.rows(), U' ', kLightGray, kBlack);
  screen_.SetCursor(0, 0, false);
  const PanelLayout layout(screen_);
  for (int side = 0; side < 2; ++side)
    renderer_.Draw(screen_, side, panels_[side], side == panels_.active());
  // The prompt names the active file panel's directory, else the other one's.
  const Panel& p = panels_.active_panel();
  const Panel& other = panels_[1 - panels_.active()];
  std::string prompt = (!p.is_plugin() ? p.Title() : !other.is_plugin() ? other.Title() : "") + ">";
  cmdline_.Draw(screen_, layout.CommandLineRow(), prompt);
  keybar_.Draw(screen_, layout.KeyBarRow(), p);
  if (!windows_.empty() || transient_) screen_.SetCursor(0, 0, false);
  for (Window* w : windows_) w->Draw(screen_);
  if (transient_) transient_->Draw(screen_);
}

const char* Host::GetMsg(int id) {
  if (lang_) {
    const char* text = lang_->Get(id, nullptr);
    if (text) return text;
  }
  return "";
}

}  // namespace qb::host
