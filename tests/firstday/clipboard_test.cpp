// Ctrl+Ins on fields: the main library joins the texts with CR LF as a Windows peer expects; what
// reaches the clipboard of Linux has LF line ends only, inside a field and between fields.
#include <gtest/gtest.h>

#include <string>

#include "first_day.h"

namespace qb::firstday {
namespace {

TEST(Clipboard, FieldTextsReachTheClipboardWithLinuxLineEnds) {
  FirstDay day({"Comment.qbl"});
  const std::string out = day.Run(
      "ShiftF4\ntext Bob\nEnter\nEnter\n"
      "ShiftF4\nEnter\ntext one\nEnter\ntext two\nCtrlEnter\n"
      "ShiftF4\nEnter\ntext three\nCtrlEnter\n"
      // Both fields selected, then copied.
      "Home\nDown\nIns\nIns\nCtrlIns\nclipboard\nF10\n");
  EXPECT_EQ(out.find('\r'), std::string::npos);
  EXPECT_EQ(out.substr(0, out.find("╔")), "one\ntwo\nthree\n") << out;
}

}  // namespace
}  // namespace qb::firstday
