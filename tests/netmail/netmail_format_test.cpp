// What Netmail writes without a host: addresses, file box names, the stored message (its header,
// kludges, serials and number) and the copy into a file box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fieldtypes/netmail/fido_address.h"
#include "fieldtypes/netmail/file_box.h"
#include "fieldtypes/netmail/stored_message.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::netmail {
namespace {

namespace fs = std::filesystem;
using qb::test::ReadFile;

const FidoAddress kPreset{7, 77, 777, 7};

FidoAddress Parsed(std::string_view text, FidoAddress start = kPreset) {
  EXPECT_TRUE(ParseAddress(text, &start)) << text;
  return start;
}

void ExpectInvalid(std::string_view text) {
  FidoAddress address = kPreset;
  EXPECT_FALSE(ParseAddress(text, &address)) << text;
  EXPECT_EQ(address, kPreset) << text;  // untouched
}

std::tm Local(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(ParseAddress, TakesThePartsTheTextNamesAndKeepsTheOthers) {
  EXPECT_EQ(Parsed("2:5030/999"), (FidoAddress{2, 5030, 999, 0}));
  EXPECT_EQ(Parsed("2:5030/999.12"), (FidoAddress{2, 5030, 999, 12}));
  EXPECT_EQ(Parsed("999.1"), (FidoAddress{7, 77, 999, 1}));  // only node and point change
  EXPECT_EQ(Parsed("/999"), (FidoAddress{7, 77, 999, 0}));   // the net stays
  EXPECT_EQ(Parsed("5030/999"), (FidoAddress{7, 5030, 999, 0}));
  EXPECT_EQ(Parsed("999"), (FidoAddress{7, 77, 999, 0}));
  // Empty parts read as 0; the comment is not part of the address, nor are blanks around it.
  EXPECT_EQ(Parsed("2:."), (FidoAddress{2, 77, 0, 0}));
  EXPECT_EQ(Parsed("2:0/."), (FidoAddress{2, 0, 0, 0}));
  EXPECT_EQ(Parsed("2:5030/999.1#work"), (FidoAddress{2, 5030, 999, 1}));
  EXPECT_EQ(Parsed(" 2:5030/999 #Ann's node"), (FidoAddress{2, 5030, 999, 0}));
  EXPECT_EQ(Parsed("65535:0/00000000012.65535"), (FidoAddress{65535, 0, 12, 65535}));
}

TEST(ParseAddress, RefusesAnythingButDigitsInAPartAndNumbersBeyondSixteenBits) {
  ExpectInvalid("2:5030/999 x");  // a blank inside
  ExpectInvalid("2:5030/9 99");
  ExpectInvalid("2:50-30/999");
  ExpectInvalid("+2:5030/999");
  ExpectInvalid("2:5030/999.1.2");
  ExpectInvalid("2:3:5030/999");
  ExpectInvalid("2:5030/65536");  // would wrap to node 0
  ExpectInvalid("2:70000/1");
  ExpectInvalid("99999999999999999999:1/1");
  ExpectInvalid("");
  ExpectInvalid("   #only a comment");
  ExpectInvalid("ann@example.org");
  ExpectInvalid(
      std::string_view("2:5030/9\0"
                       "9",
                       10));
}

TEST(FileBoxName, IsTheAddressInBase32) {
  EXPECT_EQ(FileBoxName({2, 5030, 999, 0}), "024T60V7.00");
  EXPECT_EQ(FileBoxName({0, 0, 0, 0}), "00000000.00");
  EXPECT_EQ(FileBoxName({1023, 32767, 32767, 1023}), "VVVVVVVV.VV");
  // Each number keeps only the bits its digits hold.
  EXPECT_EQ(FileBoxName({1024 + 1, 32768 + 2, 65535, 1024 + 31}), "01002VVV.0V");
}

TEST(DateText, IsTheFidoNetDateOfNineteenCharacters) {
  const std::tm t = Local(2002, 2, 3, 4, 5, 6);
  EXPECT_EQ(DateText(t, "Feb"), "03 Feb 02  04:05:06");
  // A longer month name would push the time out of the field: its first three characters go.
  EXPECT_EQ(DateText(t, "February"), "03 Feb 02  04:05:06");
  EXPECT_EQ(DateText(t, "Февраль"), "03 Фев 02  04:05");  // cut at a whole character
  EXPECT_EQ(DateText(Local(1999, 12, 31, 23, 59, 59), "Dec"), "31 Dec 99  23:59:59");
  EXPECT_EQ(DateText(Local(2100, 1, 1, 0, 0, 0), ""), "01  00  00:00:00");
}

TEST(Serial, CountsSecondsFromTheFixedPointAndNeverRepeats) {
  const std::tm t = Local(2002, 2, 3, 4, 5, 6);
  EXPECT_EQ(TimeSerial(t), 0x3c7c5af2u);
  SerialCounter counter;
  EXPECT_EQ(counter.Next(t), 0x3c7c5af2u);
  EXPECT_EQ(counter.Next(t), 0x3c7c5af3u);  // the same second
  EXPECT_EQ(counter.Next(t), 0x3c7c5af4u);
  EXPECT_EQ(counter.Next(Local(2002, 2, 3, 4, 5, 5)), 0x3c7c5af5u);  // the clock went back
  EXPECT_EQ(counter.Next(Local(2002, 2, 3, 4, 6, 0)), 0x3c7c5af2u + 54);
  // The sum wraps in 32 bits; a time whose serial is negative still moves on from the last one.
  SerialCounter early;
  EXPECT_GT(TimeSerial(Local(2050, 1, 1, 0, 0, 0)), 0x80000000u);
  EXPECT_EQ(early.Next(Local(2050, 1, 1, 0, 0, 0)), 1u);
  EXPECT_EQ(early.Next(Local(2050, 1, 1, 0, 0, 0)), 2u);
}

TEST(KludgeLines, NameBothEndsAndThePointsOnlyWhenThereAreSome) {
  const FidoAddress own{2, 5030, 999, 0}, to{2, 5020, 100, 0};
  EXPECT_EQ(KludgeLines(own, to, 0x3c7c5af2),
            "\x01INTL 2:5020/100 2:5030/999\r\x01MSGID 2:5030/999.0 3c7c5af2\r");
  EXPECT_EQ(KludgeLines({2, 5030, 999, 999}, {2, 5020, 100, 7}, 0xABCDEF),
            "\x01INTL 2:5020/100 2:5030/999\r\x01"
            "FMPT 999\r\x01TOPT 7\r"
            "\x01MSGID 2:5030/999.999 abcdef\r");
  // Numbers above 32767 are written as the unsigned numbers they are.
  EXPECT_EQ(KludgeLines({40000, 1, 1, 0}, {65535, 2, 2, 0}, 1),
            "\x01INTL 65535:2/2 40000:1/1\r\x01MSGID 40000:1/1.0 1\r");
}

uint16_t At16(const Header& h, size_t offset) {
  return static_cast<uint16_t>(h[offset] | (h[offset + 1] << 8));
}
std::string TextAt(const Header& h, size_t offset, size_t field) {
  const char* p = reinterpret_cast<const char*>(h.data() + offset);
  return std::string(p, strnlen(p, field));
}

TEST(BuildHeader, PutsEveryFieldInItsPlaceLittleEndian) {
  MessageHead head{"System Operator",   "Ann",
                   "/tmp/note.txt",     "03 Feb 02  04:05:06",
                   {2, 5030, 999, 999}, {2, 5020, 100, 7}};
  const Header h = BuildHeader(head);
  EXPECT_EQ(TextAt(h, 0, 36), "System Operator");
  EXPECT_EQ(TextAt(h, 36, 36), "Ann");
  EXPECT_EQ(TextAt(h, 72, 72), "/tmp/note.txt");
  EXPECT_EQ(TextAt(h, 144, 20), "03 Feb 02  04:05:06");
  EXPECT_EQ(h[163], 0);  // the date's terminator
  const std::vector<std::pair<size_t, uint16_t>> numbers = {
      {164, 0}, {166, 100}, {168, 999}, {170, 0}, {172, 5030},   {174, 5020}, {176, 2},
      {178, 2}, {180, 7},   {182, 999}, {184, 0}, {186, 0x0191}, {188, 0}};
  for (const auto& [offset, value] : numbers) EXPECT_EQ(At16(h, offset), value) << offset;
  EXPECT_EQ(h[186], 0x91);
  EXPECT_EQ(h[187], 0x01);
}

TEST(BuildHeader, CutsLongTextsAtAWholeCharacterAndEndsEachWithAZero) {
  // 20 + 1 + 14 bytes make 35; "Иванова" begins two bytes further, and cannot be split.
  const std::string cyrillic = "Александра Констан Иванова";
  MessageHead head{std::string(100, 'x'), cyrillic, std::string(200, '/'),
                   std::string(50, '9'),  {},       {}};
  const Header h = BuildHeader(head);
  EXPECT_EQ(TextAt(h, 0, 36), std::string(35, 'x'));
  EXPECT_EQ(h[35], 0);
  EXPECT_EQ(TextAt(h, 36, 36), "Александра Констан");
  EXPECT_EQ(h[36 + 35], 0);
  head.to = "Александра  Констант";  // byte 35 is inside the seventh letter, which goes whole
  EXPECT_EQ(TextAt(BuildHeader(head), 36, 36), "Александра  Конста");
  EXPECT_EQ(TextAt(h, 72, 72), std::string(71, '/'));
  EXPECT_EQ(h[143], 0);
  EXPECT_EQ(TextAt(h, 144, 20), std::string(19, '9'));
  EXPECT_EQ(h[163], 0);
  // A name with a line break ends at it; nothing of what follows reaches the header.
  head = MessageHead{"Eve\r\x01INTL 1:1/1 1:1/1", "Bob\nX", "/a", "", {}, {}};
  const Header cut = BuildHeader(head);
  EXPECT_EQ(TextAt(cut, 0, 36), "Eve");
  EXPECT_EQ(TextAt(cut, 36, 36), "Bob");
  for (size_t i = 3; i < 36; ++i) EXPECT_EQ(cut[i], 0) << i;
}

TEST(AttachPath, MustFitTheSubjectWholeAndNameOneFile) {
  EXPECT_TRUE(AttachPathFits("/home/ann/note.txt"));
  EXPECT_TRUE(AttachPathFits("/" + std::string(70, 'a')));
  EXPECT_FALSE(AttachPathFits("/" + std::string(71, 'a')));  // cut, it would name another file
  EXPECT_FALSE(AttachPathFits("/home/ann/My Documents/note.txt"));  // two files to a tosser
  EXPECT_FALSE(AttachPathFits("/tmp/x\n/etc/passwd"));              // another line of the flow file
  EXPECT_FALSE(AttachPathFits("/tmp/tab\there"));
  EXPECT_FALSE(AttachPathFits(""));
}

TEST(MessageNumber, IsOneAboveTheLargestMessageAndNeverOne) {
  auto next = [](std::initializer_list<std::string_view> names) {
    NextNumber n;
    for (auto name : names) n.See(name);
    return n.Result();
  };
  EXPECT_EQ(next({"1.msg", "7.msg", "readme.msg"}), 8u);
  EXPECT_EQ(next({}), 2u);  // 1.msg is the tossers' high-water mark
  EXPECT_EQ(next({"1.msg"}), 2u);
  EXPECT_EQ(next({"readme.msg", "notes.txt", "12.txt", "9.MSG", "10.msg.bak"}), 10u);
  EXPECT_EQ(next({"0012.msg", "3abc.msg", ".msg", "msg", "5.ms"}), 13u);
  // Names from outside are only names: huge numbers and huge names do not overflow anything.
  EXPECT_EQ(next({"99999999999999999999999.msg", std::string(255, '9') + ".msg", "3.msg"}), 4u);
  EXPECT_EQ(next({"2147483646.msg"}), 2147483647u);
  EXPECT_EQ(next({"2147483647.msg"}), std::nullopt);  // full: nothing is written
  EXPECT_EQ(LeadingNumber("2147483648.msg"), std::nullopt);
  EXPECT_EQ(LeadingNumber("2147483647.msg"), 2147483647u);
  EXPECT_EQ(LeadingNumber("x1.msg"), 0u);
}

class MessageFolderTest : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { std::ofstream(dir / name) << "x"; }
  qb::test::TempDir temp{"qb-netmail-folder"};
  fs::path dir = temp.root();
};

TEST_F(MessageFolderTest, TheNextMessageFollowsTheFolderAndNeverReplacesAFile) {
  EXPECT_EQ(NextMessageNumber(dir.string()), 2u);
  for (const char* name : {"1.msg", "7.msg", "readme.msg", "100.txt"}) Touch(name);
  EXPECT_EQ(NextMessageNumber(dir.string()), 8u);
  EXPECT_EQ(NextMessageNumber((dir / "missing").string()), std::nullopt);

  Header header = BuildHeader({"a", "b", "/c", "d", {}, {}});
  const auto path = WriteMessage(dir.string(), header, "\x01MSGID 1:1/1.0 1\r");
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, (dir / "8.msg").string());
  const std::string bytes = ReadFile(*path);
  ASSERT_EQ(bytes.size(), 190u + 17u);
  EXPECT_EQ(bytes.substr(190), "\x01MSGID 1:1/1.0 1\r");
  EXPECT_EQ(ReadFile(dir / "7.msg"), "x");
  EXPECT_EQ(WriteMessage(dir.string(), header, ""), (dir / "9.msg").string());
}

