// The book in a panel, driven through the entry points with a recording host: opening and creating
// the book, listing, navigation, the last path, and failures when the book changes between calls.
#include "main/book_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "main/book_format.h"
#include "main/main_text.h"
#include "main/plugin_state.h"
#include "main_test_support.h"
#include "tests/support/mem_fs.h"

extern "C" {
int MakeDirectory(HANDLE h, char* name, int op_mode);
int DeleteFiles(HANDLE h, PluginPanelItem* items, int count, int op_mode);
}

namespace qb::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
std::string T(int n) {
  return main::MainText(n);
}
constexpr uint32_t kMode = qb::main::kBookOpenMode;

// Puts `fs` in the place of the real file system for the main library, for as long as it lives.
class FileSystemInPlace {
 public:
  explicit FileSystemInPlace(storage::FileSystem* fs) { main::State().file_system = fs; }
  ~FileSystemInPlace() { main::State().file_system = storage::FileSystem::Posix(); }
  FileSystemInPlace(const FileSystemInPlace&) = delete;
  FileSystemInPlace& operator=(const FileSystemInPlace&) = delete;
};

class BookPanelTest : public ::testing::Test {
 protected:
  void SetUp() override { StartMainLibrary(dir_.path()); }
  void TearDown() override { StopMainLibrary(); }

  std::string book() const { return dir_ / qb::main::kBookFileName; }

  HANDLE Open(int from = OPEN_DISKMENU, const char* item = nullptr) {
    return OpenPlugin(from, reinterpret_cast<intptr_t>(item));
  }

  std::string PathOf(HANDLE panel) {
    OpenPluginInfo info{};
    GetOpenPluginInfo(panel, &info);
    return info.CurDir;
  }

  // The one storage-error box shown since the last call, as its lines.
  std::vector<std::string> TakeBox() {
    EXPECT_EQ(Host().messages.size(), 1u);
    if (Host().messages.empty()) return {};
    auto box = Host().messages.back();
    Host().messages.clear();
    EXPECT_EQ(box.help, "SystemError");
    EXPECT_EQ(box.flags & FMSG_WARNING, static_cast<unsigned>(FMSG_WARNING));
    return box.lines;
  }

  // The friends book most tests use.
  void MakeFriendsBook() {
    BookBuilder(book())
        .Folder("Friends")
        .Folder("Friends/Work")
        .Folder("Friends/Work/Old")
        .Record("Friends/John")
        .Record("Anna")
        .Folder("Zed");
  }

  TempDir dir_;
};

TEST_F(BookPanelTest, MissingBookIsCreatedBesideTheMainLibrary) {
  ASSERT_FALSE(std::filesystem::exists(book()));
  HANDLE panel = Open();
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(std::filesystem::exists(book()));
  EXPECT_TRUE(ListNames(panel).empty());
  EXPECT_EQ(PathOf(panel), "");
  ClosePlugin(panel);
  EXPECT_TRUE(Host().messages.empty());
  storage::Storage root;
  EXPECT_EQ(storage::OpenCompoundFile(book(), kMode, &root), storage::S_OK);
}

TEST_F(BookPanelTest, MissingBookFileSettingFallsBackToTheBookBesideTheLibraryWhenTheUserSaysSo) {
  BookBuilder(book()).Folder("Here");
  const std::string missing = dir_ / "elsewhere/missing.dat";
  main::State().settings.book_file = missing;
  // The first button: the default book this time; the setting keeps the missing book.
  Host().message_answers = {0};
  HANDLE panel = Open();
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_THAT(ListNames(panel), ElementsAre("Here"));
  ASSERT_EQ(Host().messages.size(), 1u);
  EXPECT_EQ(Host().messages[0].help, "BookMissing");
  EXPECT_EQ(Host().messages[0].lines.at(2), missing);
  EXPECT_EQ(main::State().settings.book_file, missing);
  ClosePlugin(panel);

  // The second: the default book becomes the setting.
  StopMainLibrary();
  StartMainLibrary(dir_.path());
  main::State().settings.book_file = missing;
  Host().message_answers = {1};
  panel = Open();
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_EQ(main::State().settings.book_file, book());
  ClosePlugin(panel);

  // A path in a directory that is there names a new book: it is made there, without a question.
  StopMainLibrary();
  const std::string fresh = dir_ / "fresh.dat";
  StartMainLibrary(dir_.path());
  main::State().settings.book_file = fresh;
  panel = Open();
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ListNames(panel).empty());
  EXPECT_TRUE(Host().messages.empty());
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_EQ(main::State().settings.book_file, fresh);
  ClosePlugin(panel);

  // Cancel: no panel, and no book made anywhere.
  StopMainLibrary();
  std::filesystem::remove(book());
  StartMainLibrary(dir_.path());
  main::State().settings.book_file = missing;
  Host().message_answers = {2};
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(std::filesystem::exists(book()));
  EXPECT_EQ(main::State().settings.book_file, missing);
}

