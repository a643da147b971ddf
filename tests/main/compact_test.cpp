// Compaction: what the rewritten book keeps, how the copy takes the book's place, and that no
// record is lost when the process is killed anywhere in it or another process writes meanwhile.
#include "main/compact.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "main/book_format.h"
#include "main/book_panel.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "main/progress.h"
#include "main_test_support.h"
#include "platform/codepage/codepage.h"
#include "platform/storage/file_hooks.h"
#include "tests/support/headless.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using main::CompactBookFile;
using main::CompactFailure;
using ::testing::HasSubstr;

constexpr uint32_t kRW = main::kBookOpenMode;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::string RecordName(int i) {
  return "Person " + std::to_string(i);
}

// A book of `records` records spread over three folders, with a description, a password stream
// and an enciphered-looking record in a folder of its own.
void MakeBook(const std::string& file, int records) {
  BookBuilder book(file);
  book.Folder("A").Folder("B").Folder("B/C").Folder("Locked");
  book.Stream(u"  ", "A", Bytes("Friends from school"));
  book.Stream(u" ", "Locked", Bytes("0123456789abcdef"));
  book.Record("Locked/Secret", Bytes(std::string("\x93\x11\xfe\x00\x42\x17\x88\x01", 8)));
  static const char* const kFolders[] = {"", "A", "B", "B/C"};
  for (int i = 0; i < records; ++i) {
    const std::string folder = kFolders[i % 4];
    book.Record((folder.empty() ? "" : folder + "/") + RecordName(i),
                RecordBytes({{0x10101, "number " + std::to_string(i)}, {0x10301, "some notes"}}));
  }
}

uint64_t FileSize(const std::string& path) {
  return fs::file_size(path);
}

bool PassesCheck(const std::string& file, std::string* report) {
  const ProgramRun check = RunCommand(std::string(QB_CFBTOOL) + " check " + ShellQuote(file));
  *report = check.out;
  return check.status == 0;
}

class CompactTest : public ::testing::Test {
 protected:
  std::string book() const { return dir_ / "Quillbox.Dat"; }
  std::string temporary() const { return book() + ".Compact"; }
  TempDir dir_{"qb-compact"};
};

TEST_F(CompactTest, ShrunkBookKeepsEveryStreamFolderAndTime) {
  MakeBook(book(), 1000);
  {
    // 900 of the 1000 records go; the file keeps their space until it is compacted.
    storage::Storage root;
    ASSERT_TRUE(storage::Succeeded(storage::OpenCompoundFile(book(), kRW, &root)));
    static const char* const kFolders[] = {"", "A", "B", "B/C"};
    for (int i = 100; i < 1000; ++i) {
      std::vector<storage::Storage> chain;
      storage::Storage* at = &root;
      std::string rest = kFolders[i % 4];
      chain.reserve(4);
      while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        chain.emplace_back();
        at->OpenStorage(*codepage::Utf8ToUtf16(rest.substr(0, slash)), kRW, &chain.back());
        at = &chain.back();
        rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
      }
      ASSERT_TRUE(storage::Succeeded(at->DestroyElement(*codepage::Utf8ToUtf16(RecordName(i)))));
    }
    ASSERT_TRUE(storage::Succeeded(root.Release()));
  }
  const auto before = BookContents(book());
  ASSERT_EQ(before.size(), 100u + 3u + 4u);  // records, hidden streams and Secret, folders
  const uint64_t grown = FileSize(book());

  long copied = 0;
  const main::CompactResult result =
      CompactBookFile(book(), storage::FileSystem::Posix(), [&copied] { ++copied; });
  ASSERT_EQ(result.failure, CompactFailure::kNone) << std::hex << result.hr;
  EXPECT_EQ(copied, static_cast<long>(before.size()));
  EXPECT_EQ(BookContents(book()), before);
  EXPECT_FALSE(fs::exists(temporary()));
  std::string report;
  EXPECT_TRUE(PassesCheck(book(), &report)) << report;

  // A book made fresh with what is left is the measure.
  const std::string fresh = dir_ / "fresh.dat";
  {
    BookBuilder made(fresh);
    for (const auto& [path, bytes] : before) {
      if (path.back() == '/') {
        made.Folder(path.substr(0, path.size() - 1));
      } else {
        const std::size_t slash = path.rfind('/');
        made.Stream(*codepage::Utf8ToUtf16(path.substr(slash == std::string::npos ? 0 : slash + 1)),
                    slash == std::string::npos ? "" : path.substr(0, slash),
                    std::vector<uint8_t>(bytes.begin(), bytes.end()));
      }
    }
  }
  EXPECT_LT(FileSize(book()), grown / 2);
  EXPECT_LE(FileSize(book()), FileSize(fresh) * 3 / 2) << FileSize(fresh);
}

