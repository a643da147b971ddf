// Damaged and malicious files: a failure code or a valid reading, never a crash or a hang.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "platform/storage/check.h"
#include "platform/storage/format.h"
#include "tests/storage/test_util.h"
#include "tests/support/mem_fs.h"

namespace qb::storage::testing {
namespace {

using namespace detail;

const std::string kPath = "/mem/hostile.dat";

// A hand-made version 3 file: sector 0 holds the FAT, sector 1 the directory (root and one
// stream "s"), the rest is data.
struct RawFile {
  std::vector<uint8_t> b;
  uint32_t ss;
  explicit RawFile(uint32_t sectors, uint16_t shift = 9)
      : b((sectors + 1) * (1u << shift), 0), ss(1u << shift) {
    memcpy(b.data(), kSignature, 8);
    Put16(&b[0x18], 0x3E);
    Put16(&b[0x1A], shift == 9 ? 3 : 4);
    Put16(&b[0x1C], 0xFFFE);
    Put16(&b[0x1E], shift);
    Put16(&b[0x20], 6);
    if (shift == 12) Put32(&b[0x28], 1);
    Put32(&b[0x2C], 1);
    Put32(&b[0x30], 1);
    Put32(&b[0x38], 4096);
    Put32(&b[0x3C], kEndOfChain);
    Put32(&b[0x44], kEndOfChain);
    for (int i = 0; i < 109; ++i) Put32(&b[0x4C + 4 * i], kFreeSect);
    Put32(&b[0x4C], 0);
    for (uint32_t s = 0; s < ss / 4; ++s) fat(s, kFreeSect);
    fat(0, kFatSect);
    fat(1, kEndOfChain);
    for (uint32_t id = 0; id < ss / 128; ++id) {
      Put32(entry(id) + 0x44, kNoStream);
      Put32(entry(id) + 0x48, kNoStream);
      Put32(entry(id) + 0x4C, kNoStream);
    }
    SetEntry(0, u"Root Entry", kTypeRoot, kEndOfChain, 0);
    Put32(entry(0) + 0x4C, 1);
    SetEntry(1, u"s", kTypeStream, 2, 0);
  }
  uint8_t* sector(uint32_t s) { return &b[(s + 1) * ss]; }
  void fat(uint32_t s, uint32_t v) { Put32(sector(0) + 4 * s, v); }
  uint8_t* entry(uint32_t id) { return sector(1) + 128 * id; }
  void SetEntry(uint32_t id, std::u16string_view name, uint8_t type, uint32_t start,
                uint64_t size) {
    uint8_t* e = entry(id);
    for (size_t i = 0; i < name.size(); ++i) Put16(e + 2 * i, name[i]);
    Put16(e + 0x40, static_cast<uint16_t>((name.size() + 1) * 2));
    e[0x42] = type;
    e[0x43] = kBlack;
    Put32(e + 0x74, start);
    Put64(e + 0x78, size);
  }
  void Install(MemFs* fs) { fs->Install(kPath, b); }
  // Installs the file and opens it.
  HRESULT Open(MemFs* fs, Storage* root) {
    Install(fs);
    return OpenCompoundFile(kPath, kRW, root, fs);
  }
};

// Opens the file and reads every stream; returns the first failure.
HRESULT ReadAll(MemFs* fs, std::string* dump = nullptr) {
  Storage root;
  HRESULT hr = OpenCompoundFile(kPath, kRW, &root, fs);
  if (Failed(hr)) return hr;
  std::string d = Dump(root);
  if (dump != nullptr) *dump = d;
  if (d.find("failed") != std::string::npos) {
    Stream s;
    hr = root.OpenStream(u"s", kRW, &s);
    if (Failed(hr)) return hr;
    std::vector<char> buf(8192);
    uint32_t got = 0;
    hr = s.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got);
    return Failed(hr) ? hr : STG_E_DOCFILECORRUPT;
  }
  return S_OK;
}

// Version 4 (4096-byte sectors) reads, mini stream included, and takes changes.
TEST(StorageHostile, ReadsVersion4) {
  RawFile f(6, 12);
  Put64(f.entry(1) + 0x78, 5000);  // "s": sectors 2 and 3
  f.fat(2, 3);
  f.fat(3, kEndOfChain);
  for (uint32_t i = 0; i < 5000; ++i) f.sector(2)[i] = static_cast<uint8_t>(i * 13);
  f.SetEntry(0, u"Root Entry", kTypeRoot, 4, 128);  // mini stream in sector 4
  Put32(f.entry(0) + 0x4C, 1);
  f.fat(4, kEndOfChain);
  f.fat(5, kEndOfChain);  // mini FAT
  Put32(&f.b[0x3C], 5);
  Put32(&f.b[0x40], 1);
  for (uint32_t i = 0; i < 1024; ++i) Put32(f.sector(5) + 4 * i, kFreeSect);
  Put32(f.sector(5), 1);
  Put32(f.sector(5) + 4, kEndOfChain);
  f.SetEntry(2, u"m", kTypeStream, 0, 100);
  Put32(f.entry(1) + 0x44, 2);
  for (uint32_t i = 0; i < 100; ++i) f.sector(4)[i] = static_cast<uint8_t>(i + 1);
  MemFs fs;
  f.Install(&fs);
  std::string s_data(5000, 0), m_data(100, 0);
  for (uint32_t i = 0; i < 5000; ++i) s_data[i] = static_cast<char>(i * 13);
  for (uint32_t i = 0; i < 100; ++i) m_data[i] = static_cast<char>(i + 1);
  {
    Storage root;
    ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs), S_OK);
    EXPECT_EQ(ReadStream(root, u"s"), s_data);
    EXPECT_EQ(ReadStream(root, u"M"), m_data);
    ASSERT_EQ(WriteStream(root, u"new", Pattern(7000, 1)), S_OK);
    ASSERT_EQ(WriteStream(root, u"m", Pattern(30, 2)), S_OK);
  }
  std::vector<std::string> problems;
  EXPECT_EQ(CheckCompoundFile(kPath, &problems, &fs), S_OK);
  for (auto& p : problems) ADD_FAILURE() << p;
  Storage root;
  ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs), S_OK);
  EXPECT_EQ(ReadStream(root, u"s"), s_data);
  EXPECT_EQ(ReadStream(root, u"new"), Pattern(7000, 1));
  EXPECT_EQ(ReadStream(root, u"m"), Pattern(30, 2));
}

