// Pager.qbl through the field-type host against a scripted host, with recording telephony and
// mail libraries beside the main library: how a pager shows with its provider, the ways of sending
// that a provider offers and each carried out, the edit dialog, the provider list kept in the
// registry and edited in the configuration menus, and its vCard property.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sdk/services.h"
#include "tests/support/clipboard_double.h"
#include "tests/support/headless.h"
#include "tests/support/service_test.h"
#include "tests/support/vcard_recorder.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;

constexpr FieldTypeId kPager = 0x10902;

// A field's bytes: the provider's identifier, then the number with its zero.
std::string FieldData(int32_t id, const std::string& number) {
  std::string data(4, '\0');
  std::memcpy(data.data(), &id, 4);
  return data + number + '\0';
}

struct Provider {
  std::string name;
  int32_t id;
  int32_t flags;
  const char* phones = nullptr;  // none: the value is not there
  const char* web = nullptr;
  const char* email = nullptr;
  int32_t messenger = 0;
};

class PagerTest : public ServiceTest {
 protected:
  PagerTest() {
    RecordedClipboard() = kClipboardUntouched;
    setenv("QB_TAPI_RECORD", (dir / "calls").c_str(), 1);
    setenv("QB_MAPI_RECORD", (dir / "mails").c_str(), 1);
    unsetenv("QB_TAPI_RESULT");
    // The telephony and mail libraries are looked for beside the main library: this directory.
    const std::string module = (dir / "Quillbox.so").string();
    std::snprintf(host.info.ModuleName, sizeof host.info.ModuleName, "%s", module.c_str());
    auto& st = qb::main::State();
    st.info = host.info;
    st.host_services.UserName = user_name.c_str();
    fs::copy_file(QB_RECORDING_TAPI, dir / "TAPI32.so");
    fs::copy_file(QB_RECORDING_MAPI, dir / "MAPI32.so");
  }
  ~PagerTest() override {
    qb::main::State().field_types.Unload();
    qb::main::State().host_services = HostServices{};
    unsetenv("QB_TAPI_RECORD");
    unsetenv("QB_MAPI_RECORD");
  }

  const qb::main::FieldTypeSlot& Pager() { return LoadedFieldType("Pager.qbl"); }
  void Store(const Provider& p) {
    HKEY key = OpenRegKey(host.info.RootKey, "Pager");
    HKEY sub = RegOpenSubKey(key, p.name.c_str(), 1);
    qb::registry::SetDword(sub, "ID", static_cast<DWORD>(p.id));
    qb::registry::SetDword(sub, "Flags", static_cast<DWORD>(p.flags));
    if (p.phones != nullptr) qb::registry::SetString(sub, "Phones", p.phones);
    if (p.web != nullptr) qb::registry::SetString(sub, "WWWGate", p.web);
    if (p.email != nullptr) qb::registry::SetString(sub, "EMailGate", p.email);
    qb::registry::SetDword(sub, "MessengerGate", static_cast<DWORD>(p.messenger));
    CloseRegKey(sub);
    CloseRegKey(key);
  }
  void StoreSetting(const char* name, DWORD value) {
    HKEY key = OpenRegKey(host.info.RootKey, "Pager");
    qb::registry::SetDword(key, name, value);
    CloseRegKey(key);
  }
  void Send(int32_t id, const std::string& number) {
    const std::string data = FieldData(id, number);
    Pager().DoSomething(data.data(), static_cast<uint32_t>(data.size()), kPager);
  }
  std::string PanelDescription(int32_t id, const std::string& number) {
    const std::string data = FieldData(id, number);
    PluginPanelItem item{};
    Pager().GetPanelItem(&item, data.data(), static_cast<uint32_t>(data.size()), kPager);
    return Take(item.Description);
  }
  std::string Calls() { return ReadFile(dir / "calls"); }
  std::string Mails() { return ReadFile(dir / "mails"); }
  // The provider sub-keys as the registry holds them, "name:ID:Flags:Phones" each.
  std::string StoredProviders() {
    HKEY key = OpenRegKey(host.info.RootKey, "Pager");
    std::string out;
    char name[256];
    for (uint32_t i = 0; RegEnumSubKey(key, i, name, sizeof name) >= 0; ++i) {
      HKEY sub = RegOpenSubKey(key, name, 0);
      out += std::string(name) + ":" +
             std::to_string(RegReadNumber(sub, "ID", -99, INT32_MIN, INT32_MAX)) + ":" +
             std::to_string(RegReadNumber(sub, "Flags", -99, INT32_MIN, INT32_MAX)) + ":" +
             qb::registry::QueryString(sub, "Phones").value_or("<none>") + "\n";
      CloseRegKey(sub);
    }
    CloseRegKey(key);
    return out;
  }

