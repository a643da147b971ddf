// The file's length follows what it holds: free space is reused wherever it lies, and a session
// that deleted or rewrote much gives the end of the file back, without weakening the commit.
#include <gtest/gtest.h>

#include "platform/storage/check.h"
#include "tests/storage/test_util.h"
#include "tests/support/mem_fs.h"

namespace qb::storage::testing {
namespace {

// What a session may leave past the file's length at its start: 8 sectors, and one per 64 KB of
// the file for FAT pages that found no hole (in practice a few sectors).
uint64_t Slack(uint64_t size) {
  return 8 * 512 + size / 65536 * 512;
}

std::u16string Name(const char16_t* prefix, int i) {
  std::u16string s = prefix;
  for (char c : std::to_string(i)) s.push_back(static_cast<char16_t>(c));
  return s;
}

// Records of a book's size (a comment and an address) in one folder.
std::string Record(int i) {
  return Pattern(110 + i % 40, static_cast<uint32_t>(i));
}

class SpaceTest : public ::testing::Test {
 protected:
  static constexpr const char* kPath = "/mem/book";

  // Opens the book's folder, lets `change` work in it, and commits by releasing the root.
  template <class Change>
  void Session(Change change, const std::string& path = kPath) {
    Storage root, folder;
    ASSERT_EQ(OpenCompoundFile(path, kRW, &root, &fs_), S_OK);
    ASSERT_EQ(root.OpenStorage(u"Records", kRW, &folder), S_OK);
    change(folder);
    folder.Release();
    ASSERT_EQ(root.Release(), S_OK);
  }
  void MakeBook(int records) {
    Storage root, folder;
    ASSERT_EQ(CreateCompoundFile(kPath, kRW | STGM_CREATE, &root, &fs_), S_OK);
    ASSERT_EQ(root.CreateStorage(u"Records", kRW, &folder), S_OK);
    for (int i = 0; i < records; ++i)
      ASSERT_EQ(WriteStream(folder, Name(u"Record ", i), Record(i), kRW), S_OK);
    folder.Release();
    ASSERT_EQ(root.Release(), S_OK);
  }
  uint64_t Size(const std::string& path = kPath) const { return fs_.Bytes(path).size(); }
  void ExpectValid(const std::string& path = kPath) {
    std::vector<std::string> problems;
    EXPECT_EQ(CheckCompoundFile(path, &problems, &fs_), S_OK);
    for (auto& p : problems) ADD_FAILURE() << p;
  }
  std::string State(const std::string& path = kPath) {
    Storage root;
    if (Failed(OpenCompoundFile(path, kRW, &root, &fs_))) return "<open failed>";
    return Dump(root);
  }

  MemFs fs_;
};

// Deleting any share of the records never makes the file longer than before (but the slack);
// making as many records again afterwards reuses the entries, mini sectors and sectors freed.
TEST_F(SpaceTest, DeletingAndMakingAsManyAgainKeepsTheFileItsSize) {
  for (int share : {10, 50, 90, 100}) {
    SCOPED_TRACE("deleting " + std::to_string(share) + "%");
    const int n = 1200;
    MakeBook(n);
    const uint64_t made = Size();
    std::vector<int> gone;
    for (int i = 0; i < n; ++i)
      if (i * share / 100 != (i + 1) * share / 100) gone.push_back(i);
    Session([&](Storage& folder) {
      for (int i : gone) ASSERT_EQ(folder.DestroyElement(Name(u"Record ", i)), S_OK);
    });
    EXPECT_LE(Size(), made + Slack(made));
    ExpectValid();
    Session([&](Storage& folder) {
      for (int i : gone) ASSERT_EQ(WriteStream(folder, Name(u"Again ", i), Record(i), kRW), S_OK);
    });
    EXPECT_LE(Size(), made + Slack(made));
    ExpectValid();
    // One record more grows the file by a few sectors at most.
    for (int k = 0; k < 5; ++k) {
      const uint64_t before = Size();
      Session([&](Storage& folder) {
        ASSERT_EQ(WriteStream(folder, Name(u"One more ", k), Record(k), kRW), S_OK);
      });
      EXPECT_LE(Size(), before + Slack(before));
    }
    ExpectValid();
    Storage root, folder;
    ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs_), S_OK);
    ASSERT_EQ(root.OpenStorage(u"Records", kRW, &folder), S_OK);
    EXPECT_EQ(ReadStream(folder, Name(u"Again ", gone.back())), Record(gone.back()));
    EXPECT_EQ(ReadStream(folder, u"One more 4"), Record(4));
    if (share < 100) {
      const int kept = gone.front() == 0 ? 1 : 0;
      EXPECT_EQ(ReadStream(folder, Name(u"Record ", kept)), Record(kept));
    }
  }
}

