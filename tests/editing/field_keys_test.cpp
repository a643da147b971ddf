// Fields of an open record from the keyboard: Shift+F4, F4, F3, Enter, F8, Alt+F5 and Ctrl+Ins.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "editing_host.h"

namespace qb::edtest {
namespace {

constexpr uint32_t kComment = 0x10101, kAddress = 0x10301, kSingle = 0x7701, kBare = 0x7801;

std::string Z(const std::string& text) {
  return text + std::string(1, '\0');
}

// The add-field menu lists the types in the byte-wise order of their files (QB_EDIT_TYPES names
// them all); Address, Bare and Comment come first, the shipped types after them push Single down.
int SingleItem() {
  const char* types = std::getenv("QB_EDIT_TYPES");
  std::istringstream in(types != nullptr ? types : "");
  int before = 0;
  for (std::string file; in >> file;)
    if (file < "Single.qbl") ++before;
  return before;
}

class FieldKeys : public ::testing::Test {
 protected:
  void Open(const std::vector<Field>& fields) {
    h.NewBook([&] {
      h.MakeFolder("Work");
      h.MakeRecord("Work/Bob", fields);
    });
    ASSERT_EQ(h.Cd("Work\\Bob"), 1);
    h.TypeReset("Single");
    h.TypeEditor("Single", 1, "made");
  }
  std::vector<Field> Bob() { return h.ReadRecord("Work/Bob"); }
  Host& h = Host::Get();
};

TEST_F(FieldKeys, AddFieldOffersEveryTypeInLoadOrderAndStoresWhatItsEditorMade) {
  Open({});
  h.menu_answers.push_back(2);  // Comment
  h.dialog_answers.push_back(Accept({"first line", "second"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  ASSERT_EQ(h.menus.size(), 1u);
  EXPECT_EQ(h.menus[0].help, "CreateEntryMenu");
  ASSERT_EQ(h.menus[0].lines.size(), static_cast<size_t>(SingleItem() + 1));
  EXPECT_EQ(std::vector<std::string>(h.menus[0].lines.begin(), h.menus[0].lines.begin() + 3),
            (std::vector<std::string>{"Address", "Bare", "Comment"}));
  EXPECT_EQ(h.menus[0].lines.back(), "Single");
  EXPECT_EQ(Bob(), (std::vector<Field>{{kComment, Z("first line\nsecond")}}));
  EXPECT_EQ(h.CurrentName(), "Comment");

  // Comment allows several: a second one is appended.
  h.menu_answers.push_back(2);
  h.dialog_answers.push_back(Accept({"again"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_EQ(Bob(),
            (std::vector<Field>{{kComment, Z("first line\nsecond")}, {kComment, Z("again")}}));
}

TEST_F(FieldKeys, ASecondFieldOfASingleFieldTypeIsRefused) {
  Open({{kBare, "b"}});
  h.menu_answers.push_back(SingleItem());
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "made"}}));
  EXPECT_TRUE(h.messages.empty());

  h.menu_answers.push_back(SingleItem());
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].help, "EntryAlreadyExistsError");
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "made"}}));
}

TEST_F(FieldKeys, AddFieldDeclinedOrWithoutDataOrEscapedAddsNothing) {
  Open({});
  h.TypeEditor("Single", 0, "");
  h.menu_answers.push_back(SingleItem());
  h.Key(VK_F4, PKF_SHIFT);
  h.TypeEditor("Single", 2, "");
  h.menu_answers.push_back(SingleItem());
  h.Key(VK_F4, PKF_SHIFT);
  h.menu_answers.push_back(-1);
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_TRUE(Bob().empty());
}

TEST_F(FieldKeys, ATypeWithoutAnEditorGetsAnEmptyField) {
  Open({});
  h.menu_answers.push_back(1);  // Bare
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, ""}}));
}

TEST_F(FieldKeys, EditReplacesOrRemovesTheFieldAndViewNeverChangesIt) {
  Open({{kBare, "b"}, {kSingle, "old"}});
  ASSERT_TRUE(h.SetCurrentName("Single"));
  h.TypeEditor("Single", 1, "new");
  EXPECT_EQ(h.Key(VK_F3), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "old"}}));
  EXPECT_EQ(h.Key(VK_F4), 1);
  EXPECT_EQ(h.TypeLog("Single"), "[edit 0 7701 old][edit 1 7701 old]");
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "new"}}));

  h.TypeEditor("Single", 0, "");
  EXPECT_EQ(h.Key(VK_F4), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "new"}}));

  h.TypeEditor("Single", 2, "");
  ASSERT_TRUE(h.SetCurrentName("Single"));
  EXPECT_EQ(h.Key(VK_F4), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}}));
}

