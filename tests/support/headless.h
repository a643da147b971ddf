// Running programs from a test: any command line, and the quillbox program's headless front end
// (keys from a script file, screens on standard output).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qb::test {

struct ProgramRun {
  std::string out;  // everything printed on standard output
  std::string err;  // standard error, when it went to a file of its own
  int status = -1;  // the exit status; -1 when the program did not exit normally
};

// Runs a shell command line and collects its standard output.
ProgramRun RunCommand(const std::string& command);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Quotes text for the shell.
std::string ShellQuote(const std::string& text);

// A headless run of quillbox: `quillbox --headless [--size SIZE] --config CONFIG --plugins PLUGINS
// SCRIPT` in WORK_DIR, with HOME and the extra environment ("NAME=value ...") set.
struct HeadlessRun {
  std::filesystem::path dir;  // where the script and standard error go
  std::string script;         // the keys, one a line
  std::string plugins;        // the plug-in directory
  std::string config;         // the configuration directory
  std::string work_dir;       // the current directory; none when empty
  std::string home;           // HOME; unchanged when empty
  std::string size;           // "COLSxROWS"; the program's default when empty
  std::string env;            // more "NAME=value" words
  bool merge_stderr = false;  // standard error into the output instead of a file

  // A run laid out in one test directory: plugins/, config/ and work/ below it, HOME at it.
  static HeadlessRun InDir(const std::filesystem::path& dir, std::string script, std::string size);

  // The program as built (QB_BIN_DIR/quillbox). A sanitizer report on standard error fails the
  // current test.
  ProgramRun Run() const;
};

// The screens a headless run printed (each "screen" line of the script and the last one), split
// into `rows` lines each; a partial screen at the end is left out.
std::vector<std::vector<std::string>> SplitScreenLines(const std::string& out, int rows);
// The same screens, each as one text of its lines ending in "\n".
std::vector<std::string> SplitScreens(const std::string& out, int rows);

// The quillbox program of this build.
std::filesystem::path QuillboxProgram();

}  // namespace qb::test
