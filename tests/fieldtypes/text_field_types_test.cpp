#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdk/services.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

class TextFieldTypeTest : public ServiceTest {
 protected:
  TextFieldTypeTest() {
    const char* dir = std::getenv("QB_PLUGIN_DIR");
    auto& st = qb::main::State();
    st.field_types.Load(std::string(dir ? dir : ".") + "/", &st.info, &st.host_services,
                        &st.config_menu);
  }
  ~TextFieldTypeTest() override { qb::main::State().field_types.Unload(); }

  const qb::main::FieldTypeSlot& Type(const char* file) {
    auto& types = qb::main::State().field_types;
    for (int i = 0; i < types.count(); ++i)
      if (types.slot(i).file_name == file) return types.slot(i);
    ADD_FAILURE() << file << " not loaded";
    return types.slot(0);
  }
  static std::string Take(char* text) {
    std::string s = text != nullptr ? text : "<none>";
    Free(text);
    return s;
  }
};

TEST_F(TextFieldTypeTest, EachClaimsItsBlockAndDescribesItself) {
  const auto& comment = Type("Comment.qbl");
  const auto& address = Type("Address.qbl");
  for (FieldTypeId id : {0x10100u, 0x10101u, 0x101FFu}) EXPECT_TRUE(comment.Claims(id)) << id;
  EXPECT_FALSE(comment.Claims(0x10200));
  EXPECT_FALSE(comment.Claims(0x10301));
  EXPECT_TRUE(address.Claims(0x10301));
  EXPECT_FALSE(address.Claims(0x10101));

  EXPECT_STREQ(comment.info->Name, "Comment");
  EXPECT_STREQ(comment.info->Token, "C");
  EXPECT_STREQ(comment.info->MenuName, "Comment");
  EXPECT_EQ(comment.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(comment.info->NewId, 0x10101u);
  EXPECT_STREQ(address.info->Token, "A");
  EXPECT_EQ(address.info->NewId, 0x10301u);
  EXPECT_EQ(comment.ConfigurePlugin, nullptr);
  EXPECT_EQ(comment.DoSomething, nullptr);

  // The names stay readable when the language store is emptied and loaded again.
  qb::main::FreeMessages();
  const char* src = std::getenv("QB_SOURCE_DIR");
  qb::main::LoadMessages(std::string(src ? src : ".") + "/lang/", "English");
  EXPECT_STREQ(comment.info->Name, "Comment");
  EXPECT_STREQ(address.info->MenuName, "Address");
}

TEST_F(TextFieldTypeTest, AThreeLineCommentShowsItsFirstLine) {
  const auto& comment = Type("Comment.qbl");
  const char text[] = "Met at the fair\nLikes tea\nCall after six #note";
  char* out = nullptr;
  comment.GetDescription(&out, text, sizeof(text), 0x10101);
  EXPECT_EQ(Take(out), "Met at the fair");
  comment.GetMenuDescription(&out, text, sizeof(text), 0x10101);
  EXPECT_EQ(Take(out), "Comment: Met at the fair");

  PluginPanelItem item{};
  comment.GetPanelItem(&item, text, sizeof(text), 0x10101);
  EXPECT_STREQ(item.FindData.cFileName, "note");
  EXPECT_STREQ(item.Description, "Met at the fair");
  Free(item.Description);
}

TEST_F(TextFieldTypeTest, DataWithoutATerminatorIsNeverReadPastItsSize) {
  const auto& address = Type("Address.qbl");
  char data[5] = {'S', 't', '\n', 'T', 'X'};
  char* out = nullptr;
  address.WriteTextData(data, 4, 0x10301, &out);
  EXPECT_EQ(Take(out), "St\nT");
  address.GetDescription(&out, nullptr, 0, 0x10301);
  EXPECT_EQ(Take(out), "");
}

TEST_F(TextFieldTypeTest, EditingANewFieldGivesTheEmptyTextOfTheTypesIdentifier) {
  const auto& comment = Type("Comment.qbl");
  host.dialog_answers.push_back([](FarDialogItem*, int count) { return count - 2; });
  void* data = nullptr;
  uint32_t size = 99;
  FieldTypeId type = 0;
  EXPECT_EQ(comment.EditContents(nullptr, 0, 0x10101, &data, &size, &type, 1), 1);
  EXPECT_STREQ(static_cast<char*>(data), "");
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(type, 0x10101u);
  Free(data);
  EXPECT_EQ(host.dialogs[0].help, "Comment_EditDlg");
  EXPECT_STREQ(host.dialogs[0].items[0].Data, "Comment");

  // Cancelled: the type is set all the same, the contents are left alone.
  const auto& address = Type("Address.qbl");
  data = nullptr;
  type = 0;
  EXPECT_EQ(address.EditContents("x", 2, 0x10300, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(type, 0x10301u);
  EXPECT_EQ(host.dialogs[1].help, "Address_EditDlg");
}

TEST_F(TextFieldTypeTest, TextExportWritesTheNameAndEachLineAfterATab) {
  const auto& address = Type("Address.qbl");
  const char text[] = "Main st. 1\nSpringfield";
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  address.WriteTextFile(out, text, sizeof(text), 0x10301);
  std::fclose(out);
  EXPECT_EQ(std::string(buf, len), "Address:\n\tMain st. 1\n\tSpringfield\n");
  std::free(buf);
  EXPECT_STREQ(text, "Main st. 1\nSpringfield");
}

// A one-line type made on the same common body: the standard one-line behaviour and the hooks a
// type sets in its table.
class OneLineFieldTypeTest : public TextFieldTypeTest {
 protected:
  OneLineFieldTypeTest() {
    const char* dir = std::getenv("QB_SAMPLE_TYPE_DIR");
    auto& st = qb::main::State();
    st.field_types.Unload();
    st.field_types.Load(std::string(dir ? dir : ".") + "/", &st.info, &st.host_services,
                        &st.config_menu);
  }
  const qb::main::FieldTypeSlot& Sample() { return Type("Sample.qbl"); }
  std::string Log() { return Sample().module.FindAs<const char* (*)()>("SampleLog")(); }
};

TEST_F(OneLineFieldTypeTest, DescribesItselfFromItsTable) {
  const auto& sample = Sample();
  EXPECT_STREQ(sample.info->Name, "Sample");
  EXPECT_STREQ(sample.info->Token, "S");
  EXPECT_EQ(sample.info->Flags, FTF_MULTIPLE);
  EXPECT_EQ(sample.info->NewId, 0x7701u);
  EXPECT_TRUE(sample.Claims(0x77FF));
  EXPECT_FALSE(sample.Claims(0x7800));
}

// How one field shows: description, menu line, panel item (name and description) and export.
struct OneLineCase {
  const char* text;
  FieldTypeId type;
  const char* description;
  const char* menu;
  const char* item_name;
  const char* item_description;
};

class OneLineShowTest : public OneLineFieldTypeTest,
                        public ::testing::WithParamInterface<OneLineCase> {};

TEST_P(OneLineShowTest, ShowsTheValueAndItsComment) {
  const OneLineCase& c = GetParam();
  const auto& sample = Sample();
  const auto size = static_cast<uint32_t>(std::strlen(c.text) + 1);
  char* out = nullptr;
  sample.GetDescription(&out, c.text, size, c.type);
  EXPECT_EQ(Take(out), c.description);
  sample.GetMenuDescription(&out, c.text, size, c.type);
  EXPECT_EQ(Take(out), c.menu);
  PluginPanelItem item{};
  sample.GetPanelItem(&item, c.text, size, c.type);
  EXPECT_STREQ(item.FindData.cFileName, c.item_name);
  EXPECT_STREQ(item.Description, c.item_description);
  Free(item.Description);
  char* buf = nullptr;
  size_t len = 0;
  FILE* file = open_memstream(&buf, &len);
  sample.WriteTextFile(file, c.text, size, c.type);
  std::fclose(file);
  EXPECT_EQ(std::string(buf, len), std::string(c.menu) + "\n");
  std::free(buf);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OneLineShowTest,
    ::testing::Values(
        // The comment names the item; the type's hook adds a suffix to the description.
        OneLineCase{"12345 #Home", 0x7702, "12345 ", "Home: 12345 ", "Home", "12345  (v2)"},
        // No comment: the type name; the hook gives no suffix and none is added.
        OneLineCase{"12345", 0x7700, "12345", "Sample: 12345", "Sample", "12345"}));

TEST_F(OneLineFieldTypeTest, TheTypeIsSetOnlyWhenAnEditIsAccepted) {
  const auto& sample = Sample();
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  // Cancelled: 0, nothing set.
  host.dialog_answers.push_back([](FarDialogItem*, int) { return -1; });
  EXPECT_EQ(sample.EditContents("5", 2, 0x7700, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(type, 0u);
  // Accepted: the line and the type's identifier.
  host.dialog_answers.push_back([](FarDialogItem* items, int count) {
    std::strcpy(items[1].Data, "678 #work");
    return count - 2;
  });
  EXPECT_EQ(sample.EditContents("5", 2, 0x7700, &data, &size, &type, 1), 1);
  EXPECT_STREQ(static_cast<char*>(data), "678 #work");
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(type, 0x7701u);
  Free(data);
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_EQ(host.dialogs[1].help, "Sample_EditDlg");
  EXPECT_STREQ(host.dialogs[1].items[0].Data, "Sample");
  // Viewing shows the line and counts as shown.
  EXPECT_EQ(sample.EditContents("5", 2, 0x7700, nullptr, nullptr, nullptr, 0), 1);
}

TEST_F(OneLineFieldTypeTest, StartAndExitHooksGetTheTypesSettingsKey) {
  EXPECT_EQ(Log(), "startup(key)");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Far\\Plugins\\Quillbox\\Sample", &key),
            ERROR_SUCCESS);
  Sample().module.FindAs<void (*)()>("ExitFAR")();
  EXPECT_EQ(Log(), "startup(key)exit(key)");
  // The setting it read (missing, so the default) is written back at exit.
  EXPECT_EQ(qb::registry::QueryDword(key, "ShowVersion"), 1u);
  RegCloseKey(key);
}

// The type's setting, read through the main library's services when the library starts.
TEST_F(OneLineFieldTypeTest, ASettingOutOfRangeReadsAsItsDefault) {
  auto suffix_after_restart = [&](DWORD show_version) {
    auto& st = qb::main::State();
    st.field_types.Unload();  // its exit writes the setting it holds
    HKEY key = OpenRegKey(host.info.RootKey, "Sample");
    EXPECT_EQ(qb::registry::SetDword(key, "ShowVersion", show_version), ERROR_SUCCESS);
    CloseRegKey(key);
    const char* dir = std::getenv("QB_SAMPLE_TYPE_DIR");
    st.field_types.Load(std::string(dir ? dir : ".") + "/", &st.info, &st.host_services,
                        &st.config_menu);
    PluginPanelItem item{};
    Sample().GetPanelItem(&item, "1", 2, 0x7702);
    std::string description = item.Description;
    Free(item.Description);
    return description;
  };
  EXPECT_EQ(suffix_after_restart(0), "1");
  EXPECT_EQ(suffix_after_restart(2), "1 (v2)");
}

}  // namespace
}  // namespace qb::test
