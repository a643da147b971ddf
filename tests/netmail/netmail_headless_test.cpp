// Netmail in the quillbox program, played by its headless front end: an address added to a record,
// a file copied onto the record from the disk panel (F5), and what a real FidoNet tosser
// (Debian's crashmail, with a configuration of this test's own) makes of the netmail written;
// and the same F5 into the node's file box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qb::test::ReadFile;
using qb::test::ShellQuote;
using ::testing::HasSubstr;

// A record Ann with the address of node 2:5020/100, made through the add-field menu; then the
// disk panel, its first file, F5.
constexpr const char* kMakeAnnAndSend =
    "ShiftF4\ntext Ann\nEnter\nEnter\n"
    "ShiftF4\nEnter\ntext 2:5020/100 #Ann's node\nEnter\n"
    "Tab\nDown\nF5\nscreen\n";
const std::string kSendToAnn = std::string(kMakeAnnAndSend) + "F10\n";

class NetmailHeadlessTest : public ::testing::Test {
 protected:
  NetmailHeadlessTest() {
    for (const fs::path& d : {plugins, work, netmail, boxes, outbound}) fs::create_directories(d);
    const fs::path from = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
    for (const auto& entry : fs::directory_iterator(from)) {
      const std::string name = entry.path().filename().string();
      if (name == "Quillbox.so" || name == "Netmail.qbl" || entry.path().extension() == ".lng")
        fs::copy_file(entry.path(), plugins / name);
    }
    std::ofstream(work / "note.txt") << "hello, node";
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox", &key);
    qb::registry::SetString(key, "BookFile", (dir / "book.dat").string());
    RegCloseKey(key);
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox\\Netmail", &key);
    qb::registry::SetString(key, "MailOutPath", netmail.string());
    qb::registry::SetString(key, "FileBoxPath", boxes.string());
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }

  void UseFileBoxes() {
    qb::registry::SetConfigDirectory(dir.string());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox\\Netmail", &key);
    qb::registry::SetDword(key, "SendMethod", 1);
    RegCloseKey(key);
    qb::registry::SetConfigDirectory("");
  }

  std::string Run(const std::string& script) {
    qb::test::HeadlessRun run;
    run.dir = dir;
    run.script = script;
    run.plugins = plugins.string();
    run.config = dir.string();
    run.home = dir.string();
    run.work_dir = work.string();
    run.size = "80x25";
    run.env = "DISPLAY= WAYLAND_DISPLAY= XDG_CONFIG_HOME=" + ShellQuote(dir.string());
    run.merge_stderr = true;
    const qb::test::ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return done.out;
  }

