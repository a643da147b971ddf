// Files written here read identically in other implementations (python3-olefile, libgsf's gsf,
// 7-Zip), and files written by gsf read here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/codepage/codepage.h"
#include "platform/storage/check.h"
#include "tests/storage/test_util.h"

namespace qb::storage::testing {
namespace {

bool HaveProgram(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

std::string Shell(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int rc = pclose(p);
  if (status != nullptr) *status = rc;
  return out;
}

std::string Utf8(const std::u16string& s) {
  return codepage::Utf16ToUtf8(s).value_or("?");
}

// path -> content for every stream; storages map to "<dir>".
using Tree = std::map<std::string, std::string>;

void Collect(Storage& st, const std::string& prefix, Tree* out) {
  Enumerator en;
  ASSERT_EQ(st.Enumerate(&en), S_OK);
  ElementStat e;
  while (en.Next(&e) == S_OK) {
    std::string path = prefix + Utf8(e.name);
    if (e.type == STGTY_STORAGE) {
      (*out)[path] = "<dir>";
      Storage sub;
      ASSERT_EQ(st.OpenStorage(e.name, kRW, &sub), S_OK);
      Collect(sub, path + "/", out);
    } else {
      (*out)[path] = ReadStream(st, e.name);
    }
  }
}

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h.push_back(d[c >> 4]);
    h.push_back(d[c & 15]);
  }
  return h;
}

// The interop book: everything the other readers must agree on.
Tree WriteInteropBook(const std::string& path) {
  Tree t;
  Storage root;
  EXPECT_EQ(CreateCompoundFile(path, kRW, &root), S_OK);
  {
    Storage many;
    EXPECT_EQ(root.CreateStorage(u"many", kRW, &many), S_OK);
    for (int i = 0; i < 1000; ++i) {
      std::u16string name = u"rec";
      for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
      EXPECT_EQ(WriteStream(many, name, Pattern(i % 7 == 0 ? 0 : 90 + i % 20, i), kRW), S_OK);
    }
  }
  Storage cur[5];
  Storage* parent = &root;
  for (int i = 0; i < 5; ++i) {
    std::u16string name = u"deep" + std::u16string(1, static_cast<char16_t>(u'0' + i));
    EXPECT_EQ(parent->CreateStorage(name, kRW, &cur[i]), S_OK);
    parent = &cur[i];
  }
  EXPECT_EQ(WriteStream(cur[4], u"bottom", "at the bottom"), S_OK);
  const size_t sizes[] = {0, 1, 63, 64, 4095, 4096, 4097, 1 << 20};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::u16string name = u"size" + std::u16string(1, static_cast<char16_t>(u'0' + i));
    EXPECT_EQ(WriteStream(root, name, Pattern(sizes[i], static_cast<uint32_t>(i + 100))), S_OK);
  }
  EXPECT_EQ(WriteStream(root, u"Иванов Пётр", "кириллица"), S_OK);
  EXPECT_EQ(WriteStream(root, u"Case", "first"), S_OK);
  Stream clash;
  EXPECT_EQ(root.CreateStream(u"CASE", kRW, &clash), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(WriteStream(root, u"bigfat", Pattern(7400000, 42)), S_OK);  // > 109 FAT sectors
  for (auto& s : cur) s.Release();
  EXPECT_EQ(root.Release(), S_OK);
  EXPECT_EQ(OpenCompoundFile(path, kRW, &root), S_OK);
  Collect(root, "", &t);
  return t;
}

class StorageInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    path_ = *dir_ / "interop.cfb";
    tree_ = new Tree(WriteInteropBook(path_));
  }
  static void TearDownTestSuite() {
    delete tree_;
    delete dir_;
  }
  static TempDir* dir_;
  static std::string path_;
  static Tree* tree_;
};
TempDir* StorageInterop::dir_ = nullptr;
std::string StorageInterop::path_;
Tree* StorageInterop::tree_ = nullptr;

TEST_F(StorageInterop, OurCheckerAndLayout) {
  std::vector<std::string> problems;
  EXPECT_EQ(CheckCompoundFile(path_, &problems), S_OK);
  for (auto& p : problems) ADD_FAILURE() << p;
  EXPECT_EQ(tree_->count("many/rec999"), 1u);
  EXPECT_EQ(tree_->at("deep0/deep1/deep2/deep3/deep4/bottom"), "at the bottom");
  EXPECT_EQ(tree_->at("Case"), "first");
}

