// Copying and moving through the host program, headless: the book panel against a disk panel
// (exchange files written and read byte for byte), two books side by side, protected folders,
// and files sent to a record's fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

#include "main/book_format.h"
#include "main/password.h"
#include "main/record_io.h"
#include "platform/storage/storage.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kCols = 100;
constexpr int kRows = 20;
constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

constexpr uint32_t kSingle = 0x7701, kMulti = 0x7801, kSender = 0x7901, kUnknown = 0x9901;

using Fields = std::vector<std::pair<uint32_t, std::string>>;

main::Record MakeRecord(const Fields& fields) {
  main::Record record;
  for (const auto& [type, text] : fields) record.push_back({type, {text.begin(), text.end()}});
  return record;
}

std::vector<uint8_t> StreamBytes(const Fields& fields, const std::string& password = "") {
  std::vector<uint8_t> bytes = main::SerializeRecord(MakeRecord(fields));
  if (!password.empty()) {
    main::PasswordKey key;
    main::MakePasswordKey(password, key);
    main::EncipherBuffer(key.bytes, bytes.data(), bytes.size());
  }
  return bytes;
}

// Exchange file pieces.
std::string U16(uint16_t v) {
  return std::string{char(v & 0xFF), char(v >> 8)};
}
std::string U32(uint32_t v) {
  return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}
std::string Name(const std::string& n) {
  return U16(uint16_t(n.size())) + n;
}
std::string Blocks(const Fields& fields) {
  std::string out = U32(uint32_t(fields.size()));
  for (const auto& [type, text] : fields) out += U32(type) + U32(uint32_t(text.size())) + text;
  return out;
}

std::u16string Wide(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

// Books built and read with the storage engine; paths use "/", the last part of a record path is
// the record.
class Book {
 public:
  explicit Book(const std::string& file) {
    if (storage::Failed(storage::OpenCompoundFile(file, kRW, &root_))) {
      storage::CreateCompoundFile(file, kRW, &root_);
    }
  }
  ~Book() { root_.Release(); }
  Book& Folder(const std::string& path, const std::string& password = "") {
    InFolder(path, true, [&](storage::Storage& at) {
      if (password.empty()) return;
      main::PasswordKey key;
      main::MakePasswordKey(password, key);
      uint8_t check[main::kPasswordCheckBytes];
      main::MakePasswordCheck(key, check);
      storage::Stream s;
      at.CreateStream(main::kPasswordStream, main::kBookReplaceMode, &s);
      s.Write(check, sizeof check, nullptr);
    });
    return *this;
  }
  Book& Record(const std::string& path, const std::vector<uint8_t>& bytes) {
    InFolder(Dir(path), true, [&](storage::Storage& at) {
      storage::Stream s;
      at.CreateStream(Wide(Leaf(path)), main::kBookReplaceMode, &s);
      if (!bytes.empty()) s.Write(bytes.data(), uint32_t(bytes.size()), nullptr);
    });
    return *this;
  }
  // The stream's bytes, or "<none>".
  std::string Bytes(const std::string& path) {
    std::string out = "<none>";
    InFolder(Dir(path), false, [&](storage::Storage& at) {
      storage::Stream s;
      if (storage::Failed(at.OpenStream(Wide(Leaf(path)), kRW, &s))) return;
      storage::ElementStat stat;
      s.Stat(&stat);
      out.assign(static_cast<std::size_t>(stat.size), '\0');
      if (!out.empty()) s.Read(out.data(), uint32_t(out.size()), nullptr);
    });
    return out;
  }
  bool Has(const std::string& path) {
    bool found = false;
    InFolder(Dir(path), false, [&](storage::Storage& at) {
      storage::Storage sub;
      storage::Stream s;
      found = storage::Succeeded(at.OpenStream(Wide(Leaf(path)), kRW, &s)) ||
              storage::Succeeded(at.OpenStorage(Wide(Leaf(path)), kRW, &sub));
    });
    return found;
  }
  // Every record below path: its path and its bytes.
  void Records(const std::string& path, std::map<std::string, std::string>* out) {
    std::vector<std::pair<std::string, bool>> names;
    InFolder(path, false, [&](storage::Storage& at) {
      storage::Enumerator e;
      if (storage::Failed(at.Enumerate(&e))) return;
      storage::ElementStat stat;
      while (e.Next(&stat) == storage::S_OK) {
        if (stat.name.empty() || stat.name[0] == u' ') continue;
        names.push_back(
            {std::string(stat.name.begin(), stat.name.end()), stat.type == storage::STGTY_STORAGE});
      }
    });
    for (const auto& [name, is_folder] : names) {
      const std::string sub = path.empty() ? name : path + "/" + name;
      if (is_folder) {
        Records(sub, out);
      } else {
        (*out)[sub] = Bytes(sub);
      }
    }
  }

 private:
  static std::string Dir(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
  }
  static std::string Leaf(const std::string& path) { return path.substr(path.rfind('/') + 1); }
  void InFolder(const std::string& path, bool create,
                const std::function<void(storage::Storage&)>& fn) {
    std::vector<std::string> parts;
    std::stringstream in(path);
    for (std::string part; std::getline(in, part, '/');) {
      if (!part.empty()) parts.push_back(part);
    }
    std::vector<storage::Storage> chain(parts.size());
    storage::Storage* here = &root_;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (storage::Failed(here->OpenStorage(Wide(parts[i]), kRW, &chain[i])) &&
          (!create || storage::Failed(here->CreateStorage(Wide(parts[i]), kRW, &chain[i])))) {
        return;
      }
      here = &chain[i];
    }
    fn(*here);
  }

  storage::Storage root_;
};

class ExchangeHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "work"}) fs::create_directories(dir_ / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    fs::copy_file(built / "Quillbox.so", dir_ / "plugins/Quillbox.so");
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().extension() == ".lng") {
        fs::create_symlink(entry.path(), dir_ / ("plugins/" + entry.path().filename().string()));
      }
    }
    for (const char* type : {"Single.qbl", "Multi.qbl", "Sender.qbl"}) {
      fs::copy_file(fs::path(QB_EXCH_FT_DIR) / type, fs::path(dir_ / "plugins") / type);
    }
    UseBook(book());
  }

  std::string book() const { return dir_ / "plugins/Quillbox.Dat"; }
  std::string book2() const { return dir_ / "second.dat"; }
  fs::path work() const { return dir_ / "work"; }
  std::string send_log() const { return dir_ / "send.log"; }

  void UseBook(const std::string& file) {
    std::ofstream(dir_ / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
        << "\"BookFile\"=\"" << file << "\"\n";
  }

  // Runs the script; returns every screen printed (the "screen" lines and the final one).
  std::vector<std::string> Run(const std::string& script, const std::string& env = "") {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = work();
    run.home = dir_.path();
    run.env = "QB_TEST_SEND_LOG=" + ShellQuote(send_log()) + " " + env;
    run.size = std::to_string(kCols) + "x" + std::to_string(rows_);
    run.config = dir_ / "config";
    run.plugins = dir_ / "plugins";
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return SplitScreens(done.out, rows_);
  }

  TempDir dir_{"qb-exchange-host"};
  int rows_ = kRows;
};

const Fields kSmith = {{kSingle, "one"}, {kUnknown, "lost"}, {kMulti, "two"}};

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The fields of kSmith that have a server, in record order.
const Fields kSmithServed = {{kSingle, "one"}, {kMulti, "two"}};

TEST_F(ExchangeHostTest, RecordCopiedOutIsWrittenByteForByteAndPutBackRecreated) {
  Book(book()).Record("Smith", StreamBytes(kSmith)).Folder("Other");
  // Root: "..", Other, Smith. F5 shows the copy dialog; Enter accepts the disk panel's folder.
  auto screens = Run("Down\nDown\nF5\nscreen\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Copy to"));
  // The field no library claims is left out, and the count says so.
  EXPECT_EQ(ReadFile(work() / "Smith"),
            "QBXM" + U32(0) + U32(1) + U16(5) + "Smith" + Blocks(kSmithServed));
  const std::vector<uint8_t> kept = StreamBytes(kSmith);
  EXPECT_EQ(Book(book()).Bytes("Smith"), std::string(kept.begin(), kept.end()));

  // Into Other, then from the disk panel onto the book.
  Run("Down\nEnter\nTab\nDown\nF5\n");
  const std::vector<uint8_t> want = StreamBytes(kSmithServed);
  EXPECT_EQ(Book(book()).Bytes("Other/Smith"), std::string(want.begin(), want.end()));
  EXPECT_TRUE(fs::exists(work() / "Smith"));  // a copy leaves the file
}