TEST_F(CompactTest, LeftoverCopyOfAnEarlierRunIsReplacedWithoutAQuestion) {
  MakeBook(book(), 20);
  const auto before = BookContents(book());
  std::ofstream(temporary()) << "half of an earlier copy";
  std::ofstream(temporary() + "-journal") << "and its journal";
  ASSERT_EQ(CompactBookFile(book(), storage::FileSystem::Posix()).failure, CompactFailure::kNone);
  EXPECT_EQ(BookContents(book()), before);
  EXPECT_FALSE(fs::exists(temporary()));
}

TEST_F(CompactTest, BookHeldByAnotherProcessIsNotReplacedAndBothFilesStay) {
  MakeBook(book(), 20);
  std::ofstream(temporary()) << "leftover";
  const std::string book_bytes = ReadFile(book());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    storage::Storage root;
    storage::OpenCompoundFile(book(), kRW, &root);
    ssize_t n = write(ready[1], "x", 1);
    (void)n;
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  const main::CompactResult result = CompactBookFile(book(), storage::FileSystem::Posix());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(result.failure, CompactFailure::kHeld);
  EXPECT_EQ(ReadFile(book()), book_bytes);
  EXPECT_EQ(ReadFile(temporary()), "leftover");
}

// The real file system, except that the copy never takes the book's name.
class NoRenameFs : public storage::FileSystem {
 public:
  storage::HRESULT Open(const std::string& path, storage::OpenKind kind, storage::LockKind lock,
                        std::unique_ptr<storage::File>* out) override {
    return real_->Open(path, kind, lock, out);
  }
  storage::HRESULT Exists(const std::string& path) override { return real_->Exists(path); }
  storage::HRESULT Remove(const std::string& path) override { return real_->Remove(path); }
  storage::HRESULT Rename(const std::string& from, const std::string& to, bool replace) override {
    if (from.size() > 8 && from.compare(from.size() - 8, 8, ".Compact") == 0) {
      return storage::STG_E_ACCESSDENIED;
    }
    return real_->Rename(from, to, replace);
  }
  storage::HRESULT SyncDirectory(const std::string& path) override {
    return real_->SyncDirectory(path);
  }
  storage::FileTime Now() override { return real_->Now(); }

 private:
  storage::FileSystem* real_ = storage::FileSystem::Posix();
};

TEST_F(CompactTest, CopyThatCannotTakeTheNameLeavesTheBookAndIsShownAsReplaceFileError) {
  MakeBook(book(), 20);
  const std::string book_bytes = ReadFile(book());
  const auto before = BookContents(book());
  NoRenameFs no_rename;
  StartMainLibrary(dir_.path());
  main::State().settings.book_file = book();
  main::State().file_system = &no_rename;
  {
    main::BookPanel panel;
    Host().Reset();
    main::CompactBook(panel);
  }
  main::State().file_system = storage::FileSystem::Posix();
  StopMainLibrary();
  ASSERT_EQ(Host().messages.size(), 1u);
  EXPECT_EQ(Host().messages[0].help, "ReplaceFileError");
  EXPECT_EQ(ReadFile(book()), book_bytes);
  // The whole copy stays for the user under its own name.
  EXPECT_EQ(BookContents(temporary()), before);
}

TEST_F(CompactTest, LongCompactionShowsHowFarItHasComeAndEndsWithTheDoneBox) {
  MakeBook(book(), 2600);
  StartMainLibrary(dir_.path());
  main::State().settings.book_file = book();
  {
    main::BookPanel panel;
    Host().Reset();
    main::CompactBook(panel);
  }
  StopMainLibrary();
  std::vector<std::string> shown;
  for (const auto& m : Host().messages) {
    ASSERT_GE(m.lines.size(), 2u);
    shown.push_back(m.lines[1] + (m.buttons == 0 ? "" : " [" + m.help + "]"));
  }
  // Elements: 2600 records, 4 folders, 2 hidden streams and Secret; the box from 2000 on, every
  // 500.
  EXPECT_THAT(shown, ::testing::ElementsAre("Compacting the book: 2000 elements copied",
                                            "Compacting the book: 2500 elements copied",
                                            "The book file has been compacted [CompactDoneMsg]"));
}

