// Atomic commits under crashes and failing disks, no stale bytes, and the cost of reaching one
// element in a big file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/storage/check.h"
#include "tests/storage/test_util.h"
#include "tests/support/mem_fs.h"

namespace qb::storage::testing {
namespace {

const std::string kBook = "/mem/book.dat";

// The state a book is in before the session under test.
void FirstSession(MemFs* fs, uint32_t create_flags = 0) {
  Storage root, folder, sub;
  ASSERT_EQ(CreateCompoundFile(kBook, kRW | create_flags, &root, fs), S_OK);
  ASSERT_EQ(root.CreateStorage(u"Friends", kRW, &folder), S_OK);
  ASSERT_EQ(folder.CreateStorage(u"Old", kRW, &sub), S_OK);
  ASSERT_EQ(WriteStream(sub, u"gone", Pattern(300, 1)), S_OK);
  for (int i = 0; i < 20; ++i) {
    std::u16string name = u"Smith " + std::u16string(1, static_cast<char16_t>(u'A' + i));
    ASSERT_EQ(WriteStream(folder, name, Pattern(96 + i, i)), S_OK);
  }
  ASSERT_EQ(WriteStream(root, u"photo", Pattern(20000, 9)), S_OK);
  ASSERT_EQ(WriteStream(root, u"  ", "description"), S_OK);
  sub.Release();
  folder.Release();
  ASSERT_EQ(root.Release(), S_OK);
}

// Book-like changes: new folder and records, a record rewritten whole, records and a folder
// deleted, a rename, a record moved across the mini stream cutoff both ways.
HRESULT SecondSession(MemFs* fs) {
  Storage root, folder, fresh;
  HRESULT hr = OpenCompoundFile(kBook, kRW, &root, fs);
  if (Failed(hr)) return hr;
  if (Failed(hr = root.OpenStorage(u"Friends", kRW, &folder))) return hr;
  if (Failed(hr = root.CreateStorage(u"Work", kRW, &fresh))) return hr;
  for (int i = 0; i < 5; ++i) {
    std::u16string name = u"Jones " + std::u16string(1, static_cast<char16_t>(u'0' + i));
    if (Failed(hr = WriteStream(fresh, name, Pattern(120, 50 + i), kRW))) return hr;
  }
  {
    Stream s;
    if (Failed(hr = folder.OpenStream(u"Smith C", kRW, &s))) return hr;
    if (Failed(hr = s.SetSize(0))) return hr;
    std::string rec = Pattern(200, 99);
    if (Failed(hr = s.Write(rec.data(), static_cast<uint32_t>(rec.size()), nullptr))) return hr;
  }
  if (Failed(hr = folder.DestroyElement(u"Smith D"))) return hr;
  if (Failed(hr = folder.DestroyElement(u"Old"))) return hr;
  if (Failed(hr = folder.RenameElement(u"Smith E", u"Smythe E"))) return hr;
  if (Failed(hr = WriteStream(folder, u"Smith F", Pattern(5000, 7)))) return hr;
  {
    Stream s;
    if (Failed(hr = root.OpenStream(u"photo", kRW, &s))) return hr;
    if (Failed(hr = s.SetSize(1000))) return hr;
  }
  fresh.Release();
  folder.Release();
  return root.Release();
}

std::string State(MemFs* fs) {
  Storage root;
  HRESULT hr = OpenCompoundFile(kBook, kRW, &root, fs);
  if (Failed(hr)) return "<open failed " + std::to_string(hr) + ">";
  return Dump(root);
}

bool RawFileValid(MemFs* fs, std::string* why) {
  std::vector<std::string> problems;
  HRESULT hr = CheckCompoundFile(kBook, &problems, fs);
  for (auto& p : problems) *why += p + "\n";
  return hr == S_OK;
}

// Runs both sessions without faults: the states before and after the second, and the count of
// file operations the second takes (each a place for a fault).
long OperationsOfSecondSession(std::string* before, std::string* after) {
  MemFs fs;
  FirstSession(&fs);
  *before = State(&fs);
  fs.Arm(MemFs::Fault::kNone, -1);
  HRESULT hr = SecondSession(&fs);
  EXPECT_EQ(hr, S_OK);
  long ops = Succeeded(hr) ? fs.ops() : 0;
  *after = State(&fs);
  return ops;
}

TEST(StorageReliability, CrashAtEveryWriteAndSync) {
  std::string before, after;
  long total = OperationsOfSecondSession(&before, &after);
  ASSERT_NE(before, after);
  ASSERT_GT(total, 5);
  for (auto fault : {MemFs::Fault::kCrash, MemFs::Fault::kTornCrash}) {
    for (bool power_loss : {false, true}) {
      for (long k = 0; k < total; ++k) {
        SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " power loss " +
                     std::to_string(power_loss) + " at operation " + std::to_string(k));
        MemFs fs;
        FirstSession(&fs);
        fs.Arm(fault, k);
        EXPECT_TRUE(Failed(SecondSession(&fs)));
        if (power_loss) {
          fs.PowerLoss();
        } else {
          fs.Restart();
        }
        std::string why;
        // Other readers see a valid file at once, unless the header itself was torn (which the
        // next open repairs from the journal).
        bool raw_ok = RawFileValid(&fs, &why);
        if (fault == MemFs::Fault::kCrash) {
          EXPECT_TRUE(raw_ok) << why;
        }
        std::string state = State(&fs);
        EXPECT_TRUE(state == before || state == after) << state;
        why.clear();
        EXPECT_TRUE(RawFileValid(&fs, &why)) << why;
      }
    }
  }
}

// Creating, plain or replacing, leaves the old file or a complete new one, never half of either.
TEST(StorageReliability, CrashWhileCreating) {
  for (bool replace : {false, true}) {
    long total = 0;
    std::string old_state;
    {
      MemFs fs;
      if (replace) FirstSession(&fs);
      old_state = replace ? State(&fs) : "<none>";
      fs.Arm(MemFs::Fault::kNone, -1);
      Storage root;
      ASSERT_EQ(CreateCompoundFile(kBook, kRW | (replace ? STGM_CREATE : 0), &root, &fs), S_OK);
      root.Release();
      total = fs.ops();
    }
    for (auto fault : {MemFs::Fault::kCrash, MemFs::Fault::kTornCrash}) {
      for (bool power_loss : {false, true}) {
        for (long k = 0; k < total; ++k) {
          SCOPED_TRACE("replace " + std::to_string(replace) + " power loss " +
                       std::to_string(power_loss) + " at operation " + std::to_string(k));
          MemFs fs;
          if (replace) FirstSession(&fs);
          fs.Arm(fault, k);
          Storage root;
          EXPECT_TRUE(
              Failed(CreateCompoundFile(kBook, kRW | (replace ? STGM_CREATE : 0), &root, &fs)));
          if (power_loss) {
            fs.PowerLoss();
          } else {
            fs.Restart();
          }
          std::string state = fs.Exists(kBook) == S_OK ? State(&fs) : "<none>";
          EXPECT_TRUE(state == old_state || state == "") << state;
        }
      }
    }
  }
}

// A journal left by a crash belongs to the file it was written for: a book put back from a backup,
// or created anew in its place, must not receive the header of a commit it never saw, even when
// its own header is byte for byte the one the journal replaced.
TEST(StorageReliability, LeftoverJournalIsNotAppliedToAnotherFile) {
  const std::string journal = kBook + "-journal";
  for (bool recreate : {false, true}) {
    SCOPED_TRACE(recreate ? "book created anew" : "book restored from a backup");
    bool found = false;
    for (long k = 0; !found; ++k) {
      MemFs fs;
      FirstSession(&fs);
      std::vector<uint8_t> backup = fs.Bytes(kBook);
      std::string before = State(&fs);
      fs.Arm(MemFs::Fault::kCrash, k);
      if (Succeeded(SecondSession(&fs))) break;  // no crash point left a journal
      fs.Restart();
      if (fs.Bytes(journal).empty()) continue;
      found = true;
      if (recreate) {
        FirstSession(&fs, STGM_CREATE);
      } else {
        fs.Install(kBook, backup);
      }
      EXPECT_EQ(State(&fs), before);
      std::string why;
      EXPECT_TRUE(RawFileValid(&fs, &why)) << why;
    }
    EXPECT_TRUE(found);
  }
}

// Only a journal is taken for one: a book whose name is another's plus "-journal" is neither
// removed by opening the other nor overwritten by its commit (which then fails, changing nothing).
TEST(StorageReliability, FileNamedLikeAJournalIsLeftAlone) {
  MemFs fs;
  FirstSession(&fs);
  std::vector<uint8_t> book = fs.Bytes(kBook);
  const std::string other = kBook + "-journal";
  fs.Install(other, book);
  std::string before = State(&fs);
  EXPECT_EQ(SecondSession(&fs), STG_E_ACCESSDENIED);
  EXPECT_EQ(State(&fs), before);
  EXPECT_TRUE(fs.Bytes(other) == book);
  EXPECT_TRUE(fs.Bytes(kBook) == book);
}

TEST(StorageReliability, FailingDiskLeavesTheFileAsItWas) {
  std::string before, after;
  long total = OperationsOfSecondSession(&before, &after);
  ASSERT_GT(total, 0);
  for (long k = 0; k < total; ++k) {
    MemFs fs;
    FirstSession(&fs);
    std::vector<uint8_t> bytes_before = fs.Bytes(kBook);
    fs.Arm(MemFs::Fault::kError, k);
    HRESULT hr = SecondSession(&fs);
    std::vector<uint8_t> bytes_after = fs.Bytes(kBook);
    fs.Restart();
    std::string state = State(&fs);
    // Failures before the header switch report the disk's code and change nothing; failures
    // after it (cleaning up) may report, but the new state then stands.
    if (Failed(hr) && state == before) {
      EXPECT_EQ(hr, STG_E_MEDIUMFULL);
      // Not even in free sectors: what the user tried to store does not stay behind.
      EXPECT_TRUE(bytes_after == bytes_before) << "operation " << k;
    } else {
      EXPECT_NE(state, before) << "operation " << k;
    }
    std::string why;
    EXPECT_TRUE(RawFileValid(&fs, &why)) << why;
  }
}

bool Contains(const std::vector<uint8_t>& hay, const std::string& needle) {
  std::vector<uint8_t> n(needle.begin(), needle.end());
  return std::search(hay.begin(), hay.end(), n.begin(), n.end()) != hay.end();
}

std::string Marked(const std::string& marker, size_t size) {
  std::string s;
  while (s.size() + marker.size() <= size) s += marker;
  s.resize(size, '.');
  return s;
}

TEST(StorageReliability, NoStaleBytesAfterRelease) {
  MemFs fs;
  const std::string small_m = "MARKER-small-7f3a", big_m = "MARKER-big-91c2",
                    trunc_m = "MARKER-trunc-55d0", tree_m = "MARKER-tree-e1e1",
                    name_m = "MarkerName";
  {
    Storage root, folder;
    ASSERT_EQ(CreateCompoundFile(kBook, kRW, &root, &fs), S_OK);
    ASSERT_EQ(WriteStream(root, u"small", Marked(small_m, 300)), S_OK);
    ASSERT_EQ(WriteStream(root, u"big", Marked(big_m, 9000)), S_OK);
    ASSERT_EQ(WriteStream(root, u"trunc", Pattern(100, 1) + Marked(trunc_m, 8000)), S_OK);
    ASSERT_EQ(root.CreateStorage(u"folder", kRW, &folder), S_OK);
    ASSERT_EQ(WriteStream(folder, u"MarkerName", Marked(tree_m, 700)), S_OK);
    folder.Release();
  }
  std::vector<uint8_t> image = fs.Bytes(kBook);
  for (auto& m : {small_m, big_m, trunc_m, tree_m}) ASSERT_TRUE(Contains(image, m)) << m;
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(kBook, kRW, &root, &fs), S_OK);
    ASSERT_EQ(WriteStream(root, u"small", Pattern(300, 2)), S_OK);  // overwritten in place
    ASSERT_EQ(root.DestroyElement(u"big"), S_OK);
    Stream s;
    ASSERT_EQ(root.OpenStream(u"trunc", kRW, &s), S_OK);
    ASSERT_EQ(s.SetSize(100), S_OK);  // truncated below the cutoff
    s.Release();
    ASSERT_EQ(root.DestroyElement(u"folder"), S_OK);
  }
  image = fs.Bytes(kBook);
  for (auto& m : {small_m, big_m, trunc_m, tree_m}) EXPECT_FALSE(Contains(image, m)) << m;
  std::string wide_name;
  for (char c : name_m) wide_name += std::string{c, '\0'};
  EXPECT_FALSE(Contains(image, wide_name)) << "deleted element's name";
  // Shrinking a regular stream keeps no bytes past its new end in its last sector.
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(kBook, kRW, &root, &fs), S_OK);
    ASSERT_EQ(WriteStream(root, u"again", Pattern(9000, 31)), S_OK);
    ASSERT_EQ(root.Commit(), S_OK);
    Stream s;
    ASSERT_EQ(root.OpenStream(u"again", kRW, &s), S_OK);
    ASSERT_EQ(s.SetSize(4100), S_OK);
  }
  image = fs.Bytes(kBook);
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(kBook, kRW, &root, &fs), S_OK);
    EXPECT_EQ(ReadStream(root, u"again"), Pattern(9000, 31).substr(0, 4100));
  }
  std::string tail = Pattern(9000, 31).substr(4100, 200);
  ASSERT_TRUE(Contains(image, Pattern(9000, 31).substr(3800, 200)));
  EXPECT_FALSE(Contains(image, tail));
}

