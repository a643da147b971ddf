// Netmail.qbl through the field-type host against a scripted host: how an address shows, its edit
// and configuration dialogs, its settings, and the files SendFile writes (with the clock fixed).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "sdk/services.h"
#include "tests/support/headless.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kKey = "Netmail";

class NetmailTest : public ServiceTest {
 protected:
  NetmailTest() {
    // 3 February 2002, 04:05:06 in the process's time zone, UTC here.
    setenv("TZ", "UTC", 1);
    tzset();
    std::tm t{};
    t.tm_year = 2002 - 1900;
    t.tm_mon = 1;
    t.tm_mday = 3;
    t.tm_hour = 4;
    t.tm_min = 5;
    t.tm_sec = 6;
    qb::clock::SetFixedTime(timegm(&t));
    fs::create_directories(mail_dir);
    fs::create_directories(boxes);
    std::ofstream(dir / "note.txt") << "hello";
    Set("MailOutPath", mail_dir.string());
    Set("FileBoxPath", boxes.string());
    auto& services = qb::main::State().host_services;
    services.UserName = "System Operator";
    services.CurrentRecord = "Ann";
  }
  ~NetmailTest() override {
    qb::main::State().field_types.Unload();
    qb::main::State().host_services = HostServices{};
    unsetenv("TZ");
    tzset();
  }

