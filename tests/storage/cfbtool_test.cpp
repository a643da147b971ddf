// cfbtool as users and scripts call it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "platform/storage/format.h"
#include "tests/storage/test_util.h"

namespace qb::storage::testing {
namespace {

struct Result {
  int status;
  std::string out;
};

Result Tool(const std::string& args, const std::string& input = "") {
  const char* bin = getenv("QB_BIN_DIR");
  std::string cmd = std::string(bin != nullptr ? bin : "bin") + "/cfbtool " + args;
  if (!input.empty()) cmd = "printf '%s' '" + input + "' | " + cmd;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  Result r{-1, ""};
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int rc = pclose(p);
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return r;
}

TEST(Cfbtool, Subcommands) {
  TempDir dir;
  std::string f = dir / "book.cfb";
  EXPECT_EQ(Tool("put " + f + " Friends/Иванов/card", "hello").status, 0);  // creates all
  EXPECT_EQ(Tool("put " + f + " top", "x").status, 0);
  EXPECT_EQ(Tool("cat " + f + " Friends/Иванов/card").out, "hello");
  EXPECT_EQ(Tool("cat " + f + " friends/ИВАНОВ/CARD").out, "hello");  // names ignore case
  Result ls = Tool("ls -R " + f);
  EXPECT_EQ(ls.status, 0);
  EXPECT_NE(ls.out.find("Friends/Иванов/card"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("storage"), std::string::npos);
  EXPECT_EQ(Tool("mkdir " + f + " Work").status, 0);
  Result again = Tool("mkdir " + f + " Work");
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.out.find("HResult = 0x80030050"), std::string::npos) << again.out;
  EXPECT_EQ(Tool("mv " + f + " top bottom").status, 0);
  EXPECT_EQ(Tool("cat " + f + " bottom").out, "x");
  Result missing = Tool("cat " + f + " top");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.out.find("HResult = 0x80030002"), std::string::npos) << missing.out;
  EXPECT_EQ(Tool("rm " + f + " Friends").status, 0);
  EXPECT_EQ(Tool("ls " + f).out.find("Friends"), std::string::npos);
  EXPECT_EQ(Tool("copy " + f + " " + (dir / "copy.cfb")).status, 0);
  EXPECT_EQ(Tool("cat " + (dir / "copy.cfb") + " bottom").out, "x");
  Result check = Tool("check " + f);
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(
      Tool("ls " + (dir / "nothing.cfb")).out.find("HResult = 0x80030002") != std::string::npos,
      true);
}

TEST(Cfbtool, CheckNamesViolations) {
  TempDir dir;
  std::string f = dir / "book.cfb";
  ASSERT_EQ(Tool("put " + f + " a", "aaaa").status, 0);
  ASSERT_EQ(Tool("put " + f + " b", "bbbb").status, 0);
  // Damage: give stream "a" a size its chain cannot hold.
  std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<char> data((std::istreambuf_iterator<char>(io)), std::istreambuf_iterator<char>());
  bool found = false;
  for (size_t at = 512; at + 128 <= data.size(); at += 128) {
    auto* e = reinterpret_cast<uint8_t*>(&data[at]);
    if (e[0] == 'a' && e[1] == 0 && e[2] == 0 && e[3] == 0 && e[0x40] == 4 && e[0x42] == 2) {
      detail::Put32(e + 0x78, 3000);
      found = true;
    }
  }
  ASSERT_TRUE(found);
  io.seekp(0);
  io.write(data.data(), static_cast<long>(data.size()));
  io.close();
  Result r = Tool("check " + f);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/a: size 3000 against 1 mini sectors"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("HResult = 0x80030109"), std::string::npos) << r.out;
}

// Runs cfbtool with `args` (standard input from `input`, if given) and kills it with SIGKILL as
// soon as `path` names another file than it did at the start, or a file where there was none.
void KillWhenReplaced(const std::vector<std::string>& args, const std::string& path,
                      const std::string& input = "") {
  struct stat before = {};
  bool existed = stat(path.c_str(), &before) == 0;
  const char* bin = getenv("QB_BIN_DIR");
  std::string tool = std::string(bin != nullptr ? bin : "bin") + "/cfbtool";
  std::vector<char*> argv{const_cast<char*>("cfbtool")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (!input.empty()) {
      int fd = open(input.c_str(), O_RDONLY);
      if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
    }
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  for (;;) {
    struct stat now;
    if (stat(path.c_str(), &now) == 0 && (!existed || now.st_ino != before.st_ino)) break;
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    usleep(20);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Cut short, a copy onto an existing file leaves that file as it was, and a put into a missing
// file leaves no file: the new file takes its name only when it is complete.
TEST(Cfbtool, KilledCopyOrPutLeavesTheFileAsItWas) {
  TempDir dir;
  std::string src = dir / "src.cfb", dst = dir / "dst.cfb", big = dir / "big";
  const std::string content = Pattern(6 << 20, 3);
  {
    std::ofstream out(big, std::ios::binary);
    out << content;
  }
  ASSERT_EQ(Tool("put " + src + " big < " + big).status, 0);
  ASSERT_EQ(Tool("put " + dst + " keep", "old content").status, 0);
  KillWhenReplaced({"copy", src, dst}, dst);
  Result old_keep = Tool("cat " + dst + " keep");
  if (old_keep.status == 0) {
    EXPECT_EQ(old_keep.out, "old content");
  } else {
    EXPECT_TRUE(Tool("cat " + dst + " big").out == content);
  }
  EXPECT_EQ(Tool("check " + dst).status, 0);

  std::string fresh = dir / "fresh.cfb";
  KillWhenReplaced({"put", fresh, "big"}, fresh, big);
  if (access(fresh.c_str(), F_OK) == 0) {
    EXPECT_TRUE(Tool("cat " + fresh + " big").out == content);
  }
}

}  // namespace
}  // namespace qb::storage::testing
