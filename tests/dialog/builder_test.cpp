#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "shared/dialog/dialog.h"
#include "tests/support/scripted_host.h"

namespace qb::dlg {
namespace {

using qb::test::ScriptedHost;

class DialogBuilderTest : public ::testing::Test {
 protected:
  DialogBuilderTest() {
    host.msgs = {{0, "OK"},    {1, "Cancel"}, {13, "Error"}, {40, "Value from %d to %d"},
                 {50, "Show"}, {51, "Name"}};
    SetHost(&host.info);
    SetErrorTexts(13, 0);
  }
  ~DialogBuilderTest() override {
    SetHost(nullptr);
    SetErrorTexts(nullptr, nullptr);
  }
  ScriptedHost host;
};

// A dialog of a frame, one integer edit (item 1) and the two buttons (items 2 and 3).
struct IntDialog {
  explicit IntDialog(int* value) : dlg(60, 9, "IntDlg") {
    dlg.AddFrame("Title");
    dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr,
                      std::make_unique<DlgIntBinding>(value, 2, 99, 40, "RangeHelp"));
    dlg.AddButtons(0, 1);
  }
  DlgBuilder dlg;
};

// One showing of a number dialog: what is typed, which item closes it, and what comes of it.
struct IntRun {
  const char* name;
  const char* typed;
  int close;   // the closing item; 2 accepts, 3 cancels, -1 is Esc
  int result;  // what Run answers
  int stored;  // the value after, from 5
};

class IntDialogRunTest : public DialogBuilderTest, public ::testing::WithParamInterface<IntRun> {};

TEST_P(IntDialogRunTest, OnlyTheAcceptingButtonStoresAValidNumber) {
  const IntRun& c = GetParam();
  int value = 5;
  IntDialog d(&value);
  host.dialog_answers.push_back(ScriptedHost::Type(1, c.typed, c.close));
  EXPECT_EQ(d.dlg.Run(), c.result);
  EXPECT_EQ(value, c.stored);
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(host.dialogs.size(), 1u);
  const auto& shown = host.dialogs[0];
  EXPECT_EQ(shown.x1, -1);
  EXPECT_EQ(shown.y1, -1);
  EXPECT_EQ(shown.x2, 60);
  EXPECT_EQ(shown.y2, 9);
  EXPECT_EQ(shown.help, "IntDlg");
  EXPECT_FALSE(shown.ex);
  EXPECT_STREQ(shown.items[1].Data, "5");
  EXPECT_EQ(shown.items[0].Focus, 1);  // the default focus index 0
}

INSTANTIATE_TEST_SUITE_P(DialogBuilderTest, IntDialogRunTest,
                         ::testing::Values(IntRun{"Accepted", "7", 2, 0, 7},
                                           IntRun{"Cancelled", "8", 3, -1, 5},
                                           IntRun{"Escaped", "9", -1, -1, 5},
                                           // hexadecimal, at the top of the range
                                           IntRun{"HexadecimalAtTheTop", "0x63", 2, 0, 99}),
                         [](const ::testing::TestParamInfo<IntRun>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DialogBuilderTest, ExitListCountsNegativeEntriesFromTheEnd) {
  for (auto [closed_on, expected] : {std::pair{18, 0}, {15, 1}, {19, -1}, {3, 2}, {-1, -1}}) {
    const int closed = closed_on;
    DlgBuilder dlg(40, 30, nullptr);
    int flags[20] = {};
    for (int i = 0; i < 20; ++i) dlg.Make<DlgCheckBox>(1, i, 0u, "x", &flags[i]);
    host.dialog_answers.push_back([closed](FarDialogItem* items, int) {
      for (int i = 0; i < 20; ++i) items[i].Selected = 1;
      return closed;
    });
    EXPECT_EQ(dlg.Run({-2, -5, 3}), expected) << "closed on " << closed;
    // Values are stored exactly when the exit was accepted.
    EXPECT_EQ(flags[7], expected >= 0 ? 1 : 0) << "closed on " << closed;
  }
}

TEST_F(DialogBuilderTest, InvalidNumberShowsTheRangeAndReopensOnItKeepingWhatWasTyped) {
  int value = 5;
  int check = 0;
  char name[512] = "old";
  DlgBuilder dlg(60, 12, "IntDlg");
  dlg.AddFrame(50);
  dlg.Make<DlgCheckBox>(5, 2, 0u, 50, &check);
  dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr,
                    std::make_unique<DlgIntBinding>(&value, 2, 99, 40, "RangeHelp"));
  dlg.Make<DlgEdit>(5, 4, 54, 0u, nullptr, std::make_unique<DlgStrBufBinding>(name));
  dlg.AddButtons(0, 1);
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    items[1].Selected = 1;
    std::strcpy(items[2].Data, "1");
    std::strcpy(items[3].Data, "typed");
    return 4;
  });
  host.dialog_answers.push_back(ScriptedHost::Type(2, "$10", 4));
  EXPECT_EQ(dlg.Run(), 0);
  EXPECT_EQ(value, 16);
  EXPECT_EQ(check, 1);
  EXPECT_STREQ(name, "typed");

  ASSERT_EQ(host.messages.size(), 1u);
  const auto& box = host.messages[0];
  EXPECT_EQ(box.flags, static_cast<DWORD>(FMSG_WARNING));
  EXPECT_EQ(box.help, "RangeHelp");
  EXPECT_EQ(box.lines, (std::vector<std::string>{"Error", "Value from 2 to 99", "OK"}));
  EXPECT_EQ(box.buttons, 1);

  ASSERT_EQ(host.dialogs.size(), 2u);
  const auto& again = host.dialogs[1].items;
  EXPECT_EQ(again[0].Focus, 0);
  EXPECT_EQ(again[2].Focus, 1);
  EXPECT_STREQ(again[2].Data, "1");
  EXPECT_STREQ(again[3].Data, "typed");
  EXPECT_EQ(again[1].Selected, 1);
}

