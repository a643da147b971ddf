#include "host/terminal/input_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sdk/far.h"

namespace qb::host {
namespace {

constexpr int64_t kLater = 1000;  // well past the escape delay

struct Key {
  int vk;
  unsigned control;
  char32_t ch = 0;
};

bool operator==(const Event& e, const Key& k) {
  return e.kind == Event::kKey && e.vk == k.vk && e.control == k.control && e.ch == k.ch;
}

std::string Describe(const Event& e) {
  return "kind " + std::to_string(e.kind) + " vk 0x" + std::to_string(e.vk) + " control " +
         std::to_string(e.control) + " ch " + std::to_string(static_cast<uint32_t>(e.ch)) + " at " +
         std::to_string(e.x) + "," + std::to_string(e.y);
}

// Every event the bytes make once the terminal has gone quiet.
std::vector<Event> DecodeAll(std::string_view bytes) {
  InputDecoder d;
  d.Feed(bytes, 0);
  std::vector<Event> out;
  while (auto e = d.Next(kLater)) out.push_back(*e);
  EXPECT_TRUE(d.empty()) << "bytes left over";
  return out;
}

void ExpectKey(std::string_view bytes, Key key) {
  std::vector<Event> events = DecodeAll(bytes);
  ASSERT_EQ(events.size(), 1u) << "for " << testing::PrintToString(std::string(bytes));
  EXPECT_TRUE(events[0] == key) << "for " << testing::PrintToString(std::string(bytes)) << ": "
                                << Describe(events[0]);
}

TEST(InputDecoder, TypedTextCarriesKeyCodesAndCharacters) {
  ExpectKey("a", {'A', 0, U'a'});
  ExpectKey("Z", {'Z', PKF_SHIFT, U'Z'});
  ExpectKey("7", {'7', 0, U'7'});
  ExpectKey(" ", {VK_SPACE, 0, U' '});
  ExpectKey("?", {0xBF, PKF_SHIFT, U'?'});
  ExpectKey("ж", {0, 0, U'ж'});
  ExpectKey("語", {0, 0, U'語'});
  ExpectKey("\xF0\x9F\x98\x80", {0, 0, U'\U0001F600'});
  std::vector<Event> mixed = DecodeAll("Ab");
  ASSERT_EQ(mixed.size(), 2u);
  EXPECT_TRUE(mixed[1] == (Key{'B', 0, U'b'}));
}

TEST(InputDecoder, ControlBytes) {
  ExpectKey("\r", {VK_RETURN, 0});
  ExpectKey("\t", {VK_TAB, 0});
  ExpectKey("\x7f", {VK_BACK, 0});
  ExpectKey("\x08", {VK_BACK, 0});
  ExpectKey("\x01", {'A', PKF_CONTROL});
  ExpectKey("\x12", {'R', PKF_CONTROL});
  ExpectKey(std::string_view("\0", 1), {VK_SPACE, PKF_CONTROL});
}

TEST(InputDecoder, BrokenUtf8BecomesReplacementCharacters) {
  std::vector<Event> events = DecodeAll("\xC3(\xFFx");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].ch, U'\uFFFD');
  EXPECT_EQ(events[1].ch, U'(');
  EXPECT_EQ(events[2].ch, U'\uFFFD');
  EXPECT_EQ(events[3].ch, U'x');
  std::vector<Event> overlong = DecodeAll("\xC0\xAF");  // an overlong '/' is no '/'
  ASSERT_EQ(overlong.size(), 2u);
  EXPECT_EQ(overlong[0].ch, U'\uFFFD');
  EXPECT_EQ(overlong[1].ch, U'\uFFFD');
}

TEST(InputDecoder, XtermFunctionAndEditingKeysWithModifiers) {
  ExpectKey("\x1bOP", {VK_F1, 0});
  ExpectKey("\x1bOS", {VK_F4, 0});
  ExpectKey("\x1b[1;2S", {VK_F4, PKF_SHIFT});
  ExpectKey("\x1bO2S", {VK_F4, PKF_SHIFT});  // older xterm
  ExpectKey("\x1b[15~", {VK_F5, 0});
  ExpectKey("\x1b[15;3~", {VK_F5, PKF_ALT});
  ExpectKey("\x1b[17;3~", {VK_F6, PKF_ALT});
  ExpectKey("\x1b[18;2~", {VK_F7, PKF_SHIFT});
  ExpectKey("\x1b[21~", {VK_F10, 0});
  ExpectKey("\x1b[24;6~", {VK_F12, PKF_CONTROL | PKF_SHIFT});
  ExpectKey("\x1b[2;5~", {VK_INSERT, PKF_CONTROL});
  ExpectKey("\x1b[3~", {VK_DELETE, 0});
  ExpectKey("\x1b[5;5~", {VK_PRIOR, PKF_CONTROL});
  ExpectKey("\x1b[6~", {VK_NEXT, 0});
  ExpectKey("\x1b[A", {VK_UP, 0});
  ExpectKey("\x1bOB", {VK_DOWN, 0});
  ExpectKey("\x1b[1;5D", {VK_LEFT, PKF_CONTROL});
  ExpectKey("\x1b[1;9C", {VK_RIGHT, PKF_ALT});  // Meta counts as Alt
  ExpectKey("\x1b[H", {VK_HOME, 0});
  ExpectKey("\x1bOF", {VK_END, 0});
  ExpectKey("\x1b[1;2H", {VK_HOME, PKF_SHIFT});
  ExpectKey("\x1b[Z", {VK_TAB, PKF_SHIFT});
}