TEST_F(CompactTest, LinkedBookIsCompactedWhereItLivesAndTheLinkStays) {
  fs::create_directories(dir_ / "real");
  const std::string real = dir_ / "real/book.dat";
  MakeBook(real, 20);
  const auto before = BookContents(real);
  fs::create_symlink(real, book());
  ASSERT_EQ(CompactBookFile(book(), storage::FileSystem::Posix()).failure, CompactFailure::kNone);
  EXPECT_TRUE(fs::is_symlink(book()));
  EXPECT_EQ(BookContents(real), before);
  EXPECT_FALSE(fs::exists(real + ".Compact"));
}

// ---- Processes --------------------------------------------------------------------------------

// The sanitizer build runs every step about ten times slower; it looks for memory faults on the
// way, which fewer kill points find as well.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKillRounds = 12;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kKillRounds = 12;
#else
constexpr int kKillRounds = 50;
#endif
#else
constexpr int kKillRounds = 50;
#endif

// Compacts the book again and again until killed.
[[noreturn]] void CompactForever(const std::string& book, int pause_us) {
  for (;;) {
    CompactBookFile(book, storage::FileSystem::Posix());
    if (pause_us > 0) usleep(static_cast<useconds_t>(pause_us));
  }
}

TEST_F(CompactTest, KilledAnywhereTheBookOpensPassesTheCheckAndHoldsEveryRecord) {
  MakeBook(book(), 2000);
  const auto expected = BookContents(book());
  ASSERT_EQ(expected.size(), 2000u + 3u + 4u);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CompactBookFile(book(), storage::FileSystem::Posix()).failure, CompactFailure::kNone);
  const auto once = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
  std::mt19937 random(20261209);
  // Killed at any moment of the first run (which takes about `once`), or just after it.
  std::uniform_int_distribution<long> delay(0, once + once / 4);
  for (int round = 0; round < kKillRounds; ++round) {
    const pid_t child = fork();
    if (child == 0) CompactForever(book(), 0);
    usleep(static_cast<useconds_t>(delay(random)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_EQ(BookContents(book()), expected) << "round " << round;
    std::string report;
    ASSERT_TRUE(PassesCheck(book(), &report)) << "round " << round << "\n" << report;
  }
  // What a killed run left is replaced by the next.
  ASSERT_EQ(CompactBookFile(book(), storage::FileSystem::Posix()).failure, CompactFailure::kNone);
  EXPECT_EQ(BookContents(book()), expected);
}

// Lets time pass between the opening of a file and the taking of its lock, so that a compaction
// of another process can give the book's name to its copy in between.
void DawdleBeforeLock(const std::string&) {
  static std::mt19937 random(static_cast<unsigned>(getpid()));
  usleep(std::uniform_int_distribution<useconds_t>(0, 1500)(random));
}

// Adds record "New i" in an operation of its own (open, write, commit), trying again while the
// book is held.
bool AddRecord(const std::string& book, int i) {
  for (int tries = 0; tries < 20000; ++tries) {
    storage::Storage root;
    storage::HRESULT hr = storage::OpenCompoundFile(book, kRW, &root);
    if (hr == storage::STG_E_SHAREVIOLATION) {
      usleep(200);
      continue;
    }
    if (storage::Failed(hr)) return false;
    storage::Stream stream;
    hr = root.CreateStream(*codepage::Utf8ToUtf16("New " + std::to_string(i)), kRW, &stream);
    const std::vector<uint8_t> bytes = RecordBytes({{0x10101, "added " + std::to_string(i)}});
    if (storage::Succeeded(hr)) {
      hr = stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    }
    stream.Release();
    return storage::Succeeded(hr) && storage::Succeeded(root.Release());
  }
  return false;
}

TEST_F(CompactTest, RecordsAddedWhileAnotherProcessCompactsAreAllKept) {
  MakeBook(book(), 100);
  const pid_t compactor = fork();
  if (compactor == 0) CompactForever(book(), 1000);
  const pid_t adder = fork();
  if (adder == 0) {
    storage::testing::SetBeforeLockHook(DawdleBeforeLock);
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
      if (!AddRecord(book(), i)) _exit(1);
      // As a user between two operations: the compactor gets its turns.
      usleep(std::uniform_int_distribution<useconds_t>(0, 4000)(random));
    }
    _exit(0);
  }
  int status = 0;
  waitpid(adder, &status, 0);
  kill(compactor, SIGKILL);
  waitpid(compactor, nullptr, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto contents = BookContents(book());
  int missing = 0;
  for (int i = 0; i < 200; ++i) {
    const std::vector<uint8_t> bytes = RecordBytes({{0x10101, "added " + std::to_string(i)}});
    auto it = contents.find("New " + std::to_string(i));
    if (it == contents.end() || it->second != std::string(bytes.begin(), bytes.end())) ++missing;
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(contents.size(), 200u + 100u + 3u + 4u);
}

}  // namespace
}  // namespace qb::test
