// Runs the quillbox program headless against the test plug-in in a fresh home directory and
// collects what it printed and what the plug-in logged.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::host::test {

struct HostRun {
  std::string out;               // everything printed on standard output
  std::string err;               // standard error
  std::vector<std::string> log;  // the plug-in's calls, one a line
  int status = -1;
  int rows = 16;               // the screen's height
  std::filesystem::path home;  // HOME of the run; the panels start in home/work

  // Lines of the log that start with prefix.
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : log) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }

  // The screens printed by "screen" lines and at the end, split apart.
  std::vector<std::string> Screens() const {
    std::vector<std::string> screens;
    std::istringstream in(out);
    std::string line, cur;
    int n = 0;
    while (std::getline(in, line)) {
      cur += line + "\n";
      if (++n == rows) {
        screens.push_back(cur);
        cur.clear();
        n = 0;
      }
    }
    return screens;
  }
};

class HostFixtureDir {
 public:
  HostFixtureDir() {
    std::filesystem::create_directories(home() / "work" / "docs");
    std::filesystem::create_directories(home() / "config");
    std::ofstream(home() / "work" / "a.txt") << "alpha file\n";
    std::ofstream(home() / "work" / "b.txt") << "bee\n";
  }
  std::filesystem::path home() const { return dir_.root(); }

 private:
  qb::test::TempDir dir_{"qbhost"};
};

using qb::test::ReadFile;

// Runs `quillbox --headless --size SIZE --config HOME/config --plugins DIR script` in HOME/work
// with HOME set, QB_TEST_LOG pointing into HOME, and env_extra ("NAME=value ...") added.
inline HostRun RunHost(const HostFixtureDir& dir, const std::string& script,
                       const std::string& size = "60x16", const std::string& env_extra = "",
                       const std::string& plugin_dir = QB_HOST_TEST_PLUGIN_DIR) {
  HostRun run;
  run.home = dir.home();
  run.rows = std::atoi(size.substr(size.find('x') + 1).c_str());
  std::filesystem::path log = dir.home() / "plugin.log";
  std::filesystem::remove(log);
  qb::test::HeadlessRun headless;
  headless.dir = dir.home();
  headless.script = script;
  headless.work_dir = (dir.home() / "work").string();
  headless.home = dir.home().string();
  headless.env = "QB_TEST_LOG=" + qb::test::ShellQuote(log.string()) + " " + env_extra;
  headless.size = size;
  headless.config = (dir.home() / "config").string();
  headless.plugins = plugin_dir;
  const qb::test::ProgramRun done = headless.Run();
  run.out = done.out;
  run.err = done.err;
  run.status = done.status;
  std::istringstream lines(ReadFile(log));
  for (std::string l; std::getline(lines, l);) run.log.push_back(l);
  return run;
}

}  // namespace qb::host::test
