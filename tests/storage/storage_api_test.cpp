// What the book relies on: element operations, their failure codes and persistence.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>

#include "platform/storage/check.h"
#include "tests/storage/test_util.h"
#include "tests/support/mem_fs.h"

namespace qb::storage::testing {
namespace {

void ExpectValid(const std::string& path) {
  std::vector<std::string> problems;
  EXPECT_EQ(CheckCompoundFile(path, &problems), S_OK);
  for (auto& p : problems) ADD_FAILURE() << p;
}

TEST(StorageApi, CreateOpenAndFailureCodes) {
  TempDir dir;
  std::string path = dir / "book.dat";
  Storage missing;
  EXPECT_EQ(OpenCompoundFile(path, kRW, &missing), STG_E_FILENOTFOUND);
  EXPECT_EQ(OpenCompoundFile(dir / "no/such/dir.dat", kRW, &missing), STG_E_PATHNOTFOUND);
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root), S_OK);
    // Share-exclusive: a second open in this process is refused...
    Storage again;
    EXPECT_EQ(OpenCompoundFile(path, kRW, &again), STG_E_SHAREVIOLATION);
    // ...and in another process.
    pid_t pid = fork();
    if (pid == 0) {
      Storage other;
      _exit(OpenCompoundFile(path, kRW, &other) == STG_E_SHAREVIOLATION ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(CreateCompoundFile(path, kRW, &again), STG_E_FILEALREADYEXISTS);

    Storage folder;
    ASSERT_EQ(root.CreateStorage(u"Folder", kRW, &folder), S_OK);
    Storage dup;
    EXPECT_EQ(root.CreateStorage(u"FOLDER", kRW, &dup), STG_E_FILEALREADYEXISTS);
    Stream dup_stream;
    EXPECT_EQ(root.CreateStream(u"folder", kRW, &dup_stream), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(root.OpenStorage(u"Folder", kRW, &dup), STG_E_ACCESSDENIED);  // open already
    EXPECT_EQ(root.OpenStorage(u"Nothing", kRW, &dup), STG_E_FILENOTFOUND);
    EXPECT_EQ(root.OpenStream(u"Folder", kRW, &dup_stream), STG_E_FILENOTFOUND);  // wrong kind
    for (std::u16string bad :
         {std::u16string(), std::u16string(32, u'x'), std::u16string(u"a/b"),
          std::u16string(u"a\\b"), std::u16string(u"a:b"), std::u16string(u"a!")}) {
      EXPECT_EQ(root.CreateStream(bad, kRW, &dup_stream), STG_E_INVALIDNAME) << Narrow(bad);
      EXPECT_EQ(root.OpenStorage(bad, kRW, &dup), STG_E_INVALIDNAME);
    }
    EXPECT_EQ(root.CreateStream(std::u16string(31, u'x'), kRW, &dup_stream), S_OK);
    EXPECT_EQ(root.DestroyElement(u"Folder"), STG_E_ACCESSDENIED);  // open
    EXPECT_EQ(root.RenameElement(u"Folder", u"Other"), STG_E_ACCESSDENIED);
    EXPECT_EQ(root.Release(), S_OK);
    // Objects that outlive their root answer, but do nothing.
    Stream s;
    EXPECT_EQ(folder.CreateStream(u"late", kRW, &s), STG_E_REVERTED);
  }
  // Replacing create empties the file.
  Storage root;
  ASSERT_EQ(CreateCompoundFile(path, kRW | STGM_CREATE, &root), S_OK);
  EXPECT_EQ(Dump(root), "");
  root.Release();
  ExpectValid(path);

  FILE* f = fopen((dir / "junk").c_str(), "wb");
  fputs("this is not a compound file, not at all, no", f);
  fclose(f);
  EXPECT_EQ(OpenCompoundFile(dir / "junk", kRW, &root), STG_E_INVALIDHEADER);
}

TEST(StorageApi, NamesCompareAsTheFormatSays) {
  EXPECT_LT(CompareNames(u"Zz", u"aaa"), 0);  // shorter first
  EXPECT_EQ(CompareNames(u"Smith", u"SMITH"), 0);
  EXPECT_EQ(CompareNames(u"Иванов", u"ИВАНОВ"), 0);
  EXPECT_EQ(CompareNames(u"ёлка", u"ЁЛКА"), 0);
  EXPECT_EQ(CompareNames(u"Ωμέγα", u"ΩΜΈΓΑ"), 0);
  EXPECT_EQ(CompareNames(u"éü", u"ÉÜ"), 0);
  EXPECT_EQ(CompareNames(u"łą", u"ŁĄ"), 0);
  EXPECT_LT(CompareNames(u"a", u"b"), 0);
  EXPECT_GT(CompareNames(u"б", u"А"), 0);

  TempDir dir;
  Storage root;
  ASSERT_EQ(CreateCompoundFile(dir / "b", kRW, &root), S_OK);
  ASSERT_EQ(WriteStream(root, u"Петров", "p", kRW), S_OK);
  Stream s;
  EXPECT_EQ(root.CreateStream(u"ПЕТРОВ", kRW, &s), STG_E_FILEALREADYEXISTS);
  root.Release();
  ASSERT_EQ(OpenCompoundFile(dir / "b", kRW, &root), S_OK);
  EXPECT_EQ(ReadStream(root, u"пЕТРОВ"), "p");
  // Renaming to a case variant of its own name is allowed.
  EXPECT_EQ(root.RenameElement(u"Петров", u"ПЕТРОВ"), S_OK);
  ElementStat st;
  Enumerator en;
  root.Enumerate(&en);
  ASSERT_EQ(en.Next(&st), S_OK);
  EXPECT_EQ(st.name, u"ПЕТРОВ");
}

TEST(StorageApi, StreamSemantics) {
  TempDir dir;
  Storage root;
  ASSERT_EQ(CreateCompoundFile(dir / "b", kRW, &root), S_OK);
  Stream s;
  ASSERT_EQ(root.CreateStream(u"rec", kRW, &s), S_OK);
  uint32_t n = 0;
  ASSERT_EQ(s.Write("abcdefgh", 8, &n), S_OK);
  EXPECT_EQ(n, 8u);
  uint64_t pos = 0;
  ASSERT_EQ(s.Seek(2, STREAM_SEEK_SET, &pos), S_OK);
  char buf[16] = {};
  ASSERT_EQ(s.Read(buf, 16, &n), S_OK);  // short read reported by the count
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(std::string(buf, 6), "cdefgh");
  EXPECT_EQ(s.Read(buf, 16, &n), S_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(s.Seek(-9, STREAM_SEEK_END, &pos), STG_E_INVALIDFUNCTION);
  ASSERT_EQ(s.Seek(-3, STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos, 5u);
  // Writing past the end fills the gap with zeros.
  ASSERT_EQ(s.Seek(10, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(s.Write("Z", 1, nullptr), S_OK);
  ElementStat st;
  ASSERT_EQ(s.Stat(&st), S_OK);
  EXPECT_EQ(st.size, 11u);
  EXPECT_EQ(st.type, STGTY_STREAM);
  EXPECT_EQ(st.creation, 0u);  // streams carry no times
  EXPECT_EQ(st.modification, 0u);
  ASSERT_EQ(s.SetSize(4), S_OK);
  ASSERT_EQ(s.SetSize(6), S_OK);  // extends with zeros
  s.Release();
  EXPECT_EQ(ReadStream(root, u"rec"), std::string("abcd\0\0", 6));

  ASSERT_EQ(root.Stat(&st), S_OK);
  EXPECT_EQ(st.name, u"Root Entry");
  Storage sub;
  ASSERT_EQ(root.CreateStorage(u"sub", kRW, &sub), S_OK);
  ASSERT_EQ(sub.Stat(&st), S_OK);
  EXPECT_EQ(st.type, STGTY_STORAGE);
  EXPECT_NE(st.creation, 0u);  // storages do
  EXPECT_NE(st.modification, 0u);
}

// Sizes across the mini stream cutoff, both ways, and persistence through reopening.
TEST(StorageApi, SizesAcrossTheMiniStreamCutoff) {
  TempDir dir;
  std::string path = dir / "b";
  const size_t sizes[] = {0, 1, 63, 64, 4095, 4096, 4097, 1 << 20};
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root), S_OK);
    for (size_t i = 0; i < std::size(sizes); ++i) {
      std::u16string name = u"s" + std::u16string(1, static_cast<char16_t>(u'0' + i));
      ASSERT_EQ(WriteStream(root, name, Pattern(sizes[i], static_cast<uint32_t>(i))), S_OK);
    }
  }
  ExpectValid(path);
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
    for (size_t i = 0; i < std::size(sizes); ++i) {
      std::u16string name = u"s" + std::u16string(1, static_cast<char16_t>(u'0' + i));
      EXPECT_EQ(ReadStream(root, name), Pattern(sizes[i], static_cast<uint32_t>(i))) << i;
    }
    // Grow a small stream past the cutoff and shrink a big one below it.
    Stream s;
    ASSERT_EQ(root.OpenStream(u"s2", kRW, &s), S_OK);
    std::string big = Pattern(9000, 77);
    ASSERT_EQ(s.Seek(0, STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(s.Write(big.data(), static_cast<uint32_t>(big.size()), nullptr), S_OK);
    s.Release();
    ASSERT_EQ(root.OpenStream(u"s7", kRW, &s), S_OK);
    ASSERT_EQ(s.SetSize(100), S_OK);
    s.Release();
    ASSERT_EQ(root.OpenStream(u"s6", kRW, &s), S_OK);
    ASSERT_EQ(s.SetSize(4096), S_OK);  // one byte off, stays in regular sectors
    s.Release();
  }
  ExpectValid(path);
  Storage root;
  ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  EXPECT_EQ(ReadStream(root, u"s2"), Pattern(63, 2) + Pattern(9000, 77));
  EXPECT_EQ(ReadStream(root, u"s7"), Pattern(1 << 20, 7).substr(0, 100));
  EXPECT_EQ(ReadStream(root, u"s6"), Pattern(4097, 6).substr(0, 4096));
}

TEST(StorageApi, DestroyRenameEnumerateAndCopy) {
  TempDir dir;
  std::string path = dir / "b";
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root), S_OK);
    // Five levels deep, a stream at each level.
    Storage levels[5];
    Storage* parent = &root;
    for (int i = 0; i < 5; ++i) {
      std::u16string name = u"L" + std::u16string(1, static_cast<char16_t>(u'0' + i));
      ASSERT_EQ(parent->CreateStorage(name, kRW, &levels[i]), S_OK);
      ASSERT_EQ(WriteStream(levels[i], u"rec", Pattern(100 + i, i)), S_OK);
      parent = &levels[i];
    }
    ASSERT_EQ(WriteStream(root, u" ", std::string(16, 'k')), S_OK);
    ASSERT_EQ(WriteStream(root, u"  ", "description"), S_OK);
    ASSERT_EQ(WriteStream(root, u"b", "b"), S_OK);
    ASSERT_EQ(WriteStream(root, u"aa", "aa"), S_OK);
  }
  ExpectValid(path);
  Storage root;
  ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  Enumerator en;
  ASSERT_EQ(root.Enumerate(&en), S_OK);
  std::vector<std::u16string> names;
  ElementStat st;
  while (en.Next(&st) == S_OK) names.push_back(st.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u" ", u"b", u"  ", u"aa", u"L0"}));

  std::string before = Dump(root);
  // CopyTo into a new file copies everything; storage times come along.
  {
    Storage copy;
    ASSERT_EQ(CreateCompoundFile(dir / "copy", kRW, &copy), S_OK);
    ASSERT_EQ(root.CopyTo(copy), S_OK);
    EXPECT_EQ(Dump(copy), before);
    Storage a, b;
    ASSERT_EQ(root.OpenStorage(u"L0", kRW, &a), S_OK);
    ASSERT_EQ(copy.OpenStorage(u"L0", kRW, &b), S_OK);
    ElementStat sa, sb;
    a.Stat(&sa);
    b.Stat(&sb);
    EXPECT_EQ(sa.creation, sb.creation);
    EXPECT_EQ(sa.modification, sb.modification);
    EXPECT_EQ(root.CopyTo(a), STG_E_ACCESSDENIED);  // into a storage below itself
  }
  ExpectValid(dir / "copy");

  EXPECT_EQ(root.RenameElement(u"b", u"aa"), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root.RenameElement(u"zz", u"yy"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root.RenameElement(u"b", u"c/"), STG_E_INVALIDNAME);
  ASSERT_EQ(root.RenameElement(u"b", u"bee"), S_OK);
  EXPECT_EQ(ReadStream(root, u"bee"), "b");
  EXPECT_EQ(root.DestroyElement(u"nothing"), STG_E_FILENOTFOUND);
  {
    Storage l0, l1;
    ASSERT_EQ(root.OpenStorage(u"L0", kRW, &l0), S_OK);
    ASSERT_EQ(l0.OpenStorage(u"L1", kRW, &l1), S_OK);
    l0.Release();
    // Something below is still open.
    EXPECT_EQ(root.DestroyElement(u"L0"), STG_E_ACCESSDENIED);
  }
  ASSERT_EQ(root.DestroyElement(u"L0"), S_OK);
  Storage gone;
  EXPECT_EQ(root.OpenStorage(u"L0", kRW, &gone), STG_E_FILENOTFOUND);
  root.Release();
  ExpectValid(path);
  ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  ASSERT_EQ(root.Enumerate(&en), S_OK);
  names.clear();
  while (en.Next(&st) == S_OK) names.push_back(st.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u" ", u"  ", u"aa", u"bee"}));
}