  TempDir temp{"qb-pager"};
  fs::path dir = temp.root();
  std::string user_name = "Ivan Petrov";
};

TEST_F(PagerTest, DescribesItselfAndShowsTheNumberAfterTheProvidersIdentifier) {
  const auto& pager = Pager();
  EXPECT_STREQ(pager.info->Name, "Pager");
  EXPECT_STREQ(pager.info->Token, "G");
  EXPECT_EQ(pager.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(pager.info->NewId, kPager);
  EXPECT_TRUE(pager.Claims(0x10900));
  EXPECT_TRUE(pager.Claims(0x109FF));
  EXPECT_FALSE(pager.Claims(0x10801));

  const std::string data = FieldData(3, "1234567#work");
  const auto size = static_cast<uint32_t>(data.size());
  char* out = nullptr;
  pager.GetDescription(&out, data.data(), size, kPager);
  EXPECT_EQ(Take(out), "1234567");
  pager.GetMenuDescription(&out, data.data(), size, kPager);
  EXPECT_EQ(Take(out), "work: 1234567");
  pager.WriteTextData(data.data(), size, kPager, &out);
  EXPECT_EQ(Take(out), "1234567#work");
  EXPECT_EQ(WrittenText([&](FILE* f) { pager.WriteTextFile(f, data.data(), size, kPager); }),
            "work: 1234567\n");
  // Too short to hold an identifier: nothing to show, and nothing read beyond it.
  pager.GetDescription(&out, "ab", 2, kPager);
  EXPECT_EQ(Take(out), "");
}

TEST_F(PagerTest, ThePanelDescriptionNamesTheProviderAndItsPhonesAsTheSettingsAsk) {
  Store({"Acme", 3, 0, "111,222"});
  StoreSetting("ShowProvider", 1);
  EXPECT_EQ(PanelDescription(3, "1234567#work"), "1234567 (Acme) (111,222)");
  EXPECT_EQ(PanelDescription(9, "1234567"), "1234567");  // no such provider
  qb::main::State().field_types.Unload();
  StoreSetting("ShowProvider", 0);
  EXPECT_EQ(PanelDescription(3, "1234567"), "1234567 (111,222)");
  qb::main::State().field_types.Unload();
  StoreSetting("ShowPhones", 0);
  EXPECT_EQ(PanelDescription(3, "1234567"), "1234567");
}

TEST_F(PagerTest, EveryPhoneIsADialEntryAndTheChosenOneIsDialled) {
  Store({"Acme", 3, 0, "111,,222"});
  host.menu_answers.push_back(1);
  Send(3, "1234567#work");
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].title, "Send message");
  EXPECT_EQ(host.menus[0].help, "Pager_SendingMenu");
  EXPECT_EQ(host.menus[0].flags, 6u);
  EXPECT_EQ(host.menus[0].lines, (std::vector<std::string>{"Dial: 111", "Dial: 222"}));
  EXPECT_EQ(Calls(), "[222|FAR|<null>|<null>]\n");
  // The number waits on the clipboard, without its comment.
  EXPECT_EQ(RecordedClipboard(), "1234567");

  // Esc sends nothing; a failed call says so.
  host.Reset();
  fs::remove(dir / "calls");
  Send(3, "1234567");
  EXPECT_EQ(Calls(), "");
  setenv("QB_TAPI_RESULT", "-2", 1);
  host.menu_answers.push_back(0);
  Send(3, "1234567");
  unsetenv("QB_TAPI_RESULT");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Phone_CallFailedError");
  EXPECT_EQ(host.messages[0].lines[1], "The call could not be made");
}

TEST_F(PagerTest, AnEMailGatewayAloneSendsTheMailWithoutAMenu) {
  Store({"Acme", 0, 2, ""});
  Send(0, "1234567");
  EXPECT_TRUE(host.menus.empty());
  EXPECT_EQ(Mails(),
            "flags=0xB session=0 window=0 reserved=0\n"
            "subject=Msg to1234567\nnote=<null>\n"
            "orig=Ivan Petrov|<null>\n"
            "to=Acme|1234567@pager.example.net\n"
            "end\n");
  EXPECT_EQ(Calls(), "");
}

