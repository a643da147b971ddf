#include "host/core/host.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/core/colors.h"
#include "host/core/keys.h"
#include "host/core/services.h"

#ifdef QB_HAVE_LANG
#include "shared/lang/lang_store.h"
#endif
#ifdef QB_HAVE_REGISTRY
#include "platform/registry/registry.h"
#endif

namespace qb::lang {
#ifndef QB_HAVE_LANG
// Without the language store GetMsg has no texts to give.
class LangStore {};
#endif
}  // namespace qb::lang

namespace qb::host {

namespace {

Host* g_host = nullptr;

// Windows' FILETIME epoch (1601) to the Unix one, in seconds.
constexpr int64_t kEpochDelta = 11644473600LL;

}  // namespace

Host* Host::Current() { return g_host; }

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
    Event ev = fe_.Wait(timeout);
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
          int slot = KeyBarSlot(ev.x);
          if (slot < 0) continue;
          out = Event{};
          out.kind = Event::kKey;
          out.vk = VK_F1 + slot;
          out.control = LayerControl(keybar_layer_);
        }
        keybar_layer_ = kLayerPlain;
        FireTimers();
        return out;
      }
      case Event::kKey:
        break;
    }
    transient_.reset();
    if (IsModifierKey(ev.vk)) {
      // A modifier held alone shows its layer of the key bar until the next key.
      unsigned c = ev.control;
      keybar_layer_ = c == (PKF_CONTROL | PKF_SHIFT) ? kLayerCtrlShift
                      : c == (PKF_ALT | PKF_SHIFT)   ? kLayerAltShift
                      : c == (PKF_CONTROL | PKF_ALT) ? kLayerCtrlAlt
                      : (c & PKF_CONTROL)            ? kLayerCtrl
                      : (c & PKF_ALT)                ? kLayerAlt
                      : (c & PKF_SHIFT)              ? kLayerShift
                                                     : kLayerPlain;
      continue;
    }
    keybar_layer_ = kLayerPlain;
    // Time passes for timers between keys as well.
    FireTimers();
    return ev;
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
  auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
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
    auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;  // killed by an earlier callback
    it->callback(id, static_cast<uint32_t>(now));
  }
  in_timer_ = false;
}

// ---- Clipboard --------------------------------------------------------------------------------

void Host::SetClipboard(const std::string& text) {
  clipboard_ = text;
  fe_.SetClipboard(text);
  if (!options_.headless) SystemClipboardCopy(text);
}

// ---- Start and end ----------------------------------------------------------------------------

void Host::ReadLanguage() {
  language_ = "English";
#ifdef QB_HAVE_REGISTRY
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Language", &key) == ERROR_SUCCESS) {
    if (auto v = registry::QueryString(key, "Main"); v && !v->empty()) language_ = *v;
    RegCloseKey(key);
  }
#endif
}

void Host::LoadPlugin() {
  std::string dir = options_.plugin_dir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::string path = dir + "Quillbox.so";
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) path = resolved;
  if (!plugin_.Load(path)) {
    status_message_ = "The plug-in was not loaded: " + plugin_.error();
    std::fprintf(stderr, "quillbox: %s\n", status_message_.c_str());
    return;
  }
#ifdef QB_HAVE_LANG
  lang_ = std::make_unique<lang::LangStore>();
  lang_->Load(path.substr(0, path.rfind('/') + 1), language_);
#endif
  FillStartupInfo(startup_, path);
  if (plugin_.fn().SetStartupInfo) plugin_.fn().SetStartupInfo(&startup_);
  plugin_.RefreshInfo();
}

void Host::Startup() {
  if (!options_.config_dir.empty()) setenv("QUILLBOX_CONFIG_DIR", options_.config_dir.c_str(), 1);
  ReadLanguage();
  std::string start = options_.start_dir;
  if (start.empty()) {
    char buf[PATH_MAX];
    start = getcwd(buf, sizeof buf) ? buf : "/";
  }
  OpenFileDir(0, start);
  OpenFileDir(1, start);
  active_ = 0;
  LoadPlugin();
  if (plugin_.loaded() && !plugin_.menus().disk_menu.empty()) {
    OpenPluginIn(0, OPEN_DISKMENU, 0);
  }
  if (!status_message_.empty()) {
    const char* lines[] = {"Error", status_message_.c_str()};
    Message(FMSG_WARNING, lines, 2, 0);
  }
}

void Host::Shutdown() {
  for (int side = 0; side < 2; ++side) {
    if (panels_[side].is_plugin()) ClosePluginPanel(side);
  }
  plugin_.Unload();
}