  // Settings are read when Netmail starts and written back when it exits: Netmail is unloaded
  // first and starts again at its next use.
  void Set(const char* name, const std::string& value) {
    qb::main::State().field_types.Unload();
    HKEY key = OpenRegKey(host.info.RootKey, kKey);
    ASSERT_EQ(qb::registry::SetString(key, name, value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  void Set(const char* name, DWORD value) {
    qb::main::State().field_types.Unload();
    HKEY key = OpenRegKey(host.info.RootKey, kKey);
    ASSERT_EQ(qb::registry::SetDword(key, name, value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  std::optional<std::string> StoredText(const char* name) {
    return ServiceTest::StoredText(kKey, name);
  }
  std::optional<DWORD> StoredNumber(const char* name) {
    return ServiceTest::StoredNumber(kKey, name);
  }
  const qb::main::FieldTypeSlot& Netmail() { return LoadedFieldType("Netmail.qbl"); }
  void Exit() { Netmail().module.FindAs<void (*)()>("ExitFAR")(); }
  int Send(const std::string& address, const fs::path& file) {
    return Netmail().SendFile(address.c_str(), static_cast<uint32_t>(address.size() + 1),
                              FTID_NETMAIL, file.c_str());
  }
  static std::string Take(char* text) {
    std::string s = text != nullptr ? text : "<none>";
    Free(text);
    return s;
  }

  TempDir temp{"qb-netmail"};
  fs::path dir = temp.root();
  fs::path mail_dir = dir / "netmail";
  fs::path boxes = dir / "boxes";
};

std::string Text(const std::string& bytes, size_t offset, size_t field) {
  return std::string(bytes.c_str() + offset, strnlen(bytes.c_str() + offset, field));
}

TEST_F(NetmailTest, DescribesItselfAndShowsTheAddressWithItsComment) {
  const auto& netmail = Netmail();
  EXPECT_STREQ(netmail.info->Name, "Netmail");
  EXPECT_STREQ(netmail.info->Token, "N");
  EXPECT_STREQ(netmail.info->MenuName, "Netmail");
  EXPECT_EQ(netmail.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(netmail.info->NewId, 0x10600u);
  EXPECT_TRUE(netmail.Claims(0x10600));
  EXPECT_TRUE(netmail.Claims(0x106FF));
  EXPECT_FALSE(netmail.Claims(0x10700));
  EXPECT_NE(netmail.SendFile, nullptr);
  EXPECT_NE(netmail.ConfigurePlugin, nullptr);
  EXPECT_EQ(netmail.DoSomething, nullptr);
  EXPECT_EQ(netmail.OnEnter, nullptr);

  const char text[] = "2:5020/100#Boss";
  char* out = nullptr;
  netmail.GetDescription(&out, text, sizeof text, FTID_NETMAIL);
  EXPECT_EQ(Take(out), "2:5020/100");
  netmail.GetMenuDescription(&out, text, sizeof text, FTID_NETMAIL);
  EXPECT_EQ(Take(out), "Boss: 2:5020/100");
  PluginPanelItem item{};
  netmail.GetPanelItem(&item, text, sizeof text, FTID_NETMAIL);
  EXPECT_STREQ(item.FindData.cFileName, "Boss");
  EXPECT_STREQ(item.Description, "2:5020/100");
  Free(item.Description);
  EXPECT_EQ(WrittenText([&](FILE* file) {
              netmail.WriteTextFile(file, text, sizeof text, FTID_NETMAIL);
              netmail.WriteTextFile(file, "1:2/3", 6, FTID_NETMAIL);
            }),
            "Boss: 2:5020/100\nNetmail: 1:2/3\n");
}

TEST_F(NetmailTest, TheEditorTakesOnlyAnAddressAndBringsBackWhatWasMistyped) {
  const auto& netmail = Netmail();
  host.dialog_answers.push_back(ScriptedHost::Accept({"2:5030/999 x"}));
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_STREQ(items[1].Data, "2:5030/999 x");  // as typed, to be corrected
    std::strcpy(items[1].Data, "2:5030/999 #home");
    return count - 2;
  });
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  ASSERT_EQ(netmail.EditContents(nullptr, 0, FTID_NETMAIL, &data, &size, &type, 1), 1);
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_EQ(host.dialogs[0].help, "Netmail_EditDlg");
  EXPECT_EQ(host.dialogs[0].lines[0], "Netmail");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Netmail_AddressError");
  EXPECT_THAT(host.messages[0].lines,
              ::testing::ElementsAre(
                  "Error", "Not a FidoNet address (zone:net/node.point):", "2:5030/999 x", "OK"));
  EXPECT_STREQ(static_cast<char*>(data), "2:5030/999 #home");
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(type, 0x10600u);
  Free(data);

  // Esc after a mistake stores nothing.
  host.Reset();
  host.dialog_answers.push_back(ScriptedHost::Accept({"5030/"}));  // valid: node 0, the host
  data = nullptr;
  ASSERT_EQ(netmail.EditContents("1:1/1", 6, 0x10601, &data, &size, &type, 1), 1);
  EXPECT_STREQ(static_cast<char*>(data), "5030/");
  Free(data);
  host.Reset();
  host.dialog_answers.push_back(ScriptedHost::Accept({"not an address"}));
  host.dialog_answers.push_back(ScriptedHost::Cancel());
  data = reinterpret_cast<void*>(1);
  size = 77;
  type = 0;
  EXPECT_EQ(netmail.EditContents("1:1/1", 6, 0x10601, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, reinterpret_cast<void*>(1));
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(host.dialogs[0].lines[1], "1:1/1");  // the field's text first

  // Viewing shows the text.
  host.Reset();
  EXPECT_EQ(netmail.EditContents("1:1/1", 6, 0x10600, nullptr, nullptr, nullptr, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Netmail_EditDlg");
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::string>{"Netmail", "1:1/1", "OK"}));
}

TEST_F(NetmailTest, MissingSettingsReadAsTheLinuxDefaultsAndAllAreWrittenBackAtExit) {
  HKEY key = OpenRegKey(host.info.RootKey, nullptr);
  RegDeleteSubKey(key, kKey);
  CloseRegKey(key);
  Set("SendMethod", 2);           // out of range
  Set("LocalAddress", DWORD{7});  // not a text
  Exit();
  EXPECT_EQ(StoredText("LocalAddress"), "2:5030/999.999");
  EXPECT_EQ(StoredText("MailOutPath"), "/var/spool/ftn/netmail");
  EXPECT_EQ(StoredText("FileBoxPath"), "/var/spool/ftn/boxes");
  EXPECT_EQ(StoredNumber("SendMethod"), 0u);
}

TEST_F(NetmailTest, TheConfigurationKeepsAValidAddressAndTheRestOnlyWhenAccepted) {
  const auto& netmail = Netmail();
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    std::strcpy(items[2].Data, "2:5030/999 1");
    items[4].Selected = 0;
    items[5].Selected = 1;
    std::strcpy(items[7].Data, "/srv/ftn/netmail");
    return count - 2;
  });
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_STREQ(items[2].Data, "2:5030/999 1");  // everything typed is still there
    EXPECT_STREQ(items[7].Data, "/srv/ftn/netmail");
    EXPECT_EQ(items[5].Selected, 1);
    std::strcpy(items[2].Data, "2:5030/1.7");
    return count - 2;
  });
  ASSERT_EQ(netmail.ConfigurePlugin(), 1);
  ASSERT_EQ(host.dialogs.size(), 2u);
  const auto& dialog = host.dialogs[0];
  EXPECT_EQ(dialog.help, "Netmail_Config");
  EXPECT_EQ((std::vector<int>{dialog.x2, dialog.y2}), (std::vector<int>{60, 18}));
  ASSERT_EQ(dialog.items.size(), 12u);
  EXPECT_EQ(dialog.lines[1], "My address:");
  EXPECT_EQ((std::vector<int>{dialog.items[2].X1, dialog.items[2].X2, dialog.items[2].Y1}),
            (std::vector<int>{20, 40, 3}));
  EXPECT_EQ(dialog.lines[2], "2:5030/999.999");
  EXPECT_EQ(dialog.items[4].Type, DI_RADIOBUTTON);
  EXPECT_NE(dialog.items[4].Flags & DIF_GROUP, 0u);
  EXPECT_EQ(dialog.items[4].Selected, 1);
  EXPECT_EQ(dialog.lines[7], mail_dir.string());
  EXPECT_EQ((std::vector<int>{dialog.items[9].X1, dialog.items[9].X2, dialog.items[9].Y1}),
            (std::vector<int>{5, 54, 12}));
  EXPECT_EQ(dialog.lines[9], boxes.string());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Netmail_AddressError");
  Exit();
  EXPECT_EQ(StoredText("LocalAddress"), "2:5030/1.7");
  EXPECT_EQ(StoredText("MailOutPath"), "/srv/ftn/netmail");
  EXPECT_EQ(StoredNumber("SendMethod"), 1u);

  // Cancelled, nothing changes.
  host.Reset();
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    std::strcpy(items[2].Data, "1:1/1");
    std::strcpy(items[9].Data, "/elsewhere");
    return -1;
  });
  EXPECT_EQ(netmail.ConfigurePlugin(), 0);
  Exit();
  EXPECT_EQ(StoredText("LocalAddress"), "2:5030/1.7");
  EXPECT_EQ(StoredText("FileBoxPath"), boxes.string());
}