TEST_F(DialogBuilderTest, EscapeAfterAFailedValidationStoresNothing) {
  int value = 5;
  IntDialog d(&value);
  host.dialog_answers.push_back(ScriptedHost::Type(1, "100", 2));
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  EXPECT_EQ(d.dlg.Run(), -1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(DialogBuilderTest, CheckBoxesStoreTheirStates) {
  int three = 0, plain = 0, bits = 0x10, radio = 0;
  DlgBuilder dlg(40, 10, nullptr);
  dlg.Make<DlgCheckBox>(1, 1, DIF_3STATE, "three", &three);
  dlg.Make<DlgCheckBox>(1, 2, 0u, "plain", &plain);
  dlg.Make<DlgFlagCheckBox>(1, 3, 0u, "bit 1", &bits, 0x1u);
  dlg.Make<DlgFlagCheckBox>(1, 4, 0u, "bit 4", &bits, 0x10u);
  dlg.Make<DlgRadioButton>(1, 5, DIF_GROUP, "a", &radio, 0);
  dlg.Make<DlgRadioButton>(1, 6, 0u, "b", &radio, 7);
  dlg.AddButtons(0, 1);
  host.dialog_answers.push_back([](FarDialogItem* items, int) {
    items[0].Selected = 2;
    items[1].Selected = 2;
    items[2].Selected = 1;
    items[3].Selected = 0;
    items[4].Selected = 0;
    items[5].Selected = 1;
    return 6;
  });
  EXPECT_EQ(dlg.Run(), 0);
  EXPECT_EQ(three, 2);
  EXPECT_EQ(plain, 1);
  EXPECT_EQ(bits, 0x1);
  EXPECT_EQ(radio, 7);

  const auto& shown = host.dialogs[0].items;
  EXPECT_EQ(shown[0].Type, DI_CHECKBOX);
  EXPECT_EQ(shown[3].Selected, 0x10);  // the variable AND the mask
  EXPECT_EQ(shown[4].Type, DI_RADIOBUTTON);
  EXPECT_EQ(shown[4].Selected, 1);
  EXPECT_EQ(shown[4].Flags, DIF_GROUP);
  EXPECT_EQ(shown[5].Selected, 0);
}

TEST_F(DialogBuilderTest, ComboBoxPreselectsAndStoresTheMatchingEntry) {
  const char* texts[] = {"Home", "Work", "Mobile"};
  for (auto [start, typed, shown_sel, stored] :
       {std::tuple{1, "Mobile", 1, 2}, {9, "Work", 0, 1}, {-3, "mobile", 0, -1}}) {
    int index = start;
    const int expected_sel = shown_sel;
    DlgBuilder dlg(40, 10, nullptr);
    auto* combo = dlg.Make<DlgComboBox>(5, 2, 30, DIF_DROPDOWNLIST, &index, texts, 3);
    dlg.AddButtons(0, 1);
    std::string t = typed;
    int sel_seen = -1;
    const FarList* list_seen = nullptr;
    host.dialog_answers.push_back([&, t](FarDialogItem* items, int) {
      list_seen = items[0].ListItems;
      for (int i = 0; i < list_seen->ItemsNumber; ++i)
        if (list_seen->Items[i].Flags & LIF_SELECTED) sel_seen = i;
      std::strcpy(items[0].Data, t.c_str());
      return 1;
    });
    EXPECT_EQ(dlg.Run(), 0);
    EXPECT_EQ(list_seen, &combo->list());
    EXPECT_EQ(list_seen->ItemsNumber, 3);
    EXPECT_EQ(sel_seen, expected_sel);
    EXPECT_EQ(index, stored) << "typed " << t;
    EXPECT_EQ(host.dialogs.back().items[0].Type, DI_COMBOBOX);
  }
}

TEST_F(DialogBuilderTest, HeapTextBindingShowsNoneAsEmptyAndStoresACopy) {
  char* text = nullptr;
  {
    DlgBuilder dlg(60, 9, nullptr);
    dlg.AddFrame("t");
    dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr, std::make_unique<DlgStrBinding>(&text));
    dlg.AddButtons(0, 1);
    host.dialog_answers.push_back(ScriptedHost::Close(2));
    EXPECT_EQ(dlg.Run(), 0);
    EXPECT_STREQ(host.dialogs.back().items[1].Data, "");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
  }
  {
    DlgBuilder dlg(60, 9, nullptr);
    dlg.AddFrame("t");
    dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr, std::make_unique<DlgStrBinding>(&text));
    dlg.AddButtons(0, 1);
    host.dialog_answers.push_back(ScriptedHost::Type(1, "Main street", 2));
    EXPECT_EQ(dlg.Run(), 0);
    EXPECT_STREQ(text, "Main street");
  }
  std::free(text);  // the sanitizer build finds a leak of the first copy here
}

