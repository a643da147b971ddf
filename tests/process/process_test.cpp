// Starting programs against recording doubles: small scripts written into a directory that the
// test puts first on PATH. A double writes its arguments into the record directory and, where a
// test needs to look at the running program, replaces itself with `sleep`.
#include "platform/process/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::process {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> ChildrenOf(pid_t parent, bool zombies_only = false) {
  std::vector<pid_t> found;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
    if (pid <= 0) continue;
    std::string stat = test::ReadFile(fs::path("/proc") / entry->d_name / "stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
    if (ppid == parent && (!zombies_only || state == 'Z')) found.push_back(pid);
  }
  closedir(dir);
  return found;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    fs::create_directories(bin_);
    fs::create_directories(records_);
    const char* path = getenv("PATH");
    old_path_ = path != nullptr ? path : "";
    setenv("PATH", (bin_.string() + ":/usr/bin:/bin").c_str(), 1);
    setenv("QB_RECORDS", records_.c_str(), 1);
    SetOpenerVerdictWait(2000ms);
  }
  void TearDown() override {
    for (pid_t pid : sleepers_) kill(pid, SIGKILL);
    setenv("PATH", old_path_.c_str(), 1);
    unsetenv("QB_RECORDS");
    SetOpenerVerdictWait(kOpenerVerdictWait);
  }

  void Script(const std::string& name, const std::string& body, fs::perms perms = fs::perms(0755)) {
    fs::path file = bin_ / name;
    std::ofstream(file) << "#!/bin/sh\nPATH=/usr/bin:/bin\n" << body;
    fs::permissions(file, perms);
  }
  // A double recording its working directory, its arguments as "[word]" lines and its process id in
  // QB_RECORDS/<name>, then `then`.
  void Recorder(const std::string& name, const std::string& then = "") {
    Script(name,
           "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; echo $$; } > "
           "\"$QB_RECORDS/" +
               name + ".tmp\"\nmv \"$QB_RECORDS/" + name + ".tmp\" \"$QB_RECORDS/" + name + "\"\n" +
               then);
  }
  // What the double `name` recorded, waiting up to 5 s for it to appear.
  std::string Record(const std::string& name) {
    for (int i = 0; i < 500 && !fs::exists(records_ / name); ++i) std::this_thread::sleep_for(10ms);
    return test::ReadFile(records_ / name);
  }
  pid_t RecordedPid(const std::string& record) {
    size_t end = record.find_last_not_of('\n');
    size_t start = record.rfind('\n', end);
    pid_t pid = static_cast<pid_t>(atoi(record.c_str() + start + 1));
    if (pid > 0) sleepers_.push_back(pid);
    return pid;
  }

  test::TempDir temp_{"qb-process"};
  fs::path bin_ = temp_.root() / "bin";
  fs::path records_ = temp_.root() / "records";
  std::string old_path_;
  std::vector<pid_t> sleepers_;
};

TEST_F(ProcessTest, AProgramOnPathGetsItsParametersSplitAsACommandLine) {
  Recorder("notepad");
  EXPECT_GT(ShellExecute("notepad", "readme.txt \"two words\" x\\\"y ", "", kShowNormal), 32);
  std::string record = Record("notepad");
  EXPECT_NE(record.find("\n[readme.txt]\n[two words]\n[x\"y]\n"), std::string::npos) << record;

  Recorder("tool");
  EXPECT_GT(WinExec("tool  'a b' \"c d\"", kShowNormal), 32);
  record = Record("tool");
  EXPECT_NE(record.find("\n['a]\n[b']\n[c d]\n"), std::string::npos) << record;
}

TEST_F(ProcessTest, AProgramByPathStartsInTheGivenDirectory) {
  fs::path dir = temp_.root() / "with blank";
  fs::create_directories(dir);
  Recorder("prog");
  std::string program = (bin_ / "prog").string();
  EXPECT_GT(ShellExecute(program.c_str(), "one", dir.c_str(), kShowNormal), 32);
  std::string record = Record("prog");
  EXPECT_EQ(record.substr(0, record.find('\n')), dir.string());
  EXPECT_NE(record.find("\n[one]\n"), std::string::npos) << record;

  EXPECT_EQ(ShellExecute(program.c_str(), "", (temp_.root() / "missing").c_str(), kShowNormal),
            kPathNotFound);
}