TEST_F(FieldKeys, WithoutAnEditorOrOnDotDotTheHostGetsF3AndF4) {
  Open({{kBare, "b"}});
  ASSERT_TRUE(h.SetCurrentName("Bare"));
  EXPECT_EQ(h.Key(VK_F4), 0);
  EXPECT_EQ(h.Key(VK_F3), 0);
  h.SetCurrent(0);
  EXPECT_EQ(h.Key(VK_F4), 0);
  EXPECT_EQ(h.Key(VK_RETURN), 0);
}

TEST_F(FieldKeys, EnterRunsTheFieldsAction) {
  Open({{kBare, "b"}, {kSingle, "555"}});
  ASSERT_TRUE(h.SetCurrentName("Single"));
  EXPECT_EQ(h.Key(VK_RETURN), 1);
  EXPECT_EQ(h.TypeLog("Single"), "[action 7701 555]");
  ASSERT_TRUE(h.SetCurrentName("Bare"));
  EXPECT_EQ(h.Key(VK_RETURN), 0);
}

TEST_F(FieldKeys, DeletingFieldsOneThreeAndFourInAnyOrderRemovesExactlyThose) {
  const std::vector<Field> five = {
      {kBare, "f0"}, {kBare, "f1"}, {kBare, "f2"}, {kBare, "f3"}, {kBare, "f4"}};
  for (const std::vector<int>& order :
       {std::vector<int>{2, 4, 5}, std::vector<int>{5, 2, 4}, std::vector<int>{4, 5, 2}}) {
    Open(five);
    ASSERT_EQ(h.Names().size(), 6u);
    h.message_answers.push_back(0);
    EXPECT_EQ(h.Delete(order), 1);
    EXPECT_EQ(h.messages.at(0).lines[2], "3 items");
    EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "f0"}, {kBare, "f2"}}));
  }
}

TEST_F(FieldKeys, AListReadBeforeTheRecordChangedNeverDeletesOrEditsAnotherField) {
  const std::vector<Field> before = {{kBare, "b0"}, {kSingle, "s"}, {kBare, "b2"}};
  const std::vector<Field> after = {{kSingle, "s"}, {kBare, "b2"}};
  Open(before);
  ASSERT_EQ(h.Names(), (std::vector<std::string>{"..", "Bare", "Bare", "Single"}));
  // Another program drops the first field: the Single item's place now holds a Bare field.
  for (const auto& [key, state] :
       {std::pair<int, unsigned>{VK_F4, 0}, {VK_RETURN, 0}, {VK_F5, PKF_ALT}}) {
    h.MakeRecord("Work/Bob", before);
    h.Reread();
    ASSERT_TRUE(h.SetCurrentName("Single"));
    h.MakeRecord("Work/Bob", after);
    h.TypeEditor("Single", 1, "new");
    EXPECT_EQ(h.Key(key, state), 1);
    EXPECT_EQ(h.TypeLog("Single"), "");
    EXPECT_EQ(Bob(), after);
  }

  h.MakeRecord("Work/Bob", before);
  h.Reread();
  h.MakeRecord("Work/Bob", after);
  h.message_answers.push_back(0);
  EXPECT_EQ(h.Delete({3}), 0);  // nothing deleted
  EXPECT_EQ(Bob(), after);
}

TEST_F(FieldKeys, AnItemListedBeforeAnotherProgramReorderedTheFieldsActsOnNoOtherField) {
  // Three fields of one type: the type check alone cannot tell them apart.
  const std::vector<Field> before = {{kSingle, "a"}, {kSingle, "b"}, {kSingle, "c"}};
  const std::vector<Field> after = {{kSingle, "c"}, {kSingle, "a"}, {kSingle, "b"}};
  Open(before);
  for (const auto& [key, state] : {std::pair<int, unsigned>{VK_F4, 0},
                                   {VK_F3, 0},
                                   {VK_RETURN, 0},
                                   {VK_F5, PKF_ALT},
                                   {VK_INSERT, PKF_CONTROL}}) {
    h.MakeRecord("Work/Bob", before);
    h.Reread();
    h.SetCurrent(2);  // b
    h.MakeRecord("Work/Bob", after);
    h.ClearScripts();
    h.TypeReset("Single");
    h.TypeEditor("Single", 1, "new");
    EXPECT_EQ(h.Key(key, state), 1) << key;
    EXPECT_EQ(h.TypeLog("Single"), "") << key;
    ASSERT_EQ(h.messages.size(), 1u) << key;
    EXPECT_EQ(h.messages[0].help, "FieldChangedError");
    EXPECT_EQ(h.clipboard, "<untouched>");
    EXPECT_EQ(Bob(), after) << key;
  }

  // F8 on b, and on a selection holding b: nothing goes, not even the fields still in place.
  for (const std::vector<int>& chosen : {std::vector<int>{2}, std::vector<int>{3, 2}}) {
    h.MakeRecord("Work/Bob", {{kSingle, "a"}, {kSingle, "b"}, {kSingle, "c"}, {kSingle, "d"}});
    h.Reread();
    h.MakeRecord("Work/Bob", {{kSingle, "a"}, {kSingle, "c"}, {kSingle, "b"}, {kSingle, "d"}});
    h.ClearScripts();
    h.message_answers.push_back(0);
    h.Delete(chosen);
    ASSERT_EQ(h.messages.size(), 2u);
    EXPECT_EQ(h.messages[1].help, "FieldChangedError");
    EXPECT_EQ(Bob(),
              (std::vector<Field>{{kSingle, "a"}, {kSingle, "c"}, {kSingle, "b"}, {kSingle, "d"}}));
  }

  // A list read after the change acts on the field it shows.
  h.Reread();
  h.ClearScripts();
  h.message_answers.push_back(0);
  EXPECT_EQ(h.Delete({2}), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kSingle, "a"}, {kSingle, "b"}, {kSingle, "d"}}));
}