TEST(StorageHostile, BrokenChainsAndSizes) {
  {  // FAT cycle
    RawFile f(12);
    Put64(f.entry(1) + 0x78, 5000);
    f.fat(2, 3);
    f.fat(3, 2);
    MemFs fs;
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_DOCFILECORRUPT);
  }
  {  // chain leaving the file
    RawFile f(12);
    Put64(f.entry(1) + 0x78, 5000);
    f.fat(2, 100000);
    MemFs fs;
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_DOCFILECORRUPT);
  }
  {  // size far beyond the file: refused before anything is allocated for it
    RawFile f(12);
    Put64(f.entry(1) + 0x78, 0x7FFFFFF0);
    f.fat(2, kEndOfChain);
    MemFs fs;
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_DOCFILECORRUPT);
  }
  {  // garbage in the high half of a version 3 size is ignored
    RawFile f(12);
    Put32(f.entry(1) + 0x78, 5000);
    Put32(f.entry(1) + 0x7C, 0xDEADBEEF);
    for (uint32_t s = 2; s < 11; ++s) f.fat(s, s + 1);
    f.fat(11, kEndOfChain);
    for (uint32_t i = 0; i < 5000; ++i) f.sector(2)[i] = static_cast<uint8_t>(i * 7);
    MemFs fs;
    f.Install(&fs);
    std::string dump;
    EXPECT_EQ(ReadAll(&fs, &dump), S_OK);
    EXPECT_EQ(dump.substr(0, 10), "S /s 5000 ");
  }
  {  // mini FAT cycle
    RawFile f(6);
    f.SetEntry(0, u"Root Entry", kTypeRoot, 2, 512);  // mini stream: one sector
    Put32(f.entry(0) + 0x4C, 1);
    f.fat(2, kEndOfChain);
    f.fat(3, kEndOfChain);
    Put32(&f.b[0x3C], 3);
    Put32(&f.b[0x40], 1);
    for (uint32_t i = 0; i < 128; ++i) Put32(f.sector(3) + 4 * i, kFreeSect);
    Put32(f.sector(3), 1);
    Put32(f.sector(3) + 4, 0);
    f.SetEntry(1, u"s", kTypeStream, 0, 200);
    MemFs fs;
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_DOCFILECORRUPT);
  }
  {  // FAT count beyond the file, and a bad sector shift
    RawFile f(4);
    Put32(&f.b[0x2C], 100000);
    MemFs fs;
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_DOCFILECORRUPT);
    Put32(&f.b[0x2C], 1);
    Put16(&f.b[0x1E], 20);
    f.Install(&fs);
    EXPECT_EQ(ReadAll(&fs), STG_E_INVALIDHEADER);
  }
}