TEST(InputDecoder, LinuxConsoleScreenAndTmuxKeys) {
  ExpectKey("\x1b[[A", {VK_F1, 0});
  ExpectKey("\x1b[[E", {VK_F5, 0});
  ExpectKey("\x1b[1~", {VK_HOME, 0});
  ExpectKey("\x1b[4~", {VK_END, 0});
  // F13..F20 are Shift+F3..Shift+F10 on the console and in rxvt.
  ExpectKey("\x1b[25~", {VK_F3, PKF_SHIFT});
  ExpectKey("\x1b[26~", {VK_F4, PKF_SHIFT});
  ExpectKey("\x1b[28~", {VK_F5, PKF_SHIFT});
  ExpectKey("\x1b[31~", {VK_F7, PKF_SHIFT});
  ExpectKey("\x1b[34~", {VK_F10, PKF_SHIFT});
}

TEST(InputDecoder, RxvtKeys) {
  ExpectKey("\x1b[11~", {VK_F1, 0});
  ExpectKey("\x1b[2^", {VK_INSERT, PKF_CONTROL});
  ExpectKey("\x1b[5^", {VK_PRIOR, PKF_CONTROL});
  ExpectKey("\x1b[23$", {VK_F11, PKF_SHIFT});
  ExpectKey("\x1b[15@", {VK_F5, PKF_CONTROL | PKF_SHIFT});
  ExpectKey("\x1b[7~", {VK_HOME, 0});
  ExpectKey("\x1b[8$", {VK_END, PKF_SHIFT});
  ExpectKey("\x1b[a", {VK_UP, PKF_SHIFT});
  ExpectKey("\x1bOd", {VK_LEFT, PKF_CONTROL});
  ExpectKey("\x1b\x1b[17~", {VK_F6, PKF_ALT});
  ExpectKey("\x1b\x1b[2^", {VK_INSERT, PKF_ALT | PKF_CONTROL});
}

TEST(InputDecoder, AltCombinationsAreEscPrefixed) {
  ExpectKey("\x1bx", {'X', PKF_ALT});
  ExpectKey("\x1bX", {'X', PKF_ALT | PKF_SHIFT});
  ExpectKey(
      "\x1b"
      "5",
      {'5', PKF_ALT});
  ExpectKey("\x1b\x01", {'A', PKF_ALT | PKF_CONTROL});
  ExpectKey("\x1b\x7f", {VK_BACK, PKF_ALT});
  ExpectKey("\x1b\r", {VK_RETURN, PKF_ALT});
  ExpectKey("\x1bж", {0, PKF_ALT, U'ж'});  // no key code, so the character says which
}

TEST(InputDecoder, CsiUAndModifyOtherKeys) {
  ExpectKey("\x1b[49;5u", {'1', PKF_CONTROL});
  ExpectKey("\x1b[27;5;48~", {'0', PKF_CONTROL});
  ExpectKey("\x1b[97;3u", {'A', PKF_ALT});
  ExpectKey("\x1b[97;2u", {'A', PKF_SHIFT, U'A'});
  ExpectKey("\x1b[13;5u", {VK_RETURN, PKF_CONTROL});
  ExpectKey("\x1b[27u", {VK_ESCAPE, 0});
  ExpectKey("\x1b[97:65;2u", {'A', PKF_SHIFT, U'A'});  // sub-parameters are ignored
}

TEST(InputDecoder, TwoEscapesAreTwoEscKeys) {
  std::vector<Event> events = DecodeAll("\x1b\x1b");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0] == (Key{VK_ESCAPE, 0}));
  EXPECT_TRUE(events[1] == (Key{VK_ESCAPE, 0}));
}

TEST(InputDecoder, EscAloneWaitsForTheEscapeDelay) {
  InputDecoder d(50);
  d.Feed("\x1b", 1000);
  EXPECT_FALSE(d.Next(1000).has_value());
  EXPECT_FALSE(d.Next(1049).has_value());
  EXPECT_EQ(d.PendingMs(1010), 40);
  std::optional<Event> e = d.Next(1050);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{VK_ESCAPE, 0}));
  EXPECT_EQ(d.PendingMs(1050), -1);
}

TEST(InputDecoder, EscFollowedInTimeIsAlt) {
  InputDecoder d(50);
  d.Feed("\x1b", 0);
  EXPECT_FALSE(d.Next(20).has_value());
  d.Feed("q", 30);
  std::optional<Event> e = d.Next(30);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{'Q', PKF_ALT}));
}

