// Names the book cannot take: longer than it holds, or taken by another item. The user is told
// what is wrong in words and gets the dialog back with the text as typed.
#include <gtest/gtest.h>

#include "first_day.h"

namespace qb::firstday {
namespace {

constexpr char kLong[] = "Forty characters make a name too long!!";  // 39, more than 31

TEST(Names, ATooLongNameIsSaidInWordsAndTheDialogComesBackWithIt) {
  FirstDay day;
  // F7, Shift+F4 and Shift+F6 each: the box, then the dialog again holding the typed text.
  const std::string out =
      day.Run(std::string("F7\ntext ") + kLong +
              "\nEnter\nscreen\nEnter\nscreen\nCtrlY\ntext Short\nEnter\n"
              "ShiftF4\ntext " +
              kLong + "\nEnter\nscreen\nEnter\nscreen\nEsc\n" + "ShiftF6\nCtrlY\ntext " + kLong +
              "\nEnter\nscreen\nEnter\nscreen\nEsc\nscreen\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 7u) << out;
  EXPECT_TRUE(Lacks(out, "HResult"));
  for (int box : {0, 2, 4}) {
    EXPECT_TRUE(Shows(screens[static_cast<std::size_t>(box)], "The name is too long")) << box;
    EXPECT_TRUE(Shows(screens[static_cast<std::size_t>(box + 1)], kLong)) << box;
    EXPECT_TRUE(Lacks(screens[static_cast<std::size_t>(box + 1)], "The name is too long")) << box;
  }
  // The corrected name was made, and nothing else.
  EXPECT_TRUE(Shows(screens[6], "Short"));
  EXPECT_TRUE(Lacks(screens[6], "Forty"));
}

TEST(Names, ANameTakenByAnotherItemIsSaidInWordsAndNothingChanges) {
  FirstDay day;
  const std::string out = day.Run(
      "ShiftF4\ntext Ann\nEnter\nF7\ntext Bob\nEnter\n"
      // Bob has the cursor: renamed onto Ann, then made as a record of a folder's name.
      "ShiftF6\nCtrlY\ntext Ann\nEnter\nscreen\nEnter\nscreen\nEsc\n"
      "ShiftF4\ntext Bob\nEnter\nscreen\nEnter\nEsc\n"
      "F7\ntext Ann\nEnter\nscreen\nEnter\nEsc\nscreen\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 5u) << out;
  EXPECT_TRUE(Lacks(out, "HResult"));
  EXPECT_TRUE(Shows(screens[0], "Another folder or record already has this name"));
  EXPECT_TRUE(Shows(screens[1], "Ann"));
  EXPECT_TRUE(Shows(screens[2], "Another folder or record already has this name"));
  EXPECT_TRUE(Shows(screens[3], "Another folder or record already has this name"));
  EXPECT_TRUE(Shows(screens[4], "Ann"));
  EXPECT_TRUE(Shows(screens[4], "Bob"));
}

TEST(Names, RussianSaysItInRussian) {
  FirstDay day;
  day.Settings("Software\\Far\\Language", "\"Main\"=\"Russian\"");
  const std::string out =
      day.Run(std::string("F7\ntext ") + kLong + "\nEnter\nscreen\nEnter\nEsc\nF10\n");
  EXPECT_TRUE(Shows(out, "Слишком длинное имя"));
}

}  // namespace
}  // namespace qb::firstday
