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
    char tmpl[] = "/tmp/qbhost-XXXXXX";
    const char* made = mkdtemp(tmpl);
    home_ = made ? made : "/tmp";
    std::filesystem::create_directories(home_ / "work" / "docs");
    std::filesystem::create_directories(home_ / "config");
    std::ofstream(home_ / "work" / "a.txt") << "alpha file\n";
    std::ofstream(home_ / "work" / "b.txt") << "bee\n";
  }
  ~HostFixtureDir() {
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }
  const std::filesystem::path& home() const { return home_; }

 private:
  std::filesystem::path home_;
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs `quillbox --headless --size SIZE --config HOME/config --plugins DIR script` in HOME/work
// with HOME set, QB_TEST_LOG pointing into HOME, and env_extra ("NAME=value ...") added.
inline HostRun RunHost(const HostFixtureDir& dir, const std::string& script,
                       const std::string& size = "60x16", const std::string& env_extra = "",
                       const std::string& plugin_dir = QB_HOST_TEST_PLUGIN_DIR) {
  HostRun run;
  run.home = dir.home();
  run.rows = std::atoi(size.substr(size.find('x') + 1).c_str());
  std::filesystem::path script_path = dir.home() / "script.txt";
  std::ofstream(script_path) << script;
  std::filesystem::path log = dir.home() / "plugin.log";
  std::filesystem::remove(log);
  std::string cmd = "cd '" + (dir.home() / "work").string() + "' && env HOME='" +
                    dir.home().string() + "' QB_TEST_LOG='" + log.string() + "' " + env_extra +
                    " '" + QB_QUILLBOX_BIN + "' --headless --size " + size + " --config '" +
                    (dir.home() / "config").string() + "' --plugins '" + plugin_dir + "' '" +
                    script_path.string() + "' 2>'" + (dir.home() / "stderr").string() + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  int st = pclose(p);
  run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  run.err = ReadFile(dir.home() / "stderr");
  // Under the sanitizer build the program reports memory and undefined-behaviour faults here.
  if (run.err.find("Sanitizer") != std::string::npos ||
      run.err.find("runtime error:") != std::string::npos)
    ADD_FAILURE() << "quillbox reported a fault:\n" << run.err;
  std::istringstream lines(ReadFile(log));
  for (std::string l; std::getline(lines, l);) run.log.push_back(l);
  return run;
}

}  // namespace qb::host::test