// An element an enumeration listed opens as it is at the time of opening: by the entry the
// enumeration found while that is still the element of the name, else by its name.
TEST(StorageApi, ListedElementsOpenAsTheyAreNow) {
  TempDir dir;
  Storage root, sub;
  ASSERT_EQ(CreateCompoundFile(dir / "b", kRW, &root), S_OK);
  for (const auto& [name, text] :
       {std::pair<std::u16string, std::string>{u"a", "A"}, {u"b", "B"}, {u"d", "D"}}) {
    ASSERT_EQ(WriteStream(root, name, text), S_OK);
  }
  ASSERT_EQ(root.CreateStorage(u"c", kRW, &sub), S_OK);
  ASSERT_EQ(WriteStream(sub, u"a", "SA"), S_OK);
  auto text_of = [](Stream& stream) {
    std::string text(16, '\0');
    uint32_t got = 0;
    stream.Read(text.data(), static_cast<uint32_t>(text.size()), &got);
    text.resize(got);
    return text;
  };
  Enumerator en;
  ASSERT_EQ(root.Enumerate(&en), S_OK);
  Stream stream;
  Storage storage;
  EXPECT_EQ(root.OpenListedStream(en, kRW, &stream), STG_E_INVALIDPARAMETER);  // before Next
  ElementStat st;
  ASSERT_EQ(en.Next(&st), S_OK);
  ASSERT_EQ(st.name, u"a");
  ASSERT_EQ(root.OpenListedStream(en, kRW, &stream), S_OK);
  EXPECT_EQ(text_of(stream), "A");
  EXPECT_EQ(root.OpenListedStream(en, kRW, &stream), STG_E_ACCESSDENIED);  // open already
  stream.Release();
  // The stream b gave way to a storage b (perhaps in the same entry).
  ASSERT_EQ(en.Next(&st), S_OK);
  ASSERT_EQ(st.name, u"b");
  ASSERT_EQ(root.DestroyElement(u"b"), S_OK);
  ASSERT_EQ(root.CreateStorage(u"b", kRW, &storage), S_OK);
  storage.Release();
  EXPECT_EQ(root.OpenListedStream(en, kRW, &stream), STG_E_FILENOTFOUND);
  EXPECT_EQ(root.OpenListedStorage(en, kRW, &storage), S_OK);
  storage.Release();
  // c was renamed.
  ASSERT_EQ(en.Next(&st), S_OK);
  ASSERT_EQ(st.name, u"c");
  sub.Release();
  ASSERT_EQ(root.RenameElement(u"c", u"x"), S_OK);
  EXPECT_EQ(root.OpenListedStorage(en, kRW, &storage), STG_E_FILENOTFOUND);
  // d was made again: the new d opens.
  ASSERT_EQ(en.Next(&st), S_OK);
  ASSERT_EQ(st.name, u"d");
  ASSERT_EQ(root.DestroyElement(u"d"), S_OK);
  ASSERT_EQ(WriteStream(root, u"d", "D2"), S_OK);
  ASSERT_EQ(root.OpenListedStream(en, kRW, &stream), S_OK);
  EXPECT_EQ(text_of(stream), "D2");
  stream.Release();
  // An enumerator of another storage names an element of this one only by its name.
  ASSERT_EQ(root.OpenStorage(u"x", kRW, &sub), S_OK);
  Enumerator inner;
  ASSERT_EQ(sub.Enumerate(&inner), S_OK);
  ASSERT_EQ(inner.Next(&st), S_OK);
  ASSERT_EQ(root.OpenListedStream(inner, kRW, &stream), S_OK);
  EXPECT_EQ(text_of(stream), "A");
  stream.Release();
  ASSERT_EQ(sub.OpenListedStream(inner, kRW, &stream), S_OK);
  EXPECT_EQ(text_of(stream), "SA");
}

