// The host's own texts follow the interface language as the plug-in's do: with Russian chosen,
// the key bar, the host's menus and its boxes are Russian too.
#include <gtest/gtest.h>

#include <string>

#include "first_day.h"

namespace qb::firstday {
namespace {

TEST(Language, RussianReachesTheHostsOwnTexts) {
  FirstDay day;
  day.Settings("Software\\Far\\Language", "\"Main\"=\"Russian\"");
  const std::string out =
      day.Run("screen\nF9\nscreen\nEsc\nShiftF4\ntext Ann\nEnter\nF5\nscreen\nEnter\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 3u) << out;
  // The key bar: the host's labels and the plug-in's, all Russian.
  EXPECT_TRUE(Shows(screens[0], "Выход"));
  EXPECT_TRUE(Lacks(screens[0], "Quit"));
  EXPECT_TRUE(Lacks(screens[0], "ConfMn"));
  EXPECT_TRUE(Shows(screens[0], "Имя"));  // the disk panel's column titles
  EXPECT_TRUE(Shows(screens[1], "Настройка плагинов"));
  EXPECT_TRUE(Shows(screens[2], "Копировать в"));  // the book's copy dialog
}

TEST(Language, EnglishStaysTheDefault) {
  FirstDay day;
  const std::string out = day.Run("F9\nscreen\nEsc\nF10\n");
  EXPECT_TRUE(Shows(out, "Plugins configuration"));
  EXPECT_TRUE(Shows(out, "Quit"));
}

}  // namespace
}  // namespace qb::firstday