// Esc read on its own, then the process is not scheduled until after the delay and the next key
// has come meanwhile: that is Esc and the key (F10), not Alt+F10 -- also for an unfinished
// sequence and for bytes that were complete but not yet taken.
TEST(InputDecoder, BytesWaitingPastTheDelayDoNotJoinTheNextRead) {
  InputDecoder d(50);
  d.Feed("\x1b", 0);
  EXPECT_FALSE(d.Next(10).has_value());
  d.Feed("\x1b[21~", 300);
  std::optional<Event> e = d.Next(300);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{VK_ESCAPE, 0}));
  e = d.Next(300);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{VK_F10, 0}));
  EXPECT_TRUE(d.empty());

  d.Feed("\x1b[", 400);
  d.Feed("x\x1b", 500);
  e = d.Next(500);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{0xDB, PKF_ALT, U'['}));
  e = d.Next(500);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{'X', 0, U'x'}));
  EXPECT_FALSE(d.Next(510).has_value());  // the new Esc waits for its own delay
  d.Feed("q", 520);
  e = d.Next(520);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{'Q', PKF_ALT}));

  d.Feed("a\x1b[A", 1000);
  d.Feed("\x1b[B", 2000);
  std::vector<int> keys;
  while (auto next = d.Next(2000)) keys.push_back(next->vk);
  EXPECT_EQ(keys, (std::vector<int>{'A', VK_UP, VK_DOWN}));
}

TEST(InputDecoder, SequencesSplitAcrossReadsWaitForTheirEnd) {
  const std::string sequences[] = {"\x1b[1;2S",    "\x1b[17;3~", "\x1bOP", "\x1b[[B",
                                   "\x1b[<0;5;2M", "\x1b\x1b[A", "日",     "\x1b[23$"};
  for (const std::string& seq : sequences) {
    InputDecoder d(50);
    int64_t t = 0;
    for (size_t i = 0; i + 1 < seq.size(); ++i) {
      d.Feed(seq.substr(i, 1), t);
      EXPECT_FALSE(d.Next(t + 10).has_value()) << testing::PrintToString(seq) << " at " << i;
      t += 10;
    }
    d.Feed(seq.substr(seq.size() - 1), t);
    std::optional<Event> e = d.Next(t);
    ASSERT_TRUE(e.has_value()) << testing::PrintToString(seq);
    EXPECT_NE(e->kind, Event::kNone);
    EXPECT_TRUE(d.empty()) << testing::PrintToString(seq);
  }
}

TEST(InputDecoder, UnfinishedSequencesResolveAfterTheDelay) {
  InputDecoder d(50);
  d.Feed("\x1b[", 0);
  std::optional<Event> e = d.Next(100);
  ASSERT_TRUE(e.has_value());
  EXPECT_TRUE(*e == (Key{0xDB, PKF_ALT, U'['}));

  // A cut-off sequence is dropped; what follows it is read normally.
  d.Feed("\x1b[1;", 200);
  EXPECT_FALSE(d.Next(300).has_value());
  EXPECT_TRUE(d.empty());
  d.Feed("\xD0", 400);  // half of a Cyrillic letter
  e = d.Next(500);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->ch, U'\uFFFD');
}

TEST(InputDecoder, UnknownAndBrokenSequencesDoNotSwallowKeys) {
  std::vector<Event> events = DecodeAll(
      "\x1b[?1;2c"
      "a"
      "\x1b[200~"
      "b"
      "\x1b[1\x1b[A"
      "\x1b[I");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_TRUE(events[0] == (Key{'A', 0, U'a'}));
  EXPECT_TRUE(events[1] == (Key{'B', 0, U'b'}));
  EXPECT_TRUE(events[2] == (Key{VK_UP, 0}));
}

TEST(InputDecoder, MouseReports) {
  std::vector<Event> events = DecodeAll("\x1b[<0;12;30M\x1b[<0;12;30m");
  ASSERT_EQ(events.size(), 1u);  // the release is not a click
  EXPECT_EQ(events[0].kind, Event::kMouse);
  EXPECT_EQ(events[0].x, 11);
  EXPECT_EQ(events[0].y, 29);

  EXPECT_TRUE(DecodeAll("\x1b[<2;1;1M").empty());   // right button
  EXPECT_TRUE(DecodeAll("\x1b[<32;1;1M").empty());  // motion
  ExpectKey("\x1b[<64;3;3M", {VK_UP, 0});
  ExpectKey("\x1b[<65;3;3M", {VK_DOWN, 0});
  std::vector<Event> shift_click = DecodeAll("\x1b[<4;2;3M");
  ASSERT_EQ(shift_click.size(), 1u);
  EXPECT_EQ(shift_click[0].kind, Event::kMouse);

  // The X10 encoding: button, column and row offset by 32 (columns and rows count from 1).
  std::vector<Event> x10 = DecodeAll("\x1b[M !*\x1b[M#!*");
  ASSERT_EQ(x10.size(), 1u);
  EXPECT_EQ(x10[0].kind, Event::kMouse);
  EXPECT_EQ(x10[0].x, 0);
  EXPECT_EQ(x10[0].y, 9);
}

}  // namespace
}  // namespace qb::host
