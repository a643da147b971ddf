#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/registry/reg_format.h"
#include "registry_test_util.h"

namespace qb::registry {
namespace {

HKEY Create(const char* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, &key, disposition), ERROR_SUCCESS);
  return key;
}

TEST_F(RegistryTest, CreatesKeysOnceAndOpensThemWithoutRegardToCase) {
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far", &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);

  DWORD disposition = 0;
  HKEY key = Create("Software\\Far\\Plugins\\Quillbox", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  key = Create("\\software\\FAR\\plugins\\QUILLBOX\\", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);

  // The keys above were created too, and a handle opens keys relative to itself.
  HKEY far = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\far", &far), ERROR_SUCCESS);
  HKEY quillbox = nullptr;
  EXPECT_EQ(RegOpenKeyExA(far, "Plugins\\Quillbox", &quillbox), ERROR_SUCCESS);
  RegCloseKey(quillbox);
  RegCloseKey(far);

  // The file keeps the case the keys were created with.
  EXPECT_NE(FileText().find("[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\r\n"),
            std::string::npos);
}

TEST_F(RegistryTest, QueriesReportTypeAndSizeLikeWindows) {
  HKEY key = Create("Software\\Test");
  ASSERT_EQ(SetString(key, "Name", "Quill"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "MaxLines", 10), ERROR_SUCCESS);
  const uint8_t blob[] = {1, 2, 0, 255};
  ASSERT_EQ(SetBinary(key, "Blob", blob, sizeof blob), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  // Size only: strings count their terminating zero.
  ASSERT_EQ(RegQueryValueExA(key, "name", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
  char text[6];
  size = 5;
  EXPECT_EQ(RegQueryValueExA(key, "NAME", &type, reinterpret_cast<uint8_t*>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "Name", &type, reinterpret_cast<uint8_t*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "Quill");

  uint8_t dword[4];
  size = sizeof dword;
  ASSERT_EQ(RegQueryValueExA(key, "maxlines", &type, dword, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(QueryDword(key, "MaxLines"), 10u);

  uint8_t out[8];
  size = sizeof out;
  ASSERT_EQ(RegQueryValueExA(key, "Blob", &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(std::memcmp(out, blob, 4), 0);

  EXPECT_EQ(RegQueryValueExA(key, "Absent", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // A value of another type is not taken for the type asked for.
  EXPECT_FALSE(QueryDword(key, "Name"));
  EXPECT_FALSE(QueryString(key, "MaxLines"));
  RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesAreReplacedDeletedAndKeepTheirFirstCase) {
  HKEY key = Create("Software\\Test");
  ASSERT_EQ(SetDword(key, "Mode", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "MODE", "now a text"), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "mode"), "now a text");
  EXPECT_NE(FileText().find("\"Mode\"=\"now a text\""), std::string::npos);
  ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, ""), "default");
  // A string is stored up to its first zero byte.
  ASSERT_EQ(RegSetValueExA(key, "Cut", REG_SZ, "ab\0cd", 5), ERROR_SUCCESS);
  EXPECT_EQ(QueryString(key, "Cut"), "ab");

  EXPECT_EQ(RegDeleteValueA(key, "mode"), ERROR_SUCCESS);
  EXPECT_FALSE(QueryString(key, "Mode"));
  EXPECT_EQ(RegDeleteValueA(key, "mode"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(key, "Bad\nName", REG_SZ, "x", 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "Null", REG_BINARY, nullptr, 3), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubKeysByIndexAndDeletesWholeTrees) {
  HKEY parent = Create("Software\\Far\\Plugins\\Quillbox");
  for (const char* name : {"Phone", "BirthDay", "E-Mail", "pager"}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(parent, name, &child), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(child, "X", 1), ERROR_SUCCESS);
    RegCloseKey(child);
  }
  HKEY deep = Create("Software\\Far\\Plugins\\Quillbox\\Phone\\Deeper\\Deepest");
  RegCloseKey(deep);

  std::vector<std::string> names;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LSTATUS status = RegEnumKeyExA(parent, i, name, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(size, std::strlen(name));
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"BirthDay", "E-Mail", "pager", "Phone"}));
  DWORD small = 5;  // "BirthDay" needs 9 with its terminator
  EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &small), ERROR_MORE_DATA);
  EXPECT_EQ(small, 9u);

  EXPECT_EQ(RegDeleteKeyA(parent, "PHONE"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(parent, "Phone\\Deeper", &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(parent, "Phone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_INVALID_PARAMETER);
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(parent, 3, name, &size), ERROR_NO_MORE_ITEMS);

  // A handle to a key deleted meanwhile fails instead of writing into nowhere.
  HKEY mail = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, "E-Mail", &mail), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox\\E-Mail"),
            ERROR_SUCCESS);
  EXPECT_EQ(SetDword(mail, "X", 2), ERROR_KEY_DELETED);
  RegCloseKey(mail);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, HandlesAreCheckedPlainRecords) {
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(nullptr, "x", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  // Another library's copy of this code builds the same record; this copy accepts it.
  HKEY key = Create("Software\\Shared");
  auto* foreign = static_cast<RegKeyHandle*>(std::malloc(sizeof(RegKeyHandle)));
  foreign->magic = kRegKeyMagic;
  foreign->path = strdup("software\\shared");
  EXPECT_EQ(SetDword(foreign, "N", 5), ERROR_SUCCESS);
  EXPECT_EQ(QueryDword(key, "n"), 5u);
  EXPECT_EQ(RegCloseKey(foreign), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, WritesAFileTheRegistryEditorImports) {
  HKEY key = Create("Software\\Far\\Plugins\\Quillbox");
  SetString(key, "BookFile", "C:\\Books\\My \"best\" book.dat");
  SetDword(key, "MaxLines", 10);
  const uint8_t blob[] = {0x01, 0x02};
  SetBinary(key, "Key", blob, sizeof blob);
  SetString(key, "", "default");
  SetString(key, "Lines", "one\r\ntwo");
  RegCloseKey(key);
  EXPECT_EQ(FileText(),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Far]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Far\\Plugins]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\r\n"
            "\"BookFile\"=\"C:\\\\Books\\\\My \\\"best\\\" book.dat\"\r\n"
            "\"MaxLines\"=dword:0000000a\r\n"
            "\"Key\"=hex:01,02\r\n"
            "@=\"default\"\r\n"
            "\"Lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\r\n"
            "\r\n");
  // And reads back what it wrote.
  HKEY again = Create("Software\\Far\\Plugins\\Quillbox");
  EXPECT_EQ(QueryString(again, "BookFile"), "C:\\Books\\My \"best\" book.dat");
  EXPECT_EQ(QueryString(again, "Lines"), "one\r\ntwo");
  RegCloseKey(again);
}

TEST(RegFormat, ReadsWhatWindowsWritesLeniently) {
  auto tree = ParseRegFile(
      "\xEF\xBB\xBFREGEDIT4\n"
      "; exported settings\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\A]\n"
      "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
      "  16,17\n"
      "\"Path\"=\"C:\\\\dir\\\\\"\n"
      "\"Expand\"=hex(2):25,00\n"
      "\"Num\"=DWORD:FFFFFFFF\n"
      "\"Gone\"=\"x\"\n"
      "\"Gone\"=-\n"
      "[-HKEY_CURRENT_USER\\Software\\B]\n"
      "[HKEY_CURRENT_USER\\Software\\B\\C]\r\n"
      "@=\"d\"\r\n");
  ASSERT_TRUE(tree);
  const RegKey* a = tree->Find("software\\a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->FindValue("Long")->data.size(), 24u);
  EXPECT_EQ(a->FindValue("Long")->data[23], 0x17);
  const RegValue* path = a->FindValue("path");
  EXPECT_EQ(std::string(path->data.begin(), path->data.end()), "C:\\dir\\");
  EXPECT_EQ(a->FindValue("Expand")->type, 2u);
  EXPECT_EQ(a->FindValue("Num")->data, (std::vector<uint8_t>{0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(a->FindValue("Gone"), nullptr);
  ASSERT_NE(tree->Find("Software\\B\\C"), nullptr);
  EXPECT_NE(tree->Find("Software\\B"), nullptr);
  // Serializing and reading again gives the same tree.
  auto again = ParseRegFile(SerializeRegFile(*tree));
  ASSERT_TRUE(again);
  EXPECT_TRUE(*again == *tree);
  EXPECT_TRUE(ParseRegFile(""));
}

// Whatever a file says, the tree read from it is what a rewrite of it reads back.
TEST(RegFormat, ReadsTheSameTreeBackAfterWritingIt) {
  using namespace std::string_literals;
  for (const std::string& text : {
           // A string with zero bytes inside its quotes ends at the first one, as a string set
           // through the API or written as hex(1) bytes does.
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"S\"=\"ab\0\0c\"\r\n"s,
       }) {
    auto tree = ParseRegFile(text);
    ASSERT_TRUE(tree);
    auto again = ParseRegFile(SerializeRegFile(*tree));
    ASSERT_TRUE(again);
    EXPECT_TRUE(*again == *tree) << SerializeRegFile(*tree);
  }
  auto tree = ParseRegFile("REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"S\"=\"ab\0c\"\r\n"s);
  ASSERT_TRUE(tree);
  const RegValue* s = tree->Find("A")->FindValue("S");
  EXPECT_EQ(std::string(s->data.begin(), s->data.end()), "ab");
}

// Values set, removed and set again, in one key spread over several sections, apply in order.
TEST(RegFormat, AppliesValueChangesInFileOrder) {
  auto tree = ParseRegFile(
      "REGEDIT4\r\n"
      "[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"1\"\r\n\"B\"=\"2\"\r\n\"c\"=\"3\"\r\n"
      "\"b\"=-\r\n\"A\"=dword:00000007\r\n"
      "[HKEY_CURRENT_USER\\Other]\r\n\"x\"=\"y\"\r\n"
      "[-HKEY_CURRENT_USER\\Other]\r\n"
      "[HKEY_CURRENT_USER\\k]\r\n\"b\"=\"again\"\r\n\"c\"=-\r\n\"a\"=\"last\"\r\n"
      "[HKEY_CURRENT_USER\\Other]\r\n");
  ASSERT_TRUE(tree);
  const RegKey* k = tree->Find("K");
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(k->values.size(), 2u);
  EXPECT_EQ(k->values[0].name, "a");
  EXPECT_EQ(std::string(k->values[0].data.begin(), k->values[0].data.end()), "last");
  EXPECT_EQ(k->values[1].name, "b");
  EXPECT_EQ(std::string(k->values[1].data.begin(), k->values[1].data.end()), "again");
  ASSERT_NE(tree->Find("Other"), nullptr);
  EXPECT_TRUE(tree->Find("Other")->values.empty());
}

// A file with a great many values in one key reads in time proportional to its size (reading
// it used to compare every value with every other and took minutes).
TEST(RegFormat, ReadsAKeyWithManyValues) {
  constexpr int kCount = 200000;
  std::string text = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Big]\r\n";
  for (int i = 0; i < kCount; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\r\n";
  text += "\"V0\"=dword:00000002\r\n";
  auto tree = ParseRegFile(text);
  ASSERT_TRUE(tree);
  const RegKey* big = tree->Find("Big");
  ASSERT_NE(big, nullptr);
  ASSERT_EQ(big->values.size(), static_cast<size_t>(kCount));
  EXPECT_EQ(big->values[0].data[0], 2);
  EXPECT_EQ(big->values.back().name, "v" + std::to_string(kCount - 1));
}

TEST(RegFormat, RejectsWhatItDoesNotUnderstand) {
  for (const char* text : {
           "garbage",
           "REGEDIT5\r\n",
           "REGEDIT4\r\n\"Orphan\"=\"value before any key\"\r\n",
           "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"Open\"=\"no closing quote\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=dword:123456789\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex:1,2\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex:01,02,\\\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=qword:1\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"\r\n",
           "REGEDIT4\r\n[HKEY_CURRENT_USERS\\A]\r\n",
       }) {
    EXPECT_FALSE(ParseRegFile(text)) << text;
  }
}

TEST(RegFormat, AnyCutOrCorruptedFileParsesOrIsRejectedWithoutHarm) {
  RegTree tree;
  RegKey& key = tree.Create("Software\\Far\\Plugins\\Quillbox");
  key.values.push_back(RegValue{"Text", 1, {'a', '\\', '"', 'b'}});
  key.values.push_back(RegValue{"Number", 4, {1, 2, 3, 4}});
  key.values.push_back(RegValue{"Bytes", 3, std::vector<uint8_t>(60, 0xAB)});
  key.values.push_back(RegValue{"", 1, {'d'}});
  const std::string text = SerializeRegFile(tree);
  for (std::size_t n = 0; n <= text.size(); ++n) {
    auto cut = ParseRegFile(std::string_view(text).substr(0, n));
    if (cut) {
      // What a cut file yields is never more than the whole file had.
      const RegKey* k = cut->Find("Software\\Far\\Plugins\\Quillbox");
      if (k) {
        EXPECT_LE(k->values.size(), 4u);
      }
    }
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (char c : {'\0', '"', '\\', '[', ']', '=', ',', '\n', '\xff'}) {
      std::string bad = text;
      bad[i] = c;
      (void)ParseRegFile(bad);  // must not crash or read out of bounds
    }
  }
}

TEST_F(RegistryTest, AFileLinkedIntoTheDirectoryStaysALink) {
  std::string real = dir_ + "/elsewhere.reg";
  std::ofstream(real, std::ios::binary) << "REGEDIT4\r\n";
  ASSERT_EQ(symlink(real.c_str(), (dir_ + "/quillbox.reg").c_str()), 0);
  HKEY key = Create("Software\\Linked");
  EXPECT_EQ(SetDword(key, "N", 1), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/quillbox.reg"));
  std::ifstream in(real, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"N\"=dword:00000001"), std::string::npos);
}

// Links planted under the names of the temporary and the lock file are never written through:
// the file a link points at keeps its content, a dangling link's target is never created.
TEST_F(RegistryTest, LinksUnderTheTemporaryAndLockNamesAreNotFollowed) {
  const std::string victim = dir_ + "/victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep me";
  const std::string made = dir_ + "/made-by-lock";
  ASSERT_EQ(symlink(victim.c_str(), (dir_ + "/quillbox.reg.tmp").c_str()), 0);
  ASSERT_EQ(symlink(made.c_str(), (dir_ + "/quillbox.reg.lock").c_str()), 0);
  HKEY key = Create("Software\\Planted");
  EXPECT_EQ(SetDword(key, "N", 7), ERROR_SUCCESS);
  RegCloseKey(key);
  std::ifstream in(victim, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "keep me");
  EXPECT_FALSE(std::filesystem::exists(made));
  EXPECT_NE(FileText().find("\"N\"=dword:00000007"), std::string::npos);
  EXPECT_FALSE(std::filesystem::is_symlink(dir_ + "/quillbox.reg"));
}

TEST_F(RegistryTest, DamagedFileReadsAsDefaultsAndIsKeptAside) {
  const std::string damaged = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"N\"=dwo";
  WriteFileText(damaged);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", &key), ERROR_FILE_NOT_FOUND);
  // Opening with create-if-missing writes, so the damaged file goes aside first.
  key = Create("Software\\Test");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(SetDword(key, "N", 3), ERROR_SUCCESS);
  EXPECT_EQ(QueryDword(key, "N"), 3u);
  RegCloseKey(key);

  int aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    std::string name = entry.path().filename();
    if (name.rfind("quillbox.reg.damaged-", 0) == 0) {
      ++aside;
      std::ifstream in(entry.path(), std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(text, damaged);
    }
  }
  EXPECT_EQ(aside, 1);

  // A second damaged file does not replace the first one kept aside.
  WriteFileText("\x01\x02\x03");
  key = Create("Software\\Again");
  RegCloseKey(key);
  aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    if (entry.path().filename().string().rfind("quillbox.reg.damaged-", 0) == 0) ++aside;
  }
  EXPECT_EQ(aside, 2);
}

TEST_F(RegistryTest, DirectoryComesFromTheEnvironment) {
  EXPECT_EQ(ConfigDirectory(), dir_);
  EXPECT_EQ(FilePath(), dir_ + "/quillbox.reg");
  SetConfigDirectory("");
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  std::string xdg = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
  setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
  EXPECT_EQ(ConfigDirectory(), "/xdg/config/quillbox");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ConfigDirectory(), "/home/someone/.config/quillbox");
  setenv("HOME", home.c_str(), 1);
  if (xdg.empty()) {
    unsetenv("XDG_CONFIG_HOME");
  } else {
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  }
  // A directory that does not exist yet is created with the first change.
  SetConfigDirectory(dir_ + "/new/deeper");
  HKEY key = Create("Software");
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/new/deeper/quillbox.reg"));
}

}  // namespace
}  // namespace qb::registry
