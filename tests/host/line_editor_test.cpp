// The one line editor behind the command line and the dialogs' edit fields, and the command line
// built on it: what each key does to the text and the cursor, the limits a field sets, and what
// a field of a given width shows.
#include "host/core/line_editor.h"

#include <gtest/gtest.h>

#include <string>

#include "host/core/command_line.h"
#include "host/core/keys.h"
#include "sdk/far.h"

namespace qb::host {
namespace {

Event Key(const std::string& name) {
  std::optional<Event> ev = ParseKeyName(name);
  EXPECT_TRUE(ev.has_value()) << name;
  return ev.value_or(Event{});
}

// Types the text character by character.
void Type(LineEditor& e, const std::string& utf8) {
  for (char32_t ch : DecodeUtf8(utf8)) EXPECT_TRUE(e.Key(CharEvent(ch)));
}

// Presses the keys named, separated by blanks; each must be an editing key.
void Press(LineEditor& e, const std::string& names) {
  size_t pos = 0;
  while (pos < names.size()) {
    size_t end = names.find(' ', pos);
    if (end == std::string::npos) end = names.size();
    EXPECT_TRUE(e.Key(Key(names.substr(pos, end - pos)))) << names.substr(pos, end - pos);
    pos = end + 1;
  }
}

// A masked field is a fixed-width one as wide as its mask.
LineEditor WithMask(const std::u32string& mask) {
  return LineEditor({.fixed_width = static_cast<int>(mask.size()), .mask = mask});
}

TEST(LineEditor, TypingAndDeletingWorkAtTheCursor) {
  LineEditor e;
  Type(e, "held");
  Press(e, "Left Left");
  Type(e, "ll");
  EXPECT_EQ(e.Utf8(), "hellld");
  Press(e, "BS Del");
  EXPECT_EQ(e.Utf8(), "held");
  EXPECT_EQ(e.cursor(), 3u);
  Press(e, "Home Del End BS");
  EXPECT_EQ(e.Utf8(), "el");
  // At either end the moves and deletions change nothing.
  Press(e, "End Right Del Home Left BS");
  EXPECT_EQ(e.Utf8(), "el");
  EXPECT_EQ(e.cursor(), 0u);
  // Shift does not stop a character or a move; Ctrl+Y clears.
  Type(e, "E");
  Press(e, "ShiftEnd");
  EXPECT_EQ(e.Utf8(), "Eel");
  EXPECT_EQ(e.cursor(), 3u);
  Press(e, "CtrlY");
  EXPECT_TRUE(e.empty());
  EXPECT_EQ(e.cursor(), 0u);
}

TEST(LineEditor, KeysThatAreNotEditingKeysAreLeftToTheOwner) {
  LineEditor e;
  e.SetText("abc");
  for (const char* name : {"Enter", "Esc", "Tab", "Up", "Down", "F4", "CtrlLeft", "AltA", "CtrlA"})
    EXPECT_FALSE(e.Key(Key(name))) << name;
  EXPECT_EQ(e.Utf8(), "abc");
  EXPECT_EQ(e.cursor(), 3u);
}

TEST(LineEditor, CharactersOutsideAsciiAreOneStepEach) {
  LineEditor e;
  Type(e, "Жук漢");
  Press(e, "Left BS");
  EXPECT_EQ(e.Utf8(), "Жу漢");
  EXPECT_EQ(e.cursor(), 2u);
}

TEST(LineEditor, AByteLimitRefusesTypingAndCutsAGivenTextAtACharacter) {
  LineEditor e({.max_bytes = 5});
  e.SetText("ЖЖЖ");  // six bytes: the third letter does not fit whole
  EXPECT_EQ(e.Utf8(), "ЖЖ");
  Type(e, "a");
  EXPECT_EQ(e.Utf8(), "ЖЖa");
  e.Key(CharEvent(U'b'));  // a sixth byte
  e.Key(CharEvent(U'Ж'));
  EXPECT_EQ(e.Utf8(), "ЖЖa");
  Press(e, "Home");
  e.Key(CharEvent(U'c'));  // refused in the middle as well
  EXPECT_EQ(e.Utf8(), "ЖЖa");
}

TEST(LineEditor, AFullFixedWidthFieldOverwrites) {
  LineEditor e({.fixed_width = 3});
  e.SetText("abcdef");
  EXPECT_EQ(e.Utf8(), "abc");
  Type(e, "x");  // at the end: the last character
  EXPECT_EQ(e.Utf8(), "abx");
  Press(e, "Home");
  Type(e, "12");
  EXPECT_EQ(e.Utf8(), "12x");
  Press(e, "End BS");
  Type(e, "yz");  // room again for one, then full
  EXPECT_EQ(e.Utf8(), "12z");
}

TEST(LineEditor, AMaskKeepsItsLiteralsAndTakesOnlyWhatItsPlacesAccept) {
  LineEditor time = WithMask(U"99:99");
  time.SetText("1234");  // fills the places in turn
  EXPECT_EQ(time.Utf8(), "12:34");
  time.SetText("12:34");  // already shaped: taken place by place
  EXPECT_EQ(time.Utf8(), "12:34");
  EXPECT_EQ(time.cursor(), 0u);
  time.SetText("1x:3");  // what a place does not accept becomes a blank
  EXPECT_EQ(time.Utf8(), "1 : 3");

  time.SetText("");
  Type(time, "0");
  time.Key(CharEvent(U'a'));  // refused
  Type(time, "93");
  EXPECT_EQ(time.Utf8(), "09:3 ");
  EXPECT_EQ(time.cursor(), 4u);  // stepped over the colon
  Press(time, "Left Left");
  EXPECT_EQ(time.cursor(), 1u);  // and back over it
  Press(time, "Right BS");       // blanks the place before the colon
  EXPECT_EQ(time.Utf8(), "0 :3 ");
  Press(time, "End Del Home Del");
  EXPECT_EQ(time.Utf8(), "  :3 ");
  Press(time, "CtrlY");
  EXPECT_EQ(time.Utf8(), "  :  ");

  LineEditor phone = WithMask(U"#(AA)X");
  phone.SetText("+Ab!");
  EXPECT_EQ(phone.Utf8(), "+(Ab)!");
}

TEST(LineEditor, AReadOnlyTextStaysAsItIsWhileTheCursorMoves) {
  LineEditor e({.read_only = true});
  e.SetText("blue");
  Press(e, "Home Right Del BS CtrlY");
  Type(e, "x");
  EXPECT_EQ(e.Utf8(), "blue");
  EXPECT_EQ(e.cursor(), 1u);
}

TEST(LineEditor, TheViewScrollsOnlyAsFarAsTheCursorNeeds) {
  LineEditor e;
  e.SetText("abcdefghij");
  // Ten characters in a field of four cells: the cursor after the text sits in the last cell.
  EXPECT_EQ(e.ScrollIntoView(4), 3);
  EXPECT_EQ(e.scroll(), 7u);
  // Moving left inside the view keeps it; past its start the view follows.
  Press(e, "Left Left");
  EXPECT_EQ(e.ScrollIntoView(4), 1);
  EXPECT_EQ(e.scroll(), 7u);
  Press(e, "Left Left");
  EXPECT_EQ(e.ScrollIntoView(4), 0);
  EXPECT_EQ(e.scroll(), 6u);
  // From the start again: as much of the beginning as keeps the cursor in view.
  Press(e, "End");
  e.ScrollToStart();
  e.ScrollIntoView(4);
  EXPECT_EQ(e.scroll(), 7u);

  // Wide characters take two cells; a secret text shows one '*' a character.
  LineEditor wide;
  wide.SetText("漢字漢字");
  EXPECT_EQ(wide.ScrollIntoView(5), 4);
  EXPECT_EQ(wide.scroll(), 2u);
  LineEditor secret;
  secret.SetText("漢字漢字");
  EXPECT_EQ(secret.ScrollIntoView(5, true), 4);
  EXPECT_EQ(secret.scroll(), 0u);
}

TEST(LineEditor, AFullFixedWidthFieldRestsTheCursorOnItsLastCharacter) {
  LineEditor e({.fixed_width = 3});
  e.SetText("abc");
  EXPECT_EQ(e.ScrollIntoView(3), 2);
  EXPECT_EQ(e.scroll(), 0u);
}

TEST(CommandLine, TakesCharactersAlwaysAndTheOtherEditingKeysOnlyWithText) {
  CommandLine line;
  EXPECT_EQ(line.Key(Key("Left")), CommandLine::kNotMine);
  EXPECT_EQ(line.Key(Key("Enter")), CommandLine::kNotMine);
  EXPECT_EQ(line.Key(Key("Esc")), CommandLine::kNotMine);
  EXPECT_EQ(line.Key(CharEvent(U'c')), CommandLine::kEdited);
  EXPECT_EQ(line.Key(Key("Left")), CommandLine::kEdited);
  EXPECT_EQ(line.Key(Key("CtrlY")), CommandLine::kNotMine);  // Ctrl and Alt keys never
  EXPECT_EQ(line.Key(Key("Up")), CommandLine::kNotMine);
  EXPECT_EQ(line.Key(CharEvent(U'd')), CommandLine::kEdited);
  EXPECT_EQ(line.text(), "dc");
  EXPECT_EQ(line.Key(Key("Enter")), CommandLine::kEnter);
  EXPECT_EQ(line.Take(), "dc");
  EXPECT_TRUE(line.empty());
  line.SetText("cd /tmp");
  EXPECT_EQ(line.Key(Key("Esc")), CommandLine::kEdited);
  EXPECT_TRUE(line.empty());
}

TEST(CommandLine, ALongLineShowsItsTailAndTheCursorStaysOnScreen) {
  CommandLine line;
  line.SetText("0123456789abcdefghij");
  Screen s(12, 2);
  line.Draw(s, 0, "~>");
  // Two cells of prompt, nine of text and the cursor's cell.
  EXPECT_EQ(s.ToText(), "~>bcdefghij\n\n");
  EXPECT_EQ(s.cursor_x(), 11);
  EXPECT_TRUE(s.cursor_visible());
}

struct ParseCase {
  const char* line;
  Command::Kind kind;
  const char* arg;
};

class ParseCommandTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandTest, ReadsWhatTheCommandAsksFor) {
  const ParseCase& c = GetParam();
  Command cmd = ParseCommand(c.line, "tp:Quill");
  EXPECT_EQ(cmd.kind, c.kind) << c.line;
  EXPECT_EQ(cmd.arg, c.arg) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParseCommandTest,
    ::testing::Values(ParseCase{"   ", Command::kNone, ""},
                      ParseCase{"  tp:Friends ", Command::kPlugin, "Friends"},
                      ParseCase{"QUILL:a:b", Command::kPlugin, "a:b"},  // any case, first colon
                      ParseCase{"quill:", Command::kPlugin, ""},
                      ParseCase{":x", Command::kOther, ":x"},  // an empty prefix is none
                      ParseCase{"other:x", Command::kOther, "other:x"},
                      ParseCase{"cd", Command::kChangeDir, "~"},
                      ParseCase{" cd /tmp ", Command::kChangeDir, "/tmp"},
                      ParseCase{"cdrom", Command::kOther, "cdrom"},
                      ParseCase{"ls -l", Command::kOther, "ls -l"}));

TEST(CommandLine, WithoutPrefixesNoCommandGoesToThePlugin) {
  EXPECT_EQ(ParseCommand("tp:Friends", "").kind, Command::kOther);
}

}  // namespace
}  // namespace qb::host
