// Changing a folder's key in the book: which records move to the new key, that their bytes
// survive exactly, that no plaintext is left in the file, and that a failure, a full disk or a
// crash leaves the folder wholly under the old key or wholly under the new one.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "main/folder_password.h"
#include "main/record_io.h"
#include "tests/support/mem_fs.h"
#include "tests/support/temp_dir.h"

namespace qb::main {
namespace {

using storage::testing::MemFs;
constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

PasswordKey Key(const std::string& password) {
  PasswordKey key;
  MakePasswordKey(password, key);
  return key;
}

std::string Marker(int i) {
  return "PLAINMARK-" + std::to_string(i) + "-END";
}

// A record with a comment field holding the marker (the stream is padded to 8 bytes).
std::vector<uint8_t> PlainRecord(int i) {
  FieldEntry field;
  field.type = 0x10101;
  const std::string text = Marker(i);
  field.data.assign(text.begin(), text.end());
  return SerializeRecord({field});
}

std::vector<uint8_t> Enciphered(std::vector<uint8_t> bytes, const PasswordKey& key) {
  EncipherBuffer(key.bytes, bytes.data(), bytes.size());
  return bytes;
}

std::vector<uint8_t> ReadStream(storage::Storage& folder, const std::u16string& name) {
  storage::Stream stream;
  if (storage::Failed(folder.OpenStream(name, kRW, &stream))) return {9, 9, 9};
  storage::ElementStat stat;
  stream.Stat(&stat);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(stat.size));
  uint32_t read = 0;
  if (!bytes.empty()) stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &read);
  return bytes;
}

void WriteStream(storage::Storage& folder, const std::u16string& name,
                 const std::vector<uint8_t>& bytes) {
  storage::Stream stream;
  ASSERT_EQ(folder.CreateStream(name, kRW | storage::STGM_CREATE, &stream), storage::S_OK);
  if (!bytes.empty()) {
    ASSERT_EQ(stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr),
              storage::S_OK);
  }
}

storage::Storage Child(storage::Storage& parent, const std::string& name) {
  storage::Storage child;
  if (storage::Failed(parent.OpenStorage(U16(name), kRW, &child))) {
    EXPECT_EQ(parent.CreateStorage(U16(name), kRW, &child), storage::S_OK);
  }
  return child;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

bool FileHolds(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return all.find(text) != std::string::npos;
}

class FolderKeyTest : public ::testing::Test {
 protected:
  // Work: records 0-2 and the description; Work/Old: record 3; Work/Own (its own password
  // "own"): record 4 under that key. A plain record 5 beside Work at the root.
  void Build() {
    storage::Storage root;
    ASSERT_EQ(storage::CreateCompoundFile(file_, kRW, &root), storage::S_OK);
    storage::Storage work = Child(root, "Work");
    for (int i = 0; i < 3; ++i) WriteStream(work, U16("R" + std::to_string(i)), PlainRecord(i));
    WriteStream(work, u"  ", {'D', 'e', 's', 'c'});
    storage::Storage old = Child(work, "Old");
    WriteStream(old, u"R3", PlainRecord(3));
    storage::Storage own = Child(work, "Own");
    uint8_t check[kPasswordCheckBytes];
    MakePasswordCheck(Key("own"), check);
    WriteStream(own, kPasswordStream, std::vector<uint8_t>(check, check + 16));
    WriteStream(own, u"R4", Enciphered(PlainRecord(4), Key("own")));
    WriteStream(root, u"R5", PlainRecord(5));
  }

  storage::Storage Open() {
    storage::Storage root;
    EXPECT_EQ(storage::OpenCompoundFile(file_, kRW, &root), storage::S_OK);
    return root;
  }

  test::TempDir dir_{"qb-folderkey"};
  std::string file_ = dir_ / "book.dat";
};

TEST_F(FolderKeyTest, SettingEnciphersEveryRecordDownToTheNextPasswordAndRemovingUndoesIt) {
  Build();
  const PasswordKey secret = Key("secret");
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    ASSERT_EQ(ChangeFolderKey(work, &secret, nullptr, &secret), storage::S_OK);
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    EXPECT_EQ(Hex(ReadStream(work, u" ")), "c12f332c06595d1d7821f8a5057e40de");
    for (int i = 0; i < 3; ++i) {
      const std::vector<uint8_t> stored = ReadStream(work, U16("R" + std::to_string(i)));
      EXPECT_EQ(stored.size(), PlainRecord(i).size());  // already whole blocks: length unchanged
      EXPECT_EQ(stored, Enciphered(PlainRecord(i), secret));
    }
    EXPECT_EQ(ReadStream(work, u"  "), (std::vector<uint8_t>{'D', 'e', 's', 'c'}));
    storage::Storage old = Child(work, "Old");
    EXPECT_EQ(ReadStream(old, u"R3"), Enciphered(PlainRecord(3), secret));
    storage::Storage own = Child(work, "Own");
    EXPECT_EQ(ReadStream(own, u"R4"), Enciphered(PlainRecord(4), Key("own")));
    EXPECT_EQ(ReadStream(root, u"R5"), PlainRecord(5));
  }
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(FileHolds(file_, Marker(i))) << i;

  // Changing moves everything to the new key; removing brings the plain bytes back.
  const PasswordKey other = Key("0123456789abcdefXYZ");
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    ASSERT_EQ(ChangeFolderKey(work, &other, &secret, &other), storage::S_OK);
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(FileHolds(file_, Marker(i))) << i;
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    EXPECT_EQ(ReadStream(work, u"R1"), Enciphered(PlainRecord(1), other));
    ASSERT_EQ(ChangeFolderKey(work, nullptr, &other, nullptr), storage::S_OK);
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  storage::Storage root = Open();
  storage::Storage work = Child(root, "Work");
  EXPECT_FALSE(HasPasswordStream(work));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(ReadStream(work, U16("R" + std::to_string(i))), PlainRecord(i));
  storage::Storage own = Child(work, "Own");
  EXPECT_EQ(ReadStream(own, u"R4"), Enciphered(PlainRecord(4), Key("own")));
}