TEST_F(FieldKeys, MoveToFrontMakesTheThirdFieldTheFirst) {
  Open({{kBare, "f0"}, {kBare, "f1"}, {kBare, "f2"}});
  h.SetCurrent(3);
  EXPECT_EQ(h.Key(VK_F5, PKF_ALT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "f2"}, {kBare, "f0"}, {kBare, "f1"}}));
  EXPECT_EQ(h.CurrentName(), "Bare");

  h.SetCurrent(1);  // the record's first field
  EXPECT_EQ(h.Key(VK_F5, PKF_ALT), 1);
  h.SetCurrent(0);
  EXPECT_EQ(h.Key(VK_F5, PKF_ALT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "f2"}, {kBare, "f0"}, {kBare, "f1"}}));
}

TEST_F(FieldKeys, MoveToFrontGoesByThePlaceInTheRecordNotInThePanel) {
  // The host lists Bare before Single by name; Bare is still the record's second field.
  Open({{kSingle, "s"}, {kBare, "b"}});
  ASSERT_EQ(h.Names(), (std::vector<std::string>{"..", "Bare", "Single"}));
  h.SetCurrent(1);
  EXPECT_EQ(h.Key(VK_F5, PKF_ALT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kBare, "b"}, {kSingle, "s"}}));
}

TEST_F(FieldKeys, CtrlInsJoinsTheSelectedFieldsTextsWithCrLf) {
  Open({{kSingle, "a"}, {kSingle, "b"}, {kBare, "x"}, {kSingle, "c"}});
  ASSERT_EQ(h.Names(), (std::vector<std::string>{"..", "Bare", "Single", "Single", "Single"}));
  h.Select({4, 2, 3});
  EXPECT_EQ(h.Key(VK_INSERT, PKF_CONTROL), 1);
  EXPECT_EQ(h.clipboard, "Single:c\r\nSingle:a\r\nSingle:b");

  // A type without a text adds none; with no text at all the clipboard stays as it was.
  h.clipboard = "<untouched>";
  h.Select({1, 2});
  EXPECT_EQ(h.Key(VK_INSERT, PKF_CONTROL), 1);
  EXPECT_EQ(h.clipboard, "Single:a");
  h.clipboard = "<untouched>";
  h.Select({1});
  EXPECT_EQ(h.Key(VK_INSERT, PKF_CONTROL), 1);
  EXPECT_EQ(h.clipboard, "<untouched>");
}

TEST_F(FieldKeys, CtrlInsWithoutSelectionCopiesTheCurrentFieldOrLeavesDotDotToTheHost) {
  Open({{kSingle, "a"}});
  h.SetCurrent(1);
  EXPECT_EQ(h.Key(VK_INSERT, PKF_CONTROL), 1);
  EXPECT_EQ(h.clipboard, "Single:a");
  h.SetCurrent(0);
  EXPECT_EQ(h.Key(VK_INSERT, PKF_CONTROL), 0);
}

TEST_F(FieldKeys, CommentAndAddressFieldsAreMadeAndEditedThroughTheirEditors) {
  Open({});
  h.menu_answers.push_back(0);  // Address
  h.dialog_answers.push_back(Accept({"Street 1", "Town"}));
  EXPECT_EQ(h.Key(VK_F4, PKF_SHIFT), 1);
  EXPECT_EQ(Bob(), (std::vector<Field>{{kAddress, Z("Street 1\nTown")}}));
  ASSERT_TRUE(h.SetCurrentName("Address"));
  h.dialog_answers.push_back(Accept({"Street 2", "Town", "Land"}));
  EXPECT_EQ(h.Key(VK_F4), 1);
  ASSERT_EQ(h.dialogs.size(), 2u);
  EXPECT_EQ(h.dialogs[1].lines[1], "Street 1");
  EXPECT_EQ(Bob(), (std::vector<Field>{{kAddress, Z("Street 2\nTown\nLand")}}));
}

}  // namespace
}  // namespace qb::edtest