TEST_F(BookPanelTest, BookThatIsThereButUnreadableIsReportedNotReplaced) {
  const std::string other = dir_ / "mine.dat";
  std::ofstream(other) << "this is not a compound file, and it is the user's";
  main::State().settings.book_file = other;
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_THAT(TakeBox(), ElementsAre(T(13), T(38), other, "HResult = 0x800300FB", T(0)));
  EXPECT_FALSE(std::filesystem::exists(book()));  // no empty book appeared in its place
  EXPECT_STRNE(main::MainText(38), "");           // the language files were found
  EXPECT_EQ(main::State().settings.book_file, other);
}

TEST_F(BookPanelTest, RootListsFoldersAndRecordsWithTheirTimesAndAttributes) {
  MakeFriendsBook();
  BookBuilder(dir_ / "unused.dat");  // keeps the test independent of the clock's resolution
  HANDLE panel = Open();
  PluginPanelItem* items = nullptr;
  int count = 0;
  ASSERT_EQ(GetFindData(panel, &items, &count, 0), 1);
  ASSERT_EQ(count, 3);
  storage::FileTime friends_created = 0;
  {
    storage::Storage root, friends;
    ASSERT_EQ(storage::OpenCompoundFile(book(), storage::STGM_READ | storage::STGM_SHARE_DENY_WRITE,
                                        &root),
              storage::S_OK);
    storage::Enumerator e;
    root.Enumerate(&e);
    storage::ElementStat stat;
    while (e.Next(&stat) == storage::S_OK) {
      if (stat.name == u"Friends") friends_created = stat.creation;
    }
  }
  ASSERT_NE(friends_created, 0u);
  for (int i = 0; i < count; ++i) {
    const PluginPanelItem& item = items[i];
    const std::string name = item.FindData.cFileName;
    if (name == "Anna") {
      EXPECT_EQ(item.FindData.dwFileAttributes, 0x31u);
      EXPECT_EQ(item.UserData, 1u);
    } else {
      EXPECT_EQ(item.FindData.dwFileAttributes, 0x10u) << name;
      EXPECT_EQ(item.UserData, 0u);
    }
    if (name == "Friends") {
      const uint64_t created = uint64_t{item.FindData.ftCreationTime.dwHighDateTime} << 32 |
                               item.FindData.ftCreationTime.dwLowDateTime;
      EXPECT_EQ(created, friends_created);
    }
    EXPECT_EQ(item.Flags & PPIF_USERDATA, 0u);
  }
  // Folders sort before records whatever their names.
  const PluginPanelItem* anna = nullptr;
  const PluginPanelItem* zed = nullptr;
  for (int i = 0; i < count; ++i) {
    if (std::string(items[i].FindData.cFileName) == "Anna") anna = &items[i];
    if (std::string(items[i].FindData.cFileName) == "Zed") zed = &items[i];
  }
  ASSERT_TRUE(anna && zed);
  EXPECT_EQ(Compare(panel, zed, anna, SM_NAME), -1);
  EXPECT_EQ(Compare(panel, anna, zed, SM_NAME), 1);
  EXPECT_EQ(Compare(panel, zed, zed, SM_NAME), -2);
  FreeFindData(panel, items, count);
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, HiddenElementsPasswordsDescriptionsAndReservedCharacters) {
  BookBuilder(book())
      .Folder("Locked")
      .Stream(qb::main::kPasswordStream, "Locked", std::vector<uint8_t>(16, 1))
      .Folder("Described")
      .Stream(qb::main::kDescriptionStream, "Described", {'o', 'l', 'd', ' ', 'p', 'a', 'l', 's'})
      .Stream(u" x", "", {})
      .Folder(" hidden folder")
      .Record("Who?")
      .Record("a*b<c");
  HANDLE panel = Open();
  PluginPanelItem* items = nullptr;
  int count = 0;
  ASSERT_EQ(GetFindData(panel, &items, &count, 0), 1);
  std::map<std::string, const PluginPanelItem*> by_name;
  for (int i = 0; i < count; ++i) by_name[items[i].FindData.cFileName] = &items[i];
  EXPECT_EQ(by_name.size(), 4u);
  ASSERT_TRUE(by_name.count("Locked"));
  EXPECT_EQ(by_name["Locked"]->FindData.dwFileAttributes, 0x12u);
  ASSERT_TRUE(by_name.count("Described"));
  ASSERT_NE(by_name["Described"]->Description, nullptr);
  EXPECT_STREQ(by_name["Described"]->Description, "old pals");
  EXPECT_TRUE(by_name.count("Who_"));
  EXPECT_TRUE(by_name.count("a_b_c"));
  FreeFindData(panel, items, count);

  // Silent listings (walks, searches) look no deeper than the names. To Find a record is an item
  // to find, not a folder to enter.
  ASSERT_EQ(GetFindData(panel, &items, &count, OPM_FIND), 1);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(items[i].Description, nullptr);
    if (std::string(items[i].FindData.cFileName) == "Locked") {
      EXPECT_EQ(items[i].FindData.dwFileAttributes, 0x10u);
    }
    if (std::string(items[i].FindData.cFileName) == "Who_") {
      EXPECT_EQ(items[i].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
  }
  FreeFindData(panel, items, count);
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, AFolderDescriptionPastTheLimitShowsItsBeginningAndEndsAtAZeroByte) {
  std::vector<uint8_t> huge(qb::main::kMaxFolderDescription + 100, 'h');
  BookBuilder(book())
      .Folder("Huge")
      .Stream(qb::main::kDescriptionStream, "Huge", huge)
      .Folder("Zero")
      .Stream(qb::main::kDescriptionStream, "Zero", {'t', 'w', 'o', 0, 'x'});
  HANDLE panel = Open();
  PluginPanelItem* items = nullptr;
  int count = 0;
  ASSERT_EQ(GetFindData(panel, &items, &count, 0), 1);
  std::map<std::string, const PluginPanelItem*> by_name;
  for (int i = 0; i < count; ++i) by_name[items[i].FindData.cFileName] = &items[i];
  ASSERT_TRUE(by_name.count("Huge") && by_name.count("Zero"));
  ASSERT_NE(by_name["Huge"]->Description, nullptr);
  EXPECT_EQ(std::string(by_name["Huge"]->Description),
            std::string(qb::main::kMaxFolderDescription, 'h'));
  EXPECT_STREQ(by_name["Zero"]->Description, "two");
  FreeFindData(panel, items, count);
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, EnteringAndLeavingFoldersAndRecords) {
  MakeFriendsBook();
  HANDLE panel = Open();
  EXPECT_EQ(SetDirectory(panel, "Friends", 0), 1);
  EXPECT_EQ(PathOf(panel), "\\Friends");
  EXPECT_THAT(ListNames(panel), UnorderedElementsAre("Work", "John"));
  EXPECT_EQ(SetDirectory(panel, "Work\\Old", 0), 1);
  EXPECT_EQ(PathOf(panel), "\\Friends\\Work\\Old");
  EXPECT_EQ(SetDirectory(panel, "..", 0), 1);
  EXPECT_EQ(PathOf(panel), "\\Friends\\Work");
  EXPECT_EQ(SetDirectory(panel, "\\", 0), 1);
  EXPECT_EQ(PathOf(panel), "");
  // A path through a record stops at the record.
  EXPECT_EQ(SetDirectory(panel, "\\Friends\\John\\Work", 0), 1);
  EXPECT_EQ(PathOf(panel), "\\Friends\\John");
  EXPECT_TRUE(ListNames(panel).empty());
  EXPECT_EQ(SetDirectory(panel, "..", 0), 1);
  EXPECT_EQ(PathOf(panel), "\\Friends");
  EXPECT_TRUE(Host().messages.empty());
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, ViewModesFollowTheContext) {
  MakeFriendsBook();
  main::Settings& settings = main::State().settings;
  settings.panel_mode1 = 3;
  settings.panel_mode2 = 4;
  HANDLE panel = Open();
  Host().controls.clear();
  Host().view_mode = 6;  // the user switched the folder view to mode 6
  EXPECT_EQ(SetDirectory(panel, "Anna", 0), 1);
  EXPECT_EQ(settings.panel_mode1, 6);
  EXPECT_EQ(Host().controls.back(), std::make_pair(FCTL_SETVIEWMODE, 4));
  Host().view_mode = 1;  // and the record view to mode 1
  EXPECT_EQ(SetDirectory(panel, "..", 0), 1);
  EXPECT_EQ(settings.panel_mode2, 1);
  EXPECT_EQ(Host().controls.back(), std::make_pair(FCTL_SETVIEWMODE, 6));
  OpenPluginInfo info{};
  GetOpenPluginInfo(panel, &info);
  EXPECT_EQ(info.StartPanelMode, '6');
  // Silent moves leave the view alone.
  Host().controls.clear();
  EXPECT_EQ(SetDirectory(panel, "Friends", OPM_SILENT), 1);
  EXPECT_TRUE(Host().controls.empty());
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, OpenPluginInfoAndKeyBarsDependOnTheContext) {
  MakeFriendsBook();
  HANDLE panel = Open();
  OpenPluginInfo info{};
  GetOpenPluginInfo(panel, &info);
  EXPECT_EQ(info.StructSize, static_cast<int>(sizeof(OpenPluginInfo)));
  EXPECT_EQ(info.Flags, 0x834Cu);
  EXPECT_STREQ(info.PanelTitle, "Quillbox");
  EXPECT_EQ(info.PanelModesNumber, 3);
  EXPECT_STREQ(info.PanelModesArray[1].ColumnTypes, "NO,Z");
  EXPECT_STREQ(info.PanelModesArray[2].ColumnWidths, "25,0");
  EXPECT_EQ(info.StartSortMode, SM_NAME);
  ASSERT_NE(info.KeyBar, nullptr);
  EXPECT_EQ(info.KeyBar->Titles[6], nullptr);  // F7 stays the host's in a folder
  EXPECT_NE(info.KeyBar->ShiftTitles[6], nullptr);
  SetDirectory(panel, "Anna", 0);
  GetOpenPluginInfo(panel, &info);
  ASSERT_NE(info.KeyBar->Titles[6], nullptr);
  EXPECT_STREQ(info.KeyBar->Titles[6], "");  // hidden inside a record
  EXPECT_EQ(info.KeyBar->ShiftTitles[6], nullptr);
  EXPECT_STREQ(info.CurDir, "\\Anna");
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, DotDotAtTheRootClosesThePanel) {
  MakeFriendsBook();
  HANDLE panel = Open();
  Host().controls.clear();
  EXPECT_EQ(SetDirectory(panel, "..", 0), 1);
  ASSERT_FALSE(Host().controls.empty());
  EXPECT_EQ(Host().controls.back().first, FCTL_CLOSEPLUGIN);
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, MissingPathPartIsReportedAndThePanelStaysAtTheLastFolderReached) {
  MakeFriendsBook();
  HANDLE panel = Open();
  EXPECT_EQ(SetDirectory(panel, "\\Friends\\Nobody\\Work", 0), 0);
  EXPECT_THAT(TakeBox(), ElementsAre(T(13), T(41), "Nobody", "HResult = 0x80030002", T(0)));
  EXPECT_EQ(PathOf(panel), "\\Friends");
  // A name the storage refuses outright shows its own code.
  EXPECT_EQ(SetDirectory(panel, std::string(40, 'n').c_str(), 0), 0);
  EXPECT_EQ(TakeBox().at(3), "HResult = 0x800300FC");
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, CommandLineOpensAtItsPathOrAtTheDeepestExistingFolder) {
  MakeFriendsBook();
  HANDLE panel = Open(OPEN_COMMANDLINE, "\\Friends\\Work");
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PathOf(panel), "\\Friends\\Work");
  ClosePlugin(panel);
  panel = Open(OPEN_COMMANDLINE, "\\Friends\\Gone\\Old");
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PathOf(panel), "\\Friends");
  EXPECT_EQ(TakeBox().at(2), "Gone");
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, APathLongerThanItsBufferIsCutBetweenCharacters) {
  // Six levels of "a" and 30 two-byte letters: 62 bytes each with the "\\". The buffer's 259
  // bytes end just after the first byte of a letter in the fifth name.
  std::string name = "a";
  for (int i = 0; i < 30; ++i) name += "\xD0\x96";
  std::string folder, path;
  {
    BookBuilder builder(book());
    for (int level = 0; level < 6; ++level) {
      folder += (level ? "/" : "") + name;
      path += "\\" + name;
      builder.Folder(folder);
    }
  }
  HANDLE panel = Open(OPEN_COMMANDLINE, path.c_str());
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  const std::string shown = PathOf(panel);
  EXPECT_EQ(shown, path.substr(0, 258));
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, MenuOpensWhereAPanelLastReleasedTheBookAndAtTheRootAfterAClose) {
  MakeFriendsBook();
  HANDLE first = Open();
  SetDirectory(first, "Friends\\Work", 0);
  HANDLE second = Open(OPEN_PLUGINSMENU);
  EXPECT_EQ(PathOf(second), "\\Friends\\Work");
  // Both panels use the book at once, each with its own position.
  SetDirectory(second, "..", 0);
  EXPECT_THAT(ListNames(first), ElementsAre("Old"));
  EXPECT_THAT(ListNames(second), UnorderedElementsAre("Work", "John"));
  ClosePlugin(second);
  HANDLE third = Open();
  EXPECT_EQ(PathOf(third), "");
  ClosePlugin(third);
  ClosePlugin(first);
}

