// Keys that did nothing without a word: copying between the book and the disk, the scan menu with
// no field type that scans, and deleting a folder that holds records.
#include <gtest/gtest.h>

#include <fstream>

#include "first_day.h"

namespace qb::firstday {
namespace {

TEST(SaidInWords, CopyingFromTheBookToTheDiskCopies) {
  FirstDay day;
  const std::string out = day.Run("ShiftF4\ntext Ann\nEnter\nF5\nEnter\nF10\n");
  // The record went to the disk as an exchange file (what a file that is none does when put onto
  // the book is the exchange tests' part).
  std::ifstream copied(day.dir() / "work/Ann", std::ios::binary);
  std::string magic(4, '\0');
  copied.read(magic.data(), 4);
  EXPECT_EQ(magic, "QBXM") << out;
}

TEST(SaidInWords, TheScanMenuWithoutAFieldTypeThatScansSaysSo) {
  FirstDay day({"Comment.qbl", "Address.qbl"});
  const std::string out = day.Run("ShiftF7\nscreen\nEnter\nF10\n");
  EXPECT_TRUE(Shows(out, "No field type loaded checks the book"));
}

TEST(SaidInWords, DeletingAFolderSaysHowManyRecordsGoWithIt) {
  FirstDay day;
  const std::string out = day.Run(
      "F7\ntext Work\nEnter\nEnter\nF7\ntext Inner\nEnter\nEnter\nShiftF4\ntext Ann\nEnter\n"
      "Home\nEnter\nShiftF4\ntext Bob\nEnter\nShiftF4\ntext Cid\nEnter\nHome\nEnter\n"
      // On Work: three records inside (one a level below).
      "F8\nscreen\nEsc\n"
      // An empty folder, and a record alone, ask as before.
      "F7\ntext Empty\nEnter\nF8\nscreen\nEsc\nF10\n");
  const auto screens = FirstDay::Screens(out, 25);
  ASSERT_GE(screens.size(), 2u) << out;
  EXPECT_TRUE(Shows(screens[0], "Work"));
  EXPECT_TRUE(Shows(screens[0], "3 records inside go with it"));
  EXPECT_TRUE(Shows(screens[1], "Empty"));
  EXPECT_TRUE(Lacks(screens[1], "records inside"));
}

}  // namespace
}  // namespace qb::firstday
