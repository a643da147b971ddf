// The engine on the real file system with real processes: sessions killed with SIGKILL at
// arbitrary moments (also while an open repairs the header from the journal), and a book held open
// by another process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/storage/check.h"
#include "tests/storage/test_util.h"

namespace qb::storage::testing {
namespace {

constexpr int kOps = 60;

std::u16string Name(const char* prefix, int n) {
  std::u16string s;
  for (const char* p = prefix; *p != 0; ++p) s += static_cast<char16_t>(*p);
  return s + static_cast<char16_t>(u'0' + n);
}

// Session number i of a fixed sequence of book-like changes. Each is one open-change-release;
// a change that does not apply to the state it finds (a missing name) does nothing.
HRESULT RunSession(const std::string& book, int i) {
  Storage root;
  HRESULT hr = OpenCompoundFile(book, kRW, &root);
  if (Failed(hr)) return hr;
  static const size_t kSizes[] = {100, 5000, 64, 4096, 70000, 4097, 0};
  switch (i % 6) {
    case 0:
    case 3:
      hr = WriteStream(root, Name("r", i % 7), Pattern(kSizes[i % 7], i));
      break;
    case 1: {
      Storage folder;
      hr = root.CreateStorage(Name("f", i % 3), kRW | STGM_CREATE, &folder);
      for (int k = 0; Succeeded(hr) && k < 4; ++k)
        hr = WriteStream(folder, Name("c", k), Pattern(90 + 700 * k, i + k));
      break;
    }
    case 2:
      root.DestroyElement(Name("r", (i + 3) % 7));
      break;
    case 4:
      root.RenameElement(Name("r", i % 7), Name("r", (i + 2) % 7));
      break;
    case 5: {
      Stream s;
      if (Succeeded(root.OpenStream(Name("r", (i + 1) % 7), kRW, &s))) {
        hr = s.SetSize(kSizes[(i + 4) % 7]);
        std::string tail = Pattern(300, i);
        if (Succeeded(hr)) hr = s.Seek(0, STREAM_SEEK_END, nullptr);
        if (Succeeded(hr)) hr = s.Write(tail.data(), static_cast<uint32_t>(tail.size()), nullptr);
      }
      if (Succeeded(hr)) root.DestroyElement(Name("f", (i + 1) % 3));
      break;
    }
  }
  if (Failed(hr)) return hr;
  return root.Release();
}

std::string StateOf(const std::string& book) {
  Storage root;
  HRESULT hr = OpenCompoundFile(book, kRW, &root);
  if (Failed(hr)) return "<open failed " + std::to_string(hr) + ">";
  return Dump(root);
}

TEST(StorageProcesses, SessionsKilledAtRandomMoments) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  // The state after each session, from an undisturbed run.
  const std::string ref = dir.path() + "/ref.book";
  std::vector<std::string> expected;
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(ref, kRW, &root), S_OK);
    ASSERT_EQ(root.Release(), S_OK);
  }
  expected.push_back(StateOf(ref));
  for (int i = 0; i < kOps; ++i) {
    ASSERT_EQ(RunSession(ref, i), S_OK) << "session " << i;
    expected.push_back(StateOf(ref));
  }

  const std::string book = dir.path() + "/book";
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(book, kRW, &root), S_OK);
    ASSERT_EQ(root.Release(), S_OK);
  }
  std::mt19937 rng(12345);
  int done = 0;  // sessions that the book holds
  int kills = 0;
  for (int round = 0; round < 200 && done < kOps; ++round) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipefd[0]);
      for (int i = done; i < kOps; ++i) {
        if (Failed(RunSession(book, i))) _exit(2);
        unsigned char b = static_cast<unsigned char>(i);
        if (write(pipefd[1], &b, 1) != 1) _exit(3);
      }
      _exit(0);
    }
    close(pipefd[1]);
    struct timespec delay = {0, static_cast<long>(rng() % 2000) * 1000};
    nanosleep(&delay, nullptr);
    bool killed = kill(pid, SIGKILL) == 0;
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    int finished = done;
    unsigned char b = 0;
    while (read(pipefd[0], &b, 1) == 1) finished = b + 1;
    close(pipefd[0]);
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    if (killed && WIFSIGNALED(status)) ++kills;
    SCOPED_TRACE("round " + std::to_string(round) + ", sessions finished " +
                 std::to_string(finished));
    // Other readers see a valid file at once; the sessions it holds are those reported finished,
    // or one more (killed after its commit, before reporting).
    std::vector<std::string> problems;
    EXPECT_EQ(CheckCompoundFile(book, &problems), S_OK)
        << (problems.empty() ? "" : problems.front());
    std::string state = StateOf(book);
    if (state == expected[static_cast<size_t>(finished)]) {
      done = finished;
    } else if (finished < kOps && state == expected[static_cast<size_t>(finished) + 1]) {
      done = finished + 1;
    } else {
      ADD_FAILURE() << "state matches neither session " << finished << " nor the next:\n" << state;
      break;
    }
  }
  EXPECT_GT(kills, 10);
}

