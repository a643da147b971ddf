#include "fieldtypes/execute/command.h"

#include <gtest/gtest.h>

namespace qb::execute {
namespace {

void ExpectCommand(std::string_view text, const std::string& file, const std::string& parameters) {
  Command command = PrepareCommand(text);
  EXPECT_EQ(command.file, file) << text;
  EXPECT_EQ(command.parameters, parameters) << text;
}

TEST(PrepareCommand, TheFirstWordIsTheFileAndTheCommentIsDropped) {
  ExpectCommand("notepad readme.txt #docs", "notepad", "readme.txt ");
  ExpectCommand(" \t notepad\t\t readme.txt", "notepad", "readme.txt");
  ExpectCommand("calc", "calc", "");
  ExpectCommand("a#b#c", "a#b", "");  // only the last "#" starts the comment
  ExpectCommand("#only a comment", "", "");
  ExpectCommand("   ", "", "");
}

TEST(PrepareCommand, QuotesApostrophesAndBackquotesGroupTheFirstWord) {
  ExpectCommand("\"/opt/my tools/run\" -x \"y z\"", "/opt/my tools/run", "-x \"y z\"");
  ExpectCommand("'/opt/my tools/run'  a", "/opt/my tools/run", "a");
  ExpectCommand("`touch pwned` x", "touch pwned", "x");
  ExpectCommand("\"a 'b` c\"d e", "a 'b` c", "d e");  // other quotes are plain text inside
  ExpectCommand("\"no end quote", "no end quote", "");
  ExpectCommand("\"\" param", "", "param");
}

TEST(PrepareCommand, WebAndFtpAddressesGetTheirSchemeWhenWrittenInSmallLetters) {
  ExpectCommand("www.example.org", "http://www.example.org", "");
  ExpectCommand("ftp.example.org/pub #mirror", "ftp://ftp.example.org/pub", "");
  ExpectCommand("\"www.example.org/a b\"", "http://www.example.org/a b", "");
  ExpectCommand("WWW.example.org", "WWW.example.org", "");
  ExpectCommand("Ftp.example.org", "Ftp.example.org", "");
  ExpectCommand("http://www.example.org", "http://www.example.org", "");
}

TEST(PrepareCommand, LongTextsAreCutToTheBuffersAtAWholeCharacter) {
  std::string file(300, 'a');
  EXPECT_EQ(PrepareCommand(file).file.size(), kBufferSize - 1);
  // A comment beyond the cut still goes: the parameters never hold a piece of it.
  Command command = PrepareCommand("prog " + std::string(280, 'p') + " #comment");
  EXPECT_EQ(command.parameters.size(), kBufferSize - 1 - 5);
  EXPECT_EQ(command.parameters.find('#'), std::string::npos);
  // "я" is two bytes; the 259th byte would split one.
  std::string cyrillic;
  for (int i = 0; i < 140; ++i) cyrillic += "я";
  EXPECT_EQ(PrepareCommand(cyrillic).file.size(), 258u);
  // The scheme in front may push a word over: it is cut as well.
  EXPECT_EQ(PrepareCommand("www." + std::string(254, 'w')).file.size(), kBufferSize - 1);
}

}  // namespace
}  // namespace qb::execute