TEST_F(BookPanelTest, BookIsClosedBetweenHostCalls) {
  MakeFriendsBook();
  HANDLE panel = Open();
  EXPECT_TRUE(OtherProcessCanOpen(book()));
  SetDirectory(panel, "Friends\\John", 0);
  EXPECT_TRUE(OtherProcessCanOpen(book()));
  ListNames(panel);
  EXPECT_TRUE(OtherProcessCanOpen(book()));
  ClosePlugin(panel);
  EXPECT_TRUE(OtherProcessCanOpen(book()));
}

// An element of Friends removed by another program while the panel shows it or what lies below.
struct RemovedBetweenCalls {
  const char* name;
  const char* shown;     // the panel's folder before
  const char16_t* gone;  // the element of Friends removed
  const char* gone_name;
  int message;       // the message that names it
  const char* left;  // what Friends holds after
};

class RemovedBetweenCallsTest : public BookPanelTest,
                                public ::testing::WithParamInterface<RemovedBetweenCalls> {};

TEST_P(RemovedBetweenCallsTest, IsReportedAndThePanelShowsFriends) {
  const RemovedBetweenCalls& c = GetParam();
  MakeFriendsBook();
  HANDLE panel = Open();
  SetDirectory(panel, c.shown, 0);
  {
    storage::Storage root, friends;
    ASSERT_EQ(storage::OpenCompoundFile(book(), kMode, &root), storage::S_OK);
    ASSERT_EQ(root.OpenStorage(u"Friends", kMode, &friends), storage::S_OK);
    ASSERT_EQ(friends.DestroyElement(c.gone), storage::S_OK);
  }
  EXPECT_THAT(ListNames(panel), ElementsAre(c.left));
  EXPECT_THAT(TakeBox(),
              ElementsAre(T(13), T(c.message), c.gone_name, "HResult = 0x80030002", T(0)));
  EXPECT_EQ(PathOf(panel), "\\Friends");
  EXPECT_TRUE(OtherProcessCanOpen(book()));
  // Reported once.
  EXPECT_THAT(ListNames(panel), ElementsAre(c.left));
  EXPECT_TRUE(Host().messages.empty());
  ClosePlugin(panel);
}