TEST_F(PagerTest, PlaceholdersAreReplacedEverywhereAndEndEvenWhenTheNumberHoldsOne) {
  Store({"Acme", 0, 2, "", nullptr, "<N>.<n>@gate.example?To <N>"});
  Send(0, "42");
  EXPECT_NE(Mails().find("subject=To 42\n"), std::string::npos) << Mails();
  EXPECT_NE(Mails().find("to=Acme|42.42@gate.example\n"), std::string::npos) << Mails();
  fs::remove(dir / "mails");
  Send(0, "<N>7");
  EXPECT_NE(Mails().find("to=Acme|<N>7.<N>7@gate.example\n"), std::string::npos) << Mails();
  // Without "?" there is no subject.
  qb::main::State().field_types.Unload();
  Store({"Acme", 0, 2, "", nullptr, "<N>@gate.example"});
  fs::remove(dir / "mails");
  Send(0, "42");
  EXPECT_NE(Mails().find("subject=<null>\n"), std::string::npos) << Mails();
}

TEST_F(PagerTest, AMenuEntryIsCutAtACharacterButTheMailGoesToTheWholeAddress) {
  std::string address;
  for (int i = 0; i < 100; ++i) address += "ж";  // two bytes each
  address += "@gate.example";
  Store({"Acme", 0, 3, "", "https://gate.example/<N>", address.c_str()});
  host.menu_answers.push_back(1);
  Send(0, "1");
  ASSERT_EQ(host.menus.size(), 1u);
  const std::string& shown = host.menus[0].lines[1];
  EXPECT_LE(shown.size(), 127u);
  EXPECT_EQ(shown.rfind("Email to: жж", 0), 0u) << shown;
  EXPECT_EQ((shown.size() - std::strlen("Email to: ")) % 2, 0u) << shown;  // whole characters
  EXPECT_NE(Mails().find("to=Acme|" + address + "\n"), std::string::npos) << Mails();
}

TEST_F(PagerTest, AMissingProviderNoWayToSendAndAMessengerGatewayAreReported) {
  // No providers at all, then a field whose provider is gone.
  Send(0, "1234567");
  qb::main::State().field_types.Unload();  // before the registry is changed: ExitFAR writes it
  Store({"Acme", 5, 0, ""});
  Send(0, "1234567");
  // A provider without phones or gateways.
  Send(5, "1234567");
  ASSERT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.messages[0].help, "Pager_NoProviderError");
  EXPECT_EQ(host.messages[0].lines[1], "No provider is known for this pager");
  EXPECT_EQ(host.messages[1].help, "Pager_NoProviderError");
  EXPECT_EQ(host.messages[2].help, "Pager_NoMessagingError");
  EXPECT_EQ(RecordedClipboard(), "1234567");

  host.Reset();
  qb::main::State().field_types.Unload();
  Store({"Acme", 5, 4, "", nullptr, nullptr, 777});
  Send(5, "1");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Pager_MessengerNotSupportedError");
  qb::main::State().field_types.Unload();
  Store({"Acme", 5, 4, "9", nullptr, nullptr, 777});
  host.Reset();
  Send(5, "1");
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].lines, (std::vector<std::string>{"Dial: 9", "Messenger to: 777"}));
}

