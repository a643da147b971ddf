// The entry points the host calls. Start-up, plug-in info, opening and closing a panel and exit
// live here; every panel call is handed unchanged to the BookPanel the host got from OpenPlugin.
// Nothing thrown inside the library crosses these functions: each one catches everything and
// answers with its failure result.
#include <cstring>
#include <new>
#include <string>

#include "main/book_format.h"
#include "main/book_panel.h"
#include "main/event_walk.h"
#include "main/exchange.h"
#include "main/folder_ops.h"
#include "main/key_table.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/settings.h"
#include "platform/paths/paths.h"
#include "sdk/services.h"
#include "shared/lang/current_language.h"

namespace qb::main {
namespace {

// Runs fn; anything thrown becomes the fallback result.
template <class R, class Fn>
R Guarded(R fallback, Fn&& fn) noexcept {
  try {
    return fn();
  } catch (...) {
    return fallback;
  }
}

template <class Fn>
void Guarded(Fn&& fn) noexcept {
  try {
    fn();
  } catch (...) {
  }
}

// Changes to a book opened for reading only are refused before they start, with a box unless the
// host asked for silence.
bool RefusedAsReadOnly(int op_mode) {
  if (!State().book_read_only) return false;
  if (!(op_mode & OPM_SILENT)) ShowError(msg::kErrorReadOnlyChange, "ReadOnlyBook");
  return true;
}

BookPanel* AsPanel(HANDLE h) {
  return h == nullptr || h == INVALID_HANDLE_VALUE ? nullptr : static_cast<BookPanel*>(h);
}

HANDLE Open(int open_from, intptr_t item) {
  PluginState& state = State();
  auto panel = std::make_unique<BookPanel>();
  if (!panel->Acquire()) {
    panel->Release();
    return INVALID_HANDLE_VALUE;
  }
  SendEventWalk(*panel, open_from == -1 ? FTEV_START : FTEV_OPEN, -1);
  // A new panel goes back where the last panel was, when it was on the same book: a panel on
  // another book starts at the root instead of looking for that book's folders in this one.
  const std::string target = open_from == OPEN_COMMANDLINE && item
                                 ? std::string(reinterpret_cast<const char*>(item))
                             : state.last_book == panel->book_file() ? state.last_path
                                                                     : std::string("\\");
  panel->SetDirectory(target.c_str(), OPM_SILENT);
  panel->Release();
  return panel.release();
}

void Close(BookPanel* panel) {
  panel->Closing();
  if (panel->depth() >= 0) {
    {
      BookLock lock(*panel);
      if (panel->root_open()) {
        panel->SetDirectory("\\", OPM_SILENT);
        SendEventWalk(*panel, FTEV_CLOSE, -1);
      }
    }
    panel->SetDepth(-1);
  }
  delete panel;
}

}  // namespace
}  // namespace qb::main

using qb::main::AsPanel;
using qb::main::Guarded;
using qb::main::State;

