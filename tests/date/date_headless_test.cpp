// Reminders through the real host program, played by its headless front end with a fixed clock:
// a book of three dated records, opened, opened again the same day, scanned, and preloaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/storage/storage.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uint32_t kMode = qb::storage::STGM_READWRITE | qb::storage::STGM_SHARE_EXCLUSIVE;

struct Field {
  uint32_t type;
  std::vector<uint8_t> data;
};

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Field DateField(int day, int month, int year) {
  Field f{0x10402, {}};
  for (int v : {day, month, year, 0}) Put32(&f.data, static_cast<uint32_t>(v));
  f.data.push_back(0);
  f.data.push_back(0);
  return f;
}

// A record stream: type, size and bytes of each field, padded to a multiple of 8.
std::vector<uint8_t> Record(const std::vector<Field>& fields) {
  std::vector<uint8_t> out;
  for (const Field& f : fields) {
    Put32(&out, f.type);
    Put32(&out, static_cast<uint32_t>(f.data.size()));
    out.insert(out.end(), f.data.begin(), f.data.end());
  }
  out.resize((out.size() + 7) / 8 * 8, 0);
  return out;
}

// 10 May 2023, noon, UTC.
constexpr int64_t kNow = 1683720000;

class DateHeadlessTest : public ::testing::Test {
 protected:
  DateHeadlessTest() {
    // Only the main library, Date and the texts: the scan then needs no menu.
    const fs::path from = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    fs::create_directories(plugins);
    for (const char* file : {"Quillbox.so", "Date.qbl"}) fs::copy_file(from / file, plugins / file);
    for (const auto& entry : fs::directory_iterator(from))
      if (entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), plugins / entry.path().filename());
    Setting("BookFile", (dir / "book.dat").string());
    MakeBook({{u"Ann", {DateField(11, 5, 1990)}},    // tomorrow
              {u"Bob", {DateField(15, 5, 1985)}},    // in five days
              {u"Cid", {DateField(10, 6, 1970)}}});  // in a month
  }

  void Setting(const char* name, const std::string& text) {
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetString(key, name, text);
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }
  void Setting(const char* name, DWORD value) {
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetDword(key, name, value);
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }

  void MakeBook(const std::vector<std::pair<std::u16string, std::vector<Field>>>& records) {
    qb::storage::Storage root;
    ASSERT_EQ(qb::storage::CreateCompoundFile((dir / "book.dat").string(),
                                              kMode | qb::storage::STGM_CREATE, &root),
              qb::storage::S_OK);
    for (const auto& [name, fields] : records) {
      qb::storage::Stream stream;
      ASSERT_EQ(root.CreateStream(name, kMode | qb::storage::STGM_CREATE, &stream),
                qb::storage::S_OK);
      const std::vector<uint8_t> bytes = Record(fields);
      stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    }
  }
  std::vector<uint8_t> ReadRecord(const std::u16string& name) {
    qb::storage::Storage root;
    qb::storage::Stream stream;
    std::vector<uint8_t> bytes(4096);
    uint32_t got = 0;
    if (qb::storage::Succeeded(
            qb::storage::OpenCompoundFile((dir / "book.dat").string(), kMode, &root)) &&
        qb::storage::Succeeded(root.OpenStream(name, kMode, &stream)))
      stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got);
    bytes.resize(got);
    return bytes;
  }

  std::string Run(const std::string& script, int64_t now = kNow) {
    qb::test::HeadlessRun run;
    run.dir = dir;
    run.script = script;
    run.plugins = plugins.string();
    run.config = dir.string();
    run.home = dir.string();
    run.work_dir = dir.string();
    run.size = "80x25";
    run.env = "TZ=UTC QUILLBOX_FIXED_TIME=" + std::to_string(now);
    run.merge_stderr = true;
    return run.Run().out;
  }

  // The screens printed, one per "screen" step and the last one at the end (25 lines each).
  static std::vector<std::string> Screens(const std::string& out) {
    std::vector<std::string> screens;
    std::string screen;
    int lines = 0;
    for (size_t at = 0; at < out.size();) {
      const size_t end = out.find('\n', at);
      const size_t next = end == std::string::npos ? out.size() : end + 1;
      screen += out.substr(at, next - at);
      at = next;
      if (++lines == 25) {
        screens.push_back(screen);
        screen.clear();
        lines = 0;
      }
    }
    return screens;
  }

  // How often text appears in out.
  static int Count(const std::string& out, const std::string& text) {
    int n = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
    return n;
  }

  qb::test::TempDir temp{"qb-date-e2e"};
  fs::path dir = temp.root();
  fs::path plugins = dir / "plugins";
};

