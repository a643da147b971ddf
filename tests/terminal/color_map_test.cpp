#include "host/terminal/color_map.h"

#include <gtest/gtest.h>

#include <set>

#include "host/screen.h"

namespace qb::host {
namespace {

TEST(ColorMap, ConsoleOrderBecomesCursesOrder) {
  // Console blue (1) is curses blue (4), console red (4) curses red (1); cyan and brown swap too.
  EXPECT_EQ(CursesColorOf(kBlue, true), 4);
  EXPECT_EQ(CursesColorOf(kRed, true), 1);
  EXPECT_EQ(CursesColorOf(kCyan, true), 6);
  EXPECT_EQ(CursesColorOf(kBrown, true), 3);
  EXPECT_EQ(CursesColorOf(kLightCyan, true), 14);
  EXPECT_EQ(CursesColorOf(kYellow, true), 11);
  EXPECT_EQ(CursesColorOf(kYellow, false), 3);
}

TEST(ColorMap, SixteenColoursGiveEveryCombinationItsOwnPair) {
  ColorCapacity capacity{256, 65536};
  std::set<short> pairs;
  for (int fg = 0; fg < 16; ++fg) {
    for (int bg = 0; bg < 16; ++bg) {
      CursesColor c = MapColor(fg, bg, capacity);
      EXPECT_FALSE(c.bold);
      EXPECT_GE(c.pair, 0);
      EXPECT_LT(c.pair, 256);
      pairs.insert(c.pair);
    }
  }
  EXPECT_EQ(pairs.size(), 256u);
  EXPECT_EQ(MapColor(kLightGray, kBlack, capacity).pair, 0);
  CursesColor panel = MapColor(kLightCyan, kBlue, capacity);
  EXPECT_EQ(panel.fg, 14);
  EXPECT_EQ(panel.bg, 4);
}

TEST(ColorMap, EightColoursDrawBrightForegroundsBold) {
  ColorCapacity capacity{8, 64};
  std::set<short> pairs;
  for (int fg = 0; fg < 16; ++fg) {
    for (int bg = 0; bg < 16; ++bg) {
      CursesColor c = MapColor(fg, bg, capacity);
      EXPECT_EQ(c.bold, fg >= 8);
      EXPECT_LT(c.fg, 8);
      EXPECT_LT(c.bg, 8);
      EXPECT_GE(c.pair, 0);
      EXPECT_LT(c.pair, 64);
      pairs.insert(c.pair);
    }
  }
  EXPECT_EQ(pairs.size(), 64u);
  EXPECT_EQ(MapColor(kWhite, kBlack, capacity).pair, 0);
  // 16 colours but too few pairs for all combinations: fold to 8.
  EXPECT_TRUE(MapColor(kYellow, kBlue, ColorCapacity{16, 64}).bold);
}

TEST(ColorMap, NoColoursUsePairZero) {
  CursesColor c = MapColor(kYellow, kBlue, ColorCapacity{0, 0});
  EXPECT_EQ(c.pair, 0);
  EXPECT_FALSE(c.bold);
}

}  // namespace
}  // namespace qb::host
