#include <cstring>
#include <string>

#include "sdk/services.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

class EditServiceTest : public ServiceTest {
 protected:
  // Runs the multi-line editor on text; the script step types `lines` (index: line) and accepts.
  int EditMulti(const char* text, std::vector<std::string> lines, bool accept = true) {
    host.dialog_answers.push_back([lines, accept](FarDialogItem* items, int count) {
      for (size_t i = 0; i < lines.size(); ++i)
        std::snprintf(items[1 + i].Data, sizeof(items[1 + i].Data), "%s", lines[i].c_str());
      return accept ? count - 2 : count - 1;
    });
    uint32_t size = text != nullptr ? static_cast<uint32_t>(std::strlen(text) + 1) : 0;
    return StdEditMultiLine("Comment", "Comment_EditDlg", text, size, &out, &out_size, 1);
  }
  std::string Out() const { return out != nullptr ? std::string(out) : "<none>"; }
  std::vector<std::string> Shown(size_t call = 0) const {
    std::vector<std::string> lines;
    const auto& items = host.dialogs.at(call).items;
    // The frame, the edit lines, the line naming the accepting keys, OK and Cancel.
    for (size_t i = 1; i + 3 < items.size(); ++i) lines.push_back(items[i].Data);
    return lines;
  }
  ~EditServiceTest() override { Free(out); }

  char* out = nullptr;
  uint32_t out_size = 0;
};

TEST_F(EditServiceTest, MultiLineEditorShowsAtLeastMaxLinesAndMoreWhenNeeded) {
  qb::main::State().settings.max_lines = 5;
  EXPECT_EQ(EditMulti("1\n2\n3\n4\n5\n6\n7", {}), 1);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(Out(), "1\n2\n3\n4\n5\n6\n7");
  EXPECT_EQ(out_size, 14u);
  const auto& call = host.dialogs[0];
  EXPECT_EQ(call.x2, 60);
  EXPECT_EQ(call.y2, 15);
  EXPECT_EQ(call.help, "Comment_EditDlg");
  EXPECT_STREQ(call.items[0].Data, "Comment");
  for (int i = 1; i <= 7; ++i) {
    EXPECT_EQ(call.items[i].Type, DI_EDIT);
    EXPECT_EQ(call.items[i].Flags, DIF_EDITOR | DIF_EDITEXPAND);
    EXPECT_EQ(call.items[i].Y1, i + 2);
  }
  Free(out);
  out = nullptr;

  EXPECT_EQ(EditMulti("Street 1\r\nTown", {}), 1);
  EXPECT_EQ(Shown(1), (std::vector<std::string>{"Street 1", "Town", "", "", ""}));
  EXPECT_EQ(Out(), "Street 1\nTown");
  EXPECT_EQ(out_size, 14u);
}

TEST_F(EditServiceTest, EmptyTrailingLinesAreDroppedButInnerOnesKept) {
  EXPECT_EQ(EditMulti(nullptr, {"a", "", "b", "", ""}), 1);
  EXPECT_EQ(Out(), "a\n\nb");
  Free(out);
  out = nullptr;
  EXPECT_EQ(EditMulti("old text", {""}), 1);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(out_size, 1u);
}

TEST_F(EditServiceTest, CancelLeavesTheOutputsUntouched) {
  out_size = 77;
  EXPECT_EQ(EditMulti("x", {"changed"}, false), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(out_size, 77u);
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  EXPECT_EQ(StdEditSingleLine("Phone", "Phone_EditDlg", "1", 2, &out, &out_size, 1), 0);
  EXPECT_EQ(out, nullptr);
}

TEST_F(EditServiceTest, ViewingShowsTheLinesInAMessageBox) {
  EXPECT_EQ(
      StdEditMultiLine("Address", "Address_EditDlg", "Street 1\r\nTown\n", 17, nullptr, nullptr, 0),
      1);
  ASSERT_EQ(host.messages.size(), 1u);
  const std::string ok = CommonGetMsgEx(0, nullptr);
  EXPECT_EQ(host.messages[0].lines, (std::vector<std::string>{"Address", "Street 1", "Town", ok}));
  EXPECT_EQ(host.messages[0].flags, 0u);
  EXPECT_EQ(host.messages[0].buttons, 1);
  EXPECT_EQ(host.messages[0].help, "Address_EditDlg");

  EXPECT_EQ(StdEditSingleLine("Phone", "Phone_EditDlg", "123#Home", 9, nullptr, nullptr, 0), 0);
  EXPECT_EQ(host.messages[1].lines, (std::vector<std::string>{"Phone", "123#Home", ok}));
  EXPECT_TRUE(host.dialogs.empty());
}

TEST_F(EditServiceTest, SingleLineEditorStoresWhatWasTyped) {
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    EXPECT_STREQ(items[1].Data, "123");
    std::strcpy(items[1].Data, "456#Work");
    return 2;
  });
  EXPECT_EQ(StdEditSingleLine("Phone", "Phone_EditDlg", "123", 4, &out, &out_size, 1), 1);
  EXPECT_EQ(Out(), "456#Work");
  EXPECT_EQ(out_size, 9u);
  const auto& call = host.dialogs[0];
  EXPECT_EQ(call.x2, 60);
  EXPECT_EQ(call.y2, 9);
  EXPECT_EQ(call.items[1].X1, 5);
  EXPECT_EQ(call.items[1].X2, 54);
  EXPECT_EQ(call.items[1].Y1, 3);
  Free(out);
  out = nullptr;

  // A new field: no text, an empty line, and the empty text when accepted as it is.
  host.dialog_answers.push_back(ScriptedHost::Close(2));
  EXPECT_EQ(StdEditSingleLine("Phone", "Phone_EditDlg", nullptr, 0, &out, &out_size, 1), 1);
  EXPECT_STREQ(host.dialogs[1].items[1].Data, "");
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(out_size, 1u);
}

TEST_F(EditServiceTest, FieldDataWithoutATerminatorIsReadOnlyUpToItsSize) {
  char data[4] = {'a', '\n', 'b', 'X'};
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  EXPECT_EQ(StdEditMultiLine("Comment", nullptr, data, 3, &out, &out_size, 1), 0);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"a", "b", "", "", ""}));
}

// A line longer than an edit item is shown cut; accepting it as shown keeps the whole line, and
// only a line the user changed is stored as typed.
TEST_F(EditServiceTest, LinesLongerThanAnItemAreCutWhenShownButKeptWhenLeftAlone) {
  std::string text = std::string(600, 'x') + "\n" + std::string(700, 'y');
  EXPECT_EQ(EditMulti(text.c_str(), {}), 1);
  EXPECT_EQ(Shown()[0], std::string(511, 'x'));
  EXPECT_EQ(Out(), text);
  EXPECT_EQ(out_size, text.size() + 1);
  Free(out);
  out = nullptr;
  EXPECT_EQ(EditMulti(text.c_str(), {std::string(510, 'x')}), 1);
  EXPECT_EQ(Out(), std::string(510, 'x') + "\n" + std::string(700, 'y'));
  Free(out);
  out = nullptr;

  std::string one = std::string(520, '1') + "#Home";
  host.dialog_answers.push_back(ScriptedHost::Close(2));
  EXPECT_EQ(StdEditSingleLine("Phone", nullptr, one.c_str(), static_cast<uint32_t>(one.size() + 1),
                              &out, &out_size, 1),
            1);
  EXPECT_EQ(Out(), one);
}

}  // namespace
}  // namespace qb::test