TEST_F(ExchangeHostTest, FolderIsWrittenSubfoldersFirstRecursively) {
  const Fields f = {{kMulti, "x"}};
  Book(book())
      .Record("Tree/A/a1", StreamBytes(f))
      .Folder("Tree/A/AA")
      .Record("Tree/B/b1", StreamBytes(f))
      .Record("Tree/r1", StreamBytes(f))
      .Record("Tree/r2", StreamBytes(f))
      .Record("Tree/r3", StreamBytes(f));
  Run("Down\nF5\nEnter\n");
  const std::string a =
      Name("A") + U32(1) + U32(1) + Name("AA") + U32(0) + U32(0) + Name("a1") + Blocks(f);
  const std::string b = Name("B") + U32(0) + U32(1) + Name("b1") + Blocks(f);
  EXPECT_EQ(ReadFile(work() / "Tree"), "QBXM" + U32(1) + U32(0) + Name("Tree") + U32(2) + U32(3) +
                                           a + b + Name("r1") + Blocks(f) + Name("r2") + Blocks(f) +
                                           Name("r3") + Blocks(f));
  // Moving the folder to the disk takes it out of the book once its file is whole.
  fs::remove(work() / "Tree");
  Run("Down\nF6\nEnter\n");
  EXPECT_FALSE(Book(book()).Has("Tree"));
  EXPECT_GT(ReadFile(work() / "Tree").size(), 60u);
}

const Fields kFour = {{kSingle, "one"}, {kMulti, "two"}, {kMulti, "three"}, {kSender, "four"}};

TEST_F(ExchangeHostTest, FieldsOfARecordViewGoInSelectionOrderAndAMoveRemovesExactlyThose) {
  Book(book()).Record("Smith", StreamBytes(kFour));
  // Into Smith, which lists its fields in the record's order: one, two, three, four. Select "one"
  // and "three".
  Run("Down\nEnter\nDown\nIns\nDown\nIns\nF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Smith"), "MXBQ" + Blocks({{kSingle, "one"}, {kMulti, "three"}}));
  const std::vector<uint8_t> all = StreamBytes(kFour);
  EXPECT_EQ(Book(book()).Bytes("Smith"), std::string(all.begin(), all.end()));

  // Move "two", "three" and "one": "four" stays.
  fs::remove(work() / "Smith");
  Run("Down\nEnter\nDown\nIns\nIns\nIns\nF6\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Smith"),
            "MXBQ" + Blocks({{kSingle, "one"}, {kMulti, "two"}, {kMulti, "three"}}));
  const std::vector<uint8_t> left = StreamBytes({{kSender, "four"}});
  EXPECT_EQ(Book(book()).Bytes("Smith"), std::string(left.begin(), left.end()));
}

TEST_F(ExchangeHostTest, FieldsFilePutTwiceMergesSingleValuedReplacedOthersAppended) {
  Book(book()).Folder("Other");
  WriteFile(work() / "Jones", "MXBQ" + Blocks({{kSingle, "s1"}, {kMulti, "m1"}}));
  Run("Tab\nDown\nF5\n");
  std::vector<uint8_t> want = StreamBytes({{kSingle, "s1"}, {kMulti, "m1"}});
  EXPECT_EQ(Book(book()).Bytes("Jones"), std::string(want.begin(), want.end()));
  WriteFile(work() / "Jones", "MXBQ" + Blocks({{kSingle, "s2"}, {kMulti, "m2"}}));
  Run("Tab\nDown\nF5\n");
  want = StreamBytes({{kSingle, "s2"}, {kMulti, "m1"}, {kMulti, "m2"}});
  EXPECT_EQ(Book(book()).Bytes("Jones"), std::string(want.begin(), want.end()));
}