TEST_F(PagerTest, TheEditDialogOffersEveryProviderAndStoresTheChosenOnesIdentifier) {
  Store({"Acme", 3, 0, ""});
  Store({"Beta", 8, 0, ""});
  const auto& pager = Pager();
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  // A new field: no provider selected; the second provider is picked.
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_EQ(count, 10);
    EXPECT_EQ(items[4].Selected, 1);  // "None"
    EXPECT_STREQ(items[5].Data, "Acme");
    EXPECT_STREQ(items[6].Data, "Beta");
    EXPECT_EQ(items[6].Y1, 8);
    std::snprintf(items[2].Data, sizeof items[2].Data, "555#home");
    items[4].Selected = 0;
    items[6].Selected = 1;
    return count - 2;
  });
  ASSERT_EQ(pager.EditContents(nullptr, 0, kPager, &data, &size, &type, 1), 1);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].help, "Pager_EditDlg");
  EXPECT_EQ(host.dialogs[0].y2, 14);  // two providers + 12 rows
  EXPECT_EQ(host.dialogs[0].lines[0], "Pager");
  EXPECT_EQ(std::string(static_cast<char*>(data), size), FieldData(8, "555#home"));
  EXPECT_EQ(type, kPager);
  Free(data);

  // An existing field starts on its provider; "None" stores -1; Esc stores nothing.
  host.Reset();
  const std::string old = FieldData(3, "1");
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_EQ(items[5].Selected, 1);
    EXPECT_STREQ(items[2].Data, "1");
    items[5].Selected = 0;
    items[4].Selected = 1;
    return count - 2;
  });
  ASSERT_EQ(pager.EditContents(old.data(), 6, kPager, &data, &size, &type, 1), 1);
  EXPECT_EQ(std::string(static_cast<char*>(data), size), FieldData(-1, "1"));
  Free(data);
  host.dialog_answers.push_back(ScriptedHost::Cancel());
  data = nullptr;
  EXPECT_EQ(pager.EditContents(old.data(), 6, kPager, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, nullptr);
  // Viewing shows nothing.
  host.Reset();
  EXPECT_EQ(pager.EditContents(old.data(), 6, kPager, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PagerTest, TheConfigurationButtonAddsAProviderAndTheDialogComesBackWithIt) {
  const auto& pager = Pager();
  // The edit dialog: the number typed, then the configuration button (item 5 with no providers).
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_EQ(count, 8);
    std::snprintf(items[2].Data, sizeof items[2].Data, "777");
    return 5;
  });
  // The configuration menu: providers; the provider menu, empty: Ins, then Esc; Esc.
  host.menu_answers = {1, -1, -1, -1};
  host.menu_break_codes = {0};
  host.dialog_answers.push_back(ScriptedHost::Accept({"Acme", "111", "", "", "0"}));
  // Back in the edit dialog: the number kept, the new provider offered and chosen.
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    EXPECT_EQ(count, 9);
    EXPECT_STREQ(items[2].Data, "777");
    EXPECT_STREQ(items[5].Data, "Acme");
    items[4].Selected = 0;
    items[5].Selected = 1;
    return count - 2;
  });
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  ASSERT_EQ(pager.EditContents(nullptr, 0, kPager, &data, &size, &type, 1), 1);
  EXPECT_EQ(std::string(static_cast<char*>(data), size), FieldData(0, "777"));
  Free(data);
  ASSERT_GE(host.menus.size(), 2u);
  EXPECT_EQ(host.menus[0].help, "Pager_Config");
  EXPECT_EQ(host.menus[0].lines, (std::vector<std::string>{"Common settings", "Providers"}));
  EXPECT_EQ(host.menus[1].help, "Pager_ConfigProviders");
  EXPECT_TRUE(host.menus[1].lines.empty());
  EXPECT_EQ(host.dialogs[1].help, "Pager_ConfigProvider");
  EXPECT_EQ(host.dialogs[1].lines[2], "New provider");
}

TEST_F(PagerTest, ProvidersAddedEditedAndDeletedAreWhatTheRegistryHoldsAfterExit) {
  Store({"Acme", 3, 1, "111"});
  Store({"Beta", 8, 2, "222"});
  Store({"Old", 2, 0, "333"});
  const auto& pager = Pager();
  // Providers: F4 on Acme (phones changed), Del on Old (confirmed), Ins (accepted), Esc; Esc.
  host.menu_answers = {1, 0, 2, 0, -1, -1};
  host.menu_break_codes = {2, 1, 0, -1};
  host.dialog_answers.push_back(ScriptedHost::Accept({"Acme", "999", "", "", "0"}));
  host.message_answers.push_back(0);
  host.dialog_answers.push_back(ScriptedHost::Accept({"Gamma", "444", "", "", "12"}));
  EXPECT_EQ(pager.ConfigurePlugin(), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].help, "Pager_DeleteProviderMsg");
  EXPECT_EQ(host.messages[0].flags, static_cast<DWORD>(FMSG_WARNING));
  EXPECT_EQ(host.messages[0].lines,
            (std::vector<std::string>{"Delete provider", "Do you wish to delete the provider",
                                      "Old", "OK", "Cancel"}));
  EXPECT_EQ(host.menus[1].lines, (std::vector<std::string>{"Acme", "Beta", "Old"}));
  ASSERT_EQ(host.menus.size(), 6u);
  EXPECT_EQ(host.menus[4].lines, (std::vector<std::string>{"Acme", "Beta", "Gamma"}));
  qb::main::State().field_types.Unload();
  // The new provider's identifier is one above the greatest; the default phones were replaced.
  EXPECT_EQ(StoredProviders(), "Acme:3:1:999\nBeta:8:2:222\nGamma:9:0:444\n");
  EXPECT_EQ(StoredNumber("Pager", "ShowPhones"), 1u);
  EXPECT_EQ(StoredNumber("Pager", "ShowProvider"), 0u);
}

