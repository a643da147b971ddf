// The registry services the field types keep their settings and lists with.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "sdk/services.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

class RegistryServiceTest : public ServiceTest {
 protected:
  RegistryServiceTest() : key(OpenRegKey("Software\\Far\\Plugins", "Sample")) {}
  ~RegistryServiceTest() override { CloseRegKey(key); }

  std::string Text(const char* name, const char* def, size_t capacity = 64) {
    std::vector<char> out(capacity, 'x');
    size_t n = RegReadText(key, name, def, out.data(), out.size());
    EXPECT_EQ(out[n], '\0');
    return std::string(out.data(), n);
  }
  std::vector<std::string> SubKeys(HKEY parent) {
    std::vector<std::string> names;
    char name[256];
    for (uint32_t i = 0; RegEnumSubKey(parent, i, name, sizeof name) >= 0; ++i)
      names.push_back(name);
    return names;
  }

  HKEY key;
};

TEST_F(RegistryServiceTest, NumbersAndTextsReadBackAsWritten) {
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(RegWriteNumber(key, "HourShift", -24), 1);
  EXPECT_EQ(RegWriteNumber(key, "ID", INT32_MIN), 1);
  EXPECT_EQ(RegWriteText(key, "Terminal", "C:\\term.exe <p>"), 1);
  EXPECT_EQ(RegWriteText(key, "Name", "Łódź"), 1);
  EXPECT_EQ(RegWriteText(key, "Empty", ""), 1);
  EXPECT_EQ(RegReadNumber(key, "HourShift", 0, -24, 24), -24);
  EXPECT_EQ(RegReadNumber(key, "ID", 0, INT32_MIN, INT32_MAX), INT32_MIN);
  EXPECT_EQ(Text("Terminal", "default"), "C:\\term.exe <p>");
  EXPECT_EQ(Text("Name", ""), "Łódź");
  EXPECT_EQ(Text("Empty", "default"), "");
  // Stored as the main library stores its own: 32-bit numbers and texts.
  EXPECT_EQ(qb::registry::QueryDword(key, "HourShift"), static_cast<DWORD>(-24));
  EXPECT_EQ(qb::registry::QueryString(key, "Name"), "Łódź");
  // Written again, a value is replaced, whatever its type was.
  EXPECT_EQ(RegWriteNumber(key, "Name", 3), 1);
  EXPECT_EQ(RegReadNumber(key, "Name", 0, 0, 9), 3);
  EXPECT_EQ(Text("Name", "gone"), "gone");
}

TEST_F(RegistryServiceTest, MissingWrongTypeAndOutOfRangeValuesReadAsTheDefault) {
  ASSERT_EQ(qb::registry::SetString(key, "Text", "5"), ERROR_SUCCESS);
  ASSERT_EQ(qb::registry::SetBinary(key, "Binary", "\x05\0\0\0", 4), ERROR_SUCCESS);
  ASSERT_EQ(qb::registry::SetDword(key, "Big", 366), ERROR_SUCCESS);
  ASSERT_EQ(qb::registry::SetDword(key, "Negative", static_cast<DWORD>(-25)), ERROR_SUCCESS);
  ASSERT_EQ(qb::registry::SetDword(key, "Edge", 365), ERROR_SUCCESS);
  EXPECT_EQ(RegReadNumber(key, "Missing", 7, 0, 365), 7);
  EXPECT_EQ(RegReadNumber(key, "Text", 7, 0, 365), 7);
  EXPECT_EQ(RegReadNumber(key, "Binary", 7, 0, 365), 7);
  EXPECT_EQ(RegReadNumber(key, "Big", 7, 0, 365), 7);
  EXPECT_EQ(RegReadNumber(key, "Negative", 0, -24, 24), 0);
  // Both ends belong to the range; an empty range takes nothing.
  EXPECT_EQ(RegReadNumber(key, "Edge", 7, 0, 365), 365);
  EXPECT_EQ(RegReadNumber(key, "Edge", 7, 365, 365), 365);
  EXPECT_EQ(RegReadNumber(key, "Edge", 7, 366, 0), 7);
  // A big unsigned number is a negative one, outside a range of positive numbers.
  ASSERT_EQ(qb::registry::SetDword(key, "Flags", 0x80000001u), ERROR_SUCCESS);
  EXPECT_EQ(RegReadNumber(key, "Flags", 0, 0, INT32_MAX), 0);
  EXPECT_EQ(RegReadNumber(key, "Flags", 0, INT32_MIN, INT32_MAX), INT32_MIN + 1);

  EXPECT_EQ(Text("Missing", "053"), "053");
  EXPECT_EQ(Text("Big", "053"), "053");
  EXPECT_EQ(Text("Binary", "053"), "053");
  EXPECT_EQ(Text("Missing", nullptr), "");

  // Without a key (OpenRegKey failed): defaults, and nothing is written.
  EXPECT_EQ(RegReadNumber(nullptr, "Edge", 7, 0, 365), 7);
  char out[8] = "x";
  EXPECT_EQ(RegReadText(nullptr, "Text", "def", out, sizeof out), 3u);
  EXPECT_STREQ(out, "def");
  EXPECT_EQ(RegWriteNumber(nullptr, "Edge", 1), 0);
  EXPECT_EQ(RegWriteText(nullptr, "Text", "1"), 0);
  EXPECT_EQ(RegWriteText(key, "Text", nullptr), 0);
  EXPECT_EQ(Text("Text", ""), "5");
}