TEST_F(ExchangeHostTest, FolderFileOntoARecordIsRefusedAndTheNextFileTaken) {
  Book(book()).Record("Smith", StreamBytes({{kSingle, "one"}}));
  WriteFile(work() / "a_folder", "QBXM" + U32(0) + U32(0));
  WriteFile(work() / "b_fields", "MXBQ" + Blocks({{kMulti, "more"}}));
  auto screens = Run("Down\nEnter\nTab\nDown\nIns\nIns\nF5\nscreen\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("A folder cannot be put into a record"));
  const std::vector<uint8_t> want = StreamBytes({{kSingle, "one"}, {kMulti, "more"}});
  EXPECT_EQ(Book(book()).Bytes("Smith"), std::string(want.begin(), want.end()));
}

TEST_F(ExchangeHostTest, FileOfOtherMagicStopsTheImport) {
  Book(book()).Folder("Other");
  WriteFile(work() / "a_text", "hello, world\n");
  WriteFile(work() / "b_fields", "MXBQ" + Blocks({{kMulti, "more"}}));
  auto screens = Run("Tab\nDown\nIns\nIns\nF6\nscreen\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Not a Quillbox exchange file"));
  EXPECT_FALSE(Book(book()).Has("b_fields"));
  // Nothing was moved: both files are still there.
  EXPECT_TRUE(fs::exists(work() / "a_text"));
  EXPECT_TRUE(fs::exists(work() / "b_fields"));
}

TEST_F(ExchangeHostTest, MoveIntoTheBookDeletesOnlyWhatWasImported) {
  Book(book()).Folder("Other");
  fs::create_directories(work() / "dir/sub");
  WriteFile(work() / "dir/sub/Deep", "MXBQ" + Blocks({{kMulti, "deep"}}));
  WriteFile(work() / "dir/Rec",
            "QBXM" + U32(0) + U32(1) + Name("Inner") + Blocks({{kMulti, "in"}}));
  WriteFile(work() / "dir/short", "QB");
  Run("Tab\nDown\nF6\n");
  const std::vector<uint8_t> deep = StreamBytes({{kMulti, "deep"}});
  EXPECT_EQ(Book(book()).Bytes("dir/sub/Deep"), std::string(deep.begin(), deep.end()));
  EXPECT_TRUE(Book(book()).Has("dir/Inner"));
  EXPECT_FALSE(fs::exists(work() / "dir/sub"));
  EXPECT_FALSE(fs::exists(work() / "dir/Rec"));
  // A file too short to be anything is neither imported nor deleted, and keeps its folder.
  EXPECT_TRUE(fs::exists(work() / "dir/short"));
}

const Fields kAnn = {{kMulti, "Ann from the office"}};

TEST_F(ExchangeHostTest, ProtectedRecordTravelsPlainAndIsStoredUnderTheTargetKey) {
  Book(book()).Folder("Safe", "secret").Record("Safe/Ann", StreamBytes(kAnn, "secret"));
  Run("Down\nEnter\ntext secret\nEnter\nDown\nF5\nEnter\n");
  EXPECT_EQ(ReadFile(work() / "Ann"), "QBXM" + U32(0) + U32(1) + Name("Ann") + Blocks(kAnn));

  Book(book2()).Folder("Vault", "other");
  UseBook(book2());
  Run("Down\nEnter\ntext other\nEnter\nTab\nDown\nF5\n");
  const std::vector<uint8_t> want = StreamBytes(kAnn, "other");
  EXPECT_EQ(Book(book2()).Bytes("Vault/Ann"), std::string(want.begin(), want.end()));
}

TEST_F(ExchangeHostTest, F5BetweenTwoBookPanelsCopiesATreeOf50Records) {
  {
    Book source(book());
    for (int f = 0; f < 5; ++f) {
      for (int r = 0; r < 10; ++r) {
        const std::string n = std::to_string(f) + "_" + std::to_string(r);
        source.Record("Big/S" + std::to_string(f) + "/r" + std::to_string(r),
                      StreamBytes({{kSingle, "s" + n}, {kMulti, std::string(r * 40, 'm')}}));
      }
    }
    source.Folder("Copy");
  }
  // The right panel opens on the book from the disks menu and goes into Copy; F5 in the left
  // panel copies Big there.
  auto screens = Run("Tab\nAltF2\nDown\nDown\nEnter\nDown\nDown\nEnter\nscreen\nTab\nDown\nF5\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Quillbox:\\Copy"));
  std::map<std::string, std::string> from, to;
  Book(book()).Records("Big", &from);
  Book(book()).Records("Copy/Big", &to);
  EXPECT_EQ(from.size(), 50u);
  std::map<std::string, std::string> copied;
  for (const auto& [path, bytes] : to) copied[path.substr(5)] = bytes;  // without "Copy/"
  EXPECT_EQ(from, copied);
  const ProgramRun check = RunCommand(std::string(QB_CFBTOOL) + " check " + ShellQuote(book()));
  EXPECT_EQ(check.status, 0) << check.out;

  // No temporary folder is left behind.
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path())) {
    EXPECT_THAT(e.path().filename().string(), Not(HasSubstr("quillbox-copy-")));
  }
}

