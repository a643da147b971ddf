#include "shared/dialog/int_text.h"

#include <gtest/gtest.h>

namespace qb::dlg {
namespace {

TEST(IntText, ReadsHexadecimalDecimalAndDollarForms) {
  EXPECT_EQ(ReadIntText("0x1F"), 31);
  EXPECT_EQ(ReadIntText("0X1F"), 31);
  EXPECT_EQ(ReadIntText("$1F"), 31);
  EXPECT_EQ(ReadIntText("$10"), 16);
  EXPECT_EQ(ReadIntText("0x63"), 99);
  EXPECT_EQ(ReadIntText("42"), 42);
  EXPECT_EQ(ReadIntText("  -7"), -7);
  EXPECT_EQ(ReadIntText("012"), 12);         // decimal, not octal
  EXPECT_EQ(ReadIntText("5 lines"), 5);      // what follows the number is ignored
  EXPECT_EQ(ReadIntText("0xFFFFFFFF"), -1);  // 32 bits of hexadecimal are a bit pattern
}

TEST(IntText, EmptyIsZeroAndGarbageIsNothing) {
  EXPECT_EQ(ReadIntText(""), 0);
  EXPECT_EQ(ReadIntText("   "), 0);
  EXPECT_EQ(ReadIntText(nullptr), 0);
  EXPECT_EQ(ReadIntText("0x"), 0);  // "0x" without digits still reads the 0 in front
  EXPECT_FALSE(ReadIntText("abc").has_value());
  EXPECT_FALSE(ReadIntText("$").has_value());
  EXPECT_FALSE(ReadIntText("$zz").has_value());
}

TEST(IntText, NumbersTooLargeAreNotReadAsSomethingElse) {
  EXPECT_FALSE(ReadIntText("2147483648").has_value());
  EXPECT_FALSE(ReadIntText("99999999999999999999").has_value());
  EXPECT_FALSE(ReadIntText("0x123456789").has_value());
  EXPECT_EQ(ReadIntText("2147483647"), 2147483647);
  EXPECT_EQ(ReadIntText("-2147483648"), -2147483647 - 1);
}

TEST(IntText, RangeMessageExpandsOnlyItsTwoNumberPlaces) {
  char out[128];
  FormatRange(out, sizeof(out), "Enter a number from %d to %d", 2, 99);
  EXPECT_STREQ(out, "Enter a number from 2 to 99");
  FormatRange(out, sizeof(out), "%s %n 100%% %d", 1, 2);
  EXPECT_STREQ(out, "%s %n 100% 1");
  FormatRange(out, sizeof(out), nullptr, 1, 2);
  EXPECT_STREQ(out, "");
  FormatRange(out, 8, "%d..%d and more", 1000, 2000);
  EXPECT_STREQ(out, "1000..2");
}

}  // namespace
}  // namespace qb::dlg