int Host::Run() {
  Startup();
  while (!exit_ && !quitting_) {
    Event ev = NextEvent();
    if (ev.kind == Event::kQuit) break;
    if (ev.kind == Event::kKey) HandleKey(ev);
    if (ev.kind == Event::kMouse) HandleClick(ev);
  }
  Shutdown();
  return 0;
}

// ---- Drawing ----------------------------------------------------------------------------------

int Host::PanelWidth(int side) const {
  int half = screen_.cols() / 2;
  return side == 0 ? half : screen_.cols() - half;
}

int Host::PanelX(int side) const { return side == 0 ? 0 : screen_.cols() / 2; }

int Host::ItemRows() const { return std::max(1, screen_.rows() - 2 - 5); }

int Host::ItemsPerPage(const Panel& p) const {
  ViewMode mode = p.ActiveMode();
  int names = 0;
  for (const ColumnSpec& c : mode.columns) names += (!c.type.empty() && c.type[0] == 'N') ? 1 : 0;
  int groups = (names > 1 && mode.columns.size() % names == 0) ? names : 1;
  return ItemRows() * groups;
}

namespace {

std::string FormatSize(const PanelEntry& e) {
  if (e.dots) return "Up";
  if (e.is_dir()) return "Folder";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(e.size()));
  return buf;
}

std::string FormatTime(const FILETIME& ft, bool date) {
  uint64_t v = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  if (v == 0) return "";
  time_t t = static_cast<time_t>(static_cast<int64_t>(v / 10000000) - kEpochDelta);
  struct tm tm;
  if (!localtime_r(&t, &tm)) return "";
  char buf[32];
  std::strftime(buf, sizeof buf, date ? "%d.%m.%y" : "%H:%M", &tm);
  return buf;
}

std::string CellText(const PanelEntry& e, const std::string& type) {
  if (type.empty()) return "";
  switch (type[0]) {
    case 'N':
      return e.name;
    case 'Z':
      return e.description ? *e.description : "";
    case 'O':
      return e.owner ? *e.owner : "";
    case 'S':
      return FormatSize(e);
    case 'D':
      return FormatTime(e.find.ftLastWriteTime, true);
    case 'T':
      return FormatTime(e.find.ftLastWriteTime, false);
    case 'C':
      if (type.size() >= 2 && type[1] >= '0' && type[1] <= '9') {
        size_t n = static_cast<size_t>(type[1] - '0');
        if (n < e.custom.size()) return e.custom[n];
      }
      return "";
    default:
      return "";
  }
}

// Widths of the columns in `inner` cells, separators included between them.
std::vector<int> LayOut(const std::vector<ColumnSpec>& cols, int inner) {
  std::vector<int> w(cols.size(), 0);
  if (cols.empty()) return w;
  int fixed = static_cast<int>(cols.size()) - 1;
  int zeros = 0;
  for (const ColumnSpec& c : cols) {
    fixed += c.width;
    zeros += c.width == 0 ? 1 : 0;
  }
  int rest = std::max(0, inner - fixed);
  int given = 0;
  int zi = 0;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].width > 0) {
      w[i] = cols[i].width;
    } else {
      ++zi;
      int share = zeros ? rest * zi / zeros - given : 0;
      given += share;
      w[i] = share;
    }
  }
  // Fixed widths that overflow the panel are cut from the right.
  int total = static_cast<int>(cols.size()) - 1;
  for (int& x : w) {
    x = std::max(0, std::min(x, inner - total));
    total += x;
  }
  return w;
}

bool IsRightAligned(const std::string& type) { return !type.empty() && type[0] == 'S'; }

void DrawCell(Screen& s, int x, int y, int width, const std::string& text, bool right,
              colors::Pair c) {
  if (width <= 0) return;
  s.Fill(x, y, width, 1, U' ', c.fg, c.bg);
  std::string_view fit = FitText(text, width);
  int tw = TextWidth(fit);
  s.Text(right ? x + width - tw : x, y, fit, c.fg, c.bg, width);
}

}  // namespace