// Keys that point the book setting at another file through the configuration dialog (F9, the
// plug-ins' configuration, Quillbox's dialog, the book file field, accepted) and leave the menu;
// a panel opened afterwards opens that book, a panel already open keeps its own.
std::string SwitchBookTo(const std::string& file) {
  return "F9\nEnter\nEnter\nTab\nTab\nTab\nTab\nTab\nTab\nCtrlY\ntext " + file + "\nEnter\nEsc\n";
}

// What the right panel shows: each line from where the two panels' frames meet.
std::string RightHalf(const std::string& screen) {
  std::string out;
  std::istringstream in(screen);
  for (std::string line; std::getline(in, line);) {
    const std::size_t meet = line.find("║║");
    if (meet != std::string::npos) out += line.substr(meet) + "\n";
  }
  return out;
}

// The right panel opened on the book from the disks menu.
constexpr const char* kRightOnBook = "Tab\nAltF2\nDown\nDown\nEnter\n";

TEST_F(ExchangeHostTest, F5BetweenPanelsOnTwoBooksCopiesATreeOf50Records) {
  {
    // Five folders of ten records, the last five of S4 one level deeper, an empty folder and a
    // record without fields; fields of every kind and of lengths up to a few kilobytes.
    Book source(book());
    for (int f = 0; f < 5; ++f) {
      for (int r = 0; r < 10; ++r) {
        const std::string n = std::to_string(f) + "_" + std::to_string(r);
        const std::string folder =
            "Big/S" + std::to_string(f) + (f == 4 && r >= 5 ? "/Deep/" : "/");
        Fields fields = {{kSingle, "s" + n}, {kMulti, std::string(r * 300, char('a' + f))}};
        if (r % 3 == 0) fields.push_back({kSender, n + "@example.org"});
        if (r % 4 == 1) fields.push_back({kMulti, "second " + n});
        if (f == 1 && r == 7) fields.clear();
        source.Record(folder + "r" + std::to_string(r), StreamBytes(fields));
      }
    }
    source.Folder("Big/Empty");
    Book(book2()).Record("Keep", StreamBytes({{kMulti, "kept"}}));
  }
  std::map<std::string, std::string> before;
  Book(book()).Records("", &before);
  ASSERT_EQ(before.size(), 50u);

  // The left panel is on the first book from the start; the right one opens on the second, and
  // F5 in the left panel copies Big into its root.
  auto screens =
      Run(SwitchBookTo(book2()) + kRightOnBook + "screen\nTab\nDown\nF5\nscreen\nTab\nscreen\n");
  ASSERT_EQ(screens.size(), 4u);
  EXPECT_THAT(RightHalf(screens[0]), HasSubstr("Keep"));  // the right panel shows the second book
  EXPECT_THAT(RightHalf(screens[0]), Not(HasSubstr("Big")));  // ... and not the first
  EXPECT_THAT(screens[1], Not(HasSubstr("Error")));
  EXPECT_THAT(RightHalf(screens[2]), HasSubstr("Big"));  // refreshed after the copy

  std::map<std::string, std::string> source, copied;
  Book(book()).Records("", &source);
  Book(book2()).Records("Big", &copied);
  EXPECT_EQ(source, before);  // a copy leaves the source as it was
  std::map<std::string, std::string> want;
  for (const auto& [path, bytes] : before) want[path.substr(4)] = bytes;  // without "Big/"
  std::map<std::string, std::string> got;
  for (const auto& [path, bytes] : copied) got[path.substr(4)] = bytes;
  EXPECT_EQ(got, want);
  EXPECT_TRUE(Book(book2()).Has("Big/Empty"));
  const std::vector<uint8_t> kept = StreamBytes({{kMulti, "kept"}});
  EXPECT_EQ(Book(book2()).Bytes("Keep"), std::string(kept.begin(), kept.end()));
  for (const std::string& file : {book(), book2()}) {
    const ProgramRun check = RunCommand(std::string(QB_CFBTOOL) + " check " + ShellQuote(file));
    EXPECT_EQ(check.status, 0) << file << "\n" << check.out;
  }
}