TEST_F(NetmailTest, AFileGoesAsAStoredMessageWithAFileAttachToTheNode) {
  for (const char* name : {"1.msg", "7.msg", "readme.msg"}) std::ofstream(mail_dir / name) << "x";
  ASSERT_EQ(Send("2:5020/100 #Ann's node", dir / "note.txt"), 1);
  EXPECT_TRUE(host.messages.empty());
  const std::string bytes = ReadFile(mail_dir / "8.msg");
  ASSERT_GE(bytes.size(), 190u);
  EXPECT_EQ(Text(bytes, 0, 36), "System Operator");
  EXPECT_EQ(Text(bytes, 36, 36), "Ann");
  EXPECT_EQ(Text(bytes, 72, 72), (dir / "note.txt").string());
  EXPECT_EQ(Text(bytes, 144, 20), "03 Feb 02  04:05:06");
  const std::string numbers = bytes.substr(164, 26);
  EXPECT_EQ(numbers, std::string("\0\0"
                                 "\x64\0"
                                 "\xE7\x03"
                                 "\0\0"
                                 "\xA6\x13"
                                 "\x9C\x13"
                                 "\x02\0"
                                 "\x02\0"
                                 "\0\0"
                                 "\xE7\x03"
                                 "\0\0"
                                 "\x91\x01"
                                 "\0\0",
                                 26));
  EXPECT_EQ(bytes.substr(190),
            "\x01INTL 2:5020/100 2:5030/999\r\x01"
            "FMPT 999\r\x01MSGID 2:5030/999.999 3c7c5af2\r");

  // The next message in the same second: the next number and the next serial.
  ASSERT_EQ(Send("2:5020/100.5", dir / "note.txt"), 1);
  const std::string second = ReadFile(mail_dir / "9.msg");
  EXPECT_THAT(second.substr(190), HasSubstr("\x01TOPT 5\r"));
  EXPECT_THAT(second.substr(190), HasSubstr("\x01MSGID 2:5030/999.999 3c7c5af3\r"));
}

TEST_F(NetmailTest, AnEmptyFolderStartsAtTwoAndPointZeroOnBothEndsGivesNoPointLines) {
  Set("LocalAddress", "2:5030/999");
  qb::main::State().host_services.CurrentRecord = nullptr;
  ASSERT_EQ(Send("2:5020/100", dir / "note.txt"), 1);
  EXPECT_FALSE(fs::exists(mail_dir / "1.msg"));  // where tossers keep their high-water mark
  const std::string bytes = ReadFile(mail_dir / "2.msg");
  EXPECT_EQ(Text(bytes, 36, 36), "<unknown>");
  EXPECT_EQ(bytes.substr(190), "\x01INTL 2:5020/100 2:5030/999\r\x01MSGID 2:5030/999.0 3c7c5af2\r");
}

