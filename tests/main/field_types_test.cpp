// The field-type host with small libraries built for these tests: loading and acceptance, which
// library serves a field, fields listed in a record, upgrades written back, composed descriptions,
// and event walks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "main/book_format.h"
#include "main/book_panel.h"
#include "main/event_walk.h"
#include "main/plugin_state.h"
#include "main_test_support.h"

namespace qb::test {
namespace {

using ::testing::ElementsAre;
constexpr uint32_t kMode = qb::main::kBookOpenMode;
constexpr int kBeta = 0, kAlpha = 1, kDelta = 2;

class FieldTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallFieldTypes(dir_.path(), {"Beta.qbl", "alpha.qbl", "gamma.qbl", "delta.qbl",
                                    "epsilon.qbl", "junk.qbl"});
  }
  void Start() { StartMainLibrary(dir_.path()); }
  void TearDown() override { StopMainLibrary(); }

  std::string book() const { return dir_ / qb::main::kBookFileName; }
  main::FieldTypeHost& types() { return main::State().field_types; }

  std::string LogOf(int plugin) {
    auto log = types().slot(plugin).module.FindAs<const char* (*)()>("TestLog");
    return log ? log() : "<no log>";
  }
  void ResetLogs(int before_result = 1) {
    for (int i = 0; i < types().count(); ++i) {
      if (auto reset = types().slot(i).module.FindAs<void (*)(int)>("TestReset")) {
        reset(before_result);
      }
    }
  }

  std::vector<uint8_t> RawRecord(const std::string& folder, const std::u16string& name) {
    storage::Storage root, sub;
    storage::Stream stream;
    EXPECT_EQ(storage::OpenCompoundFile(book(), kMode, &root), storage::S_OK);
    storage::Storage* at = &root;
    if (!folder.empty()) {
      root.OpenStorage(std::u16string(folder.begin(), folder.end()), kMode, &sub);
      at = &sub;
    }
    EXPECT_EQ(at->OpenStream(name, kMode, &stream), storage::S_OK);
    storage::ElementStat stat;
    stream.Stat(&stat);
    std::vector<uint8_t> bytes(stat.size);
    if (!bytes.empty()) stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
    return bytes;
  }

  TempDir dir_;
};

TEST_F(FieldTypesTest, LibrariesLoadInByteWiseNameOrderAndOnlyAcceptableOnesStay) {
  Start();
  ASSERT_EQ(types().count(), 3);
  EXPECT_EQ(types().slot(kBeta).file_name, "Beta.qbl");
  EXPECT_EQ(types().slot(kAlpha).file_name, "alpha.qbl");
  EXPECT_EQ(types().slot(kDelta).file_name, "delta.qbl");  // failed its info, but has CheckID
  // Each got the host's table first, then was asked for its info, then got the services.
  EXPECT_EQ(LogOf(kBeta), "startup(info)infoservices(set)");
  ASSERT_NE(types().slot(kBeta).info, nullptr);
  EXPECT_STREQ(types().slot(kBeta).info->Token, "B");
  // The configuration menu: the main library first, then each library with ConfigurePlugin.
  const auto& menu = main::State().config_menu;
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_STREQ(menu[0].Text, "Quillbox");
  EXPECT_STREQ(menu[1].Text, "Beta menu");
  EXPECT_STREQ(menu[2].Text, "Alpha menu");
  EXPECT_EQ(types().ConfigPlugin(2), kAlpha);
  EXPECT_EQ(types().ConfigPlugin(4), -1);
}

TEST_F(FieldTypesTest, ASecondStartUpLoadsEachLibraryOnce) {
  Start();
  Start();
  EXPECT_EQ(types().count(), 3);
  EXPECT_EQ(main::State().config_menu.size(), 4u);
}

TEST_F(FieldTypesTest, FirstLibraryByNameServesAnIdentifierBothClaim) {
  Start();
  EXPECT_EQ(types().ServerOf(0x7105), kBeta);
  EXPECT_EQ(types().ServerOf(0x7301), kAlpha);
  EXPECT_EQ(types().ServerOf(0x7500), kDelta);
  EXPECT_EQ(types().ServerOf(0x9900), -1);
  EXPECT_EQ(types().UpgraderOf(0x7100), kAlpha);  // Beta serves it but cannot upgrade
  EXPECT_EQ(types().WithToken("p"), kAlpha);
  EXPECT_EQ(types().WithToken("Q"), -1);
}

