// EMail.qbl through the field-type host against a scripted host: how an address shows, its edit,
// view and configuration dialogs, its setting, and the Simple MAPI message of a new mail and of a
// file sent (recorded by the test's mail library).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "sdk/mapi.h"
#include "sdk/services.h"
#include "tests/support/clipboard_double.h"
#include "tests/support/headless.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

constexpr FieldTypeId kEMail = 0x10501;

class EMailTest : public ServiceTest {
 protected:
  EMailTest() {
    RecordedClipboard() = kClipboardUntouched;
    setenv("QB_MAPI_RECORD", (dir / "mails").c_str(), 1);
    unsetenv("QB_MAPI_RESULT");
    // The mail library is looked for beside the main library: this directory.
    const std::string module = (dir / "Quillbox.so").string();
    std::snprintf(host.info.ModuleName, sizeof host.info.ModuleName, "%s", module.c_str());
    auto& st = qb::main::State();
    st.info = host.info;
    st.host_services.UserName = user_name.c_str();
    st.host_services.CurrentPanelPath = panel_path.c_str();
    st.host_services.CurrentRecord = record.c_str();
    fs::copy_file(QB_RECORDING_MAPI, dir / "MAPI32.so");
  }
  ~EMailTest() override {
    auto& st = qb::main::State();
    st.field_types.Unload();
    st.host_services = HostServices{};
    unsetenv("QB_MAPI_RECORD");
    unsetenv("QB_MAPI_RESULT");
  }