extern "C" {

QB_EXPORT void SetStartupInfo(const PluginStartupInfo* info) {
  Guarded([&] {
    qb::main::PluginState& state = State();
    // 1. The host's table, whole: every service is called through this copy.
    std::memset(&state.info, 0, sizeof state.info);
    std::memcpy(&state.info, info,
                std::min(sizeof state.info,
                         static_cast<std::size_t>(info->StructSize > 0 ? info->StructSize : 0)));
    state.info.ModuleName[NM - 1] = '\0';
    // 2. The language files beside the main library, in the host's language.
    state.module_dir = qb::DirectoryPart(
        std::string_view(state.info.ModuleName, strnlen(state.info.ModuleName, NM)));
    qb::main::LoadMessages(state.module_dir, qb::lang::CurrentLanguage(state.info.RootKey));
    // 3. The configuration menu: the main library's own entry first.
    state.config_menu.clear();
    FarMenuItem own{};
    std::strncpy(own.Text, qb::main::kTitle, sizeof own.Text - 1);
    state.config_menu.push_back(own);
    // 4 and 5. The field-type libraries beside the main library (module_dir, taken above).
    state.field_types.Load(state.module_dir, &state.info, &state.host_services, &state.config_menu);
    // 6. The settings; this also points the HostServices user name at the setting.
    qb::main::ReadSettings();
    state.default_book_for.clear();
    if (state.settings.book_file.empty()) {
      state.settings.book_file = qb::main::DefaultBookPath(state.module_dir);
    }
    state.host_services.UserName = state.settings.user_name.c_str();
    // 7. The dialog builder's error box texts.
    qb::main::AttachDialogBuilder();
  });
}

QB_EXPORT void GetPluginInfo(PluginInfo* info) {
  Guarded([&] {
    static const char* const kStrings[] = {qb::main::kTitle};
    qb::main::PluginState& state = State();
    *info = PluginInfo{};
    info->StructSize = sizeof(PluginInfo);
    info->Flags = state.settings.allow_preload ? PF_PRELOAD : 0;
    if (state.settings.show_in_plugins_menu) {
      info->PluginMenuStrings = kStrings;
      info->PluginMenuStringsNumber = 1;
    }
    if (state.settings.show_in_disks_menu) {
      info->DiskMenuStrings = kStrings;
      info->DiskMenuNumbers = &state.settings.disk_menu_key;
      info->DiskMenuStringsNumber = 1;
    }
    info->PluginConfigStrings = kStrings;
    info->PluginConfigStringsNumber = 1;
    info->CommandPrefix = qb::main::kCommandPrefix;
    if (state.settings.allow_preload && !state.preload_done) {
      // Preloading runs the start-up walk once per run of the host.
      state.preload_done = true;
      HANDLE panel = qb::main::Open(-1, 0);
      if (panel != INVALID_HANDLE_VALUE) qb::main::Close(AsPanel(panel));
    }
  });
}

QB_EXPORT HANDLE OpenPlugin(int open_from, intptr_t item) {
  return Guarded(INVALID_HANDLE_VALUE, [&] { return qb::main::Open(open_from, item); });
}

QB_EXPORT void ClosePlugin(HANDLE h) {
  Guarded([&] {
    if (qb::main::BookPanel* panel = AsPanel(h)) qb::main::Close(panel);
  });
}

QB_EXPORT void GetOpenPluginInfo(HANDLE h, OpenPluginInfo* info) {
  Guarded([&] {
    if (qb::main::BookPanel* panel = AsPanel(h)) panel->GetOpenPluginInfo(info);
  });
}

QB_EXPORT int GetFindData(HANDLE h, PluginPanelItem** items, int* count, int op_mode) {
  return Guarded(0, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? panel->GetFindData(items, count, op_mode) : 0;
  });
}

QB_EXPORT void FreeFindData(HANDLE h, PluginPanelItem* items, int count) {
  Guarded([&] {
    if (qb::main::BookPanel* panel = AsPanel(h)) panel->FreeFindData(items, count);
  });
}

QB_EXPORT int Compare(HANDLE h, const PluginPanelItem* a, const PluginPanelItem* b,
                      unsigned int mode) {
  return Guarded(-2, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel && a && b ? panel->Compare(a, b, mode) : -2;
  });
}

QB_EXPORT int SetDirectory(HANDLE h, const char* dir, int op_mode) {
  return Guarded(0, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? panel->SetDirectory(dir, op_mode) : 0;
  });
}

QB_EXPORT int MakeDirectory(HANDLE h, char* name, int op_mode) {
  return Guarded(0, [&] {
    if (qb::main::RefusedAsReadOnly(op_mode)) return 0;
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? qb::main::MakeDirectory(*panel, name, op_mode) : 0;
  });
}

QB_EXPORT int ProcessKey(HANDLE h, int key, unsigned int control_state) {
  return Guarded(0, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? qb::main::ProcessKey(*panel, key, control_state) : 0;
  });
}

QB_EXPORT int DeleteFiles(HANDLE h, PluginPanelItem* items, int count, int op_mode) {
  return Guarded(0, [&] {
    if (qb::main::RefusedAsReadOnly(op_mode)) return 0;
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? qb::main::DeleteFiles(*panel, items, count, op_mode) : 0;
  });
}

QB_EXPORT int GetFiles(HANDLE h, PluginPanelItem* items, int count, int move, char* dest_path,
                       int op_mode) {
  return Guarded(0, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? qb::main::GetFiles(*panel, items, count, move, dest_path, op_mode) : 0;
  });
}

QB_EXPORT int PutFiles(HANDLE h, PluginPanelItem* items, int count, int move, int op_mode) {
  return Guarded(0, [&] {
    qb::main::BookPanel* panel = AsPanel(h);
    return panel ? qb::main::PutFiles(*panel, items, count, move, op_mode) : 0;
  });
}

QB_EXPORT void ExitFAR(void) {
  Guarded([&] {
    qb::main::PluginState& state = State();
    qb::main::WriteSettings();
    state.field_types.Unload();
    state.config_menu.clear();
    state.config_menu.shrink_to_fit();
    qb::main::FreeMessages();
  });
}

}  // extern "C"
