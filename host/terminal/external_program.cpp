#include "host/terminal/external_program.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace qb::host {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
    } else if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      if (end == std::string_view::npos) end = line.size();
      word.append(line.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          ++i;
        }
        word += line[i];
      }
    } else {
      word += c;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

std::vector<std::vector<std::string>> ProgramCandidates(
    std::string_view program, const std::function<const char*(const char*)>& getenv) {
  std::vector<std::vector<std::string>> out;
  auto add = [&](std::string_view line) {
    std::vector<std::string> argv = SplitCommandLine(line);
    if (!argv.empty()) out.push_back(std::move(argv));
  };
  auto add_env = [&](const char* name) {
    const char* value = getenv(name);
    if (value != nullptr) add(value);
  };
  if (program == "pager") {
    add_env("PAGER");
    add("less");
    add("more");
  } else if (program == "editor") {
    add_env("VISUAL");
    add_env("EDITOR");
    add("nano");
    add("vi");
  } else {
    add(program);
  }
  return out;
}

int SpawnAndWait(const std::vector<std::vector<std::string>>& candidates, const std::string& file) {
  for (const auto& words : candidates) {
    std::vector<std::string> args = words;
    if (!file.empty()) args.push_back(file);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (rc == ENOENT || rc == EACCES || rc == ENOEXEC) continue;  // try the next choice
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
  }
  return -1;
}

}  // namespace qb::host
