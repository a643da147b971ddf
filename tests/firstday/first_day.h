// A new user's first day with the program: the quillbox program run headless against a private
// plug-in directory (the main library, its language files and the chosen field types), with a
// book of its own, and the screens it printed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::firstday {

// Whether a screen shows (or does not show) a text; a failure prints the screen as it is.
::testing::AssertionResult Shows(const std::string& screen, const std::string& text);
::testing::AssertionResult Lacks(const std::string& screen, const std::string& text);

class FirstDay {
 public:
  // Field types by file name ("Comment.qbl"); all of the build's when empty.
  explicit FirstDay(const std::vector<std::string>& field_types = {"Comment.qbl", "Address.qbl"});

  // Values under HKEY_CURRENT_USER\<key> ("Software\\Far\\Plugins\\Quillbox"), as lines of a
  // REGEDIT4 file ("\"MaxLines\"=dword:00000004").
  void Settings(const std::string& key, const std::string& values);

  // Runs the script at the size ("COLSxROWS"); returns what the program printed (every "screen"
  // step and the last screen). The exit status goes to status.
  std::string Run(const std::string& script, const std::string& size = "80x25");
  int status = -1;

  // The screens of an output at `rows` lines each.
  static std::vector<std::string> Screens(const std::string& out, int rows);

  std::filesystem::path dir() const { return temp_.root(); }
  std::filesystem::path plugins() const { return temp_.root() / "plugins"; }

 private:
  test::TempDir temp_{"qb-first-day"};
  std::string registry_;
};

}  // namespace qb::firstday
