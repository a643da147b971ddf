// Every example of the README, run against a small book made through the program: the headless
// script and the command that plays it, the cfbtool commands, and the plug-in paths typed on the
// command line. A code block that no case here knows fails, so a new example gets a run too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "first_day.h"

namespace qb::firstday {
namespace {

namespace fs = std::filesystem;

std::string Readme() {
  const char* src = std::getenv("QB_SOURCE_DIR");
  return test::ReadFile(fs::path(src ? src : ".") / "README.md");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The README's code: fenced blocks, and blocks indented by four blanks after an empty line.
struct Block {
  bool fenced;
  std::vector<std::string> lines;
};

std::vector<Block> CodeBlocks(const std::string& readme) {
  std::vector<Block> blocks;
  const std::vector<std::string> lines = Lines(readme);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("```", 0) == 0) {
      Block block{true, {}};
      for (++i; i < lines.size() && lines[i].rfind("```", 0) != 0; ++i) {
        block.lines.push_back(lines[i]);
      }
      blocks.push_back(block);
    } else if (lines[i].rfind("    ", 0) == 0 && i > 0 && lines[i - 1].empty()) {
      Block block{false, {}};
      for (; i < lines.size() && lines[i].rfind("    ", 0) == 0; ++i) {
        block.lines.push_back(lines[i].substr(4));
      }
      blocks.push_back(block);
    }
  }
  return blocks;
}

// The command line of an example without its "# ..." remark.
std::string Command(const std::string& line) {
  std::string command = line.substr(0, line.find("  #"));
  command.erase(command.find_last_not_of(' ') + 1);
  return command;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// Inline examples: backticked texts that begin with `prefix`.
std::vector<std::string> InlineExamples(const std::string& readme, const std::string& prefix) {
  std::vector<std::string> found;
  for (std::size_t at = readme.find("`" + prefix); at != std::string::npos;
       at = readme.find("`" + prefix, at + 1)) {
    const std::size_t end = readme.find('`', at + 1);
    if (end != std::string::npos) found.push_back(readme.substr(at + 1, end - at - 1));
  }
  return found;
}

class Readme : public ::testing::Test {
 protected:
  void SetUp() override {
    // Friends holds one contact with a Comment field.
    day.Run(
        "F7\ntext Friends\nEnter\nEnter\nShiftF4\ntext Ann Smith\nEnter\nEnter\n"
        "ShiftF4\nEnter\ntext Met at the conference\nCtrlEnter\nF10\n");
    ASSERT_EQ(day.status, 0);
  }

  // A shell command line run in the test's directory, with the programs of this build.
  test::ProgramRun Shell(const std::string& command) {
    const char* bin = std::getenv("QB_BIN_DIR");
    const std::string line = "cd " + test::ShellQuote(day.dir().string()) +
                             " && PATH=" + test::ShellQuote(bin ? bin : ".") + ":\"$PATH\" " +
                             command + " 2>&1";
    return test::RunCommand(line);
  }

  std::string book() const { return (day.plugins() / "Quillbox.Dat").string(); }

  FirstDay day{{"Comment.qbl"}};
};

TEST_F(Readme, EveryCodeBlockIsAnExampleThatWorks) {
  const std::string readme = ::qb::firstday::Readme();
  const std::vector<Block> blocks = CodeBlocks(readme);
  ASSERT_FALSE(blocks.empty());
  int scripts = 0;
  for (const Block& block : blocks) {
    const std::string first = block.lines.empty() ? "" : Command(block.lines[0]);
    SCOPED_TRACE(first);
    if (first == "./run" || first == "./test") {
      // The quick start installs packages and builds the tree twice: checked, not run.
      for (const std::string& line : block.lines) {
        const std::string script = Command(line).substr(2);
        const char* src = std::getenv("QB_SOURCE_DIR");
        const fs::path path = fs::path(src ? src : ".") / script;
        EXPECT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(test::RunCommand("bash -n " + test::ShellQuote(path.string())).status, 0);
      }
    } else if (first.rfind("cfbtool ", 0) == 0) {
      for (const std::string& line : block.lines) {
        std::string command = Command(line);
        SCOPED_TRACE(command);
        command = Replace(command, "NEWFILE", test::ShellQuote((day.dir() / "copy.dat").string()));
        command = Replace(command, "BOOK", test::ShellQuote(book()));
        const test::ProgramRun run = Shell(command);
        EXPECT_EQ(run.status, 0) << run.out;
        if (command.rfind("cfbtool ls", 0) == 0) {
          EXPECT_TRUE(Shows(run.out, "Friends"));
          EXPECT_TRUE(Shows(run.out, "Ann Smith"));
        }
        if (command.rfind("cfbtool cat", 0) == 0) {
          EXPECT_TRUE(Shows(run.out, "Met at t"));  // xxd's text column
        }
      }
      EXPECT_TRUE(fs::exists(day.dir() / "copy.dat"));
    } else if (first.rfind("quillbox --", 0) == 0) {
      // The command line's vCard examples, against this test's book.
      for (const std::string& line : block.lines) {
        std::string command = Command(line);
        SCOPED_TRACE(command);
        command =
            Replace(command, "quillbox ",
                    "quillbox --plugins " + test::ShellQuote(day.plugins().string()) +
                        " --config " + test::ShellQuote((day.dir() / "config").string()) + " ");
        const test::ProgramRun run =
            Shell("HOME=" + test::ShellQuote(day.dir().string()) + " " + command);
        if (command.find("--query") != std::string::npos) {
          // Ann Smith has no e-mail address: the query answers, and finds nothing.
          EXPECT_EQ(run.status, 1) << run.out;
          EXPECT_TRUE(Shows(run.out, "matching addresses")) << run.out;
        } else {
          EXPECT_EQ(run.status, 0) << run.out;
        }
      }
      EXPECT_TRUE(Shows(test::ReadFile(day.dir() / "contacts.vcf"), "FN:Ann Smith"));
      EXPECT_TRUE(Shows(test::ReadFile(day.dir() / "friends.vcf"), "FN:Ann Smith"));
    } else if (block.fenced) {
      // A headless script: played by the README's own command line for it.
      ++scripts;
      std::ofstream(day.dir() / "script.txt") << [&] {
        std::string text;
        for (const std::string& line : block.lines) text += line + "\n";
        return text;
      }();
      std::vector<std::string> commands = InlineExamples(readme, "build/bin/quillbox --headless");
      ASSERT_EQ(commands.size(), 1u);
      const std::string command =
          Replace(commands[0], "build/bin/quillbox",
                  "quillbox --plugins " + test::ShellQuote(day.plugins().string()) + " --config " +
                      test::ShellQuote((day.dir() / "config").string()));
      const test::ProgramRun run = Shell("HOME=" + test::ShellQuote(day.dir().string()) + " " +
                                         Replace(command, " > screens.txt",
                                                 " > screens.txt; "
                                                 "cat screens.txt"));
      EXPECT_EQ(run.status, 0) << run.out;
      // The example opens the contact and shows its fields.
      EXPECT_TRUE(Shows(run.out, "Quillbox:\\Friends\\Ann Smith"));
      EXPECT_TRUE(Shows(run.out, "Met at the conference"));
    } else {
      ADD_FAILURE() << "a README example that no test runs:\n" << first;
    }
  }
  EXPECT_EQ(scripts, 1);
}

TEST_F(Readme, ThePluginPathsTypedOnTheCommandLineOpenTheBookThere) {
  day.Run("Down\nEnter\nF7\ntext Work\nEnter\nF10\n");
  const std::vector<std::string> paths = InlineExamples(::qb::firstday::Readme(), "quill:");
  ASSERT_FALSE(paths.empty());
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const std::string out = day.Run("Tab\ntext " + path + "\nEnter\nscreen\nF10\n", "100x30");
    EXPECT_TRUE(Shows(FirstDay::Screens(out, 30).at(0), "Quillbox:" + path.substr(6)));
  }
}

}  // namespace
}  // namespace qb::firstday