void Host::DrawPanel(int side) {
  Panel& p = panels_[side];
  Screen& s = screen_;
  const int x0 = PanelX(side), w = PanelWidth(side), h = s.rows() - 2;
  if (w < 4 || h < 6) return;
  const colors::Pair frame = colors::kPanelFrame;
  s.Fill(x0, 0, w, h, U' ', frame.fg, frame.bg);
  // Frame.
  for (int x = x0 + 1; x < x0 + w - 1; ++x) {
    s.at(x, 0) = Cell{U'═', frame.fg, frame.bg};
    s.at(x, h - 1) = Cell{U'═', frame.fg, frame.bg};
    s.at(x, h - 3) = Cell{U'─', frame.fg, frame.bg};
  }
  for (int y = 1; y < h - 1; ++y) {
    s.at(x0, y) = Cell{U'║', frame.fg, frame.bg};
    s.at(x0 + w - 1, y) = Cell{U'║', frame.fg, frame.bg};
  }
  s.at(x0, 0) = Cell{U'╔', frame.fg, frame.bg};
  s.at(x0 + w - 1, 0) = Cell{U'╗', frame.fg, frame.bg};
  s.at(x0, h - 1) = Cell{U'╚', frame.fg, frame.bg};
  s.at(x0 + w - 1, h - 1) = Cell{U'╝', frame.fg, frame.bg};
  s.at(x0, h - 3) = Cell{U'╟', frame.fg, frame.bg};
  s.at(x0 + w - 1, h - 3) = Cell{U'╢', frame.fg, frame.bg};

  const int inner = w - 2;
  const int rows = ItemRows();
  ViewMode mode = p.ActiveMode();
  int names = 0;
  for (const ColumnSpec& c : mode.columns) names += (!c.type.empty() && c.type[0] == 'N') ? 1 : 0;
  const int groups = (names > 1 && mode.columns.size() % names == 0) ? names : 1;
  p.ClampCursor(rows * groups);
  std::vector<int> widths = LayOut(mode.columns, inner);
  const size_t per_group = mode.columns.size() / groups;
  const bool active = side == active_;  // only the active panel shows its cursor

  int x = x0 + 1;
  spans_[side].clear();
  for (size_t ci = 0; ci < mode.columns.size(); ++ci) {
    const ColumnSpec& col = mode.columns[ci];
    int cw = widths[ci];
    // A column and the separator on its right belong to its group of names (for clicks).
    spans_[side].push_back(
        ColumnSpan{x, x + cw + 1, per_group ? static_cast<int>(ci / per_group) : 0});
    // Column title, centred.
    std::string_view title = FitText(col.title, cw);
    s.Text(x + (cw - TextWidth(title)) / 2, 1, title, colors::kPanelColumnTitle.fg,
           colors::kPanelColumnTitle.bg, cw);
    size_t group = per_group ? ci / per_group : 0;
    for (int r = 0; r < rows; ++r) {
      int index = p.top + static_cast<int>(group) * rows + r;
      if (index >= static_cast<int>(p.entries.size())) break;
      const PanelEntry& e = p.entries[index];
      bool cur = active && index == p.current;
      colors::Pair c = e.selected ? (cur ? colors::kPanelSelectedCursor : colors::kPanelSelected)
                       : cur      ? colors::kPanelCursor
                       : e.is_dir() ? colors::kPanelFolder
                                    : colors::kPanelText;
      DrawCell(s, x, 2 + r, cw, CellText(e, col.type), IsRightAligned(col.type), c);
    }
    x += cw;
    if (ci + 1 < mode.columns.size()) {
      for (int y = 1; y < h - 3; ++y) s.at(x, y) = Cell{U'│', frame.fg, frame.bg};
      s.at(x, 0) = Cell{U'╤', frame.fg, frame.bg};
      s.at(x, h - 3) = Cell{U'┴', frame.fg, frame.bg};
      ++x;
    }
  }

  // Status line: the current item by the mode's status columns.
  if (const PanelEntry* e = p.Current()) {
    std::vector<int> sw = LayOut(mode.status, inner);
    int sx = x0 + 1;
    for (size_t ci = 0; ci < mode.status.size(); ++ci) {
      DrawCell(s, sx, h - 2, sw[ci], CellText(*e, mode.status[ci].type),
               IsRightAligned(mode.status[ci].type), colors::kPanelText);
      sx += sw[ci] + 1;
    }
  }

  // Title in the top frame.
  std::string title = " " + p.Title() + " ";
  std::string_view fit = FitText(title, inner);
  colors::Pair tc = side == active_ ? colors::kPanelTitleActive : colors::kPanelTitle;
  s.Text(x0 + (w - TextWidth(fit)) / 2, 0, fit, tc.fg, tc.bg);

  int selected = p.SelectedCount();
  if (selected > 0) {
    std::string info = " " + std::to_string(selected) + " selected ";
    std::string_view f = FitText(info, inner);
    s.Text(x0 + (w - TextWidth(f)) / 2, h - 1, f, colors::kPanelSelected.fg,
           colors::kPanelSelected.bg);
  }
}

