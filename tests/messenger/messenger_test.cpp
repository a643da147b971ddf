// Messenger.qbl through the field-type host against a scripted host, with a recording client
// library beside the main library: its fixed texts, the online mark from the polled list, the walk
// calls and their veto, the edit loop, messages and files, the untrusted online list, its settings
// and its vCard properties.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fieldtypes/messenger/online_list.h"
#include "platform/messenger/messenger_api.h"
#include "sdk/host_exports.h"
#include "sdk/services.h"
#include "tests/support/headless.h"
#include "tests/support/service_test.h"
#include "tests/support/vcard_recorder.h"

namespace {
QbTimerCallback g_timer = nullptr;
uint32_t g_interval = 0;
int g_killed = 0;
}  // namespace

// The host program's timers, which Messenger finds among the program's symbols.
extern "C" __attribute__((visibility("default"))) uintptr_t QbSetTimer(uint32_t interval_ms,
                                                                       QbTimerCallback callback) {
  g_interval = interval_ms;
  g_timer = callback;
  return 99;
}
extern "C" __attribute__((visibility("default"))) int QbKillTimer(uintptr_t id) {
  if (id == 99) ++g_killed;
  g_timer = nullptr;
  return 1;
}

namespace qb::test {
namespace {

namespace fs = std::filesystem;

constexpr FieldTypeId kMessenger = 0x10801;

class MessengerTest : public ServiceTest {
 protected:
  MessengerTest() {
    g_timer = nullptr;
    g_killed = 0;
    setenv("QB_MESSENGER_RECORD", (dir / "calls").c_str(), 1);
    for (const char* name : {"QB_MESSENGER_ONLINE", "QB_MESSENGER_COUNT", "QB_MESSENGER_RESULT",
                             "QB_MESSENGER_NULL_LIST"})
      unsetenv(name);
    // The client library is looked for beside the main library: this directory.
    const std::string module = (dir / "Quillbox.so").string();
    std::snprintf(host.info.ModuleName, sizeof host.info.ModuleName, "%s", module.c_str());
    auto& st = qb::main::State();
    st.info = host.info;
    st.host_services.CurrentRecord = record.c_str();
    fs::copy_file(QB_RECORDING_MESSENGER, dir / QB_MESSENGER_LIBRARY);
  }
  ~MessengerTest() override {
    qb::main::State().field_types.Unload();
    qb::main::State().host_services = HostServices{};
    unsetenv("QB_MESSENGER_RECORD");
  }

