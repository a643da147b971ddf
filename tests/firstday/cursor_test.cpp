// The cursor follows the item it was on: a renamed record moves to its new place in the sorted
// list, a new or edited field keeps the cursor even among fields of the same type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "first_day.h"

namespace qb::firstday {
namespace {

// The first lines of the output: what each "clipboard" step printed. Ctrl+Ins copies the current
// item's name in a folder and its field's text inside a record, so "CtrlIns" then "clipboard"
// names the item under the cursor.
std::vector<std::string> Lines(const std::string& out, std::size_t n) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (lines.size() < n && start < out.size()) {
    const std::size_t end = out.find('\n', start);
    lines.push_back(out.substr(start, end - start));
    start = end == std::string::npos ? out.size() : end + 1;
  }
  return lines;
}

TEST(Cursor, StaysOnARenamedRecord) {
  FirstDay day;
  const std::string out = day.Run(
      "ShiftF4\ntext Ann\nEnter\nShiftF4\ntext Bob\nEnter\nShiftF4\ntext Cid\nEnter\n"
      // Ann (second row) becomes Zed, which sorts last; Cid becomes Abe, which sorts first.
      "Home\nDown\nShiftF6\nCtrlY\ntext Zed\nEnter\nCtrlIns\nclipboard\n"
      "Home\nDown\nDown\nShiftF6\nCtrlY\ntext Abe\nEnter\nCtrlIns\nclipboard\nF10\n");
  EXPECT_EQ(Lines(out, 2), (std::vector<std::string>{"Zed", "Abe"})) << out;
}

TEST(Cursor, StaysOnANewOrEditedFieldAmongFieldsOfItsType) {
  FirstDay day({"Comment.qbl"});
  // Comment is the only type: Shift+F4 opens its editor at once or after a one-line menu.
  const std::string out = day.Run(
      "ShiftF4\ntext Bob\nEnter\nEnter\n"
      "ShiftF4\nEnter\ntext first\nCtrlEnter\n"
      "ShiftF4\nEnter\ntext second\nCtrlEnter\nCtrlIns\nclipboard\n"
      "ShiftF4\nEnter\ntext third\nCtrlEnter\nCtrlIns\nclipboard\n"
      // Up to "second", edit it: the cursor stays on it.
      "Up\nF4\nEnd\ntext  more\nCtrlEnter\nCtrlIns\nclipboard\nF10\n");
  EXPECT_EQ(Lines(out, 3), (std::vector<std::string>{"second", "third", "second more"})) << out;
}

}  // namespace
}  // namespace qb::firstday