TEST_F(ProcessTest, FailuresKeepTheWindowsValues) {
  EXPECT_EQ(ShellExecute("no-such-program-here", "", "", kShowNormal), kFileNotFound);
  EXPECT_EQ(ShellExecute("", "", "", kShowNormal), kFileNotFound);
  EXPECT_EQ(ShellExecute(nullptr, nullptr, nullptr, kShowNormal), kFileNotFound);
  EXPECT_EQ(ShellExecute((bin_ / "absent").c_str(), "", "", kShowNormal), kFileNotFound);
  EXPECT_EQ(ShellExecute((bin_ / "absent/deeper").c_str(), "", "", kShowNormal), kPathNotFound);
  EXPECT_EQ(WinExec("", kShowNormal), kFileNotFound);
  EXPECT_EQ(WinExec("no-such-program-here x", kShowNormal), kFileNotFound);
  EXPECT_EQ(WinExec((bin_ / "absent/deeper").c_str(), kShowNormal), kPathNotFound);

  // On PATH but not executable: refused, as a shell refuses it.
  Script("plain", "exit 0\n", fs::perms(0644));
  EXPECT_EQ(ShellExecute("plain", "", "", kShowNormal), kAccessDenied);
  EXPECT_EQ(WinExec("plain", kShowNormal), kAccessDenied);
  // Executable bit but no format the system can run.
  std::ofstream(bin_ / "garbage") << "\x01\x02 not a program";
  fs::permissions(bin_ / "garbage", fs::perms(0755));
  EXPECT_EQ(WinExec((bin_ / "garbage").c_str(), kShowNormal), kBadFormat);
}

TEST_F(ProcessTest, ShellSyntaxNeverRunsAnything) {
  fs::path victim = temp_.root() / "victim";
  Recorder("rec");
  const std::string touch = "touch " + victim.string();
  // As file names they name no file (or no folder on the way to one).
  for (const std::string& file : {"$(" + touch + ")", "`" + touch + "`", "x;" + touch}) {
    int result = ShellExecute(file.c_str(), "", "", kShowNormal);
    EXPECT_TRUE(result == kFileNotFound || result == kPathNotFound) << file << " " << result;
  }
  EXPECT_EQ(WinExec(("true;" + touch).c_str(), kShowNormal), kFileNotFound);
  EXPECT_GT(
      ShellExecute("rec", ("$(" + touch + ") `" + touch + "` ; " + touch).c_str(), "", kShowNormal),
      32);
  std::string record = Record("rec");
  EXPECT_NE(record.find("[$(touch]\n[" + victim.string() + ")]\n[`touch]\n"), std::string::npos)
      << record;
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(victim));
}

TEST_F(ProcessTest, AStartedProgramHasOnlyDevNullAndItsOwnSessionAndIsNotWaitedFor) {
  int leaked = open(temp_.root().c_str(), O_RDONLY);  // inheritable on purpose
  ASSERT_GE(leaked, 3);
  Recorder("sleeper", "exec sleep 30\n");
  auto start = std::chrono::steady_clock::now();
  EXPECT_GT(ShellExecute("sleeper", "", "", kShowNormal), 32);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  pid_t pid = RecordedPid(Record("sleeper"));
  ASSERT_GT(pid, 0);
  close(leaked);

  // The double has become `sleep` by now; wait until its descriptors are the program's own.
  fs::path fds = fs::path("/proc") / std::to_string(pid) / "fd";
  for (int i = 0;
       i < 200 && test::ReadFile(fs::path("/proc") / std::to_string(pid) / "comm") != "sleep\n";
       ++i)
    std::this_thread::sleep_for(10ms);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fds)) {
    names.push_back(entry.path().filename().string());
    EXPECT_EQ(fs::read_symlink(entry.path()), "/dev/null") << entry.path();
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(getsid(pid), pid);
  EXPECT_TRUE(ChildrenOf(getpid()).empty()) << "the program is no child of its starter";
}