// Creations, deletions and renames in random order, over several sessions: the tree stays a
// valid red-black tree in the format's order and holds exactly the expected names.
TEST(StorageApi, TreesStayValidUnderRandomChanges) {
  MemFs fs;
  const std::string path = "/mem/tree.cfb";
  {
    Storage root;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root, &fs), S_OK);
  }
  std::mt19937 rng(7);
  struct FormatOrder {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
      return CompareNames(a, b) < 0;
    }
  };
  std::set<std::u16string, FormatOrder> model;
  auto name_of = [](uint32_t v) {
    std::u16string s = (v & 1) ? u"Имя " : u"name ";
    for (char c : std::to_string(v % 500)) s.push_back(static_cast<char16_t>(c));
    return s;
  };
  for (int session = 0; session < 12; ++session) {
    Storage root, folder;
    ASSERT_EQ(OpenCompoundFile(path, kRW, &root, &fs), S_OK);
    HRESULT hr = root.OpenStorage(u"folder", kRW, &folder);
    if (hr == STG_E_FILENOTFOUND) hr = root.CreateStorage(u"folder", kRW, &folder);
    ASSERT_EQ(hr, S_OK);
    for (int op = 0; op < 150; ++op) {
      std::u16string name = name_of(rng());
      uint32_t what = rng() % 10;
      bool present = model.count(name) != 0;
      if (what < 5) {
        Stream s;
        EXPECT_EQ(folder.CreateStream(name, kRW, &s), present ? STG_E_FILEALREADYEXISTS : S_OK);
        model.insert(name);
      } else if (what < 8) {
        EXPECT_EQ(folder.DestroyElement(name), present ? S_OK : STG_E_FILENOTFOUND);
        model.erase(name);
      } else {
        std::u16string to = name_of(rng());
        HRESULT want = !present                                           ? STG_E_FILENOTFOUND
                       : (model.count(to) && CompareNames(to, name) != 0) ? STG_E_FILEALREADYEXISTS
                                                                          : S_OK;
        EXPECT_EQ(folder.RenameElement(name, to), want);
        if (want == S_OK) {
          model.erase(name);
          model.insert(to);
        }
      }
    }
    folder.Release();
    ASSERT_EQ(root.Release(), S_OK);
    std::vector<std::string> problems;
    EXPECT_EQ(CheckCompoundFile(path, &problems, &fs), S_OK) << "session " << session;
    for (auto& p : problems) ADD_FAILURE() << p;
    ASSERT_EQ(OpenCompoundFile(path, kRW, &root, &fs), S_OK);
    ASSERT_EQ(root.OpenStorage(u"folder", kRW, &folder), S_OK);
    Enumerator en;
    ASSERT_EQ(folder.Enumerate(&en), S_OK);
    std::vector<std::u16string> got, want(model.begin(), model.end());
    ElementStat st;
    while (en.Next(&st) == S_OK) got.push_back(st.name);
    EXPECT_EQ(got, want) << "session " << session;
  }
}

