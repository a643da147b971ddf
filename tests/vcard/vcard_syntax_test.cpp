// The vCard syntax on its own: what real exporters write (small hand-written cards, one reading
// case each), what a hostile file does to the reader, and how the writer folds and escapes.
#include "main/vcard_syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qb::main::vcard {
namespace {

std::vector<Card> Read(const std::string& text, ReadReport* report = nullptr) {
  return ReadCards(text, report);
}

const Property* Find(const Card& card, const std::string& name) {
  for (const Property& p : card.properties) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::string ValueOf(const Card& card, const std::string& name) {
  const Property* p = Find(card, name);
  return p ? p->value : "<none>";
}

TEST(VCardReadTest, Version30WithGroupsQuotedParametersEscapesAndLf) {
  const auto cards = Read(
      "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nitem1.TEL;TYPE=\"cell,voice\";X-LABEL=\"a:b;c\":+1 555\n"
      "item1.X-ABLabel:_$!<Mobile>!$_\nNOTE:one\\ntwo\\, three\\; four\\\\five\n"
      "ADR;TYPE=home:;;Main St 1\\;2;Town;;123;Land\nEND:VCARD\n");
  ASSERT_EQ(cards.size(), 1u);
  const Property* tel = Find(cards[0], "TEL");
  ASSERT_NE(tel, nullptr);
  EXPECT_EQ(tel->group, "item1");
  EXPECT_TRUE(tel->HasType("CELL"));
  EXPECT_TRUE(tel->HasType("voice"));
  ASSERT_NE(tel->ParamValue("X-LABEL"), nullptr);
  EXPECT_EQ(*tel->ParamValue("X-LABEL"), "a:b;c");
  EXPECT_EQ(tel->value, "+1 555");
  EXPECT_EQ(ValueOf(cards[0], "NOTE"), "one\ntwo, three; four\\five");
  const Property* adr = Find(cards[0], "ADR");
  ASSERT_NE(adr, nullptr);
  ASSERT_EQ(adr->components.size(), 7u);
  EXPECT_EQ(adr->components[2], "Main St 1;2");
  EXPECT_EQ(adr->components[3], "Town");
}

TEST(VCardReadTest, Version21QuotedPrintableSoftBreaksCharsetsAndBareParameters) {
  const auto cards = Read(
      "BEGIN:VCARD\r\nVERSION:2.1\r\n"
      "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2=D0=B0=D0=BD=D0=BE=D0=B2;=D0=98=\r\n"
      "=D0=B2=D0=B0=D0=BD\r\n"
      "NOTE;CHARSET=WINDOWS-1251;QUOTED-PRINTABLE:=CF=F0=E8=E2=E5=F2\r\n"
      "ORG;CHARSET=ISO-8859-1:Caf\xE9\r\n"
      "TEL;CELL;PREF:+7 900\r\nEND:VCARD\r\n");
  ASSERT_EQ(cards.size(), 1u);
  const Property* n = Find(cards[0], "N");
  ASSERT_NE(n, nullptr);
  ASSERT_EQ(n->components.size(), 2u);
  EXPECT_EQ(n->components[0], "Иванов");
  EXPECT_EQ(n->components[1], "Иван");
  EXPECT_EQ(ValueOf(cards[0], "NOTE"), "Привет");
  EXPECT_EQ(ValueOf(cards[0], "ORG"), "Café");
  const Property* tel = Find(cards[0], "TEL");
  ASSERT_NE(tel, nullptr);
  EXPECT_TRUE(tel->HasType("cell"));
  EXPECT_TRUE(tel->HasType("pref"));
}

TEST(VCardReadTest, FoldingInsideACharacterBomSeveralCardsAndVersion4Uri) {
  // "Жанна" folded between the two bytes of its first letter.
  const auto cards = Read(
      "\xEF\xBB\xBF"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\xD0\r\n \x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0\r\n"
      "TEL;VALUE=uri;TYPE=cell:tel:+1-555-0100;ext=7\r\nEND:VCARD\r\n"
      "begin:vcard \r\nVERSION:3.0\r\nFN:Second\r\n\tcontinued\r\nEnd:VCard\t\r\n");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(ValueOf(cards[0], "FN"), "Жанна");
  EXPECT_EQ(ValueOf(cards[0], "TEL"), "tel:+1-555-0100;ext=7");
  EXPECT_EQ(*Find(cards[0], "TEL")->ParamValue("VALUE"), "uri");
  EXPECT_EQ(ValueOf(cards[1], "FN"), "Secondcontinued");
}

TEST(VCardReadTest, Utf16FileWithItsByteOrderMark) {
  const std::string text = "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) utf16 += std::string{c, '\0'};
  EXPECT_TRUE(LooksLikeVCard(utf16));
  const auto cards = Read(utf16);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(ValueOf(cards[0], "FN"), "Ann");
}

TEST(VCardReadTest, BinaryPropertiesAreDroppedAndCountedBadCardsSkippedTheRestRead) {
  ReadReport report;
  const auto cards = Read(
      "BEGIN:VCARD\nFN:One\nPHOTO;ENCODING=b;TYPE=JPEG:AAAA\n BBBB\nLOGO;VALUE=uri:http://x/\n"
      "X-BLOB;ENCODING=BASE64:AAAA\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Broken\nthis line has no colon\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Outer\nAGENT:\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nNOTE:kept\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Three\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Never ends\n",
      &report);
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(ValueOf(cards[0], "FN"), "One");
  EXPECT_EQ(Find(cards[0], "PHOTO"), nullptr);
  EXPECT_EQ(ValueOf(cards[1], "FN"), "Outer");
  EXPECT_EQ(ValueOf(cards[1], "NOTE"), "kept");
  EXPECT_EQ(ValueOf(cards[2], "FN"), "Three");
  // The broken card, the nested one and the one the file ends in.
  EXPECT_EQ(report.skipped_cards, 3u);
  EXPECT_EQ(report.dropped["PHOTO"], 1u);
  EXPECT_EQ(report.dropped["LOGO"], 1u);
  EXPECT_EQ(report.dropped["X-BLOB"], 1u);
}

TEST(VCardReadTest, HostileFilesAreReadWithinTheirLimits) {
  ReadReport report;
  // A line longer than the limit, a property of a million parameters, endless folding and bytes
  // that are no UTF-8; the card still gives what it can.
  std::string text =
      "BEGIN:VCARD\nFN:\xFF\xC3(ok\nNOTE:" + std::string(kMaxLineBytes + 10, 'x') + "\nTEL";
  for (int i = 0; i < 1000000; ++i) text += ";A";
  text += ":1\nX-FOLD:a\n";
  for (int i = 0; i < 200000; ++i) text += " folded-part-of-an-endless-line\n";
  text += "EMAIL:ann@example.org\nEND:VCARD\n";
  const auto cards = Read(text, &report);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(ValueOf(cards[0], "FN"), "\xEF\xBF\xBD\xEF\xBF\xBD(ok");
  EXPECT_EQ(ValueOf(cards[0], "EMAIL"), "ann@example.org");
  EXPECT_EQ(report.dropped["NOTE"], 1u);
  EXPECT_EQ(report.dropped["TEL"], 1u);
  EXPECT_EQ(ValueOf(cards[0], "X-FOLD").size(), 1u + 200000u * 30u);
}

TEST(VCardReadTest, TooManyPropertiesSkipTheCard) {
  ReadReport report;
  std::string text = "BEGIN:VCARD\nFN:Many\n";
  for (std::size_t i = 0; i < kMaxProperties + 1; ++i) text += "NOTE:x\n";
  text += "END:VCARD\nBEGIN:VCARD\nFN:Next\nEND:VCARD\n";
  const auto cards = Read(text, &report);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(ValueOf(cards[0], "FN"), "Next");
  EXPECT_EQ(report.skipped_cards, 1u);
}

TEST(VCardReadTest, WhatIsAVCardFile) {
  EXPECT_TRUE(LooksLikeVCard("\xEF\xBB\xBF\r\n  begin:vcard\r\n"));
  EXPECT_FALSE(LooksLikeVCard("QBXM"));
  EXPECT_FALSE(LooksLikeVCard("BEGIN:VCALENDAR\r\n"));
}

TEST(VCardWriteTest, LinesAreFoldedAt75OctetsOnCharacterBoundariesWithCrlf) {
  CardWriter writer;
  writer.Begin();
  const std::string note =
      std::string(70, 'a') + "жжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжжж";
  ASSERT_TRUE(writer.Add("NOTE", {{"X-LABEL", "a:b"}}, {note}));
  writer.End();
  const std::string& text = writer.text();
  std::size_t start = 0;
  std::string unfolded;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    EXPECT_LE(line.size(), 75u) << line;
    // No line starts inside a character.
    const std::size_t first = !line.empty() && line[0] == ' ' ? 1 : 0;
    if (first < line.size()) {
      EXPECT_NE(static_cast<unsigned char>(line[first]) & 0xC0, 0x80) << line;
    }
    unfolded += line[0] == ' ' ? line.substr(1) : "\n" + line;
    start = end + 2;
  }
  EXPECT_NE(unfolded.find("\nNOTE;X-LABEL=\"a:b\":" + note + "\n"), std::string::npos);
  // And the reader takes back what was written.
  const auto cards = ReadCards(text, nullptr);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(ValueOf(cards[0], "NOTE"), note);
}

TEST(VCardWriteTest, ComponentsAreEscapedAndBadNamesRefused) {
  CardWriter writer;
  EXPECT_TRUE(writer.Add("ADR", {{"TYPE", "home"}, {"TYPE", "work"}},
                         {"", "a;b", "line\nnext, \\x", "\xFF"}));
  EXPECT_FALSE(writer.Add("BAD NAME", {}, {"x"}));
  EXPECT_FALSE(writer.Add("NOTE", {{"P:Q", "x"}}, {"x"}));
  EXPECT_EQ(writer.text(), "ADR;TYPE=home,work:;a\\;b;line\\nnext\\, \\\\x;\xEF\xBF\xBD\r\n");
}

}  // namespace
}  // namespace qb::main::vcard