// A file system that counts what is read.
class CountingFs : public FileSystem {
 public:
  struct CountingFile : File {
    CountingFile(std::unique_ptr<File> f, CountingFs* fs) : f_(std::move(f)), fs_(fs) {}
    HRESULT ReadAt(uint64_t o, void* d, size_t n, size_t* r) override {
      ++fs_->reads;
      fs_->bytes += n;
      return f_->ReadAt(o, d, n, r);
    }
    HRESULT WriteAt(uint64_t o, const void* d, size_t n) override { return f_->WriteAt(o, d, n); }
    HRESULT Sync() override { return f_->Sync(); }
    HRESULT GetSize(uint64_t* s) override { return f_->GetSize(s); }
    HRESULT SetSize(uint64_t s) override { return f_->SetSize(s); }
    std::unique_ptr<File> f_;
    CountingFs* fs_;
  };
  HRESULT Open(const std::string& p, OpenKind k, LockKind l, std::unique_ptr<File>* out) override {
    std::unique_ptr<File> f;
    HRESULT hr = real_.Open(p, k, l, &f);
    if (Succeeded(hr)) *out = std::make_unique<CountingFile>(std::move(f), this);
    return hr;
  }
  HRESULT Exists(const std::string& p) override { return real_.Exists(p); }
  HRESULT Remove(const std::string& p) override { return real_.Remove(p); }
  HRESULT Rename(const std::string& a, const std::string& b, bool r) override {
    return real_.Rename(a, b, r);
  }
  HRESULT SyncDirectory(const std::string& p) override { return real_.SyncDirectory(p); }
  FileTime Now() override { return real_.Now(); }
  MemFs real_;
  long reads = 0;
  uint64_t bytes = 0;
};