TEST(StorageHostile, DirectoryLoopsAndSharedSubtrees) {
  {  // a node that is its own left sibling
    RawFile f(4);
    Put32(f.entry(1) + 0x44, 1);
    MemFs fs;
    Storage root;
    ASSERT_EQ(f.Open(&fs, &root), S_OK);
    Enumerator en;
    EXPECT_EQ(root.Enumerate(&en), STG_E_DOCFILECORRUPT);
    Stream s;
    EXPECT_EQ(root.OpenStream(u"a", kRW, &s), STG_E_DOCFILECORRUPT);    // walks left forever
    EXPECT_EQ(root.CreateStream(u"b", kRW, &s), STG_E_DOCFILECORRUPT);  // its search loops too
  }
  {  // two siblings pointing at the same subtree; a storage that holds itself
    RawFile f(4);
    Put32(f.entry(1) + 0x44, 2);
    Put32(f.entry(1) + 0x48, 2);
    f.SetEntry(2, u"dd", kTypeStorage, 0, 0);
    Put32(f.entry(2) + 0x4C, 2);
    MemFs fs;
    Storage root;
    ASSERT_EQ(f.Open(&fs, &root), S_OK);
    Enumerator en;
    EXPECT_EQ(root.Enumerate(&en), STG_E_DOCFILECORRUPT);
    Put32(f.entry(1) + 0x44, kNoStream);
    root.Release();
    ASSERT_EQ(f.Open(&fs, &root), S_OK);
    Storage dd;
    ASSERT_EQ(root.OpenStorage(u"dd", kRW, &dd), S_OK);
    EXPECT_EQ(dd.Enumerate(&en), STG_E_DOCFILECORRUPT);
    dd.Release();
    EXPECT_EQ(root.DestroyElement(u"dd"), STG_E_DOCFILECORRUPT);
  }
}

// Storages on many levels that all share the level below them: each entry is listed under one
// storage only, so a walk through everything stays linear instead of doubling with each level.
TEST(StorageHostile, SubtreeSharedOnEveryLevelIsWalkedOnce) {
  constexpr uint32_t kLevels = 15;
  RawFile f(4, 12);
  for (uint32_t k = 0; k < kLevels; ++k) {
    const uint32_t a = 2 * k + 1, b = 2 * k + 2;
    f.SetEntry(a, u"A", kTypeStorage, 0, 0);
    f.SetEntry(b, u"B", kTypeStorage, 0, 0);
    Put32(f.entry(a) + 0x48, b);
    if (k + 1 < kLevels) {
      Put32(f.entry(a) + 0x4C, a + 2);
      Put32(f.entry(b) + 0x4C, a + 2);
    }
  }
  MemFs fs;
  Storage root;
  ASSERT_EQ(f.Open(&fs, &root), S_OK);
  int opened = 0;
  std::function<void(Storage&, int)> walk = [&](Storage& st, int depth) {
    Enumerator en;
    if (depth > 64 || Failed(st.Enumerate(&en))) return;
    ElementStat e;
    while (en.Next(&e) == S_OK) {
      Storage sub;
      if (Failed(st.OpenStorage(e.name, kRW, &sub))) continue;
      ++opened;
      walk(sub, depth + 1);
    }
  };
  walk(root, 0);
  EXPECT_LE(opened, static_cast<int>(2 * kLevels));
  EXPECT_GE(opened, static_cast<int>(kLevels));  // the first path down is still readable
}

