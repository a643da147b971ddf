// The main library's process-wide state: one object, created at load, filled by SetStartupInfo,
// emptied by ExitFAR. Everything runs on the host's one thread; nothing here is locked.
#pragma once

#include <string>
#include <vector>

#include "main/field_types.h"
#include "platform/storage/storage.h"
#include "sdk/far.h"
#include "sdk/fieldtype.h"

namespace qb::main {

// The eleven settings kept under RootKey\Quillbox, with their defaults.
struct Settings {
  std::string book_file;  // default: the main library's directory + "Quillbox.Dat"
  std::string description;
  std::string user_name = "System Operator";
  int allow_preload = 0;
  int own_ctrl_ins = 1;
  int show_in_disks_menu = 1;
  int disk_menu_key = 0;
  int show_in_plugins_menu = 0;
  int panel_mode1 = 2;
  int panel_mode2 = 1;
  int max_lines = 5;
};

struct PluginState {
  PluginStartupInfo info{};  // the host's service table, copied whole at start-up
  std::string module_dir;    // directory of Quillbox.so, with its trailing "/"
  Settings settings;
  HostServices host_services{};
  std::string last_path = "\\";  // path of the panel that last released the book
  std::string last_book;         // the book file that path is in
  // A BookFile setting naming a missing book for which the user took the default book for this
  // session (the setting itself is left alone).
  std::string default_book_for;
  bool preload_done = false;
  // Set when the configuration dialog changed a view mode: the next change of directory takes the
  // configured mode instead of remembering the one the panel shows.
  bool view_modes_chosen = false;
  // The loaded field-type libraries, in load order (their index is the plug-in index).
  FieldTypeHost field_types;
  // The configuration menu: entry 0 is the main library's own title, then one entry per field-type
  // library that exports ConfigurePlugin (FieldTypeHost::ConfigPlugin maps entries to libraries).
  std::vector<FarMenuItem> config_menu;
  // The book could be opened for reading only (the file or its directory denies writing): it is
  // shown, and every change is refused with a box. Set at each opening of the book.
  bool book_read_only = false;
  // Passwords the host's command line was given: tried, in order, on every folder with a
  // password before anyone is asked (and when nobody may be asked).
  std::vector<std::string> given_passwords;
  // Where books are read and written: the real file system, or one a test puts in its place.
  storage::FileSystem* file_system = storage::FileSystem::Posix();
};

PluginState& State();

}  // namespace qb::main