TEST(StorageReliability, ReachingOneElementReadsOnlyWhatIsOnTheWay) {
  CountingFs fs;
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(kBook, kRW, &root, &fs), S_OK);
    for (int f = 0; f < 4; ++f) {
      Storage folder;
      std::u16string fname = u"folder " + std::u16string(1, static_cast<char16_t>(u'0' + f));
      ASSERT_EQ(root.CreateStorage(fname, kRW, &folder), S_OK);
      for (int i = 0; i < 1500; ++i) {
        std::u16string name = u"record ";
        for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
        ASSERT_EQ(WriteStream(folder, name, Pattern(100, i), kRW), S_OK);
      }
    }
  }
  uint64_t file_size = fs.real_.Bytes(kBook).size();
  fs.reads = 0;
  fs.bytes = 0;
  Storage root, folder;
  ASSERT_EQ(OpenCompoundFile(kBook, kRW, &root, &fs), S_OK);
  ASSERT_EQ(root.OpenStorage(u"folder 2", kRW, &folder), S_OK);
  EXPECT_EQ(ReadStream(folder, u"record 1234"), Pattern(100, 1234));
  // 6000 entries fill 1500 directory sectors; a lookup visits about log2(1500) + log2(4) of them.
  EXPECT_LT(fs.reads, 60);
  EXPECT_LT(fs.bytes, file_size / 8) << "of " << file_size;
}

}  // namespace
}  // namespace qb::storage::testing
