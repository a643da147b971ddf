// The screen model's text handling and the script reader.
#include "host/screen.h"

#include <gtest/gtest.h>

#include <sstream>

#include "host/core/keys.h"
#include "host/headless/headless.h"
#include "sdk/far.h"

namespace qb::host {
namespace {

TEST(ScreenText, WidthsOfNarrowWideAndCombiningCharacters) {
  EXPECT_EQ(CharWidth(U'a'), 1);
  EXPECT_EQ(CharWidth(U'ä'), 1);
  EXPECT_EQ(CharWidth(U'\u0301'), 0);  // combining acute
  EXPECT_EQ(CharWidth(U'漢'), 2);
  EXPECT_EQ(CharWidth(U'ｱ'), 1);   // half-width katakana
  EXPECT_EQ(CharWidth(U'Ａ'), 2);  // full-width A
  EXPECT_EQ(CharWidth(U'\x07'), 0);
  EXPECT_EQ(TextWidth("a\xcc\x81"
                      "b漢"),
            4);
}

TEST(ScreenText, InvalidUtf8BecomesReplacementCharactersOneBytePerCharacter) {
  std::u32string s = DecodeUtf8("a\xff\xc3(\xe2\x82");
  ASSERT_EQ(s.size(), 6u);  // the cut-off sequence at the end gives one per byte
  EXPECT_EQ(s[0], U'a');
  EXPECT_EQ(s[1], 0xFFFDu);
  EXPECT_EQ(s[2], 0xFFFDu);
  EXPECT_EQ(s[3], U'(');
  // An overlong encoding and a surrogate are not characters either.
  EXPECT_EQ(DecodeUtf8("\xc0\xaf"), std::u32string(U"\uFFFD\uFFFD"));
  EXPECT_EQ(DecodeUtf8("\xed\xa0\x80").front(), 0xFFFDu);
  EXPECT_EQ(EncodeUtf8(DecodeUtf8("Grüße 漢字 🙂")), "Grüße 漢字 🙂");
}

TEST(ScreenText, FitCutsAtCharacterBoundariesAndNeverSplitsAWideCharacter) {
  EXPECT_EQ(FitText("abc漢字", 4), "abc");
  EXPECT_EQ(FitText("abc漢字", 5), "abc漢");
  EXPECT_EQ(FitText("Grüße", 3), "Grü");
  EXPECT_EQ(FitText("abc", 0), "");
  EXPECT_EQ(FitText("abc", 10), "abc");
}

TEST(ScreenModel, TextStaysInsideTheScreenAndWideCharactersTakeTwoCells) {
  Screen s(6, 2);
  EXPECT_EQ(s.Text(0, 0, "a漢b", kWhite, kBlue), 4);
  EXPECT_EQ(s.at(1, 0).ch, U'漢');
  EXPECT_TRUE(s.at(2, 0).continuation);
  // A wide character that would reach past the edge becomes a blank.
  EXPECT_EQ(s.Text(5, 1, "漢", kWhite, kBlue), 1);
  EXPECT_EQ(s.at(5, 1).ch, U' ');
  // Drawing outside does nothing.
  EXPECT_EQ(s.Text(0, 5, "x", kWhite, kBlue), 0);
  s.Text(-2, 1, "wxyz", kWhite, kBlue);
  EXPECT_EQ(s.ToText(), "a漢b\nyz\n");
  // Overwriting the right half of a wide character blanks its left half.
  s.Text(2, 0, "Q", kWhite, kBlue);
  EXPECT_EQ(s.ToText(), "a Qb\nyz\n");
}

TEST(KeyNames, PrefixesAndNamesGiveFarKeyCodes) {
  auto k = ParseKeyName("CtrlPgUp");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->vk, VK_PRIOR);
  EXPECT_EQ(k->control, unsigned{PKF_CONTROL});
  k = ParseKeyName("ShiftF4");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->vk, VK_F4);
  EXPECT_EQ(k->control, unsigned{PKF_SHIFT});
  k = ParseKeyName("AltShiftF12");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->vk, VK_F12);
  EXPECT_EQ(k->control, unsigned{PKF_ALT | PKF_SHIFT});
  k = ParseKeyName("a");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->vk, 'A');
  EXPECT_EQ(k->ch, U'a');
  k = ParseKeyName("CtrlIns");
  ASSERT_TRUE(k);
  EXPECT_EQ(k->vk, VK_INSERT);
  EXPECT_EQ(ParseKeyName("Ctrl")->vk, VK_CONTROL);
  EXPECT_FALSE(ParseKeyName("F13"));
  EXPECT_FALSE(ParseKeyName("Enterr"));
  EXPECT_FALSE(ParseKeyName(""));
}

TEST(Script, ReadsEveryKindOfLineAndNamesTheLineOfAnError) {
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScript("# comment\n\nEnter\ntext  two words\nwait 250\nscreen\nclipboard\n",
                          &steps, &error));
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].kind, ScriptStep::kKey);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[1].text, U" two words");
  EXPECT_EQ(steps[2].ms, 250);
  EXPECT_EQ(steps[3].kind, ScriptStep::kScreen);
  EXPECT_EQ(steps[4].kind, ScriptStep::kClipboard);
  EXPECT_FALSE(ParseScript("Enter\n\nNoSuchKey\n", &steps, &error));
  EXPECT_NE(error.find("line 3"), std::string::npos);
  EXPECT_FALSE(ParseScript("wait soon\n", &steps, &error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
  // A click names a cell; anything less or more is an error.
  ASSERT_TRUE(ParseScript("click 12 15\n", &steps, &error));
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].key.kind, Event::kMouse);
  EXPECT_EQ(steps[0].key.x, 12);
  EXPECT_EQ(steps[0].key.y, 15);
  for (const char* bad : {"click 3\n", "click 3 4 5\n", "click -1 2\n", "click x y\n"}) {
    EXPECT_FALSE(ParseScript(bad, &steps, &error)) << bad;
  }
}

TEST(HeadlessFrontEnd, WaitLetsTimePassUpToTheNextTimer) {
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScript("wait 1000\nEsc\n", &steps, &error));
  std::ostringstream out;
  HeadlessFrontEnd fe(80, 25, steps, out);
  // A timer due in 300 ms: the wait stops there, then goes on.
  EXPECT_EQ(fe.Wait(300).kind, Event::kNone);
  EXPECT_EQ(fe.NowMs(), 300);
  EXPECT_EQ(fe.Wait(-1).kind, Event::kKey);
  EXPECT_EQ(fe.NowMs(), 1000);
  EXPECT_EQ(fe.Wait(-1).kind, Event::kQuit);
}

}  // namespace
}  // namespace qb::host