TEST_F(RegistryServiceTest, ALongTextIsCutAtTheEndOfAWholeCharacter) {
  ASSERT_EQ(RegWriteText(key, "Path", "ab\xC3\xA9\xE2\x82\xAC"), 1);  // "abé€", 7 bytes
  EXPECT_EQ(Text("Path", "", 8), "ab\xC3\xA9\xE2\x82\xAC");           // fits exactly
  EXPECT_EQ(Text("Path", "", 7), "ab\xC3\xA9");                       // inside the €
  EXPECT_EQ(Text("Path", "", 5), "ab\xC3\xA9");
  EXPECT_EQ(Text("Path", "", 4), "ab");  // inside the é
  EXPECT_EQ(Text("Path", "", 1), "");
  // The default is cut the same way.
  EXPECT_EQ(Text("Missing", "\xC3\xA9\xC3\xA9", 4), "\xC3\xA9");
  // Asking for the length only: nothing written.
  char untouched = 'x';
  EXPECT_EQ(RegReadText(key, "Path", "", nullptr, 0), 7u);
  EXPECT_EQ(RegReadText(key, "Path", "", &untouched, 0), 7u);
  EXPECT_EQ(untouched, 'x');
}

TEST_F(RegistryServiceTest, SubKeysAreOpenedEnumeratedAndDeleted) {
  // Opening does not create unless asked.
  EXPECT_EQ(RegOpenSubKey(key, "Beeper", 0), nullptr);
  for (const char* name : {"Beeper", "alpha", "Zeta"}) {
    HKEY sub = RegOpenSubKey(key, name, 1);
    ASSERT_NE(sub, nullptr) << name;
    EXPECT_EQ(RegWriteNumber(sub, "ID", 1), 1);
    CloseRegKey(sub);
  }
  HKEY deep = RegOpenSubKey(key, "Beeper\\Old", 1);
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(RegWriteText(deep, "Phones", "053"), 1);
  CloseRegKey(deep);
  HKEY again = RegOpenSubKey(key, "beeper", 0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(RegReadNumber(again, "ID", 0, 0, 9), 1);
  EXPECT_EQ(SubKeys(again), (std::vector<std::string>{"Old"}));
  CloseRegKey(again);
  for (const char* none : {"", "\\", "\\\\"}) {
    EXPECT_EQ(RegOpenSubKey(key, none, 1), nullptr) << none;
    EXPECT_EQ(RegDeleteSubKey(key, none), 0) << none;
  }
  EXPECT_EQ(RegOpenSubKey(key, nullptr, 1), nullptr);
  EXPECT_EQ(RegOpenSubKey(nullptr, "Beeper", 1), nullptr);

  // By name without regard to case, names as created.
  EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"alpha", "Beeper", "Zeta"}));
  char name[6] = "xxxxx";
  EXPECT_EQ(RegEnumSubKey(key, 1, name, sizeof name), 6);  // "Beeper" needs 7 bytes
  EXPECT_STREQ(name, "");
  EXPECT_EQ(RegEnumSubKey(key, 1, nullptr, 0), 6);
  EXPECT_EQ(RegEnumSubKey(key, 0, name, sizeof name), 5);
  EXPECT_STREQ(name, "alpha");
  EXPECT_EQ(RegEnumSubKey(key, 3, name, sizeof name), -1);
  EXPECT_EQ(RegEnumSubKey(nullptr, 0, name, sizeof name), -1);

  // Deleting takes everything below; a missing key is reported, not pretended away.
  EXPECT_EQ(RegDeleteSubKey(key, "BEEPER"), 1);
  EXPECT_EQ(RegDeleteSubKey(key, "Beeper"), 0);
  HKEY old = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Far\\Plugins\\Quillbox\\Sample\\Beeper\\Old", &old),
            ERROR_FILE_NOT_FOUND);
  // Emptying a list key by deleting its first sub-key until there is none.
  int guard = 0;
  while (RegEnumSubKey(key, 0, name, sizeof name) >= 0 && guard++ < 10)
    EXPECT_EQ(RegDeleteSubKey(key, name), 1);
  EXPECT_TRUE(SubKeys(key).empty());
  EXPECT_EQ(RegDeleteSubKey(nullptr, "Zeta"), 0);
}

}  // namespace
}  // namespace qb::test