// Destroying an element frees only what belongs to it alone: a storage whose children lead back
// to a storage it is in, or into another storage's subtree, is refused and the book stays whole.
TEST(StorageHostile, DestroyNeverFreesEntriesReachedElsewhere) {
  // Root holds A and B; A holds Sub. Sub's children are then pointed at A (a loop) or at B (a
  // subtree shared with the root).
  auto make = [](uint32_t sub_child) {
    RawFile f(4);
    f.SetEntry(1, u"A", kTypeStorage, 0, 0);
    f.SetEntry(2, u"Sub", kTypeStorage, 0, 0);
    f.SetEntry(3, u"B", kTypeStorage, 0, 0);
    Put32(f.entry(0) + 0x4C, 1);
    Put32(f.entry(1) + 0x48, 3);
    Put32(f.entry(1) + 0x4C, 2);
    Put32(f.entry(2) + 0x4C, sub_child);
    return f;
  };
  for (uint32_t target : {1u, 3u}) {
    SCOPED_TRACE(target == 1 ? "loop back to A" : "subtree shared with the root");
    RawFile f = make(target);
    MemFs fs;
    Storage root;
    ASSERT_EQ(f.Open(&fs, &root), S_OK);
    const std::vector<uint8_t> before = fs.Bytes(kPath);
    {
      Storage a;
      ASSERT_EQ(root.OpenStorage(u"A", kRW, &a), S_OK);
      EXPECT_EQ(a.DestroyElement(u"Sub"), STG_E_DOCFILECORRUPT);
    }
    EXPECT_EQ(root.DestroyElement(u"A"), STG_E_DOCFILECORRUPT);
    ASSERT_EQ(root.Release(), S_OK);
    EXPECT_EQ(fs.Bytes(kPath), before);  // nothing was committed
    ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs), S_OK);
    Enumerator en;
    ASSERT_EQ(root.Enumerate(&en), S_OK);
    EXPECT_EQ(en.count(), 2u);
  }
  {  // a sound subtree is still destroyed
    RawFile f = make(kNoStream);
    MemFs fs;
    Storage root;
    ASSERT_EQ(f.Open(&fs, &root), S_OK);
    EXPECT_EQ(root.DestroyElement(u"A"), S_OK);
    ASSERT_EQ(root.Release(), S_OK);
    ASSERT_EQ(OpenCompoundFile(kPath, kRW, &root, &fs), S_OK);
    Enumerator en;
    ASSERT_EQ(root.Enumerate(&en), S_OK);
    ElementStat st;
    ASSERT_EQ(en.Next(&st), S_OK);
    EXPECT_EQ(st.name, u"B");
    EXPECT_EQ(en.Next(&st), S_FALSE);
  }
}

// Random damage to a real file: every outcome must be a code or a reading, and writing to the
// damaged file must not crash either.
TEST(StorageHostile, RandomDamage) {
  MemFs fs;
  {
    Storage root, folder;
    ASSERT_EQ(CreateCompoundFile(kPath, kRW, &root, &fs), S_OK);
    ASSERT_EQ(root.CreateStorage(u"folder", kRW, &folder), S_OK);
    for (int i = 0; i < 12; ++i)
      ASSERT_EQ(WriteStream(folder, u"r" + std::u16string(1, static_cast<char16_t>(u'a' + i)),
                            Pattern(50 + 40 * i, i)),
                S_OK);
    ASSERT_EQ(WriteStream(root, u"big", Pattern(6000, 3)), S_OK);
  }
  const std::vector<uint8_t> good = fs.Bytes(kPath);
  std::mt19937 rng(12345);
  for (int round = 0; round < 700; ++round) {
    std::vector<uint8_t> bad = good;
    int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      size_t at = rng() % bad.size();
      // Bias towards the header, FAT and directory, where damage matters most.
      if (rng() % 2) at = rng() % std::min<size_t>(bad.size(), 2048);
      bad[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
    }
    fs.Install(kPath, bad);
    std::string dump;
    ReadAll(&fs, &dump);
    Storage root;
    if (Succeeded(OpenCompoundFile(kPath, kRW, &root, &fs))) {
      WriteStream(root, u"new", Pattern(200, round));
      root.DestroyElement(u"big");
      Storage folder;
      if (Succeeded(root.OpenStorage(u"folder", kRW, &folder))) {
        WriteStream(folder, u"rc", Pattern(5000, round));
        folder.RenameElement(u"ra", u"zz");
      }
      folder.Release();
      root.Release();
    }
  }
}

}  // namespace
}  // namespace qb::storage::testing