// One screen per "screen" step; the boxes are answered with Enter.
const char kThreeScreens[] = "screen\nEnter\nscreen\nEnter\nscreen\n";

TEST_F(DateHeadlessTest, OpeningThePanelRemindsOfTheComingDatesOnceADay) {
  const std::string out = Run(kThreeScreens);
  // First Ann's box, then Bob's, then none: Cid's date is a month away.
  EXPECT_EQ(Count(out, "Birthday of Ann"), 1) << out;
  EXPECT_EQ(Count(out, "Tomorrow: 11.V.1990"), 1) << out;
  EXPECT_EQ(Count(out, "Birthday of Bob"), 1) << out;
  EXPECT_EQ(Count(out, "15.V.1985, in 5 days"), 1) << out;
  EXPECT_THAT(out, Not(HasSubstr("Cid │"))) << out;
  const std::vector<std::string> screens = Screens(out);
  ASSERT_GE(screens.size(), 3u) << out;
  EXPECT_THAT(screens[0], HasSubstr("Birthday of Ann"));
  EXPECT_THAT(screens[1], HasSubstr("Birthday of Bob"));
  EXPECT_THAT(screens[2], Not(HasSubstr("Reminder")));

  // The same day again: the panel opens without a reminder; Shift+F7 brings both back.
  const std::string again = Run("screen\nShiftF7\nscreen\nEnter\nscreen\nEnter\nscreen\n");
  const std::vector<std::string> scanned = Screens(again);
  ASSERT_GE(scanned.size(), 4u) << again;
  EXPECT_THAT(scanned[0], HasSubstr("Ann")) << again;
  EXPECT_THAT(scanned[0], Not(HasSubstr("Reminder"))) << again;
  EXPECT_THAT(scanned[1], HasSubstr("Birthday of Ann")) << again;
  EXPECT_THAT(scanned[2], HasSubstr("Birthday of Bob")) << again;
  EXPECT_THAT(scanned[3], Not(HasSubstr("Reminder"))) << again;

  // The next day the panel reminds again: Bob's date is now four days away, Ann's is today.
  const std::string next_day = Run(kThreeScreens, kNow + 86400);
  EXPECT_THAT(next_day, HasSubstr("Today: 11.V.1990")) << next_day;
  EXPECT_THAT(next_day, HasSubstr("15.V.1985, in 4 days")) << next_day;
}

TEST_F(DateHeadlessTest, WithPreloadTheRemindersComeAtStartUp) {
  Setting("AllowPreload", 1);
  Setting("ShowInDisksMenu", 0);  // no book panel opens by itself
  const std::string out = Run(kThreeScreens);
  EXPECT_EQ(Count(out, "Birthday of Ann"), 1) << out;
  EXPECT_EQ(Count(out, "Birthday of Bob"), 1) << out;
  // The very first screen, before any key, shows Ann's box; no book panel is open.
  const std::vector<std::string> screens = Screens(out);
  ASSERT_GE(screens.size(), 3u) << out;
  EXPECT_THAT(screens[0], HasSubstr("Birthday of Ann"));
  EXPECT_THAT(screens[1], HasSubstr("Birthday of Bob"));
  EXPECT_THAT(screens[2], Not(HasSubstr("Reminder")));
  EXPECT_THAT(screens[2], Not(HasSubstr("Quillbox")));
}

TEST_F(DateHeadlessTest, AnOldFieldIsUpgradedAndWrittenBack) {
  Field old{0x10401, {}};
  for (int v : {1, 1, 1950}) Put32(&old.data, static_cast<uint32_t>(v));
  MakeBook({{u"Old", {old}}});
  const std::string out = Run("Down\nEnter\nscreen\n");
  EXPECT_THAT(out, HasSubstr("01.I.1950")) << out;
  const std::vector<uint8_t> record = ReadRecord(u"Old");
  std::vector<uint8_t> expected = Record({DateField(1, 1, 1950)});
  EXPECT_EQ(record, expected);
}

}  // namespace
