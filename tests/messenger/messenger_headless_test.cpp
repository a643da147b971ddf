// Messenger in the quillbox program, played by its headless front end, with a recording client
// library in the plug-in directory (or the one that ships): a number added through the add-field
// menu, announced and marked when the book opens with its contact online, the client's online list
// polled by the host's timer, a client that lies about its list, and the error boxes of a machine
// without a client.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

// A record Bob with the number "123456#home", made through the add-field menu.
constexpr const char* kMakeBob =
    "ShiftF4\ntext Bob\nEnter\nEnter\nShiftF4\nEnter\ntext 123456#home\nEnter\nHome\nEnter\n";

class MessengerHeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"plugins", "config", "work"}) fs::create_directories(dir / sub);
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    for (const auto& entry : fs::directory_iterator(built)) {
      const std::string name = entry.path().filename().string();
      if (name == "Quillbox.so" || name == "Messenger.qbl" || entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), dir / "plugins" / name);
    }
    std::ofstream(dir / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
           "\"Description\"=\"%M\"\n\"BookFile\"=\""
        << (dir / "book.dat").string() << "\"\n";
    std::ofstream(dir / "work/note.txt") << "hello";
  }
  void RecordingClient() {
    fs::copy_file(QB_RECORDING_MESSENGER, dir / "plugins/MessengerMAPI.so",
                  fs::copy_options::overwrite_existing);
  }
  void ShippedClient() {
    const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    fs::copy_file(built / "MessengerMAPI.so", dir / "plugins/MessengerMAPI.so",
                  fs::copy_options::overwrite_existing);
  }

  std::string Run(const std::string& script, const std::string& env = "") {
    HeadlessRun run = HeadlessRun::InDir(dir, script + "F10\n", "80x25");
    run.env = "QB_MESSENGER_RECORD=" + ShellQuote((dir / "calls").string()) + " " + env;
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }
  std::string Calls() {
    std::string calls = ReadFile(dir / "calls");
    fs::remove(dir / "calls");
    return calls;
  }

  TempDir temp{"qb-messenger-headless"};
  fs::path dir = temp.root();
};

TEST_F(MessengerHeadlessTest, AnOnlineContactIsAnnouncedWhenTheBookOpensAndMarkedWithAStar) {
  RecordingClient();
  // Made while nobody is online: no mark.
  std::string out = Run(std::string(kMakeBob) + "Down\nEnter\nscreen\n");
  EXPECT_TRUE(std::regex_search(out, std::regex("║home +│123456 +║"))) << out;
  EXPECT_EQ(out.find("Person Online"), std::string::npos) << out;
  Calls();

  // Started again with 123456 online: the opening walk asks the client and announces Bob.
  out = Run("screen\nEnter\nDown\nEnter\nscreen\nDown\nEnter\n", "QB_MESSENGER_ONLINE=777,123456");
  const std::vector<std::string> screens = SplitScreens(out, 25);
  ASSERT_GE(screens.size(), 2u) << out;
  EXPECT_NE(screens[0].find("Person Online"), std::string::npos) << screens[0];
  EXPECT_TRUE(std::regex_search(screens[0], std::regex("║ +Bob +║"))) << screens[0];
  EXPECT_NE(screens[0].find("is currently online"), std::string::npos) << screens[0];
  EXPECT_TRUE(std::regex_search(screens[1], std::regex("║home +│123456\\* +║"))) << screens[1];
  // Enter on the field opens a message to the contact.
  EXPECT_EQ(Calls(), "list\nmessage|123456|\n");
}

TEST_F(MessengerHeadlessTest, TheHostsTimerPollsTheClientEveryFiveSeconds) {
  RecordingClient();
  Run(kMakeBob);
  Calls();
  // At the opening, then after 5000 ms and after 10000 ms: not before, not more often.
  Run("Enter\nDown\nEnter\nwait 4999\nwait 1\nwait 4999\n", "QB_MESSENGER_ONLINE=1");
  EXPECT_EQ(Calls(), "list\nlist\n");
  Run("wait 10000\n", "QB_MESSENGER_ONLINE=1");
  EXPECT_EQ(Calls(), "list\nlist\nlist\n");
}

TEST_F(MessengerHeadlessTest, AClientClaimingAMillionContactsWithAShortListMarksNobody) {
  RecordingClient();
  Run(kMakeBob);
  const std::string out = Run("Down\nEnter\nscreen\nwait 5000\nscreen\n",
                              "QB_MESSENGER_ONLINE=123456 QB_MESSENGER_COUNT=1000000");
  EXPECT_EQ(out.find("Person Online"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("║home +│123456 +║"))) << out;
  EXPECT_EQ(out.find("123456*"), std::string::npos) << out;
}

TEST_F(MessengerHeadlessTest, WithoutAClientAMessageAndAFileEachGetTheirErrorBox) {
  ShippedClient();
  const std::string out = Run(std::string(kMakeBob) + "Down\nEnter\nEnd\nEnter\nscreen\nEnter\n" +
                              "Tab\nDown\nF5\nscreen\nEnter\nscreen\n");
  EXPECT_NE(out.find("Cannot send Messenger message"), std::string::npos) << out;
  EXPECT_NE(out.find("Cannot send file via Messenger"), std::string::npos) << out;
  EXPECT_NE(out.find("note.txt"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(dir / "work/note.txt"));
}

}  // namespace
}  // namespace qb::test