void Host::DrawCommandLine() {
  Screen& s = screen_;
  int y = s.rows() - 2;
  if (y < 0) return;
  const colors::Pair c = colors::kCommandLine;
  s.Fill(0, y, s.cols(), 1, U' ', c.fg, c.bg);
  const Panel& p = panels_[active_];
  const Panel& other = panels_[1 - active_];
  std::string prompt = (!p.is_plugin() ? p.Title() : !other.is_plugin() ? other.Title() : "") + ">";
  int used = s.Text(0, y, prompt, c.fg, c.bg);
  // Keep the cursor in view: show the tail of a long line.
  std::u32string text = DecodeUtf8(cmdline_);
  size_t cursor = std::min(cmd_cursor_, text.size());
  int room = std::max(1, s.cols() - used - 1);
  size_t start = 0;
  while (start < cursor && TextWidth(EncodeUtf8(text.substr(start, cursor - start))) > room) ++start;
  s.Text(used, y, EncodeUtf8(text.substr(start)), c.fg, c.bg);
  int cx = used + TextWidth(EncodeUtf8(text.substr(start, cursor - start)));
  s.SetCursor(std::min(cx, s.cols() - 1), y, true);
}

namespace {

// The key bar as FAR lays it out: every label the same width (six cells up to 108 columns, more
// on wider screens) with a blank after it; keys whose label would reach the last column are left
// out, so at 80 columns F1 to F10 show. Each entry: the digits' column and the label's end.
std::vector<std::pair<int, int>> KeyBarLayout(int cols) {
  const int label_width = std::max(8, (cols - 1) / 12) - 2;
  std::vector<std::pair<int, int>> keys;
  int x = 0;
  for (int i = 0; i < 12; ++i) {
    if (x + label_width >= cols - 1) break;
    const int digits = i < 9 ? 1 : 2;
    keys.emplace_back(x, x + digits + label_width);
    x += digits + label_width + 1;
  }
  return keys;
}

}  // namespace

int Host::KeyBarSlot(int x) const {
  std::vector<std::pair<int, int>> keys = KeyBarLayout(screen_.cols());
  for (size_t i = 0; i < keys.size(); ++i) {
    if (x >= keys[i].first && x < keys[i].second) return static_cast<int>(i);
  }
  return -1;
}

unsigned Host::LayerControl(int layer) {
  switch (layer) {
    case kLayerCtrl:
      return PKF_CONTROL;
    case kLayerAlt:
      return PKF_ALT;
    case kLayerShift:
      return PKF_SHIFT;
    case kLayerCtrlShift:
      return PKF_CONTROL | PKF_SHIFT;
    case kLayerAltShift:
      return PKF_ALT | PKF_SHIFT;
    case kLayerCtrlAlt:
      return PKF_CONTROL | PKF_ALT;
    default:
      return 0;
  }
}

void Host::DrawKeyBar() {
  static const char* const kPlain[12] = {"",     "",       "View",   "Edit",   "Copy",   "RenMov",
                                         "MkFold", "Delete", "ConfMn", "Quit", "Plugin", ""};
  static const char* const kAlt[12] = {"Left", "Right", "", "", "", "", "", "", "", "", "", ""};
  Screen& s = screen_;
  int y = s.rows() - 1;
  if (y < 0) return;
  const Panel& p = panels_[active_];
  std::vector<std::pair<int, int>> keys = KeyBarLayout(s.cols());
  for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
    const int x0 = keys[i].first, x1 = keys[i].second;
    std::string label;
    if (keybar_layer_ == kLayerPlain) label = kPlain[i];
    if (keybar_layer_ == kLayerAlt) label = kAlt[i];
    if (p.is_plugin() && p.state.keybar[keybar_layer_][i]) label = *p.state.keybar[keybar_layer_][i];
    std::string digit = std::to_string(i + 1);
    int used = s.Text(x0, y, digit, colors::kKeyBarDigit.fg, colors::kKeyBarDigit.bg, x1 - x0);
    s.Fill(x0 + used, y, x1 - x0 - used, 1, U' ', colors::kKeyBarLabel.fg, colors::kKeyBarLabel.bg);
    s.Text(x0 + used, y, label, colors::kKeyBarLabel.fg, colors::kKeyBarLabel.bg, x1 - x0 - used);
  }
}

void Host::Render() {
  if (fe_.cols() != screen_.cols() || fe_.rows() != screen_.rows())
    screen_.Resize(std::max(fe_.cols(), 1), std::max(fe_.rows(), 1));
  screen_.Fill(0, 0, screen_.cols(), screen_.rows(), U' ', kLightGray, kBlack);
  screen_.SetCursor(0, 0, false);
  DrawPanel(0);
  DrawPanel(1);
  DrawCommandLine();
  DrawKeyBar();
  if (!windows_.empty() || transient_) screen_.SetCursor(0, 0, false);
  for (Window* w : windows_) w->Draw(screen_);
  if (transient_) transient_->Draw(screen_);
}

}  // namespace qb::host

namespace qb::host {

const char* Host::GetMsg(int id) {
#ifdef QB_HAVE_LANG
  if (lang_) {
    const char* text = lang_->Get(id, nullptr);
    if (text) return text;
  }
#else
  (void)id;
#endif
  return "";
}

}  // namespace qb::host