TEST_F(ProcessTest, NoZombieIsLeftAndTheCallersOwnChildKeepsItsStatus) {
  pid_t own = fork();
  ASSERT_GE(own, 0);
  if (own == 0) {
    usleep(300 * 1000);
    _exit(7);
  }
  Recorder("quick");
  for (int i = 0; i < 5; ++i) EXPECT_GT(ShellExecute("quick", "", "", kShowNormal), 32);
  Script("xdg-open", "exit 0\n");
  EXPECT_GT(ShellExecute("https://example.org", "", "", kShowNormal), 32);
  std::this_thread::sleep_for(100ms);
  std::vector<pid_t> children = ChildrenOf(getpid());
  EXPECT_EQ(children, std::vector<pid_t>{own});
  int status = 0;
  ASSERT_EQ(waitpid(own, &status, 0), own);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(ProcessTest, DocumentsFoldersAndUrlsGoToXdgOpen) {
  Recorder("xdg-open");
  EXPECT_GT(ShellExecute("https://example.org/a?b=c&d", "ignored", "", kShowNormal), 32);
  EXPECT_NE(Record("xdg-open").find("\n[https://example.org/a?b=c&d]\n"), std::string::npos);
  for (const char* url : {"HTTP://x", "ftp://ftp.example.org", "mailto:a@b.c", "tel:+1-555",
                          "file:///tmp", "irc://chat"}) {
    fs::remove(records_ / "xdg-open");
    EXPECT_GT(ShellExecute(url, "", "", kShowNormal), 32) << url;
    EXPECT_NE(Record("xdg-open").find(std::string("[") + url + "]\n"), std::string::npos) << url;
  }

  // A document and a folder, by path and by a bare name in the given directory.
  std::ofstream(temp_.root() / "readme.txt") << "text";
  for (const std::string& target :
       {(temp_.root() / "readme.txt").string(), temp_.root().string(), std::string("readme.txt")}) {
    fs::remove(records_ / "xdg-open");
    EXPECT_GT(ShellExecute(target.c_str(), "", temp_.root().c_str(), kShowNormal), 32) << target;
    EXPECT_NE(Record("xdg-open").find("[" + target + "]\n"), std::string::npos) << target;
  }
}

TEST_F(ProcessTest, XdgOpenVerdictIsAwaitedOnlyBriefly) {
  SetOpenerVerdictWait(300ms);
  Script("xdg-open", "exit 3\n");
  EXPECT_EQ(ShellExecute("https://example.org", "", "", kShowNormal), kNoAssociation);
  Script("xdg-open", "exit 4\n");
  EXPECT_EQ(ShellExecute("mailto:x@y.z", "", "", kShowNormal), kNoAssociation);
  Script("xdg-open", "exit 2\n");
  EXPECT_EQ(ShellExecute("file:///nowhere", "", "", kShowNormal), kFileNotFound);

  Recorder("xdg-open", "exec sleep 30\n");
  auto start = std::chrono::steady_clock::now();
  EXPECT_GT(ShellExecute("https://example.org", "", "", kShowNormal), 32);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 1500ms);
  RecordedPid(Record("xdg-open"));

  fs::remove(bin_ / "xdg-open");
  setenv("PATH", bin_.c_str(), 1);
  EXPECT_EQ(ShellExecute("https://example.org", "", "", kShowNormal), kNoAssociation);
}

TEST_F(ProcessTest, AnArgumentVectorArrivesWordForWordWithTheProgramsExitStatus) {
  Recorder("composer", "exit 5\n");
  const std::vector<std::string> words = {"composer",       "-x", "two words",
                                          "$(touch pwned)", "",   "line\nbreak"};
  Outcome outcome = Spawn(words, 2000ms);
  EXPECT_EQ(outcome.start, kStarted);
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_status, 5);
  const std::string record = Record("composer");
  EXPECT_NE(record.find("\n[-x]\n[two words]\n[$(touch pwned)]\n[]\n[line\nbreak]\n"),
            std::string::npos)
      << record;
  EXPECT_FALSE(fs::exists(temp_.root() / "pwned"));

  // One still running after the wait has started and goes on without the caller.
  Recorder("slow", "exec sleep 30\n");
  auto start = std::chrono::steady_clock::now();
  outcome = Spawn({"slow"}, 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_EQ(outcome.start, kStarted);
  EXPECT_FALSE(outcome.ended);
  RecordedPid(Record("slow"));
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(ChildrenOf(getpid()).empty());

  Script("killed", "kill -9 $$\n");
  outcome = Spawn({"killed"}, 2000ms);
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_status, -1);

  EXPECT_EQ(Spawn({"nosuchprogram"}, 100ms).start, kFileNotFound);
  EXPECT_EQ(Spawn({(bin_ / "nowhere/prog").string()}, 100ms).start, kPathNotFound);
  EXPECT_EQ(Spawn({}, 100ms).start, kFileNotFound);
}

// The machine's own xdg-open: on a desktop it opens the page, without one it fails with "no
// application". Either way the caller gets an answer soon and keeps no child.
TEST(RealXdgOpen, AnswersQuicklyAndLeavesNoChild) {
  if (access("/usr/bin/xdg-open", X_OK) != 0) GTEST_SKIP() << "no xdg-open on this machine";
  test::TempDir home("qb-xdg-home");
  std::string old_home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", home.root().c_str(), 1);
  auto start = std::chrono::steady_clock::now();
  int result = ShellExecute("https://example.org", "", "", kShowNormal);
  auto took = std::chrono::steady_clock::now() - start;
  setenv("HOME", old_home.c_str(), 1);
  EXPECT_TRUE(result > 32 || result == kNoAssociation) << result;
  EXPECT_LE(took, kOpenerVerdictWait + 500ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(ChildrenOf(getpid()).empty());
  if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr) {
    EXPECT_EQ(result, kNoAssociation);
  }
}

}  // namespace
}  // namespace qb::process