TEST_F(FieldTypesTest, RecordFieldsAreListedThroughTheirLibrariesWithFieldTags) {
  BookBuilder(book()).Record(
      "R", RecordBytes({{0x7200, "b1"}, {0x9900, "nobody's"}, {0x7301, "a1"}, {0x7201, "b2"}}));
  Start();
  HANDLE panel = OpenPlugin(OPEN_DISKMENU, 0);
  ASSERT_EQ(SetDirectory(panel, "R", 0), 1);
  PluginPanelItem* items = nullptr;
  int count = 0;
  ASSERT_EQ(GetFindData(panel, &items, &count, 0), 1);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(items[0].FindData.cFileName, "Beta 7200 b1");
  EXPECT_STREQ(items[1].FindData.cFileName, "Alpha 7301 a1");
  EXPECT_STREQ(items[2].FindData.cFileName, "Beta 7201 b2");
  EXPECT_STREQ(items[2].Description, "about b2");
  const DWORD expected[3][3] = {{0x7200, 0, kBeta}, {0x7301, 2, kAlpha}, {0x7201, 3, kBeta}};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(items[i].Flags & PPIF_USERDATA);
    const auto* tag = reinterpret_cast<const main::FieldTag*>(items[i].UserData);
    EXPECT_EQ(tag->size, sizeof(main::FieldTag));  // the host copies it by this word
    EXPECT_EQ(tag->type, expected[i][0]);
    EXPECT_EQ(tag->index, expected[i][1]);
    EXPECT_EQ(tag->plugin, expected[i][2]);
  }
  // Fields of one library keep their record order; different libraries are left to the host.
  EXPECT_EQ(Compare(panel, &items[0], &items[2], SM_NAME), -1);
  EXPECT_EQ(Compare(panel, &items[2], &items[0], SM_NAME), 1);
  EXPECT_EQ(Compare(panel, &items[0], &items[1], SM_NAME), -2);
  FreeFindData(panel, items, count);
  ClosePlugin(panel);
  // The field nobody claims is still in the record, unchanged.
  EXPECT_EQ(RawRecord("", u"R"),
            RecordBytes({{0x7200, "b1"}, {0x9900, "nobody's"}, {0x7301, "a1"}, {0x7201, "b2"}}));
}

TEST_F(FieldTypesTest, UpgradedFieldsAreWrittenBackAtOnceAndUnclaimedOnesKept) {
  BookBuilder(book()).Record("R", RecordBytes({{0x9900, "keep me"}, {0x7100, "old"}}));
  Start();
  HANDLE panel = OpenPlugin(OPEN_COMMANDLINE, reinterpret_cast<intptr_t>("R"));
  EXPECT_THAT(ListNames(panel), ElementsAre("Beta 7101 up:old"));
  ClosePlugin(panel);
  EXPECT_EQ(RawRecord("", u"R"), RecordBytes({{0x9900, "keep me"}, {0x7101, "up:old"}}));
}

TEST_F(FieldTypesTest, RecordDescriptionsAreComposedFromTheFormat) {
  BookBuilder(book())
      .Record("R", RecordBytes({{0x7301, "a1"}, {0x7201, "b1"}, {0x7202, "b2"}}))
      .Record("Empty", RecordBytes({{0x7201, ""}}));
  Start();
  main::Settings& settings = main::State().settings;
  HANDLE panel = OpenPlugin(OPEN_DISKMENU, 0);
  auto describe = [&](const std::string& format) {
    settings.description = format;
    std::map<std::string, std::string> by_name;
    PluginPanelItem* items = nullptr;
    int count = 0;
    EXPECT_EQ(GetFindData(panel, &items, &count, 0), 1);
    for (int i = 0; i < count; ++i) {
      by_name[items[i].FindData.cFileName] = items[i].Description ? items[i].Description : "<none>";
    }
    FreeFindData(panel, items, count);
    return by_name;
  };
  // %p and %P name one type; the first field of a type describes it; unknown tokens and a "%"
  // before a non-letter show as "???".
  auto shown = describe("%p/%B-%Q-%-%P");
  EXPECT_EQ(shown["R"], "Alpha=a1/Beta=b1-?\?\?-?\?\?-Alpha=a1");
  EXPECT_EQ(shown["Empty"], "/-?\?\?-?\?\?-");
  EXPECT_EQ(describe("")["R"], "<none>");
  EXPECT_EQ(describe("%")["R"], "?\?\?");
  // A long format is cut to the description buffer.
  const std::string long_format(3000, 'x');
  EXPECT_EQ(describe(long_format + "%B")["R"], std::string(1023, 'x'));
  ClosePlugin(panel);
}