  const qb::main::FieldTypeSlot& EMail() { return LoadedFieldType("EMail.qbl"); }
  void Exit() { EMail().module.FindAs<void (*)()>("ExitFAR")(); }
  std::optional<std::string> Stored() {
    HKEY key = OpenRegKey(host.info.RootKey, "E-Mail");
    auto value = qb::registry::QueryString(key, "LocalEMail");
    CloseRegKey(key);
    return value;
  }
  void Store(const std::string& value) {
    qb::main::State().field_types.Unload();
    HKEY key = OpenRegKey(host.info.RootKey, "E-Mail");
    ASSERT_EQ(qb::registry::SetString(key, "LocalEMail", value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  std::string Mails() { return ReadFile(dir / "mails"); }

  TempDir temp{"qb-email"};
  fs::path dir = temp.root();
  std::string user_name = "Ivan Petrov";
  std::string panel_path = "\\Friends\\Ann Smith";
  std::string record = "Ann Smith";
};

TEST_F(EMailTest, DescribesItselfAndShowsTheCommentAsTheFieldsName) {
  const auto& email = EMail();
  EXPECT_STREQ(email.info->Name, "E-Mail");
  EXPECT_STREQ(email.info->Token, "E");
  EXPECT_STREQ(email.info->MenuName, "E-Mail");
  EXPECT_EQ(email.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(email.info->NewId, kEMail);
  EXPECT_TRUE(email.Claims(0x10500));
  EXPECT_TRUE(email.Claims(0x105FF));
  EXPECT_FALSE(email.Claims(0x10600));
  EXPECT_FALSE(email.Claims(0x10401));

  const char text[] = "ann@example.org#work";
  char* out = nullptr;
  email.GetDescription(&out, text, sizeof text, kEMail);
  EXPECT_EQ(Take(out), "ann@example.org");
  email.GetMenuDescription(&out, text, sizeof text, kEMail);
  EXPECT_EQ(Take(out), "work: ann@example.org");
  PluginPanelItem item{};
  email.GetPanelItem(&item, text, sizeof text, kEMail);
  EXPECT_STREQ(item.FindData.cFileName, "work");
  EXPECT_STREQ(item.Description, "ann@example.org");
  Free(item.Description);
  email.WriteTextData(text, sizeof text, kEMail, &out);
  EXPECT_EQ(Take(out), "ann@example.org#work");

  EXPECT_EQ(WrittenText([&](FILE* file) {
              email.WriteTextFile(file, text, sizeof text, kEMail);
              email.WriteTextFile(file, "bob@example.org", 16, kEMail);
            }),
            "work: ann@example.org\nE-Mail: bob@example.org\n");
}

TEST_F(EMailTest, EditingViewingAndCancelling) {
  const auto& email = EMail();
  host.dialog_answers.push_back(ScriptedHost::Type(1, "ann@example.org#work", 2));
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  ASSERT_EQ(email.EditContents(nullptr, 0, kEMail, &data, &size, &type, 1), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].help, "EMail_EditDlg");
  EXPECT_EQ(host.dialogs[0].lines[0], "E-Mail");
  EXPECT_STREQ(static_cast<char*>(data), "ann@example.org#work");
  EXPECT_EQ(size, 21u);
  EXPECT_EQ(type, kEMail);
  Free(data);

  // An old version's field is written with the current identifier when edited.
  host.dialog_answers.push_back(ScriptedHost::Close(2));
  data = nullptr;
  ASSERT_EQ(email.EditContents("a@b", 4, 0x10500, &data, &size, &type, 1), 1);
  EXPECT_EQ(type, kEMail);
  Free(data);

  // Cancelled: 0, the outputs as they were.
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  data = reinterpret_cast<void*>(1);
  size = 77;
  type = 0x1234;
  EXPECT_EQ(email.EditContents("a@b", 4, 0x10500, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, reinterpret_cast<void*>(1));
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(type, 0x1234u);

  // Viewing shows the text in a box and counts as shown.
  host.messages.clear();
  EXPECT_EQ(email.EditContents("a@b", 4, kEMail, nullptr, nullptr, nullptr, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "EMail_EditDlg");
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::string>{"E-Mail", "a@b", "OK"}));
}

TEST_F(EMailTest, ANewMailGoesToTheRecordsNameAndTheAddressFromTheOwnAddressWithTheFieldCopied) {
  Store("me@example.net");
  const char text[] = "ann@example.org #work";
  EMail().DoSomething(text, sizeof text, kEMail);
  EXPECT_EQ(Mails(),
            "flags=0xB session=0 window=0 reserved=0\n"
            "subject=<null>\nnote=<null>\n"
            "orig=Ivan Petrov|me@example.net\n"
            "to=Ann Smith|ann@example.org \n"
            "end\n");
  EXPECT_EQ(RecordedClipboard(), "ann@example.org #work");
  // The shared user name is the main library's own and stays as it was.
  EXPECT_EQ(qb::main::State().host_services.UserName, user_name.c_str());
  EXPECT_EQ(user_name, "Ivan Petrov");

  // Without an open record the name is "<unknown>"; a field without a comment goes whole; an
  // empty field gives an empty address.
  fs::remove(dir / "mails");
  qb::main::State().host_services.CurrentRecord = nullptr;
  EMail().DoSomething("bob@example.org", 16, kEMail);
  EMail().DoSomething(nullptr, 0, kEMail);
  EXPECT_EQ(Mails(),
            "flags=0xB session=0 window=0 reserved=0\nsubject=<null>\nnote=<null>\n"
            "orig=Ivan Petrov|me@example.net\nto=<unknown>|bob@example.org\nend\n"
            "flags=0xB session=0 window=0 reserved=0\nsubject=<null>\nnote=<null>\n"
            "orig=Ivan Petrov|me@example.net\nto=<unknown>|\nend\n");
}

TEST_F(EMailTest, AFileGoesAsAnAttachmentToTheRecordOfThePanelWithTheSubjectOfTheModule) {
  const auto& email = EMail();
  const char text[] = "ann@example.org#work";
  EXPECT_EQ(email.SendFile(text, sizeof text, kEMail, "/tmp/report.pdf"), 1);
  EXPECT_EQ(Mails(),
            "flags=0xB session=0 window=0 reserved=0\n"
            "subject=File from the contact book\nnote=<null>\n"
            "orig=Ivan Petrov|sysop@example.org\n"
            "to=Ann Smith|ann@example.org\n"
            "file=-1|/tmp/report.pdf|<null>\n"
            "end\n");
  EXPECT_EQ(RecordedClipboard(), kClipboardUntouched);

  // Any failure of the mail library fails the send.
  setenv("QB_MAPI_RESULT", "2", 1);
  EXPECT_EQ(email.SendFile(text, sizeof text, kEMail, "/tmp/report.pdf"), 0);
  unsetenv("QB_MAPI_RESULT");
  // A mail library that is not there sends nothing.
  fs::remove(dir / "MAPI32.so");
  fs::remove(dir / "mails");
  EXPECT_EQ(email.SendFile(text, sizeof text, kEMail, "/tmp/report.pdf"), 0);
  email.DoSomething(text, sizeof text, kEMail);
  EXPECT_FALSE(fs::exists(dir / "mails"));
  // Nor one without the entry point (the telephony library stands for one).
  fs::copy_file(fs::path(std::getenv("QB_PLUGIN_DIR")) / "TAPI32.so", dir / "MAPI32.so");
  EXPECT_EQ(email.SendFile(text, sizeof text, kEMail, "/tmp/report.pdf"), 0);
}

TEST_F(EMailTest, ACyrillicNameReachesTheMailWholeAndALongOneIsCutAtACharacter) {
  record = "Анна Смирнова";
  panel_path = "\\Друзья\\Анна Смирнова";
  auto& services = qb::main::State().host_services;
  services.CurrentRecord = record.c_str();
  services.CurrentPanelPath = panel_path.c_str();
  EMail().SendFile("anna@example.ru", 16, kEMail, "/tmp/x");
  EXPECT_NE(Mails().find("to=Анна Смирнова|anna@example.ru\n"), std::string::npos) << Mails();

  // 200 two-byte letters: the 260-byte name buffer takes 129 of them.
  fs::remove(dir / "mails");
  std::string long_name;
  for (int i = 0; i < 200; ++i) long_name += "Ж";
  services.CurrentRecord = long_name.c_str();
  EMail().DoSomething("a@b.c", 6, kEMail);
  std::string cut;
  for (int i = 0; i < 129; ++i) cut += "Ж";
  EXPECT_NE(Mails().find("to=" + cut + "|a@b.c\n"), std::string::npos) << Mails();
}

TEST_F(EMailTest, TheOwnAddressDefaultsToAnExampleIsWrittenBackAndChangedInTheDialog) {
  EMail();
  Exit();
  EXPECT_EQ(Stored(), "sysop@example.org");

  // A value of another type reads as the default too.
  qb::main::State().field_types.Unload();
  HKEY key = OpenRegKey(host.info.RootKey, "E-Mail");
  ASSERT_EQ(qb::registry::SetDword(key, "LocalEMail", 5), ERROR_SUCCESS);
  CloseRegKey(key);
  EMail();
  Exit();
  EXPECT_EQ(Stored(), "sysop@example.org");

  Store("me@example.net");
  const auto& email = EMail();
  ASSERT_NE(email.ConfigurePlugin, nullptr);
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  EXPECT_EQ(email.ConfigurePlugin(), 0);
  host.dialog_answers.push_back(ScriptedHost::Type(2, "ivan@example.net", 3));
  EXPECT_EQ(email.ConfigurePlugin(), 1);
  ASSERT_EQ(host.dialogs.size(), 2u);
  const auto& dialog = host.dialogs[1];
  EXPECT_EQ(dialog.help, "EMail_Config");
  EXPECT_EQ((std::vector<int>{dialog.x2, dialog.y2}), (std::vector<int>{60, 10}));
  EXPECT_EQ(dialog.lines[0], "E-Mail");
  EXPECT_EQ(dialog.lines[1], "My e-mail address:");
  EXPECT_EQ(dialog.lines[2], "me@example.net");
  Exit();
  EXPECT_EQ(Stored(), "ivan@example.net");
}

}  // namespace
}  // namespace qb::test