TEST_F(ExchangeHostTest, F5BetweenProtectedFoldersOfTwoBooksReciphersUnderTheTargetKey) {
  const Fields kBob = {{kSingle, "Bob"}, {kMulti, std::string(700, 'b')}};
  Book(book())
      .Folder("Safe", "secret")
      .Record("Safe/Ann", StreamBytes(kAnn, "secret"))
      .Record("Safe/Bob", StreamBytes(kBob, "secret"));
  Book(book2()).Folder("Vault", "other");
  // Both folders unlocked with their own passwords; Ann and Bob selected in the left panel and
  // copied into Vault.
  auto screens = Run("Down\nEnter\ntext secret\nEnter\n" + SwitchBookTo(book2()) + kRightOnBook +
                     "screen\nDown\nEnter\ntext other\nEnter\nTab\nDown\nIns\nIns\nF5\nscreen\n");
  ASSERT_EQ(screens.size(), 3u);
  // The right panel starts at the second book's root, without looking for the first panel's
  // folder in it.
  EXPECT_THAT(screens[0], Not(HasSubstr("Error")));
  EXPECT_THAT(RightHalf(screens[0]), Not(HasSubstr("Safe")));
  EXPECT_THAT(RightHalf(screens[0]), HasSubstr("Vault"));
  EXPECT_THAT(screens[1], Not(HasSubstr("Error")));
  for (const auto& [name, fields] : {std::pair{"Ann", kAnn}, std::pair{"Bob", kBob}}) {
    const std::vector<uint8_t> want = StreamBytes(fields, "other");
    EXPECT_EQ(Book(book2()).Bytes(std::string("Vault/") + name),
              std::string(want.begin(), want.end()))
        << name;
    const std::vector<uint8_t> left = StreamBytes(fields, "secret");
    EXPECT_EQ(Book(book()).Bytes(std::string("Safe/") + name),
              std::string(left.begin(), left.end()))
        << name;
  }
  for (const std::string& file : {book(), book2()}) {
    const ProgramRun check = RunCommand(std::string(QB_CFBTOOL) + " check " + ShellQuote(file));
    EXPECT_EQ(check.status, 0) << file << "\n" << check.out;
  }
}

TEST_F(ExchangeHostTest, FilePutOntoARecordIsSentThroughAFieldThatCanSend) {
  Book(book())
      .Record("Mail", StreamBytes({{kSender, "a@x"}, {kSingle, "s"}, {kSender, "b@y"}}))
      .Record("None", StreamBytes({{kSingle, "s"}, {kMulti, "m"}}))
      .Record("One", StreamBytes({{kSingle, "s"}, {kSender, "c@z"}}));
  WriteFile(work() / "note.txt", "hello");
  const std::string note = fs::canonical(work() / "note.txt").string();
  // Two candidates: a menu of two lines; the second is taken.
  auto screens = Run("Down\nEnter\nTab\nDown\nF5\nscreen\nDown\nEnter\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("Send the file to"));
  EXPECT_EQ(ReadFile(send_log()), "Sender " + note + " b@y\n");
  // One: sent without a menu.
  fs::remove(send_log());
  screens = Run("Down\nDown\nDown\nEnter\nTab\nDown\nF5\nscreen\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], Not(HasSubstr("Send the file to")));
  EXPECT_EQ(ReadFile(send_log()), "Sender " + note + " c@z\n");
  // None: nothing happens and nothing is shown.
  fs::remove(send_log());
  screens = Run("Down\nDown\nEnter\nTab\nDown\nF5\nscreen\n");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], Not(HasSubstr("Send the file to")));
  EXPECT_THAT(screens[0], Not(HasSubstr("Error")));
  EXPECT_FALSE(fs::exists(send_log()));
  // A field type that fails to send: the box names the file.
  screens = Run("Down\nDown\nDown\nEnter\nTab\nDown\nF5\nscreen\nEnter\n", "QB_TEST_SEND_RESULT=0");
  ASSERT_FALSE(screens.empty());
  EXPECT_THAT(screens[0], HasSubstr("The file could not be sent"));
  EXPECT_TRUE(fs::exists(work() / "note.txt"));
}

}  // namespace
}  // namespace qb::test
