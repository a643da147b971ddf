// Phone.qbl through the field-type host against a scripted host: how a number shows, its edit,
// view and configuration dialogs, its settings, and what Enter dials (recorded by the test's
// telephony library and a terminal program of the test's own).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "sdk/services.h"
#include "tests/support/clipboard_double.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

constexpr FieldTypeId kVoice = 0x10201, kModem = 0x10204, kVoiceModem = 0x10205;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits up to five seconds for a file a started program writes.
std::string AwaitFile(const fs::path& path) {
  for (int i = 0; i < 500 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return ReadText(path);
}

class PhoneTest : public ServiceTest {
 protected:
  PhoneTest() {
    RecordedClipboard() = kClipboardUntouched;
    setenv("QB_TAPI_RECORD", (dir / "calls").c_str(), 1);
    unsetenv("QB_TAPI_RESULT");
    // The telephony library is looked for beside the main library: this directory.
    const std::string module = (dir / "Quillbox.so").string();
    std::snprintf(host.info.ModuleName, sizeof host.info.ModuleName, "%s", module.c_str());
    qb::main::State().info = host.info;
  }
  ~PhoneTest() override {
    qb::main::State().field_types.Unload();
    unsetenv("QB_TAPI_RECORD");
  }

  void PutTelephony() {
    fs::copy_file(QB_RECORDING_TAPI, dir / "TAPI32.so", fs::copy_options::overwrite_existing);
  }
  // A terminal program that writes its arguments, one a line, into the file "terminal".
  std::string FakeTerminal() {
    const fs::path script = dir / "term.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '"
                          << (dir / "terminal.tmp").string() << "'\nmv '"
                          << (dir / "terminal.tmp").string() << "' '" << (dir / "terminal").string()
                          << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    return script.string();
  }
  // Settings are read when Phone starts and written back when it exits: Phone is unloaded first
  // and starts again at its next use.
  void SetSetting(const char* name, DWORD value) {
    qb::main::State().field_types.Unload();
    HKEY key = OpenRegKey(host.info.RootKey, "PhoneNumber");
    ASSERT_EQ(qb::registry::SetDword(key, name, value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  void SetSetting(const char* name, const std::string& value) {
    qb::main::State().field_types.Unload();
    HKEY key = OpenRegKey(host.info.RootKey, "PhoneNumber");
    ASSERT_EQ(qb::registry::SetString(key, name, value), ERROR_SUCCESS);
    CloseRegKey(key);
  }
  std::optional<DWORD> StoredNumber(const char* name) {
    HKEY key = OpenRegKey(host.info.RootKey, "PhoneNumber");
    auto value = qb::registry::QueryDword(key, name);
    CloseRegKey(key);
    return value;
  }
  std::optional<std::string> StoredText(const char* name) {
    HKEY key = OpenRegKey(host.info.RootKey, "PhoneNumber");
    auto value = qb::registry::QueryString(key, name);
    CloseRegKey(key);
    return value;
  }

  // Loads the field types (Phone with them) and returns Phone's slot.
  const qb::main::FieldTypeSlot& Phone() { return LoadedFieldType("Phone.qbl"); }
  void Restart() {
    qb::main::State().field_types.Unload();
    Phone();
  }
  void Dial(const std::string& text, FieldTypeId type) {
    Phone().DoSomething(text.c_str(), static_cast<uint32_t>(text.size() + 1), type);
  }
  std::string Calls() { return ReadText(dir / "calls"); }
  TempDir temp{"qb-phone"};
  fs::path dir = temp.root();
};

TEST_F(PhoneTest, DescribesItselfAndClaimsItsBlock) {
  const auto& phone = Phone();
  EXPECT_STREQ(phone.info->Name, "Phone");
  EXPECT_STREQ(phone.info->Token, "P");
  EXPECT_STREQ(phone.info->MenuName, "Phone");
  EXPECT_EQ(phone.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(phone.info->NewId, 0x10200u);
  EXPECT_TRUE(phone.Claims(0x10200));
  EXPECT_TRUE(phone.Claims(0x102FF));
  EXPECT_FALSE(phone.Claims(0x10300));
  EXPECT_NE(phone.DoSomething, nullptr);
  EXPECT_NE(phone.ConfigurePlugin, nullptr);
}

TEST_F(PhoneTest, ANumberWithACommentShowsTheCommentAsItsNameAndTheNumberBeforeIt) {
  const auto& phone = Phone();
  const char text[] = "555-1234 #home";
  char* out = nullptr;
  phone.GetDescription(&out, text, sizeof text, kVoice);
  EXPECT_EQ(Take(out), "555-1234 ");
  phone.GetMenuDescription(&out, text, sizeof text, kVoice);
  EXPECT_EQ(Take(out), "home: 555-1234 ");
  PluginPanelItem item{};
  phone.GetPanelItem(&item, text, sizeof text, kVoice);
  EXPECT_STREQ(item.FindData.cFileName, "home");
  EXPECT_STREQ(item.Description, "555-1234 ");  // the kind letters are off by default
  Free(item.Description);
  phone.WriteTextData(text, sizeof text, kVoice, &out);
  EXPECT_EQ(Take(out), "555-1234 #home");

  // The export always carries the four marks.
  char* buf = nullptr;
  size_t len = 0;
  FILE* file = open_memstream(&buf, &len);
  phone.WriteTextFile(file, text, sizeof text, 0x1020D);
  phone.WriteTextFile(file, "12345", 6, 0x10200);
  std::fclose(file);
  EXPECT_EQ(std::string(buf, len), "home: 555-1234  (V DM)\nPhone: 12345 (    )\n");
  std::free(buf);
}

TEST_F(PhoneTest, TheKindLettersShowInThePanelOnlyWhenTheSettingIsOne) {
  auto description = [&](FieldTypeId type) {
    PluginPanelItem item{};
    Phone().GetPanelItem(&item, "12345", 6, type);
    std::string text = item.Description;
    Free(item.Description);
    return text;
  };
  SetSetting("ShowTypeInfo", 1);
  EXPECT_EQ(description(0x10203), "12345 (VF  )");
  EXPECT_EQ(description(0x1020C), "12345 (  DM)");
  // Anything else than 1 is off, 5 as much as a text.
  SetSetting("ShowTypeInfo", 5);
  EXPECT_EQ(description(0x10203), "12345");
  SetSetting("ShowTypeInfo", "1");
  EXPECT_EQ(description(0x10203), "12345");
}

TEST_F(PhoneTest, KindLettersOfOtherScriptsAreWholeCharacters) {
  qb::main::FreeMessages();
  const char* src = std::getenv("QB_SOURCE_DIR");
  qb::main::LoadMessages(std::string(src ? src : ".") + "/lang/", "Russian");
  SetSetting("ShowTypeInfo", 1);
  PluginPanelItem item{};
  Phone().GetPanelItem(&item, "1", 2, 0x10205);
  EXPECT_STREQ(item.Description, "1 (Г М )");
  Free(item.Description);
}

TEST_F(PhoneTest, SettingsOutOfRangeReadAsTheirDefaultsAndAreWrittenBackAtExit) {
  SetSetting("DefaultAction", 3);
  SetSetting("ShowTypeInfo", 5);
  SetSetting("Terminal", 7);  // not a text
  Phone().module.FindAs<void (*)()>("ExitFAR")();
  EXPECT_EQ(StoredNumber("DefaultAction"), 2u);
  EXPECT_EQ(StoredNumber("ShowTypeInfo"), 0u);
  EXPECT_EQ(StoredText("Terminal"), "x-terminal-emulator -e minicom");
}

TEST_F(PhoneTest, ANewFieldOpensWithTheVoiceBoxTickedAndGetsTheKindsChosen) {
  const auto& phone = Phone();
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    std::strcpy(items[1].Data, "555-1234 #home");
    items[4].Selected = 1;  // modem as well
    return count - 2;
  });
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  ASSERT_EQ(phone.EditContents(nullptr, 0, 0x10200, &data, &size, &type, 1), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  const auto& dialog = host.dialogs[0];
  EXPECT_EQ(dialog.help, "Phone_EditDlg");
  EXPECT_EQ(dialog.x2, 60);
  EXPECT_EQ(dialog.y2, 14);
  EXPECT_EQ(dialog.lines[0], "Phone");
  ASSERT_EQ(dialog.items.size(), 8u);
  EXPECT_EQ(dialog.items[1].Type, DI_EDIT);
  EXPECT_EQ((std::vector<int>{dialog.items[1].X1, dialog.items[1].X2, dialog.items[1].Y1}),
            (std::vector<int>{5, 54, 3}));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(dialog.items[2 + i].Type, DI_CHECKBOX);
    EXPECT_EQ(dialog.items[2 + i].Y1, 5 + i);
    EXPECT_EQ(dialog.items[2 + i].Selected != 0, i == 0) << i;
  }
  EXPECT_EQ(dialog.lines[2], "Voice");
  EXPECT_EQ(dialog.lines[5], "Mobile");
  EXPECT_STREQ(static_cast<char*>(data), "555-1234 #home");
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(type, kVoiceModem);
  Free(data);
}

TEST_F(PhoneTest, EditingKeepsTheKindsOfTheFieldAndCancellingTouchesNothing) {
  const auto& phone = Phone();
  host.dialog_answers.push_back([](FarDialogItem*, int) { return -1; });
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    items[5].Selected = 0;  // mobile off
    return count - 2;
  });
  void* data = reinterpret_cast<void*>(1);
  uint32_t size = 77;
  FieldTypeId type = 0;
  EXPECT_EQ(phone.EditContents("12", 3, 0x1020C, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, reinterpret_cast<void*>(1));
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(type, 0u);
  ASSERT_EQ(phone.EditContents("12", 3, 0x1020C, &data, &size, &type, 1), 1);
  // Both showings: the field's own kinds, not voice.
  for (const auto& dialog : host.dialogs) {
    EXPECT_EQ(dialog.lines[1], "12");
    EXPECT_EQ(dialog.items[2].Selected, 0);
    EXPECT_NE(dialog.items[4].Selected, 0);
    EXPECT_NE(dialog.items[5].Selected, 0);
  }
  EXPECT_STREQ(static_cast<char*>(data), "12");
  EXPECT_EQ(type, kModem);
  Free(data);
}

TEST_F(PhoneTest, ViewShowsTheTextAndItsKinds) {
  EXPECT_EQ(Phone().EditContents("555 #home", 10, 0x1020F, nullptr, nullptr, nullptr, 0), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_ViewMsg");
  EXPECT_EQ(host.messages[0].flags, 0u);
  EXPECT_EQ(host.messages[0].buttons, 1);
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::string>{"Phone", "555 #home", "[Voice][Fax][Modem][Mobile]", "OK"}));
}

TEST_F(PhoneTest, EnterDialsTheTextBeforeTheFirstHashWithItsBlank) {
  PutTelephony();
  Dial("555-1234 #home #old", kVoice);
  EXPECT_EQ(Calls(), "[555-1234 |FAR|<null>|<null>]\n");
  EXPECT_TRUE(host.messages.empty());
}

// Which kinds dial how: the fax mark does not count.
struct KindCase {
  uint32_t kind;
  const char* how;  // "telephony", "terminal" or "nothing"
};

class PhoneKindTest : public PhoneTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(PhoneKindTest, DialsByItsKind) {
  PutTelephony();
  SetSetting("Terminal", FakeTerminal() + " <p>");
  SetSetting("DefaultAction", 2);
  Dial("777", 0x10200 | GetParam().kind);
  const std::string how = GetParam().how;
  EXPECT_EQ(Calls(), how == "telephony" ? "[777|FAR|<null>|<null>]\n" : "");
  if (how == "terminal") {
    EXPECT_EQ(AwaitFile(dir / "terminal"), "777\n");
    EXPECT_EQ(RecordedClipboard(), "777");
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(dir / "terminal"));
    EXPECT_EQ(RecordedClipboard(), kClipboardUntouched);
  }
  EXPECT_TRUE(host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, PhoneKindTest,
                         ::testing::Values(KindCase{1, "telephony"}, KindCase{8, "telephony"},
                                           KindCase{9, "telephony"}, KindCase{11, "telephony"},
                                           KindCase{4, "terminal"}, KindCase{6, "terminal"},
                                           KindCase{2, "nothing"}, KindCase{0, "nothing"},
                                           KindCase{12, "nothing"}, KindCase{13, "nothing"},
                                           KindCase{0xF0, "nothing"}));

TEST_F(PhoneTest, AVoiceAndModemNumberAsksAndEscDoesNothing) {
  PutTelephony();
  SetSetting("Terminal", FakeTerminal());
  host.message_answers = {-1, 2, 0};
  for (int i = 0; i < 3; ++i) Dial("555 #home", kVoiceModem);
  ASSERT_EQ(host.messages.size(), 3u);
  const auto& ask = host.messages[0];
  EXPECT_EQ(ask.help, "Phone_CallTypeMsg");
  EXPECT_EQ(ask.flags, 0u);
  EXPECT_EQ(ask.buttons, 3);
  EXPECT_EQ(ask.lines, (std::vector<std::string>{"Call", "Dial the number with", "555 ", "Voice",
                                                 "Modem", "Cancel"}));
  // Esc and the third button do nothing; the first dials by telephony.
  EXPECT_EQ(Calls(), "[555 |FAR|<null>|<null>]\n");
  EXPECT_FALSE(fs::exists(dir / "terminal"));
  EXPECT_EQ(RecordedClipboard(), kClipboardUntouched);

  host.Reset();
  host.message_answers = {1};
  Dial("555 #home", kVoiceModem);
  EXPECT_EQ(AwaitFile(dir / "terminal"), "\n");  // no arguments
  EXPECT_EQ(RecordedClipboard(), "555 ");
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(PhoneTest, TheDefaultActionDecidesWithoutAsking) {
  PutTelephony();
  SetSetting("Terminal", FakeTerminal());
  SetSetting("DefaultAction", 0);
  Dial("1", kVoiceModem);
  EXPECT_EQ(Calls(), "[1|FAR|<null>|<null>]\n");
  SetSetting("DefaultAction", 1);
  Dial("2", kVoiceModem);
  EXPECT_EQ(AwaitFile(dir / "terminal"), "\n");  // no arguments
  EXPECT_EQ(Calls(), "[1|FAR|<null>|<null>]\n");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PhoneTest, EveryPlaceholderGetsTheNumberOnceEvenWhenTheNumberHoldsOne) {
  SetSetting("Terminal", FakeTerminal() + " --dial=<p> <P> x<p>y");
  Dial("12<p>34#odd", kModem);
  EXPECT_EQ(AwaitFile(dir / "terminal"), "--dial=12<p>34\n12<p>34\nx12<p>34y\n");
  EXPECT_EQ(RecordedClipboard(), "12<p>34");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PhoneTest, ATerminalThatDoesNotStartShowsItsCommandAndLeavesTheNumberOnTheClipboard) {
  const std::string missing = (dir / "no-such-terminal").string() + " <p>";
  SetSetting("Terminal", missing);
  Dial("555", kModem);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_ExecuteError");
  EXPECT_EQ(host.messages[0].flags, static_cast<DWORD>(FMSG_WARNING));
  EXPECT_EQ(host.messages[0].lines[1], "Cannot start the terminal program");
  EXPECT_EQ(host.messages[0].lines[2], missing);  // as configured, without the number
  EXPECT_EQ(RecordedClipboard(), "555");

  // A command that would not fit its buffer once filled is refused rather than cut.
  host.Reset();
  SetSetting("Terminal", FakeTerminal() + " <p>");
  Dial(std::string(300, '5'), kModem);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_ExecuteError");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(dir / "terminal"));
}

TEST_F(PhoneTest, AMissingTelephonyLibraryFailsEveryCallForTheLifeOfTheLibrary) {
  Dial("555", kVoice);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_CallFailedError");
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::string>{"Error", "The telephony call failed", "OK"}));
  // Put there later, it is not looked for again until Phone is loaded anew.
  PutTelephony();
  Dial("555", kVoice);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(Calls(), "");
  Restart();
  Dial("555", kVoice);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(Calls(), "[555|FAR|<null>|<null>]\n");
}