TEST_F(MessageFolderTest, AFolderThatCannotTakeTheMessageLeavesNothingBehind) {
  EXPECT_EQ(WriteMessage((dir / "missing").string(), Header{}, ""), std::nullopt);
  EXPECT_EQ(WriteMessage("", Header{}, ""), std::nullopt);
  Touch("2147483647.msg");
  EXPECT_EQ(WriteMessage(dir.string(), Header{}, ""), std::nullopt);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  if (geteuid() != 0) {
    fs::remove(dir / "2147483647.msg");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteMessage(dir.string(), Header{}, ""), std::nullopt);
    fs::permissions(dir, fs::perms::owner_all);
  }
}

class FileBoxTest : public MessageFolderTest {};

TEST_F(FileBoxTest, TheFileIsCopiedUnderItsNameIntoABoxMadeForIt) {
  std::ofstream(dir / "note.txt") << "hello";
  const fs::path box = dir / "boxes" / FileBoxName({2, 5030, 999, 0});
  fs::create_directory(dir / "boxes");
  ASSERT_TRUE(CopyIntoBox(box.string(), (dir / "note.txt").string()));
  EXPECT_EQ(ReadFile(box / "note.txt"), "hello");
  // Again over the first copy, from a changed file; the box already exists.
  std::ofstream(dir / "note.txt") << "hello again";
  ASSERT_TRUE(CopyIntoBox(box.string(), (dir / "note.txt").string()));
  EXPECT_EQ(ReadFile(box / "note.txt"), "hello again");
  // A file of the box sent to the same box stays whole.
  ASSERT_TRUE(CopyIntoBox(box.string(), (box / "note.txt").string()));
  EXPECT_EQ(ReadFile(box / "note.txt"), "hello again");
  EXPECT_EQ(std::distance(fs::directory_iterator(box), fs::directory_iterator()), 1);
}

TEST_F(FileBoxTest, NoParentIsMadeAndNothingIsLeftWhenTheCopyFails) {
  std::ofstream(dir / "note.txt") << "hello";
  EXPECT_FALSE(CopyIntoBox((dir / "no" / "box").string(), (dir / "note.txt").string()));
  EXPECT_FALSE(fs::exists(dir / "no"));
  const fs::path box = dir / "box";
  EXPECT_FALSE(CopyIntoBox(box.string(), (dir / "missing.txt").string()));
  EXPECT_FALSE(CopyIntoBox(box.string(), dir.string()));  // a directory is no file to send
  EXPECT_FALSE(CopyIntoBox((dir / "note.txt").string(), (dir / "note.txt").string()));
  EXPECT_EQ(std::distance(fs::directory_iterator(box), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace qb::netmail