  // crashmail's SCAN over the netmail folder `area`, with this node as 2:5030/999.999 and every
  // netmail routed straight to its destination node; returns crashmail's log.
  std::string CrashmailScan(const fs::path& area) {
    const fs::path prefs = dir / "crashmail.prefs";
    std::ofstream(prefs) << "SYSOP \"System Operator\"\n"
                         << "LOGFILE \"" << (dir / "crashmail.log").string() << "\"\n"
                         << "LOGLEVEL 6\n"
                         << "DUPEFILE \"" << (dir / "dupes").string() << "\" 200\n"
                         << "DUPEMODE IGNORE\n"
                         << "DEFAULTZONE 2\n"
                         << "INBOUND \"" << (dir / "inbound").string() << "\"\n"
                         << "OUTBOUND \"" << outbound.string() << "\"\n"
                         << "TEMPDIR \"" << dir.string() << "\"\n"
                         << "CREATEPKTDIR \"" << dir.string() << "\"\n"
                         << "PACKETDIR \"" << outbound.string() << "\"\n"
                         << "STATSFILE \"" << (dir / "stats").string() << "\"\n"
                         << "AKA 2:5030/999.999\n"
                         << "DOMAIN \"FidoNet\"\n"
                         << "ROUTE \"*:*/*.*\" \"*:*/*.0\" 2:5030/999.999\n"
                         << "FILEATTACH \"*:*/*.*\"\n"
                         << "NETMAIL \"NETMAIL\" 2:5030/999.999 MSG \"" << area.string() << "\"\n";
    fs::create_directories(dir / "inbound");
    fs::remove(dir / "crashmail.log");
    const auto run =
        qb::test::RunCommand("crashmail SETTINGS " + ShellQuote(prefs.string()) + " SCAN 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    return ReadFile(dir / "crashmail.log");
  }

  static bool HaveCrashmail() {
    return qb::test::RunCommand("command -v crashmail >/dev/null 2>&1").status == 0;
  }

  qb::test::TempDir temp{"qb-netmail-e2e"};
  fs::path dir = temp.root();
  fs::path plugins = dir / "plugins";
  fs::path work = dir / "work";
  fs::path netmail = dir / "netmail";
  fs::path boxes = dir / "boxes";
  fs::path outbound = dir / "outbound";
};

TEST_F(NetmailHeadlessTest, AFileCopiedOntoTheRecordIsExportedByCrashmailAsAFileAttach) {
  if (!HaveCrashmail()) GTEST_SKIP() << "crashmail is not installed (./test installs it)";
  const std::string out = Run(kSendToAnn);
  EXPECT_THAT(out, HasSubstr("Ann's node")) << out;  // the field, named by its comment
  EXPECT_THAT(out, ::testing::Not(HasSubstr("could not be sent"))) << out;
  ASSERT_TRUE(fs::exists(netmail / "2.msg")) << out;

  const std::string log = CrashmailScan(netmail);
  EXPECT_THAT(log, HasSubstr("Exporting message #2 from \"System Operator\" to \"Ann\" at "
                             "2:5020/100"))
      << log;
  EXPECT_THAT(log, HasSubstr("Netmail is fileattach")) << log;
  EXPECT_THAT(log, HasSubstr("Routing file note.txt to 2:5020/100.0")) << log;
  EXPECT_THAT(log, HasSubstr("1 message exported")) << log;
  // Net 5020 and node 100 in hexadecimal: the node's direct flow file lists our file (crashmail
  // sends a copy of it that it keeps in the outbound).
  const std::string flow = ReadFile(outbound / "139c0064.dlo");
  ASSERT_FALSE(flow.empty()) << log;
  std::istringstream lines(flow);
  std::string line;
  std::getline(lines, line);
  const std::string listed = line.find_first_of("^#~") == 0 ? line.substr(1) : line;
  EXPECT_EQ(fs::path(listed).filename(), "note.txt") << flow;
  EXPECT_EQ(ReadFile(listed), "hello, node") << flow;
}

TEST_F(NetmailHeadlessTest, CrashmailNeverExportsAMessageNumberedOne) {
  // Why the first message of an empty folder is 2.msg: the same message as 1.msg stays unsent.
  if (!HaveCrashmail()) GTEST_SKIP() << "crashmail is not installed (./test installs it)";
  Run(kSendToAnn);
  const fs::path other = dir / "other";
  fs::create_directories(other);
  fs::copy_file(netmail / "2.msg", other / "1.msg");
  const std::string log = CrashmailScan(other);
  EXPECT_THAT(log, HasSubstr("No messages exported")) << log;
  EXPECT_FALSE(fs::exists(outbound / "139c0064.dlo"));
}

TEST_F(NetmailHeadlessTest, AFileBoxSendCopiesTheFileIntoTheNodesBox) {
  UseFileBoxes();
  const std::string out = Run(kSendToAnn);
  EXPECT_THAT(out, ::testing::Not(HasSubstr("could not be sent"))) << out;
  // 2:5020/100.0 in base 32.
  EXPECT_EQ(ReadFile(boxes / "024SS034.00" / "note.txt"), "hello, node") << out;
  EXPECT_TRUE(fs::is_empty(netmail));
  EXPECT_EQ(ReadFile(work / "note.txt"), "hello, node");  // a copy: the file stays
}

TEST_F(NetmailHeadlessTest, AFailedSendShowsWhyAndNamesTheFile) {
  fs::remove(netmail);
  const std::string out = Run(std::string(kMakeAnnAndSend) + "Enter\nscreen\nEnter\nF10\n");
  EXPECT_THAT(out, HasSubstr("Cannot write the netmail message into the directory:")) << out;
  EXPECT_THAT(out, HasSubstr("could not be sent")) << out;
}

}  // namespace