TEST_F(DialogBuilderTest, TextValidationKeepsTheDialogOpen) {
  char buf[16] = "x";
  DlgBuilder dlg(60, 9, nullptr);
  dlg.AddFrame("t");
  dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr,
                    std::make_unique<DlgStrBufBinding>(
                        buf, sizeof(buf), [](const char* s) { return std::strlen(s) > 0; }));
  dlg.AddButtons(0, 1);
  host.dialog_answers.push_back(ScriptedHost::Type(1, "", 2));
  host.dialog_answers.push_back(ScriptedHost::Type(1, "a text longer than the buffer", 2));
  EXPECT_EQ(dlg.Run(), 0);
  EXPECT_EQ(host.dialogs.size(), 2u);
  EXPECT_STREQ(buf, "a text longer t");  // cut to the caller's 16 bytes
}

TEST_F(DialogBuilderTest, LongTextsAreCutTo511BytesWithoutSplittingACharacter) {
  std::string ascii(600, 'a');
  std::string wide = std::string(510, 'b') + "\xC3\xA9" + "tail";  // an accented e across 511
  DlgBuilder dlg(60, 9, nullptr);
  dlg.Make<DlgText>(1, 1, 0u, ascii.c_str());
  dlg.Make<DlgText>(1, 2, 0u, wide.c_str());
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  dlg.Run();
  const auto& shown = host.dialogs[0].items;
  EXPECT_EQ(std::string(shown[0].Data), std::string(511, 'a'));
  EXPECT_EQ(std::string(shown[1].Data), std::string(510, 'b'));
}