  const qb::main::FieldTypeSlot& Messenger() { return LoadedFieldType("Messenger.qbl"); }
  void Store(const char* name, DWORD value) {
    HKEY key = OpenRegKey(host.info.RootKey, "Messenger");
    ASSERT_EQ(qb::registry::SetDword(key, name, value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  // The client's online list as the next poll fetches it, fetched.
  void Poll(const char* online) {
    setenv("QB_MESSENGER_ONLINE", online, 1);
    ASSERT_NE(g_timer, nullptr);
    g_timer(99, 5000);
  }
  std::string Description(const char* text) {
    char* out = nullptr;
    Messenger().GetDescription(&out, text, static_cast<uint32_t>(std::strlen(text) + 1),
                               kMessenger);
    return Take(out);
  }
  int Before(uint32_t event) { return Messenger().OnEnter(nullptr, 0, 0, event, FTEV_BEFORE); }
  std::string Calls() {
    std::string calls = ReadFile(dir / "calls");
    fs::remove(dir / "calls");
    return calls;
  }

  TempDir temp{"qb-messenger"};
  fs::path dir = temp.root();
  std::string record = "Ann Smith";
};

TEST_F(MessengerTest, DescribesItselfWithItsOwnTextsAndPollsEveryFiveSeconds) {
  const auto& m = Messenger();
  EXPECT_STREQ(m.info->Name, "Messenger number");
  EXPECT_STREQ(m.info->Token, "M");
  EXPECT_STREQ(m.info->MenuName, "Messenger number");
  EXPECT_EQ(m.info->Flags, 0xB3001u);
  EXPECT_EQ(m.info->NewId, kMessenger);
  EXPECT_TRUE(m.Claims(0x10800));
  EXPECT_TRUE(m.Claims(0x108FF));
  EXPECT_FALSE(m.Claims(0x10900));
  EXPECT_EQ(g_interval, 5000u);
  ASSERT_NE(g_timer, nullptr);

  const char text[] = "123456#home";
  char* out = nullptr;
  m.GetMenuDescription(&out, text, sizeof text, kMessenger);
  EXPECT_EQ(Take(out), "home: 123456");
  EXPECT_EQ(WrittenText([&](FILE* f) {
              m.WriteTextFile(f, text, sizeof text, kMessenger);
              m.WriteTextFile(f, "42", 3, kMessenger);
            }),
            "home: 123456\nMessenger number: 42\n");
  m.WriteTextData(text, sizeof text, kMessenger, &out);
  EXPECT_EQ(Take(out), "123456#home");

  // Before the first poll nobody is online; ExitFAR stops the polling.
  EXPECT_EQ(Description("123456#home"), "123456");
  qb::main::State().field_types.Unload();
  EXPECT_EQ(g_killed, 1);
}

TEST_F(MessengerTest, AnOnlineNumberCarriesTheAsteriskInItsDescriptionAndPanelItem) {
  Messenger();
  Poll("777,123456");
  EXPECT_EQ(Calls(), "list\n");
  EXPECT_EQ(Description("123456#home"), "123456*");
  EXPECT_EQ(Description("  123456 and more"), "  123456 and more*");  // the number ends at a blank
  EXPECT_EQ(Description("12345#home"), "12345");
  PluginPanelItem item{};
  const char text[] = "123456#home";
  Messenger().GetPanelItem(&item, text, sizeof text, kMessenger);
  EXPECT_STREQ(item.FindData.cFileName, "home");
  EXPECT_STREQ(item.Description, "123456*");
  Free(item.Description);

  // The next poll replaces the list; a failed one leaves nobody online.
  Poll("777");
  EXPECT_EQ(Description("123456#home"), "123456");
  Poll("123456");
  setenv("QB_MESSENGER_RESULT", "0", 1);
  Poll("123456");
  EXPECT_EQ(Description("123456"), "123456");
}

TEST_F(MessengerTest, WithoutAsteriskOnlineNumbersLookAsAnyOther) {
  Store("Asterisk", 0);
  Messenger();
  Poll("123456");
  EXPECT_EQ(Description("123456#home"), "123456");
  PluginPanelItem item{};
  Messenger().GetPanelItem(&item, "123456", 7, kMessenger);
  EXPECT_STREQ(item.Description, "123456");
  Free(item.Description);
}

TEST_F(MessengerTest, TheCallBeforeAWalkFollowsTheSettingsAndTheClientsAnswer) {
  Store("StartNotify", 0);
  Messenger();
  Calls();
  // Opening a panel and the host's start: not wanted, the client is not asked.
  EXPECT_EQ(Before(FTEV_OPEN), 0);
  EXPECT_EQ(Before(FTEV_START), 0);
  EXPECT_EQ(Calls(), "");
  // The enter event and the user's scan ask the client, whose answer decides.
  EXPECT_EQ(Before(0x2000), 1);
  EXPECT_EQ(Before(FTEV_SCAN), 1);
  EXPECT_EQ(Calls(), "list\nlist\n");
  setenv("QB_MESSENGER_RESULT", "0", 1);
  EXPECT_EQ(Before(FTEV_SCAN), 0);
  EXPECT_EQ(Calls(), "list\n");
}

TEST_F(MessengerTest, TheEnterEventFollowsItsOwnSetting) {
  Store("EnterNotify", 0);
  Messenger();
  Calls();
  EXPECT_EQ(Before(0x2000), 0);
  EXPECT_EQ(Calls(), "");
  EXPECT_EQ(Before(FTEV_OPEN), 1);
  EXPECT_EQ(Calls(), "list\n");
}

TEST_F(MessengerTest, EachOnlineFieldOfAWalkIsAnnouncedWithTheRecordsName) {
  const auto& m = Messenger();
  setenv("QB_MESSENGER_ONLINE", "123456", 1);
  ASSERT_EQ(Before(FTEV_OPEN), 1);
  EXPECT_EQ(m.OnEnter("123456#home", 12, kMessenger, FTEV_OPEN, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Messenger_OnlineMsg");
  EXPECT_EQ(host.messages[0].flags, 0u);
  EXPECT_EQ(host.messages[0].buttons, 1);
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::string>{"Person Online", "Ann Smith", "is currently online", "OK"}));
  EXPECT_EQ(m.OnEnter("654321", 7, kMessenger, FTEV_OPEN, 0), 1);
  EXPECT_EQ(m.OnEnter(nullptr, 0, kMessenger, FTEV_OPEN, 0), 1);
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(MessengerTest, OnlyATextBeginningWithANumberOrBlankIsTaken) {
  const auto& m = Messenger();
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  // A letter first: the dialog comes back with the field as it was; cancelled then: 0.
  host.dialog_answers.push_back(ScriptedHost::Accept({"home"}));
  host.dialog_answers.push_back(ScriptedHost::Cancel());
  EXPECT_EQ(m.EditContents("123#old", 8, kMessenger, &data, &size, &type, 1), 0);
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_EQ(host.dialogs[0].help, "Messenger_EditDlg");
  EXPECT_EQ(host.dialogs[1].lines[0], "Messenger number");
  EXPECT_EQ(host.dialogs[1].lines[1], "123#old");
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);

  for (const char* taken : {"", "   ", " 42abc#work", "7"}) {
    host.Reset();
    host.dialog_answers.push_back(ScriptedHost::Accept({taken}));
    data = nullptr;
    type = 0;
    ASSERT_EQ(m.EditContents(nullptr, 0, kMessenger, &data, &size, &type, 1), 1) << taken;
    EXPECT_STREQ(static_cast<char*>(data), taken);
    EXPECT_EQ(size, std::strlen(taken) + 1);
    EXPECT_EQ(type, kMessenger);
    Free(data);
  }

  // Viewing shows the text in a box.
  host.Reset();
  EXPECT_EQ(m.EditContents("123", 4, kMessenger, nullptr, nullptr, nullptr, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Messenger_EditDlg");
}

TEST_F(MessengerTest, MessagesAndFilesGoToTheClientAndItsRefusalIsShown) {
  const auto& m = Messenger();
  m.DoSomething("123456#home", 12, kMessenger);
  EXPECT_EQ(m.SendFile("123456#home", 12, kMessenger, "/tmp/a b.txt"), 1);
  EXPECT_EQ(Calls(), "message|123456|\nfile|123456|/tmp/a b.txt\n");
  EXPECT_TRUE(host.messages.empty());

  setenv("QB_MESSENGER_RESULT", "0", 1);
  m.DoSomething("123456", 7, kMessenger);
  EXPECT_EQ(m.SendFile("123456", 7, kMessenger, "/tmp/a b.txt"), 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].help, "Messenger_MessageSendError");
  EXPECT_EQ(host.messages[0].lines[1], "Cannot send Messenger message");
  EXPECT_EQ(host.messages[1].help, "Messenger_SendError");
  EXPECT_EQ(host.messages[1].lines[1], "Cannot send file via Messenger");
  EXPECT_EQ(host.messages[1].lines[2], "/tmp/a b.txt");
}

TEST_F(MessengerTest, TheShippedLibraryReportsThatNoClientIsThere) {
  fs::remove(dir / QB_MESSENGER_LIBRARY);
  const fs::path built = std::getenv("QB_PLUGIN_DIR") ? std::getenv("QB_PLUGIN_DIR") : ".";
  fs::copy_file(built / QB_MESSENGER_LIBRARY, dir / QB_MESSENGER_LIBRARY);
  const auto& m = Messenger();
  m.DoSomething("123456", 7, kMessenger);
  EXPECT_EQ(m.SendFile("123456", 7, kMessenger, "/tmp/x"), 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].lines[1], "Cannot send Messenger message");
  EXPECT_EQ(host.messages[1].lines[1], "Cannot send file via Messenger");
  EXPECT_EQ(Before(FTEV_SCAN), 0);
}

TEST_F(MessengerTest, WithNoLibraryAtAllTheBoxesComeAndNothingBreaks) {
  fs::remove(dir / QB_MESSENGER_LIBRARY);
  const auto& m = Messenger();
  m.DoSomething("123456", 7, kMessenger);
  EXPECT_EQ(m.SendFile("123456", 7, kMessenger, "/tmp/x"), 0);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(Before(FTEV_OPEN), 0);
  g_timer(99, 5000);
}

TEST_F(MessengerTest, AnOnlineListThatCannotBeBelievedMeansNobodyOnline) {
  Messenger();
  // A count far beyond what the list holds.
  setenv("QB_MESSENGER_COUNT", "1000000", 1);
  Poll("123456");
  EXPECT_EQ(Description("123456"), "123456");
  // No list at all, and a negative count.
  unsetenv("QB_MESSENGER_COUNT");
  setenv("QB_MESSENGER_NULL_LIST", "1", 1);
  Poll("123456");
  EXPECT_EQ(Description("123456"), "123456");
  unsetenv("QB_MESSENGER_NULL_LIST");
  setenv("QB_MESSENGER_COUNT", "-1", 1);
  Poll("123456");
  EXPECT_EQ(Description("123456"), "123456");
}

TEST(OnlineListTest, RecordsRunningIntoMemoryThatIsNotThereAreNotRead) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto* pages = static_cast<unsigned char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  // One record ends exactly at the page's end; a second would lie in the page that is not there.
  unsigned char* last = pages + page - QB_MESSENGER_RECORD_SIZE;
  const int32_t number = 4242;
  std::memcpy(last, &number, 4);
  const void* first = last;
  EXPECT_EQ(qb::messenger::OnlineNumbers(1, &first), std::vector<int32_t>{4242});
  EXPECT_TRUE(qb::messenger::OnlineNumbers(2, &first).empty());
  // A reference that itself leads nowhere.
  EXPECT_TRUE(
      qb::messenger::OnlineNumbers(1, reinterpret_cast<const void* const*>(pages + page)).empty());
  const void* none = nullptr;
  EXPECT_TRUE(qb::messenger::OnlineNumbers(1, &none).empty());
  EXPECT_TRUE(qb::messenger::OnlineNumbers(qb::messenger::kMaxOnline + 1, &first).empty());
  munmap(pages, 2 * page);
}

TEST_F(MessengerTest, SettingsAreReadAsZeroOrOneAndWrittenAtExit) {
  Store("Asterisk", 7);  // out of range: the default
  Store("StartNotify", 0);
  Messenger();
  // The dialog: three check boxes; the first is cleared.
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_EQ(count, 6);
    EXPECT_STREQ(items[1].Data, "Add &asterisk if online");
    EXPECT_EQ(items[1].Selected, 1);
    EXPECT_STREQ(items[2].Data, "Notify on &start");
    EXPECT_EQ(items[2].Selected, 0);
    EXPECT_STREQ(items[3].Data, "Notify on &enter");
    items[1].Selected = 0;
    return count - 2;
  });
  EXPECT_EQ(Messenger().ConfigurePlugin(), 1);
  EXPECT_EQ(host.dialogs[0].help, "Messenger_Config");
  EXPECT_EQ(host.dialogs[0].lines[0], "Messenger number");
  qb::main::State().field_types.Unload();
  EXPECT_EQ(StoredNumber("Messenger", "Asterisk"), 0u);
  EXPECT_EQ(StoredNumber("Messenger", "StartNotify"), 0u);
  EXPECT_EQ(StoredNumber("Messenger", "EnterNotify"), 1u);
}

TEST_F(MessengerTest, TheNumberIsAnIcqAddressOfACardAndComesBackFromOne) {
  auto write = Messenger().module.FindAs<PFN_WriteVCard>("WriteVCard");
  auto read = Messenger().module.FindAs<PFN_ReadVCard>("ReadVCard");
  ASSERT_NE(write, nullptr);
  ASSERT_NE(read, nullptr);
  VCardRecorder recorder;
  const VCardWriter writer = recorder.writer();
  write("123456#home", 12, kMessenger, &writer);
  write("42", 3, kMessenger, &writer);
  write("no number", 10, kMessenger, &writer);
  write(nullptr, 0, kMessenger, &writer);
  EXPECT_EQ(recorder.lines, "IMPP;X-LABEL=home:icq:123456\nIMPP:icq:42\n");

  const VCardParam label[] = {{"X-LABEL", "home #1"}};
  const char* const none[] = {""};
  const VCardProperty card[] = {
      {"", "IMPP", label, 1, "icq:123456", none, 1},
      {"", "X-ICQ", nullptr, 0, "123-456-789", none, 1},
      {"", "IMPP", nullptr, 0, "xmpp:ann@example.org", none, 1},
      {"", "TEL", nullptr, 0, "123456", none, 1},
      {"", "IMPP", nullptr, 0, "icq:99999999999", none, 1},
      {"", "X-ICQ", nullptr, 0, "12ab", none, 1},
  };
  const char* expected[] = {"123456#home 1", "123456789", nullptr, nullptr, nullptr, nullptr};
  for (uint32_t i = 0; i < 6; ++i) {
    void* data = nullptr;
    uint32_t size = 0;
    FieldTypeId type = 0;
    const int result = read(card, 6, i, &data, &size, &type);
    if (expected[i] == nullptr) {
      EXPECT_EQ(result, VCARD_NOT_MINE) << i;
      continue;
    }
    ASSERT_EQ(result, VCARD_FIELD) << i;
    EXPECT_STREQ(static_cast<char*>(data), expected[i]);
    EXPECT_EQ(size, std::strlen(expected[i]) + 1);
    EXPECT_EQ(type, kMessenger);
    Free(data);
  }
}

}  // namespace
}  // namespace qb::test
