// The tel: URI the telephony library hands to the desktop's opener.
#include "platform/telephony/tel_uri.h"

#include <gtest/gtest.h>

namespace {

using qb::telephony::TelUri;

TEST(TelUri, KeepsDigitsAndVisualSeparatorsAndDropsBlanks) {
  EXPECT_EQ(TelUri("555-1234 "), "tel:555-1234");
  EXPECT_EQ(TelUri("+7 (495) 123.45.67"), "tel:+7(495)123.45.67");
  EXPECT_EQ(TelUri("*31#"), "tel:*31%23");
  EXPECT_EQ(TelUri("123;ext=45"), "tel:123;ext=45");
}

TEST(TelUri, EncodesWhatAUriMustNotCarryAsItIs) {
  // Nothing of the text can end the URI or start an option of the opener.
  EXPECT_EQ(TelUri("1,2"), "tel:1%2C2");
  EXPECT_EQ(TelUri("1/2?3&4%5"), "tel:1%2F2%3F3%264%255");
  EXPECT_EQ(TelUri("\xD0\x9F"), "tel:%D0%9F");
  EXPECT_EQ(TelUri(std::string_view("1\0"
                                    "2",
                                    3)),
            "tel:1%002");
}

TEST(TelUri, ABlankNumberHasNoUri) {
  EXPECT_EQ(TelUri(""), "");
  EXPECT_EQ(TelUri(" \t "), "");
}

}  // namespace
