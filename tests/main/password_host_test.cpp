// Folder passwords through the host program, headless: key scripts against books made with the
// storage engine, asserting what the screen shows and what the file holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "main/idea.h"
#include "main/password.h"
#include "main_test_support.h"
#include "tests/support/headless.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kCols = 110;
constexpr int kRows = 14;
constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

class PasswordHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "plugins");
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "work");
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    fs::copy_file(built / "Quillbox.so", dir_ / "plugins/Quillbox.so");
    fs::copy_file(built / "Comment.qbl", dir_ / "plugins/Comment.qbl");
    for (const auto& entry : fs::directory_iterator(built)) {
      if (entry.path().extension() == ".lng") {
        fs::create_symlink(entry.path(), dir_ / ("plugins/" + entry.path().filename().string()));
      }
    }
  }

  std::string book() const { return dir_ / "plugins/Quillbox.Dat"; }

  // Every screen printed (the "screen" lines and the final one).
  std::vector<std::string> Run(const std::string& script) {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = dir_ / "work";
    run.home = dir_.path();
    run.size = std::to_string(kCols) + "x" + std::to_string(kRows);
    run.config = dir_ / "config";
    run.plugins = dir_ / "plugins";
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return SplitScreens(done.out, kRows);
  }

  // The bytes of a stream of the folder "Work" (or of the root for an empty folder), in hex.
  std::string StreamHex(const std::string& folder, const std::u16string& name) {
    storage::Storage root;
    if (storage::Failed(storage::OpenCompoundFile(book(), kRW, &root))) return "<no book>";
    storage::Storage sub;
    storage::Storage* at = &root;
    if (!folder.empty()) {
      if (storage::Failed(
              root.OpenStorage(std::u16string(folder.begin(), folder.end()), kRW, &sub)))
        return "<no folder>";
      at = &sub;
    }
    storage::Stream stream;
    if (storage::Failed(at->OpenStream(name, kRW, &stream))) return "<none>";
    storage::ElementStat stat;
    stream.Stat(&stat);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(stat.size));
    if (!bytes.empty()) stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
      out += digits[b >> 4];
      out += digits[b & 15];
    }
    return out;
  }

  static std::string Hex(std::vector<uint8_t> bytes, const std::string& password) {
    if (!password.empty()) {
      main::PasswordKey key;
      main::MakePasswordKey(password, key);
      main::EncipherBuffer(key.bytes, bytes.data(), bytes.size());
    }
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
      out += digits[b >> 4];
      out += digits[b & 15];
    }
    return out;
  }

  TempDir dir_{"qb-password-host"};
};

const std::vector<std::pair<uint32_t, std::string>> kAnn = {
    {0x10101, std::string("Ann from the office", 20)}};

TEST_F(PasswordHostTest, SetThenAskedOnEveryEntryAndRemovedAgain) {
  BookBuilder(book()).Folder("Work").Record("Work/Ann", RecordBytes(kAnn)).Record("Top");
  // Into Work, Alt+F6, the password twice.
  auto typed = Run("Down\nEnter\nAltF6\ntext secret\nscreen\nTab\ntext secret\nscreen\nEnter\n");
  ASSERT_GE(typed.size(), 2u);
  EXPECT_THAT(typed[0], HasSubstr("Set folder password"));
  // The fields show one '*' a character typed, never the text.
  EXPECT_THAT(typed[0], ContainsRegex("Password: +\\*{6} "));
  EXPECT_THAT(typed[1], ContainsRegex("Confirm: +\\*{6} "));
  EXPECT_THAT(typed[0], Not(HasSubstr("secret")));
  EXPECT_THAT(typed[1], Not(HasSubstr("secret")));
  EXPECT_EQ(StreamHex("Work", u" "), "c12f332c06595d1d7821f8a5057e40de");
  EXPECT_EQ(StreamHex("Work", u"Ann"), Hex(RecordBytes(kAnn), "secret"));
  EXPECT_EQ(StreamHex("Work", u"Ann").size(), Hex(RecordBytes(kAnn), "").size());

  // A second run asks on entering; a wrong password shows its box and stays at the root.
  auto screens = Run("Down\nEnter\nscreen\ntext wrong\nEnter\nscreen\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 3u);
  EXPECT_THAT(screens[0], HasSubstr("Password for Work"));
  EXPECT_THAT(screens[0], Not(HasSubstr("secret")));
  EXPECT_THAT(screens[1], HasSubstr("Incorrect password"));
  EXPECT_THAT(screens[2], Not(HasSubstr("Ann")));
  EXPECT_THAT(screens[2], HasSubstr("Top"));
  // The right one shows the records and, inside one, its fields.
  screens = Run("Down\nEnter\ntext secret\nEnter\nscreen\nEnd\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(screens[0], HasSubstr("Ann"));
  EXPECT_THAT(screens[1], HasSubstr("Ann from the office"));

  // Both entries empty, confirmed: the records are plain again.
  Run("Down\nEnter\ntext secret\nEnter\nAltF6\nEnter\nscreen\nEnter\n");
  EXPECT_EQ(StreamHex("Work", u" "), "<none>");
  EXPECT_EQ(StreamHex("Work", u"Ann"), Hex(RecordBytes(kAnn), ""));
}

TEST_F(PasswordHostTest, TheRootIsAskedAtOpeningAndTwoPanelsUnlockIndependently) {
  BookBuilder(book()).Folder("Work").Record("Work/Ann", RecordBytes(kAnn)).Record("Top");
  Run("AltF6\ntext root\nTab\ntext root\nEnter\n"
      "Down\nEnter\nAltF6\ntext work\nTab\ntext work\nEnter\n");
  EXPECT_EQ(StreamHex("", u"Top"), Hex(RecordBytes({}), "root"));
  EXPECT_EQ(StreamHex("Work", u"Ann"), Hex(RecordBytes(kAnn), "work"));

  auto screens =
      Run("screen\ntext root\nEnter\n"                     // the left panel opens
          "Down\nEnter\ntext work\nEnter\nscreen\n"        // and enters Work
          "AltF2\nEnd\nEnter\nscreen\ntext root\nEnter\n"  // the right one opens the book
          "Down\nEnter\nscreen\nEsc\nscreen\n");           // and is asked for Work itself
  ASSERT_GE(screens.size(), 5u);
  EXPECT_THAT(screens[0], HasSubstr("Password for the root folder"));
  EXPECT_THAT(screens[1], HasSubstr("Ann"));
  EXPECT_THAT(screens[2], HasSubstr("Password for the root folder"));
  EXPECT_THAT(screens[3], HasSubstr("Password for Work"));
  EXPECT_THAT(screens[4], Not(HasSubstr("Password for")));
  EXPECT_THAT(screens[4], HasSubstr("Ann"));  // still shown by the left panel
}

}  // namespace
}  // namespace qb::test