// Another process holding the book gets it refused, while this one keeps working.
TEST(StorageProcesses, BookHeldByAnotherProcess) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string book = dir.path() + "/book";
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(book, kRW, &root), S_OK);
    ASSERT_EQ(WriteStream(root, u"card", "first"), S_OK);
    ASSERT_EQ(root.Release(), S_OK);
  }
  Storage root;
  ASSERT_EQ(OpenCompoundFile(book, kRW, &root), S_OK);
  ASSERT_EQ(WriteStream(root, u"card", "second"), S_OK);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Every way in is refused; none of them touches the book or a journal.
    Storage other;
    int bad = 0;
    if (OpenCompoundFile(book, kRW, &other) != STG_E_SHAREVIOLATION) bad |= 1;
    if (OpenCompoundFile(book, STGM_READ | STGM_SHARE_DENY_WRITE, &other) != STG_E_SHAREVIOLATION)
      bad |= 2;
    if (CreateCompoundFile(book, kRW | STGM_CREATE, &other) != STG_E_SHAREVIOLATION) bad |= 4;
    _exit(bad);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(root.Release(), S_OK);
  Storage again;
  ASSERT_EQ(OpenCompoundFile(book, kRW, &again), S_OK);
  EXPECT_EQ(ReadStream(again, u"card"), "second");
}

// Links planted beside the book under the names of its journal and its temporary file are never
// written through: a save or a creation fails instead, and the book stays as it was.
TEST(StorageProcesses, LinksBesideTheBookAreNotWrittenThrough) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string book = dir / "book";
  const std::string victim = dir / "victim";
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(book, kRW, &root), S_OK);
    ASSERT_EQ(WriteStream(root, u"card", "first"), S_OK);
    ASSERT_EQ(root.Release(), S_OK);
  }
  auto read_victim = [&] {
    FILE* f = fopen(victim.c_str(), "rb");
    if (f == nullptr) return std::string("<none>");
    std::string text(64, '\0');
    text.resize(fread(text.data(), 1, text.size(), f));
    fclose(f);
    return text;
  };
  // A dangling journal link: the save must not create its target.
  ASSERT_EQ(symlink(victim.c_str(), (book + "-journal").c_str()), 0);
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(book, kRW, &root), S_OK);
    ASSERT_EQ(WriteStream(root, u"card", "second"), S_OK);
    EXPECT_TRUE(Failed(root.Release()));
  }
  EXPECT_EQ(read_victim(), "<none>");
  EXPECT_TRUE(std::filesystem::is_symlink(book + "-journal"));
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(book, kRW, &root), S_OK);
    EXPECT_EQ(ReadStream(root, u"card"), "first");
  }
  // A journal link to an empty file (what a journal cut short looks like) is taken for a
  // leftover: the link goes, the file it points at is not written.
  FILE* f = fopen(victim.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fclose(f);
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(book, kRW, &root), S_OK);
    ASSERT_EQ(WriteStream(root, u"card", "second"), S_OK);
    EXPECT_EQ(root.Release(), S_OK);
  }
  EXPECT_EQ(read_victim(), "");
  EXPECT_FALSE(std::filesystem::is_symlink(book + "-journal"));
  // A link under the temporary name of a replacing creation.
  f = fopen(victim.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("victim", f);
  fclose(f);
  ASSERT_EQ(symlink(victim.c_str(), (book + ".qbnew").c_str()), 0);
  {
    Storage root;
    EXPECT_TRUE(Failed(CreateCompoundFile(book, kRW | STGM_CREATE, &root)));
  }
  EXPECT_EQ(read_victim(), "victim");
  Storage root;
  ASSERT_EQ(OpenCompoundFile(book, kRW, &root), S_OK);
  EXPECT_EQ(ReadStream(root, u"card"), "second");
}

}  // namespace
}  // namespace qb::storage::testing