TEST_F(PhoneTest, ARefusedCallShowsTheFailure) {
  PutTelephony();
  setenv("QB_TAPI_RESULT", "-2", 1);
  Dial("555", 0x10208);
  unsetenv("QB_TAPI_RESULT");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_CallFailedError");
  // A number too long for its buffer is refused, not cut to another number.
  Dial(std::string(1100, '1'), kVoice);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(Calls(), "[555|FAR|<null>|<null>]\n");
}

TEST_F(PhoneTest, TheConfigurationDialogChangesTheSettingsOnlyWhenAccepted) {
  const auto& phone = Phone();
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    items[2].Selected = 0;
    items[3].Selected = 1;
    return -1;
  });
  EXPECT_EQ(phone.ConfigurePlugin(), 0);
  ASSERT_EQ(host.dialogs.size(), 1u);
  const auto& dialog = host.dialogs[0];
  EXPECT_EQ(dialog.help, "Phone_Config");
  EXPECT_EQ(dialog.x2, 60);
  EXPECT_EQ(dialog.y2, 17);
  ASSERT_EQ(dialog.items.size(), 10u);
  EXPECT_EQ(dialog.items[2].Type, DI_RADIOBUTTON);
  EXPECT_NE(dialog.items[2].Flags & DIF_GROUP, 0u);
  EXPECT_EQ(dialog.items[4].Selected, 1);  // "ask", the default
  EXPECT_EQ(dialog.lines[6], "x-terminal-emulator -e minicom");
  EXPECT_EQ(dialog.items[6].Y1, 9);
  EXPECT_EQ(dialog.items[7].Type, DI_CHECKBOX);
  EXPECT_EQ(dialog.items[7].Y1, 11);

  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    items[4].Selected = 0;
    items[3].Selected = 1;
    std::strcpy(items[6].Data, "xterm -e cu -l /dev/ttyS0 <p>");
    items[7].Selected = 1;
    return count - 2;
  });
  EXPECT_EQ(phone.ConfigurePlugin(), 1);
  // Kept in memory until the library exits.
  EXPECT_EQ(StoredNumber("DefaultAction"), std::nullopt);
  PluginPanelItem item{};
  phone.GetPanelItem(&item, "1", 2, kVoice);
  EXPECT_STREQ(item.Description, "1 (V   )");
  Free(item.Description);
  phone.module.FindAs<void (*)()>("ExitFAR")();
  EXPECT_EQ(StoredNumber("DefaultAction"), 1u);
  EXPECT_EQ(StoredNumber("ShowTypeInfo"), 1u);
  EXPECT_EQ(StoredText("Terminal"), "xterm -e cu -l /dev/ttyS0 <p>");
}

}  // namespace
}  // namespace qb::test