TEST_F(FolderKeyTest, RemovingTheInnerPasswordOfAProtectedBookLeavesNoPlaintextBehind) {
  Build();
  const PasswordKey book = Key("book");
  const PasswordKey work_key = Key("work");
  {
    storage::Storage root = Open();
    ASSERT_EQ(ChangeFolderKey(root, &book, nullptr, &book), storage::S_OK);
    storage::Storage work = Child(root, "Work");
    ASSERT_EQ(ChangeFolderKey(work, &work_key, &book, &work_key), storage::S_OK);
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    EXPECT_EQ(ReadStream(work, u"R0"), Enciphered(PlainRecord(0), work_key));
    EXPECT_EQ(ReadStream(root, u"R5"), Enciphered(PlainRecord(5), book));
    // The inner password goes: its records fall back to the book's key, not to plain.
    ASSERT_EQ(ChangeFolderKey(work, nullptr, &work_key, &book), storage::S_OK);
    EXPECT_EQ(ReadStream(work, u"R0"), Enciphered(PlainRecord(0), book));
    storage::Storage old = Child(work, "Old");
    EXPECT_EQ(ReadStream(old, u"R3"), Enciphered(PlainRecord(3), book));
    old.Release();
    work.Release();
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(FileHolds(file_, Marker(i))) << i;
}

TEST_F(FolderKeyTest, EditingAnEncipheredRecordLeavesNoPlaintextOfEitherVersion) {
  Build();
  const PasswordKey secret = Key("secret");
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    ASSERT_EQ(ChangeFolderKey(work, &secret, nullptr, &secret), storage::S_OK);
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  {
    storage::Storage root = Open();
    storage::Storage work = Child(root, "Work");
    storage::Stream stream;
    ASSERT_EQ(work.OpenStream(u"R1", kRW, &stream), storage::S_OK);
    Record record = ReadRecordStream(stream, &secret);
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(std::string(record[0].data.begin(), record[0].data.end()), Marker(1));
    const std::string edited = Marker(77) + " and a longer text that needs more blocks";
    record[0].data.assign(edited.begin(), edited.end());
    ASSERT_EQ(WriteRecordStream(stream, record, &secret), storage::S_OK);
    stream.Release();
    work.Release();
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  EXPECT_FALSE(FileHolds(file_, Marker(1)));
  EXPECT_FALSE(FileHolds(file_, Marker(77)));
  storage::Storage root = Open();
  storage::Storage work = Child(root, "Work");
  storage::Stream stream;
  ASSERT_EQ(work.OpenStream(u"R1", kRW, &stream), storage::S_OK);
  const Record back = ReadRecordStream(stream, &secret);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(std::string(back[0].data.begin(), back[0].data.begin() + 13), "PLAINMARK-77-");
}

TEST_F(FolderKeyTest, ARecordThatCannotBeRewrittenTakesTheWholeChangeBack) {
  Build();
  storage::Storage root = Open();
  storage::Storage work = Child(root, "Work");
  // Open elsewhere: the walk cannot open it, after it has rewritten the records before it.
  storage::Storage old = Child(work, "Old");
  storage::Stream busy;
  ASSERT_EQ(old.OpenStream(u"R3", kRW, &busy), storage::S_OK);
  const PasswordKey secret = Key("secret");
  int rewritten = 0;
  EXPECT_NE(ChangeFolderKey(work, &secret, nullptr, &secret, [&] { ++rewritten; }), storage::S_OK);
  busy.Release();
  old.Release();
  EXPECT_GT(rewritten, 0);
  EXPECT_FALSE(HasPasswordStream(work));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(ReadStream(work, U16("R" + std::to_string(i))), PlainRecord(i));
}

TEST_F(FolderKeyTest, ADamagedCheckIsNeitherReplacedNorAreItsRecordsTouched) {
  Build();
  storage::Storage root = Open();
  storage::Storage work = Child(root, "Work");
  WriteStream(work, u" ", {1, 2, 3});
  uint8_t check[kPasswordCheckBytes];
  EXPECT_EQ(ReadPasswordStream(work, check), PasswordStream::kDamaged);
  const PasswordKey secret = Key("secret");
  EXPECT_EQ(ChangeFolderKey(work, &secret, nullptr, &secret), storage::STG_E_DOCFILECORRUPT);
  EXPECT_EQ(ReadStream(work, u" "), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(ReadStream(work, u"R0"), PlainRecord(0));
}

// 200 records, all plain or all under the new key, never a mixture: whichever write, sync or
// rename of the commit fails or is the last before a crash or a power loss.
TEST(FolderKeyFaults, EveryFaultDuringTheCommitLeavesAllOldOrAllNew) {
  const std::string path = "/book";
  const PasswordKey secret = Key("secret");
  MemFs fs;
  {
    storage::Storage root;
    ASSERT_EQ(storage::CreateCompoundFile(path, kRW, &root, &fs), storage::S_OK);
    storage::Storage work = Child(root, "Work");
    for (int i = 0; i < 200; ++i) WriteStream(work, U16("R" + std::to_string(i)), PlainRecord(i));
    work.Release();
    ASSERT_EQ(root.Release(), storage::S_OK);
  }
  const std::vector<uint8_t> before = fs.Bytes(path);
  auto run = [&] {
    storage::Storage root;
    if (storage::Failed(storage::OpenCompoundFile(path, kRW, &root, &fs))) return;
    storage::Storage work = Child(root, "Work");
    if (storage::Failed(ChangeFolderKey(work, &secret, nullptr, &secret))) return;
    work.Release();
    root.Release();
  };
  // A clean run counts the operations a fault can hit.
  fs.Arm(MemFs::Fault::kNone, -1);
  run();
  const long ops = fs.ops();
  ASSERT_GT(ops, 2);
  int old_seen = 0, new_seen = 0;
  for (MemFs::Fault fault :
       {MemFs::Fault::kError, MemFs::Fault::kCrash, MemFs::Fault::kTornCrash}) {
    for (long at = 0; at < ops; ++at) {
      fs.Install(path, before);
      fs.Arm(fault, at);
      run();
      if (fault == MemFs::Fault::kError) {
        fs.Restart();
      } else {
        fs.PowerLoss();
      }
      storage::Storage root;
      ASSERT_EQ(storage::OpenCompoundFile(path, kRW, &root, &fs), storage::S_OK) << at;
      storage::Storage work = Child(root, "Work");
      const bool protected_now = HasPasswordStream(work);
      (protected_now ? new_seen : old_seen)++;
      for (int i = 0; i < 200; ++i) {
        const std::vector<uint8_t> want =
            protected_now ? Enciphered(PlainRecord(i), secret) : PlainRecord(i);
        ASSERT_EQ(ReadStream(work, U16("R" + std::to_string(i))), want)
            << "fault " << static_cast<int>(fault) << " at " << at << ", record " << i;
      }
    }
  }
  EXPECT_GT(old_seen, 0);
}

// The process killed half-way through the walk (here after 100 of the 200 records): the book
// opens afterwards with every record as it was.
TEST_F(FolderKeyTest, KilledHalfWayThroughTheRecordsTheBookKeepsTheOldKey) {
  {
    storage::Storage root;
    ASSERT_EQ(storage::CreateCompoundFile(file_, kRW, &root), storage::S_OK);
    storage::Storage work = Child(root, "Work");
    for (int i = 0; i < 200; ++i) WriteStream(work, U16("R" + std::to_string(i)), PlainRecord(i));
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    storage::Storage root;
    if (storage::Failed(storage::OpenCompoundFile(file_, kRW, &root))) _exit(2);
    storage::Storage work;
    if (storage::Failed(root.OpenStorage(u"Work", kRW, &work))) _exit(2);
    const PasswordKey secret = Key("secret");
    int done = 0;
    ChangeFolderKey(work, &secret, nullptr, &secret, [&] {
      if (++done == 100) kill(getpid(), SIGKILL);
    });
    _exit(3);  // never reached
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  storage::Storage root = Open();
  storage::Storage work = Child(root, "Work");
  EXPECT_FALSE(HasPasswordStream(work));
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(ReadStream(work, U16("R" + std::to_string(i))), PlainRecord(i)) << i;
  }
}

}  // namespace
}  // namespace qb::main