TEST_F(DialogBuilderTest, ACharacterReachingPastTheBufferIsLeftOutWhole) {
  // The four bytes of U+1F600 take 509 to 512: the last one lies beyond the 512-byte record.
  std::string emoji = std::string(509, 'b') + "\xF0\x9F\x98\x80" + "tail";
  DlgBuilder dlg(60, 9, nullptr);
  dlg.Make<DlgText>(1, 1, 0u, emoji.c_str());
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  dlg.Run();
  EXPECT_EQ(std::string(host.dialogs[0].items[0].Data), std::string(509, 'b'));
}

TEST_F(DialogBuilderTest, FrameButtonsAndEditsDescribeThemselvesToTheHost) {
  char buf[512] = "v";
  DlgBuilder dlg(60, 21, "Configuration");
  dlg.AddFrame(50);
  dlg.Make<DlgEdit>(5, 3, 54, 0u, "hist", std::make_unique<DlgStrBufBinding>(buf));
  dlg.Make<DlgEdit>(5, 4, 54, DIF_EDITOR, nullptr, nullptr, DI_PSWEDIT);
  dlg.Make<DlgText>(5, 5, 0u, 51);
  dlg.AddButtons(0, 1);
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  EXPECT_EQ(dlg.Run(), -1);
  const auto& it = host.dialogs[0].items;
  ASSERT_EQ(it.size(), 6u);
  EXPECT_EQ(it[0].Type, DI_DOUBLEBOX);
  EXPECT_EQ(std::vector<int>({it[0].X1, it[0].Y1, it[0].X2, it[0].Y2}),
            std::vector<int>({3, 1, 56, 19}));
  EXPECT_STREQ(it[0].Data, "Show");
  EXPECT_EQ(it[1].Type, DI_EDIT);
  EXPECT_EQ(it[1].Flags, DIF_EDITEXPAND | DIF_HISTORY);
  EXPECT_STREQ(it[1].History, "hist");
  EXPECT_STREQ(it[1].Data, "v");
  EXPECT_EQ(it[2].Type, DI_PSWEDIT);
  EXPECT_EQ(it[2].Flags, DIF_EDITOR | DIF_EDITEXPAND);
  EXPECT_STREQ(it[3].Data, "Name");
  for (int b : {4, 5}) {
    EXPECT_EQ(it[b].Type, DI_BUTTON);
    EXPECT_EQ(it[b].Y1, 17);
    EXPECT_EQ(it[b].X1, 0);
    EXPECT_EQ(it[b].Flags, DIF_CENTERGROUP);
  }
  EXPECT_EQ(it[4].DefaultButton, 1);
  EXPECT_EQ(it[5].DefaultButton, 0);
  EXPECT_STREQ(it[4].Data, "OK");
  EXPECT_STREQ(it[5].Data, "Cancel");
  for (int m : host.msg_module_numbers) EXPECT_EQ(m, 7);
}

TEST_F(DialogBuilderTest, PlacedDialogLaysOutFrameAndButtonsFromItsCorners) {
  DlgBuilder dlg(70, 20, nullptr);
  dlg.left = 10;
  dlg.top = 5;
  dlg.AddFrame("t");
  dlg.AddButtons(0, 1);
  host.dialog_answers.push_back(ScriptedHost::Close(-1));
  dlg.Run();
  const auto& it = host.dialogs[0].items;
  EXPECT_EQ(it[0].X2, 59);
  EXPECT_EQ(it[0].Y2, 14);
  EXPECT_EQ(it[1].Y1, 12);
  EXPECT_EQ(host.dialogs[0].x1, 10);
}

long Proc(HANDLE, int, int, long) {
  return 0;
}

TEST_F(DialogBuilderTest, DialogProcedureGoesThroughDialogEx) {
  DlgBuilder dlg(40, 9, nullptr);
  dlg.AddButtons(0, 1);
  dlg.dialog_proc = &Proc;
  host.dialog_answers.push_back(ScriptedHost::Close(0));
  EXPECT_EQ(dlg.Run(), 0);
  EXPECT_TRUE(host.dialogs[0].ex);
}

TEST_F(DialogBuilderTest, WithoutAHostNothingIsShownAndNothingStored) {
  SetHost(nullptr);
  int value = 5;
  IntDialog d(&value);
  EXPECT_EQ(d.dlg.Run(), -1);
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(host.dialogs.empty());
}

}  // namespace
}  // namespace qb::dlg