// Holes are found in parts of the file that the session never read: here a file this process
// has no record of (the same bytes under another name).
TEST_F(SpaceTest, HolesAreFoundWhereTheSessionHasNotLooked) {
  MakeBook(2000);
  const uint64_t made = Size();
  // The first records: their entries and mini sectors lie at the start of the file, far from
  // what a lookup of the last records reads.
  Session([&](Storage& folder) {
    for (int i = 0; i < 400; ++i) ASSERT_EQ(folder.DestroyElement(Name(u"Record ", i)), S_OK);
  });
  fs_.Install("/mem/copy", fs_.Bytes(kPath));
  Session(
      [&](Storage& folder) {
        for (int i = 0; i < 400; ++i)
          ASSERT_EQ(WriteStream(folder, Name(u"Zed ", i), Record(i), kRW), S_OK);
      },
      "/mem/copy");
  EXPECT_LE(Size("/mem/copy"), made + Slack(made));
  ExpectValid("/mem/copy");
}

// Big streams written in a session move down too, and what moves keeps its content.
TEST_F(SpaceTest, RegularStreamsWrittenInTheSessionMoveIntoTheHoles) {
  MakeBook(600);
  Session([&](Storage& folder) {
    for (int i = 0; i < 5; ++i)
      ASSERT_EQ(WriteStream(folder, Name(u"Photo ", i), Pattern(30000, 70 + i), kRW), S_OK);
  });
  const uint64_t with_photos = Size();
  Session([&](Storage& folder) {
    for (int i = 0; i < 600; i += 2) ASSERT_EQ(folder.DestroyElement(Name(u"Record ", i)), S_OK);
    for (int i = 0; i < 5; ++i)
      ASSERT_EQ(WriteStream(folder, Name(u"Photo ", i), Pattern(30000, 90 + i)), S_OK);
  });
  EXPECT_LE(Size(), with_photos + Slack(with_photos));
  ExpectValid();
  Storage root, folder;
  ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs_), S_OK);
  ASSERT_EQ(root.OpenStorage(u"Records", kRW, &folder), S_OK);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(ReadStream(folder, Name(u"Photo ", i)), Pattern(30000, 90 + i));
  EXPECT_EQ(ReadStream(folder, u"Record 1"), Record(1));
}

// The commit that gives the end back is a commit like any other: a crash at any write or sync of
// a session that deletes half the book leaves the book as it was before or after the session.
TEST_F(SpaceTest, CrashWhileGivingTheEndBackLeavesOneOfTheTwoStates) {
  const int n = 160;
  auto remove_half = [&](Storage& folder) {
    for (int i = 0; i < n; i += 2) folder.DestroyElement(Name(u"Record ", i));
  };
  MakeBook(n);
  const std::string before = State();
  const std::vector<uint8_t> image = fs_.Bytes(kPath);
  fs_.Arm(MemFs::Fault::kNone, 0);
  Session(remove_half);
  const long total = fs_.ops();
  const std::string after = State();
  ASSERT_NE(before, after);
  ASSERT_GT(total, 20);
  for (auto fault : {MemFs::Fault::kCrash, MemFs::Fault::kTornCrash, MemFs::Fault::kError}) {
    for (bool power_loss : {false, true}) {
      if (fault == MemFs::Fault::kError && power_loss) continue;
      for (long k = 0; k < total; ++k) {
        SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " power loss " +
                     std::to_string(power_loss) + " at operation " + std::to_string(k));
        fs_ = MemFs();
        fs_.Install(kPath, image);
        fs_.Arm(fault, k);
        {
          Storage root, folder;
          ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs_), S_OK);
          ASSERT_EQ(root.OpenStorage(u"Records", kRW, &folder), S_OK);
          remove_half(folder);
          folder.Release();
          root.Release();
        }
        if (power_loss) {
          fs_.PowerLoss();
        } else {
          fs_.Restart();
        }
        const std::string state = State();
        EXPECT_TRUE(state == before || state == after) << state;
        ExpectValid();
      }
    }
  }
}

}  // namespace
}  // namespace qb::storage::testing
