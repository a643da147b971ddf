// The host: two panels, a command line, a key bar, the loaded plug-in and the modal widgets it
// asks for, all drawn into one screen model that a front end presents. One process-wide Host
// serves the plug-in's service table (services.cpp).
//
// The Host itself is the event loop: it waits for the front end's events, runs due timers, keeps
// the windows above the panels and draws the screen from its parts. What a key does is the key
// dispatcher's (key_dispatcher.h), the panels' contents are the panel set's (panel_set.h), the
// drawing of a panel is the renderer's (panel_renderer.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/command_line.h"
#include "host/core/key_bar.h"
#include "host/core/key_dispatcher.h"
#include "host/core/panel_renderer.h"
#include "host/core/panel_set.h"
#include "host/core/plugin_module.h"
#include "host/frontend.h"
#include "host/screen.h"
#include "sdk/far.h"
#include "sdk/host_exports.h"

namespace qb::lang {
class LangStore;
}

namespace qb::host {

struct HostOptions {
  std::string plugin_dir;  // where Quillbox.so is looked for
  std::string config_dir;  // settings directory, empty: the default
  bool headless = false;   // no system clipboard tools
  std::string start_dir;   // the file panels' directory, empty: the working directory
  // No screen at all (the command line's vCard and query commands): message boxes are printed on
  // standard error and end as if escaped, dialogs are cancelled.
  bool command = false;
};

// Something drawn above the panels: menus, dialogs, message boxes.
class Window {
 public:
  virtual ~Window() = default;
  virtual void Draw(Screen& screen) = 0;
};

// The timers the program exports to the libraries it loads (sdk/host_exports.h).
using TimerCallback = QbTimerCallback;

class Host {
 public:
  Host(FrontEnd& front_end, HostOptions options);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The process-wide host while one exists (the service table reaches it through this).
  static Host* Current();

  // Loads the plug-in, opens the start panels, runs until F10 or the front end ends, then closes
  // the panels and calls ExitFAR. Returns the process exit status.
  int Run();
  // Loads the plug-in without opening a panel, runs fn with it, then calls ExitFAR. fn's result,
  // or 2 when the plug-in did not load.
  int RunCommand(const std::function<int(PluginModule&)>& fn);

  // ---- For the widgets ----
  Screen& screen() { return screen_; }
  FrontEnd& front_end() { return fe_; }
  // A modal window takes the place of a message without buttons left on the screen.
  void PushWindow(Window* w) {
    transient_.reset();
    windows_.push_back(w);
  }
  void PopWindow();
  // Draws everything, presents it, waits for the next key (running due timers meanwhile).
  // Returns kQuit once the front end has ended; from then on quitting() is true and every modal
  // widget ends as if escaped.
  Event NextEvent();
  bool quitting() const { return quitting_; }
  // Draws and presents without waiting (a message box without buttons).
  void Present();
  // Keeps a window on the screen until the next key is taken (message box without buttons).
  void ShowTransient(std::unique_ptr<Window> w);
  std::vector<std::string>& History(const std::string& name) { return histories_[name]; }

  // ---- The service table's semantics ----
  int Menu(int x, int y, int max_height, DWORD flags, const char* title, const char* bottom,
           const int* break_keys, int* break_code, const FarMenuItem* items, int count);
  int Dialog(int x1, int y1, int x2, int y2, FarDialogItem* items, int count);
  int Message(DWORD flags, const char* const* items, int count, int buttons);
  const char* GetMsg(int id);
  int Control(HANDLE plugin, int command, void* param);

  // ---- Clipboard and timers ----
  // The host's, the terminal's and the desktop's clipboard; CR LF line ends become LF.
  void SetClipboard(const std::string& text);
  const std::string& clipboard() const { return clipboard_; }
  uintptr_t SetTimer(uint32_t interval_ms, TimerCallback callback);
  bool KillTimer(uintptr_t id);
  // Looks at the input that has arrived, without waiting: true when it holds Esc (taken, with
  // whatever came before it kept). Keys that are not Esc stay for NextEvent, in their order.
  bool CheckForEscape();

  // ---- For the key dispatcher and the panel commands ----
  PluginModule& plugin() { return plugin_; }
  PanelSet& panels() { return panels_; }
  CommandLine& command_line() { return cmdline_; }
  const PanelRenderer& renderer() const { return renderer_; }
  // Ends Run after the key being handled (F10).
  void Quit() { exit_ = true; }

 private:
  struct Timer {
    uintptr_t id;
    uint32_t interval;
    int64_t due;
    TimerCallback callback;
  };

  void Startup();
  void Shutdown();
  void LoadPlugin();
  void ReadLanguage();

  void Render();

  void FireTimers();
  int64_t NextTimerDue() const;

  FrontEnd& fe_;
  HostOptions options_;
  Screen screen_;
  PluginModule plugin_;
  PluginStartupInfo startup_{};
  std::unique_ptr<lang::LangStore> lang_;
  std::string language_ = "English";
  PanelSet panels_{plugin_};
  CommandLine cmdline_;
  std::vector<Window*> windows_;
  std::unique_ptr<Window> transient_;
  KeyBar keybar_;
  PanelRenderer renderer_;
  KeyDispatcher keys_{*this};
  bool quitting_ = false;
  bool exit_ = false;
  std::string clipboard_;
  std::vector<Timer> timers_;
  std::deque<Event> typed_ahead_;  // events CheckForEscape took from the front end
  uintptr_t next_timer_id_ = 1;
  bool in_timer_ = false;
  std::map<std::string, std::vector<std::string>> histories_;
  std::string status_message_;  // e.g. why the plug-in did not load
};

}  // namespace qb::host