std::u16string Num(int i) {
  std::u16string s = u"record ";
  for (char c : std::to_string(i)) s.push_back(static_cast<char16_t>(c));
  return s;
}

TEST(StorageApi, ManyStreamsAndBigFat) {
  TempDir dir;
  std::string path = dir / "b";
  {
    Storage root, folder;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root), S_OK);
    ASSERT_EQ(root.CreateStorage(u"folder", kRW, &folder), S_OK);
    for (int i = 0; i < 1000; ++i)
      ASSERT_EQ(WriteStream(folder, Num(i), Pattern(100, i), kRW), S_OK);
    // More than 109 FAT sectors: 109 * 128 sectors of 512 bytes is about 7 MB.
    ASSERT_EQ(WriteStream(root, u"big", Pattern(7600000, 5)), S_OK);
  }
  ExpectValid(path);
  Storage root, folder;
  ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  ASSERT_EQ(root.OpenStorage(u"folder", kRW, &folder), S_OK);
  Enumerator en;
  ASSERT_EQ(folder.Enumerate(&en), S_OK);
  EXPECT_EQ(en.count(), 1000u);
  EXPECT_EQ(ReadStream(folder, Num(777)), Pattern(100, 777));
  EXPECT_EQ(ReadStream(root, u"big"), Pattern(7600000, 5));
  // Delete half, rewrite the big one smaller: still consistent.
  for (int i = 0; i < 1000; i += 2) ASSERT_EQ(folder.DestroyElement(Num(i)), S_OK);
  ASSERT_EQ(WriteStream(root, u"big", Pattern(5000, 6)), S_OK);
  folder.Release();
  ASSERT_EQ(root.Release(), S_OK);
  ExpectValid(path);
  ASSERT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  ASSERT_EQ(root.OpenStorage(u"folder", kRW, &folder), S_OK);
  ASSERT_EQ(folder.Enumerate(&en), S_OK);
  EXPECT_EQ(en.count(), 500u);
  EXPECT_EQ(ReadStream(root, u"big"), Pattern(5000, 6));
}

