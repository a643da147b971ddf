// Record streams: field layout, padding, damage, and the round trip through a real stream.
#include "main/record_io.h"

#include <gtest/gtest.h>

#include "main/book_format.h"
#include "main_test_support.h"

namespace qb::main {
namespace {

FieldEntry Field(FieldTypeId type, const std::string& text) {
  FieldEntry f;
  f.type = type;
  f.data.assign(text.begin(), text.end());
  return f;
}

TEST(RecordLayout, FieldsFollowEachOtherAndTheStreamIsPaddedToEightBytes) {
  const std::vector<uint8_t> bytes =
      SerializeRecord({Field(0x10200, "12345"), Field(0x10101, "ab")});
  // 8 + 5 + 8 + 2 = 23 bytes of fields, padded to 24.
  ASSERT_EQ(bytes.size(), 24u);
  const std::vector<uint8_t> first_header = {0x00, 0x02, 0x01, 0x00, 5, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), first_header);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 13), "12345");
  // The second field starts right after the first one's data, with no alignment.
  const std::vector<uint8_t> second_header = {0x01, 0x01, 0x01, 0x00, 2, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 13, bytes.begin() + 21), second_header);
  EXPECT_EQ(std::string(bytes.begin() + 21, bytes.begin() + 23), "ab");

  const Record back = ParseRecord(bytes.data(), bytes.size());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].type, 0x10200u);
  EXPECT_EQ(std::string(back[0].data.begin(), back[0].data.end()), "12345");
  EXPECT_EQ(back[1].type, 0x10101u);
  EXPECT_EQ(std::string(back[1].data.begin(), back[1].data.end()), "ab");
}

TEST(RecordLayout, LastFieldOfSizeFiveIsFollowedByThreePaddingBytes) {
  EXPECT_EQ(SerializeRecord({Field(1, "12345")}).size(), 16u);
  EXPECT_EQ(SerializeRecord({Field(1, "12345678")}).size(), 16u);
}

TEST(RecordLayout, EmptyRecordIsZeroBytesAndEmptyFieldsHaveNoData) {
  EXPECT_TRUE(SerializeRecord({}).empty());
  EXPECT_TRUE(ParseRecord(nullptr, 0).empty());
  const std::vector<uint8_t> bytes = SerializeRecord({Field(7, "")});
  ASSERT_EQ(bytes.size(), 8u);
  const Record back = ParseRecord(bytes.data(), bytes.size());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].size(), 0u);
  EXPECT_EQ(back[0].bytes(), nullptr);
}

TEST(RecordDamage, FieldDeclaringMoreBytesThanRemainIsDroppedWithEverythingAfter) {
  std::vector<uint8_t> bytes = SerializeRecord({Field(1, "one"), Field(2, "two"), Field(3, "x")});
  // The second field's size now claims 200 bytes.
  bytes[11 + 4] = 200;
  const Record back = ParseRecord(bytes.data(), bytes.size());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].type, 1u);
}

TEST(RecordDamage, HugeDeclaredSizeDoesNotWrapAround) {
  std::vector<uint8_t> bytes = SerializeRecord({Field(1, "one"), Field(2, "two")});
  bytes[11 + 4] = 0xFF;
  bytes[11 + 5] = 0xFF;
  bytes[11 + 6] = 0xFF;
  bytes[11 + 7] = 0xFF;
  EXPECT_EQ(ParseRecord(bytes.data(), bytes.size()).size(), 1u);
}

TEST(RecordDamage, FewerThanEightTrailingBytesEndTheRecord) {
  std::vector<uint8_t> bytes = SerializeRecord({Field(1, "abc")});  // 11 bytes + 5 padding
  const Record back = ParseRecord(bytes.data(), 11 + 7);
  EXPECT_EQ(back.size(), 1u);
}

class RecordStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(storage::Succeeded(
        storage::CreateCompoundFile(dir_ / "book.dat", qb::main::kBookOpenMode, &root_)));
    ASSERT_TRUE(storage::Succeeded(root_.CreateStream(u"rec", qb::main::kBookOpenMode, &stream_)));
  }
  test::TempDir dir_;
  storage::Storage root_;
  storage::Stream stream_;
};

TEST_F(RecordStreamTest, WriteReplacesTheWholeStreamAndReadGivesTheFieldsBack) {
  ASSERT_EQ(WriteRecordStream(stream_, {Field(1, "a long first field"), Field(2, "b")}), 0);
  ASSERT_EQ(WriteRecordStream(stream_, {Field(3, "short")}), 0);
  storage::ElementStat stat;
  stream_.Stat(&stat);
  EXPECT_EQ(stat.size, 16u);  // the old, longer contents are gone
  const Record back = ReadRecordStream(stream_);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].type, 3u);

  ASSERT_EQ(WriteRecordStream(stream_, {}), 0);
  stream_.Stat(&stat);
  EXPECT_EQ(stat.size, 0u);
  EXPECT_TRUE(ReadRecordStream(stream_).empty());
}

TEST_F(RecordStreamTest, UnpaddedStreamFromElsewhereStillReads) {
  const std::vector<uint8_t> bytes = {5, 0, 0, 0, 3, 0, 0, 0, 'x', 'y', 'z'};
  stream_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  const Record back = ReadRecordStream(stream_);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(std::string(back[0].data.begin(), back[0].data.end()), "xyz");
}

}  // namespace
}  // namespace qb::main