INSTANTIATE_TEST_SUITE_P(
    BookPanelTest, RemovedBetweenCallsTest,
    ::testing::Values(
        // A folder on the way: the panel moves up to the folder that is still there.
        RemovedBetweenCalls{"Folder", "Friends\\Work\\Old", u"Work", "Work", 39, "John"},
        // The record shown: the panel shows its folder.
        RemovedBetweenCalls{"Record", "Friends\\John", u"John", "John", 40, "Work"}),
    [](const ::testing::TestParamInfo<RemovedBetweenCalls>& info) {
      return std::string(info.param.name);
    });

TEST_F(BookPanelTest, BookLockedByAnotherProcessIsReportedWithoutOpeningAnotherBook) {
  MakeFriendsBook();
  HANDLE panel = Open();
  storage::Storage held;
  ASSERT_EQ(storage::OpenCompoundFile(book(), kMode, &held), storage::S_OK);
  EXPECT_THAT(ListNames(panel), ElementsAre("<failed>"));
  EXPECT_EQ(TakeBox().at(3), "HResult = 0x80030020");
  held.Release();
  EXPECT_EQ(ListNames(panel).size(), 3u);
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, ACommitTheDiskRefusesIsReportedAndTheBookKeepsItsState) {
  BookBuilder(book()).Folder("Friends").Record("Anna",
                                               RecordBytes({{0x10101, std::string(200, 'k')}}));
  HANDLE panel = Open();
  SetDirectory(panel, "Anna", 0);
  auto* book_panel = static_cast<main::BookPanel*>(panel);
  // The book moves to an in-memory disk that fills up during the operation: the 64 KB field
  // gets only part of the way.
  storage::testing::MemFs disk;
  {
    std::ifstream in(book(), std::ios::binary);
    disk.Install(book(), std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  }
  disk.LimitFileSize(std::filesystem::file_size(book()) + 20000);
  FileSystemInPlace in_place(&disk);
  ASSERT_EQ(book_panel->Acquire(), 1);
  const std::vector<char> big(64 * 1024, 'x');
  book_panel->AppendField(big.data(), static_cast<uint32_t>(big.size()), 0x10101);
  book_panel->Release();
  disk.LimitFileSize(UINT64_MAX);

  const auto box = TakeBox();
  ASSERT_GE(box.size(), 3u);
  EXPECT_EQ(box[1], T(80));
  EXPECT_EQ(box[2], book());
  storage::Storage root;
  storage::Stream anna;
  ASSERT_EQ(storage::OpenCompoundFile(book(), kMode, &root, &disk), storage::S_OK);
  ASSERT_EQ(root.OpenStream(u"Anna", kMode, &anna), storage::S_OK);
  storage::ElementStat stat;
  anna.Stat(&stat);
  EXPECT_EQ(stat.size, 208u);  // the field before the operation, whole
  anna.Release();
  root.Release();
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, AfterAFailedCommitThePanelShowsTheBookAsItIs) {
  BookBuilder(book()).Folder("Friends");
  HANDLE panel = Open();
  // The host rereads the panel whenever it is asked to, as the real one does.
  std::vector<std::vector<std::string>> listed;
  Host().control = [&](int command, void*) {
    if (command == FCTL_UPDATEPANEL) listed.push_back(ListNames(panel));
    return 1;
  };
  EXPECT_THAT(ListNames(panel), ElementsAre("Friends"));
  storage::testing::MemFs disk;
  {
    std::ifstream in(book(), std::ios::binary);
    disk.Install(book(), std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  }
  FileSystemInPlace in_place(&disk);
  disk.Arm(storage::testing::MemFs::Fault::kError, 0);  // the commit's first write
  char name[NM] = "New";
  MakeDirectory(panel, name, OPM_SILENT);
  ASSERT_FALSE(listed.empty());
  EXPECT_THAT(listed.front(), UnorderedElementsAre("Friends", "New"));  // before the commit
  EXPECT_EQ(TakeBox().at(1), T(80));
  EXPECT_THAT(listed.back(), ElementsAre("Friends"));
  Host().control = nullptr;
  ClosePlugin(panel);
}

TEST_F(BookPanelTest, PluginInfoOffersTheMenusAndThePrefix) {
  PluginInfo info{};
  GetPluginInfo(&info);
  EXPECT_EQ(info.Flags, 0u);
  EXPECT_EQ(info.DiskMenuStringsNumber, 1);
  EXPECT_STREQ(info.DiskMenuStrings[0], "Quillbox");
  EXPECT_EQ(info.PluginMenuStringsNumber, 0);
  EXPECT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_STREQ(info.CommandPrefix, "quill");
  main::State().settings.show_in_disks_menu = 0;
  GetPluginInfo(&info);
  EXPECT_EQ(info.DiskMenuStringsNumber, 0);
  EXPECT_EQ(info.PluginConfigStringsNumber, 1);
  ClosePlugin(nullptr);  // nothing happens
}

// The book's file refuses writing (as a 0444 file does for a user other than root): it opens for
// reading, a box says so once, and changes are refused with a box, leaving the file as it was.
class WriteDenied final : public storage::FileSystem {
 public:
  storage::HRESULT Open(const std::string& path, storage::OpenKind kind, storage::LockKind lock,
                        std::unique_ptr<storage::File>* out) override {
    if (kind != storage::OpenKind::kReadOnly) return storage::STG_E_ACCESSDENIED;
    return real_->Open(path, kind, lock, out);
  }
  storage::HRESULT Exists(const std::string& path) override { return real_->Exists(path); }
  storage::HRESULT Remove(const std::string&) override { return storage::STG_E_ACCESSDENIED; }
  storage::HRESULT Rename(const std::string&, const std::string&, bool) override {
    return storage::STG_E_ACCESSDENIED;
  }
  storage::HRESULT SyncDirectory(const std::string& path) override {
    return real_->SyncDirectory(path);
  }
  storage::FileTime Now() override { return real_->Now(); }

 private:
  storage::FileSystem* real_ = storage::FileSystem::Posix();
};

TEST_F(BookPanelTest, BookThatDeniesWritingIsShownAndRefusesChanges) {
  MakeFriendsBook();
  const std::string bytes = [&] {
    std::ifstream in(book(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  WriteDenied denied;
  FileSystemInPlace in_place(&denied);
  HANDLE panel = Open();
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  ASSERT_EQ(Host().messages.size(), 1u);
  EXPECT_THAT(Host().messages[0].lines, ::testing::Contains(T(88)));
  Host().messages.clear();
  EXPECT_THAT(ListNames(panel), UnorderedElementsAre("Friends", "Zed", "Anna"));
  ASSERT_EQ(SetDirectory(panel, "Friends", 0), 1);
  EXPECT_THAT(ListNames(panel), UnorderedElementsAre("Work", "John"));
  EXPECT_TRUE(Host().messages.empty());  // said once per panel

  char name[] = "New";
  EXPECT_EQ(MakeDirectory(panel, name, 0), 0);
  ASSERT_EQ(Host().messages.size(), 1u);
  EXPECT_THAT(Host().messages[0].lines, ::testing::Contains(T(89)));
  Host().messages.clear();
  PluginPanelItem item{};
  std::strcpy(item.FindData.cFileName, "John");
  EXPECT_EQ(DeleteFiles(panel, &item, 1, 0), 0);
  ASSERT_EQ(Host().messages.size(), 1u);
  EXPECT_THAT(Host().messages[0].lines, ::testing::Contains(T(89)));
  Host().messages.clear();
  EXPECT_THAT(ListNames(panel), UnorderedElementsAre("Work", "John"));
  ClosePlugin(panel);
  std::ifstream in(book(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            bytes);
}

}  // namespace
}  // namespace qb::test