// A file opened for reading: its elements open whatever mode is asked, read as they are, and
// every change is refused; releasing commits nothing.
TEST(StorageApi, ReadOnlyFileOpensEveryElementAndRefusesChanges) {
  MemFs fs;
  const std::string path = "/mem/read-only.dat";
  {
    Storage root, folder;
    ASSERT_EQ(CreateCompoundFile(path, kRW, &root, &fs), S_OK);
    ASSERT_EQ(root.CreateStorage(u"Friends", kRW, &folder), S_OK);
    ASSERT_EQ(WriteStream(folder, u"John", "card"), S_OK);
    folder.Release();
    ASSERT_EQ(root.Release(), S_OK);
  }
  const std::vector<uint8_t> before = fs.Bytes(path);
  Storage root, folder;
  ASSERT_EQ(OpenCompoundFile(path, STGM_READ | STGM_SHARE_DENY_WRITE, &root, &fs), S_OK);
  ASSERT_EQ(root.OpenStorage(u"Friends", kRW, &folder), S_OK);
  EXPECT_EQ(ReadStream(folder, u"John"), "card");
  Stream card;
  ASSERT_EQ(folder.OpenStream(u"John", kRW, &card), S_OK);
  EXPECT_EQ(card.Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_EQ(card.SetSize(0), STG_E_ACCESSDENIED);
  card.Release();
  Storage made;
  EXPECT_EQ(folder.CreateStorage(u"New", kRW, &made), STG_E_ACCESSDENIED);
  EXPECT_EQ(folder.DestroyElement(u"John"), STG_E_ACCESSDENIED);
  EXPECT_EQ(folder.RenameElement(u"John", u"Jim"), STG_E_ACCESSDENIED);
  folder.Release();
  EXPECT_EQ(root.Release(), S_OK);
  EXPECT_EQ(fs.Bytes(path), before);
}

}  // namespace
}  // namespace qb::storage::testing
