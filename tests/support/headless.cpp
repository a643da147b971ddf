#include "tests/support/headless.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace qb::test {

ProgramRun RunCommand(const std::string& command) {
  ProgramRun run;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return run;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
  const int status = pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::filesystem::path QuillboxProgram() {
  const char* bin = std::getenv("QB_BIN_DIR");
  return std::filesystem::path(bin ? bin : ".") / "quillbox";
}

HeadlessRun HeadlessRun::InDir(const std::filesystem::path& dir, std::string script,
                               std::string size) {
  HeadlessRun run;
  run.dir = dir;
  run.script = std::move(script);
  run.plugins = dir / "plugins";
  run.config = dir / "config";
  run.work_dir = dir / "work";
  run.home = dir.string();
  run.size = std::move(size);
  return run;
}

ProgramRun HeadlessRun::Run() const {
  const std::filesystem::path script_file = dir / "script.txt";
  const std::filesystem::path err_file = dir / "stderr";
  std::ofstream(script_file) << script;
  std::string command;
  if (!work_dir.empty()) command += "cd " + ShellQuote(work_dir) + " && ";
  command += "env ";
  if (!home.empty()) command += "HOME=" + ShellQuote(home) + " ";
  command += env + " " + ShellQuote(QuillboxProgram().string()) + " --headless";
  if (!size.empty()) command += " --size " + size;
  command += " --config " + ShellQuote(config) + " --plugins " + ShellQuote(plugins) + " " +
             ShellQuote(script_file.string());
  command += merge_stderr ? " 2>&1" : " 2>" + ShellQuote(err_file.string());
  ProgramRun run = RunCommand(command);
  if (!merge_stderr) run.err = ReadFile(err_file);
  const std::string& report = merge_stderr ? run.out : run.err;
  // Under the sanitizer build the program reports memory and undefined-behaviour faults here.
  if (report.find("Sanitizer") != std::string::npos ||
      report.find("runtime error:") != std::string::npos)
    ADD_FAILURE() << "quillbox reported a fault:\n" << report;
  return run;
}

std::vector<std::vector<std::string>> SplitScreenLines(const std::string& out, int rows) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<std::vector<std::string>> screens;
  const std::size_t n = rows > 0 ? static_cast<std::size_t>(rows) : 0;
  for (std::size_t i = 0; n > 0 && i + n <= lines.size(); i += n)
    screens.emplace_back(lines.begin() + static_cast<long>(i),
                         lines.begin() + static_cast<long>(i + n));
  return screens;
}

std::vector<std::string> SplitScreens(const std::string& out, int rows) {
  std::vector<std::string> screens;
  for (const std::vector<std::string>& lines : SplitScreenLines(out, rows)) {
    std::string screen;
    for (const std::string& line : lines) screen += line + "\n";
    screens.push_back(std::move(screen));
  }
  return screens;
}

}  // namespace qb::test
