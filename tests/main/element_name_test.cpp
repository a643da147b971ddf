// Element names: the reserved characters, widening, and the limits.
#include "main/element_name.h"

#include <gtest/gtest.h>

namespace qb::main {
namespace {

TEST(ElementName, EachReservedCharacterBecomesUnderscore) {
  EXPECT_EQ(ReplaceReservedChars(R"(a:b\c/d!e|f<g>h"i?j*k)"), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(ElementName("Who? Me: yes"), u"Who_ Me_ yes");
  EXPECT_EQ(DisplayName(u"Who? Me: yes", 259), "Who_ Me_ yes");
}

TEST(ElementName, WidensUtf8AndCutsAt260Units) {
  EXPECT_EQ(ElementName("Пётр"), u"Пётр");
  EXPECT_EQ(ElementName(std::string(300, 'a')).size(), 260u);
  EXPECT_TRUE(ElementName("\xFF\xFE").empty());  // not valid in the console code page
}

TEST(ElementName, DisplayNameCutsAtACharacterBoundary) {
  // 130 two-byte characters do not fit 259 bytes: the cut must not split one.
  const std::u16string name(130, u'ж');
  const std::string shown = DisplayName(name, 259);
  EXPECT_EQ(shown.size(), 258u);
  EXPECT_EQ(DisplayName(u"x\xD800y", 259), "x_y");  // a lone surrogate still shows
}

}  // namespace
}  // namespace qb::main