TEST_F(StorageInterop, Olefile) {
  if (Shell("/usr/bin/python3 -c 'import olefile' 2>&1") != "")
    GTEST_SKIP() << "python3-olefile missing";
  std::string script = *dir_ / "list.py";
  std::ofstream(script) << R"(import olefile, sys
o = olefile.OleFileIO(sys.argv[1])
out = []
for e in o.listdir(streams=True, storages=True):
    p = '/'.join(e)
    if o.get_type(e) == olefile.STGTY_STORAGE:
        out.append(p + '\t<dir>')
    else:
        out.append(p + '\t' + o.openstream(e).read().hex())
sys.stdout.buffer.write(('\n'.join(sorted(out)) + '\n').encode('utf-8'))
)";
  int status = 0;
  std::string got = Shell("/usr/bin/python3 " + script + " " + path_, &status);
  ASSERT_EQ(status, 0) << got;
  std::vector<std::string> want;
  for (auto& [p, c] : *tree_) want.push_back(p + "\t" + (c == "<dir>" ? c : Hex(c)));
  std::sort(want.begin(), want.end());
  std::string expected;
  for (auto& w : want) expected += w + "\n";
  EXPECT_TRUE(got == expected) << "olefile disagrees (" << got.size() << " vs " << expected.size()
                               << " bytes)";
}

TEST_F(StorageInterop, Gsf) {
  if (!HaveProgram("/usr/bin/gsf")) GTEST_SKIP() << "gsf missing";
  int status = 0;
  std::string listing = Shell("/usr/bin/gsf list " + path_, &status);
  ASSERT_EQ(status, 0);
  size_t streams = 0;
  for (auto& [p, c] : *tree_) {
    if (c == "<dir>") continue;
    ++streams;
    EXPECT_NE(listing.find(" " + p + "\n"), std::string::npos) << p;
  }
  for (std::string p : {"size6", "size7", "Иванов Пётр", "many/rec123",
                        "deep0/deep1/deep2/deep3/deep4/bottom", "bigfat"}) {
    std::string got = Shell("/usr/bin/gsf cat " + path_ + " '" + p + "'", &status);
    EXPECT_EQ(status, 0) << p;
    EXPECT_TRUE(got == tree_->at(p)) << p;
  }
  EXPECT_GT(streams, 1000u);
}

TEST_F(StorageInterop, SevenZip) {
  if (!HaveProgram("/usr/bin/7z")) GTEST_SKIP() << "7z missing";
  int status = 0;
  std::string out = *dir_ / "x";
  Shell("/usr/bin/7z x -y -o" + out + " " + path_ + " >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0);
  for (auto& [p, c] : *tree_) {
    std::string file = out + "/" + p;
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0) << p;
    if (c == "<dir>") {
      EXPECT_TRUE(S_ISDIR(st.st_mode)) << p;
      continue;
    }
    std::ifstream in(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(data == c) << p;
  }
}

TEST(StorageInteropGsf, FilesWrittenByGsfOpenHere) {
  if (!HaveProgram("/usr/bin/gsf")) GTEST_SKIP() << "gsf missing";
  TempDir dir;
  std::string src = dir / "src";
  mkdir(src.c_str(), 0755);
  mkdir((src + "/Папка").c_str(), 0755);
  std::ofstream(src + "/small") << "small content";
  std::string big = Pattern(10000, 3);
  std::ofstream(src + "/Папка/big", std::ios::binary) << big;
  std::ofstream(src + "/Папка/tiny") << "t";
  int status = 0;
  Shell("cd " + src + " && /usr/bin/gsf createole " + (dir / "g.ole") +
            " small Папка >/dev/null 2>&1",
        &status);
  ASSERT_EQ(status, 0);
  Storage root, folder;
  ASSERT_EQ(OpenCompoundFile(dir / "g.ole", kRW, &root), S_OK);
  EXPECT_EQ(ReadStream(root, u"small"), "small content");
  ASSERT_EQ(root.OpenStorage(u"ПАПКА", kRW, &folder), S_OK);
  EXPECT_EQ(ReadStream(folder, u"big"), big);
  EXPECT_EQ(ReadStream(folder, u"tiny"), "t");
  // And we can change it (its trees are not red-black) and keep it readable by gsf.
  ASSERT_EQ(WriteStream(folder, u"added", "new"), S_OK);
  ASSERT_EQ(folder.DestroyElement(u"tiny"), S_OK);
  folder.Release();
  ASSERT_EQ(root.RenameElement(u"small", u"renamed"), S_OK);
  ASSERT_EQ(root.Release(), S_OK);
  std::string got = Shell("/usr/bin/gsf cat " + (dir / "g.ole") + " Папка/added", &status);
  EXPECT_EQ(got, "new");
  EXPECT_EQ(Shell("/usr/bin/gsf cat " + (dir / "g.ole") + " Папка/big", &status), big);
  EXPECT_EQ(Shell("/usr/bin/gsf cat " + (dir / "g.ole") + " renamed", &status), "small content");
  std::string listing = Shell("/usr/bin/gsf list " + (dir / "g.ole"), &status);
  EXPECT_EQ(listing.find("tiny"), std::string::npos) << listing;
}

}  // namespace
}  // namespace qb::storage::testing
