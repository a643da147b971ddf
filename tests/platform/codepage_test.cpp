#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace qb::codepage {
namespace {

TEST(CodePage, RoundTripsAsciiAndNonAsciiText) {
  const std::string text = "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80";  // Müller € 😀
  auto wide = Utf8ToUtf16(text);
  ASSERT_TRUE(wide);
  EXPECT_EQ(*wide, u"M\u00FCller \u20AC \U0001F600");
  auto back = Utf16ToUtf8(*wide);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, text);
  EXPECT_EQ(*Utf8ToUtf16(""), u"");
}

TEST(CodePage, RejectsInvalidInputInsteadOfGuessing) {
  EXPECT_FALSE(Utf8ToUtf16("abc\xFF"));                            // never a UTF-8 byte
  EXPECT_FALSE(Utf8ToUtf16("abc\xC3"));                            // sequence cut off at the end
  EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF"));                           // overlong "/"
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));                       // an encoded surrogate
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));  // lone high surrogate
  EXPECT_FALSE(Utf16ToUtf8(u"a" + std::u16string(1, char16_t(0xDC00)) + u"b"));
}

TEST(CodePage, CutsWideTextAtTheLimitNeverInsideAPair) {
  bool cut = true;
  EXPECT_EQ(*Utf8ToUtf16("abc", 3, &cut), u"abc");
  EXPECT_FALSE(cut);
  EXPECT_EQ(*Utf8ToUtf16("abcd", 3, &cut), u"abc");
  EXPECT_TRUE(cut);
  // "ab😀": the pair would need units 3 and 4; with room for 3 only "ab" remains.
  EXPECT_EQ(*Utf8ToUtf16("ab\xF0\x9F\x98\x80", 3, &cut), u"ab");
  EXPECT_TRUE(cut);
  EXPECT_EQ(*Utf8ToUtf16("ab\xF0\x9F\x98\x80", 4), u"ab\U0001F600");
}

TEST(CodePage, CutsNarrowTextAtACharacterBoundary) {
  bool cut = false;
  EXPECT_EQ(*Utf16ToUtf8(u"a\u20AC", 3, &cut), "a");  // the euro sign needs three bytes
  EXPECT_TRUE(cut);
  EXPECT_EQ(*Utf16ToUtf8(u"a\u20AC", 4), "a\xE2\x82\xAC");
  EXPECT_EQ(Utf8CutPoint("\xC3\xBC\xC3\xBC", 3), 2u);
  EXPECT_EQ(Utf8CutPoint("\xF0\x9F\x98\x80", 3), 0u);
  EXPECT_EQ(Utf8CutPoint("abc", 10), 3u);
}

TEST(CodePage, CutsBytesThatFormNoCharacterAtTheByte) {
  // A letter before stray continuation bytes is a whole character and stays.
  EXPECT_EQ(Utf8CutPoint("a\x80\x80", 2), 2u);
  // More continuation bytes in a row than any character has: no character to keep whole.
  EXPECT_EQ(Utf8CutPoint("a\x80\x80\x80\x80x", 4), 4u);
  // A lead byte whose continuation is missing is a byte of its own.
  EXPECT_EQ(Utf8CutPoint("ab\xE2\x82", 3), 3u);
  EXPECT_EQ(Utf8CutPoint("\xC3\xBC", 0), 0u);
}

TEST(CodePage, MeasuresTheCharacterAtAPlace) {
  EXPECT_EQ(Utf8SequenceLength("a", 0), 1u);
  EXPECT_EQ(Utf8SequenceLength("x\xC3\xBC", 1), 2u);
  EXPECT_EQ(Utf8SequenceLength("\xE2\x82\xAC", 0), 3u);
  EXPECT_EQ(Utf8SequenceLength("\xF0\x9F\x98\x80", 0), 4u);
  EXPECT_EQ(Utf8SequenceLength("\xF0\x9F", 0), 1u);  // cut off
  EXPECT_EQ(Utf8SequenceLength("\xC3x", 0), 1u);     // no continuation
  EXPECT_EQ(Utf8SequenceLength("\x80", 0), 1u);      // stray continuation
}

TEST(CodePage, WidensIntoAFixedBufferOf260Units) {
  char16_t buffer[260];
  std::string longName(300, 'x');
  EXPECT_EQ(WidenInto(longName.c_str(), buffer, 260), 259);
  EXPECT_EQ(buffer[258], u'x');
  EXPECT_EQ(buffer[259], u'\0');
  EXPECT_EQ(WidenInto("Name", buffer, 260), 4);
  EXPECT_EQ(std::u16string(buffer), u"Name");
  EXPECT_EQ(WidenInto("bad\xFF", buffer, 260), -1);
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(WidenInto("x", buffer, 0), -1);
}

TEST(CodePage, CopyIntoABufferCutsAtACharacterAndAlwaysTerminates) {
  char buf[6];
  EXPECT_EQ(CopyUtf8Into("abc", buf, sizeof buf), 3u);
  EXPECT_STREQ(buf, "abc");
  // "a" and two two-byte letters are five bytes and fit; a third letter would be cut in half.
  EXPECT_EQ(CopyUtf8Into("aЖЖЖ", buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "aЖЖ");
  EXPECT_EQ(CopyUtf8Into("漢字", buf, sizeof buf), 3u);
  EXPECT_STREQ(buf, "漢");
  EXPECT_EQ(CopyUtf8Into("abc", buf, 1), 0u);
  EXPECT_STREQ(buf, "");
  buf[0] = 'x';
  EXPECT_EQ(CopyUtf8Into("abc", buf, 0), 0u);  // no room even for the terminator: untouched
  EXPECT_EQ(buf[0], 'x');
}

TEST(CodePage, OemToAnsiCopiesIntoAFixedBuffer) {
  char buffer[6];
  EXPECT_EQ(OemToAnsiInto("K\xC3\xB6ln-Mitte", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "K\xC3\xB6ln");
  EXPECT_EQ(OemToAnsiInto("\xE2\x82\xAC\xE2\x82\xAC", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "\xE2\x82\xAC");
}

TEST(CodePage, LossyNarrowingShowsLoneSurrogatesAndKeepsEverythingElse) {
  // A name written elsewhere: a lone high surrogate between letters, then a valid pair (U+1F600).
  const std::u16string name = {u'a', 0xD800, u'\u0436', 0xD83D, 0xDE00, 0xDC00};
  EXPECT_EQ(Utf16ToUtf8Lossy(name, "_"), "a_\xD0\xB6\xF0\x9F\x98\x80_");
  EXPECT_EQ(Utf16ToUtf8Lossy(u"plain", "_"), "plain");
}

}  // namespace
}  // namespace qb::codepage