TEST_F(NetmailTest, TheDestinationTakesTheMissingZoneAndNetFromTheOwnAddress) {
  ASSERT_EQ(Send("100.2", dir / "note.txt"), 1);
  const std::string bytes = ReadFile(mail_dir / "2.msg");
  EXPECT_EQ(bytes.substr(190),
            "\x01INTL 2:5030/100 2:5030/999\r\x01"
            "FMPT 999\r\x01TOPT 2\r"
            "\x01MSGID 2:5030/999.999 3c7c5af2\r");
  // An own address without a zone takes the destination's.
  Set("LocalAddress", "5030/999");
  ASSERT_EQ(Send("1:234/5", dir / "note.txt"), 1);
  EXPECT_EQ(ReadFile(mail_dir / "3.msg").substr(190),
            "\x01INTL 1:234/5 1:5030/999\r\x01MSGID 1:5030/999.0 3c7c5af2\r");
}

TEST_F(NetmailTest, LongNamesAreCutInTheHeaderAndTheMonthComesFromTheLanguage) {
  qb::main::FreeMessages();
  const char* src = std::getenv("QB_SOURCE_DIR");
  qb::main::LoadMessages(std::string(src ? src : ".") + "/lang/", "Russian");
  const std::string name = "Александра  Константиновна";  // 50 bytes
  qb::main::State().host_services.CurrentRecord = name.c_str();
  const std::string user(60, 'u');
  qb::main::State().host_services.UserName = user.c_str();
  ASSERT_EQ(Send("2:5020/100", dir / "note.txt"), 1);
  const std::string bytes = ReadFile(mail_dir / "2.msg");
  EXPECT_EQ(Text(bytes, 0, 36), std::string(35, 'u'));
  EXPECT_EQ(Text(bytes, 36, 36), "Александра  Конста");  // 34 bytes: never half a letter
  EXPECT_EQ(Text(bytes, 144, 20), "03 Feb 02  04:05:06");
}

TEST_F(NetmailTest, WhatCannotBeSentIsRefusedWithABoxAndNothingIsWritten) {
  // No address, an address with a blank inside, a path a netmail attach cannot carry.
  EXPECT_EQ(Send("2:5030/999 x", dir / "note.txt"), 0);
  EXPECT_EQ(Send("", dir / "note.txt"), 0);
  const fs::path spaced = dir / "my note.txt";
  std::ofstream(spaced) << "x";
  EXPECT_EQ(Send("2:5020/100", spaced), 0);
  const fs::path deep = dir / std::string(80, 'd');
  EXPECT_EQ(Send("2:5020/100", deep), 0);
  ASSERT_EQ(host.messages.size(), 4u);
  EXPECT_EQ(host.messages[0].help, "Netmail_AddressError");
  EXPECT_EQ(host.messages[0].lines[2], "2:5030/999 x");
  EXPECT_EQ(host.messages[1].help, "Netmail_AddressError");
  EXPECT_EQ(host.messages[2].help, "Netmail_AttachPathError");
  EXPECT_EQ(host.messages[2].lines[2], spaced.string());
  EXPECT_EQ(host.messages[3].help, "Netmail_AttachPathError");
  // A folder that is not there.
  Set("MailOutPath", (dir / "missing").string());
  EXPECT_EQ(Send("2:5020/100", dir / "note.txt"), 0);
  ASSERT_EQ(host.messages.size(), 5u);
  EXPECT_EQ(host.messages[4].help, "Netmail_WriteError");
  EXPECT_EQ(host.messages[4].lines[2], (dir / "missing").string());
  EXPECT_TRUE(fs::is_empty(mail_dir));
}

TEST_F(NetmailTest, AFileBoxSendCopiesTheFileIntoTheNodesBox) {
  Set("SendMethod", 1);
  ASSERT_EQ(Send("2:5030/999 #me", dir / "note.txt"), 1);
  EXPECT_EQ(ReadFile(boxes / "024T60V7.00" / "note.txt"), "hello");
  EXPECT_TRUE(fs::is_empty(mail_dir));
  // The root of the boxes is not made: a box beneath a missing directory fails with a box.
  Set("FileBoxPath", (dir / "missing").string());
  EXPECT_EQ(Send("2:5030/999", dir / "note.txt"), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Netmail_FileBoxError");
  EXPECT_EQ(host.messages[0].lines[2], (dir / "missing" / "024T60V7.00").string());
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

}  // namespace
}  // namespace qb::test