TEST_F(PagerTest, AProviderNameMustBeItsOwnAndFitARegistryKey) {
  Store({"Acme", 3, 0, "111"});
  const auto& pager = Pager();
  host.menu_answers = {1, -1, -1, -1};
  host.menu_break_codes = {0, -1};
  // Refused: empty, a path, another provider's name in other letters; then accepted.
  host.dialog_answers.push_back(ScriptedHost::Accept({""}));
  host.dialog_answers.push_back(ScriptedHost::Accept({"a\\b"}));
  host.dialog_answers.push_back(ScriptedHost::Accept({"ACME"}));
  host.dialog_answers.push_back(ScriptedHost::Accept({"Acme 2"}));
  pager.ConfigurePlugin();
  ASSERT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.messages[0].help, "Pager_ConfigProvider");
  qb::main::State().field_types.Unload();
  EXPECT_EQ(StoredProviders(), "Acme:3:0:111\nAcme 2:4:0:053\n");
}

TEST_F(PagerTest, MissingProviderValuesReadAsTheirDefaults) {
  Store({"Acme", 3, 3, nullptr});
  host.menu_answers.push_back(-1);
  Send(3, "1234567");
  ASSERT_EQ(host.menus.size(), 1u);
  EXPECT_EQ(host.menus[0].lines,
            (std::vector<std::string>{"Dial: 053", "Go to: https://pager.example.net/1234567",
                                      "Email to: 1234567@pager.example.net?Msg to1234567"}));
}

TEST_F(PagerTest, APagerIsATelOfTypePagerWithItsProviderByName) {
  Store({"Acme", 3, 0, "111"});
  auto write = Pager().module.FindAs<PFN_WriteVCard>("WriteVCard");
  auto read = Pager().module.FindAs<PFN_ReadVCard>("ReadVCard");
  ASSERT_NE(write, nullptr);
  ASSERT_NE(read, nullptr);
  VCardRecorder recorder;
  const VCardWriter writer = recorder.writer();
  const std::string known = FieldData(3, "1234567#work");
  const std::string unknown = FieldData(-1, "555");
  write(known.data(), static_cast<uint32_t>(known.size()), kPager, &writer);
  write(unknown.data(), static_cast<uint32_t>(unknown.size()), kPager, &writer);
  EXPECT_EQ(recorder.lines,
            "TEL;TYPE=PAGER;X-QB-PROVIDER=Acme;X-LABEL=work:1234567\nTEL;TYPE=PAGER:555\n");

  const VCardParam pager_acme[] = {
      {"TYPE", "pager"}, {"X-QB-PROVIDER", "ACME"}, {"X-LABEL", "wo#rk"}};
  const VCardParam pager_other[] = {{"TYPE", "PAGER"}, {"X-QB-PROVIDER", "Nobody"}};
  const VCardParam voice[] = {{"TYPE", "VOICE"}};
  const char* const none[] = {""};
  const VCardProperty card[] = {
      {"", "TEL", pager_acme, 3, "1234567", none, 1},
      {"", "TEL", pager_other, 2, "tel:+1-555", none, 1},
      {"", "TEL", voice, 1, "111", none, 1},
      {"", "EMAIL", pager_other, 2, "a@b", none, 1},
  };
  const std::string expected[] = {FieldData(3, "1234567#work"), FieldData(-1, "+1-555")};
  for (uint32_t i = 0; i < 4; ++i) {
    void* data = nullptr;
    uint32_t size = 0;
    FieldTypeId type = 0;
    const int result = read(card, 4, i, &data, &size, &type);
    if (i >= 2) {
      EXPECT_EQ(result, VCARD_NOT_MINE) << i;
      continue;
    }
    ASSERT_EQ(result, VCARD_FIELD) << i;
    EXPECT_EQ(std::string(static_cast<char*>(data), size), expected[i]);
    EXPECT_EQ(type, kPager);
    Free(data);
  }
}

}  // namespace
}  // namespace qb::test