TEST_F(FieldTypesTest, OpenWalkVisitsEveryFieldBelowThePanelAndTheAfterCall) {
  BookBuilder(book())
      .Folder("F")
      .Record("F/S", RecordBytes({{0x7100, "x"}}))
      .Record("R", RecordBytes({{0x7201, "b"}, {0x7301, "a"}, {0x9900, "?"}}));
  Start();
  ResetLogs();
  HANDLE panel = OpenPlugin(OPEN_DISKMENU, 0);
  EXPECT_EQ(LogOf(kBeta), "[1000 80000 0 ][1000 0 7101 up:x][1000 0 7201 b][1000 100000 0 ]");
  EXPECT_EQ(LogOf(kAlpha), "[1000 80000 0 ][1000 0 7301 a]");  // no FTEV_AFTER asked for
  EXPECT_EQ(LogOf(kDelta), "");
  OpenPluginInfo info{};
  GetOpenPluginInfo(panel, &info);
  EXPECT_STREQ(info.CurDir, "");
  ResetLogs();
  ClosePlugin(panel);
  EXPECT_EQ(LogOf(kBeta), "[8000 80000 0 ][8000 0 7101 up:x][8000 0 7201 b][8000 100000 0 ]");
  EXPECT_EQ(LogOf(kAlpha), "");
}

TEST_F(FieldTypesTest, WalkWhereEveryLibraryVetoesOpensNoRecord) {
  BookBuilder(book()).Record("R", RecordBytes({{0x7100, "x"}}));
  Start();
  ResetLogs(0);
  HANDLE panel = OpenPlugin(OPEN_DISKMENU, 0);
  EXPECT_EQ(LogOf(kBeta), "[1000 80000 0 ]");
  EXPECT_EQ(LogOf(kAlpha), "[1000 80000 0 ]");
  ClosePlugin(panel);
  // Reading the record would have upgraded and rewritten it.
  EXPECT_EQ(RawRecord("", u"R"), RecordBytes({{0x7100, "x"}}));
}

TEST_F(FieldTypesTest, WalkInsideARecordVisitsOnlyItsFieldsAndKeepsThePanelThere) {
  BookBuilder(book())
      .Folder("F")
      .Record("F/S", RecordBytes({{0x7201, "other"}}))
      .Record("R", RecordBytes({{0x7201, "b"}, {0x7301, "a"}}));
  Start();
  HANDLE panel = OpenPlugin(OPEN_COMMANDLINE, reinterpret_cast<intptr_t>("R"));
  auto* book_panel = static_cast<main::BookPanel*>(panel);
  ResetLogs();
  main::SendEventWalk(*book_panel, FTEV_SCAN, -1);
  EXPECT_EQ(LogOf(kBeta), "[10000 80000 0 ][10000 0 7201 b][10000 100000 0 ]");
  EXPECT_EQ(LogOf(kAlpha), "[10000 80000 0 ][10000 0 7301 a]");
  // A walk for one library reaches only its fields.
  ResetLogs();
  main::SendEventWalk(*book_panel, FTEV_SCAN, kAlpha);
  EXPECT_EQ(LogOf(kBeta), "");
  EXPECT_EQ(LogOf(kAlpha), "[10000 80000 0 ][10000 0 7301 a]");
  // An event nobody asked for walks nothing.
  ResetLogs();
  main::SendEventWalk(*book_panel, FTEV_START, kAlpha);
  EXPECT_EQ(LogOf(kAlpha), "");
  EXPECT_STREQ(book_panel->path(), "\\R");
  EXPECT_EQ(main::State().host_services.CurrentPanelPath, book_panel->path());
  EXPECT_STREQ(main::State().host_services.CurrentPanelPath, "\\R");
  EXPECT_STREQ(main::State().host_services.CurrentRecord, "R");
  // A closed panel leaves no field type reading its text.
  ClosePlugin(panel);
  EXPECT_EQ(main::State().host_services.CurrentPanelPath, nullptr);
  EXPECT_EQ(main::State().host_services.CurrentRecord, nullptr);
}

TEST_F(FieldTypesTest, PreloadWalksOncePerRun) {
  BookBuilder(book()).Record("R", RecordBytes({{0x7201, "b"}}));
  Start();
  main::State().settings.allow_preload = 1;
  ResetLogs();
  PluginInfo info{};
  GetPluginInfo(&info);
  EXPECT_EQ(info.Flags, static_cast<DWORD>(PF_PRELOAD));
  EXPECT_EQ(LogOf(kBeta),
            "[20000 80000 0 ][20000 0 7201 b][20000 100000 0 ]"
            "[8000 80000 0 ][8000 0 7201 b][8000 100000 0 ]");
  ResetLogs();
  GetPluginInfo(&info);
  EXPECT_EQ(LogOf(kBeta), "");
}

TEST_F(FieldTypesTest, ExitCallsEachLibrarysExitInLoadOrder) {
  const std::string exit_log = dir_ / "exit.log";
  setenv("QB_TEST_EXIT_LOG", exit_log.c_str(), 1);
  Start();
  StopMainLibrary();
  unsetenv("QB_TEST_EXIT_LOG");
  std::ifstream in(exit_log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "Beta\nAlpha\nDelta\n");
  EXPECT_EQ(types().count(), 0);
}

}  // namespace
}  // namespace qb::test
