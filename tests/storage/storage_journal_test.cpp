// The commit journal's format: what a commit writes is what an open reads back, and an open
// never takes a damaged, torn or foreign file for a journal.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/storage/header.h"
#include "platform/storage/journal.h"

namespace qb::storage::detail {
namespace {

Journal Sample(uint32_t header_size, size_t checks) {
  Journal j;
  j.old_header.resize(header_size);
  j.new_header.resize(header_size);
  for (uint32_t i = 0; i < header_size; ++i) {
    j.old_header[i] = static_cast<uint8_t>(i * 7 + 1);
    j.new_header[i] = static_cast<uint8_t>(i * 13 + 5);
  }
  for (size_t c = 0; c < checks; ++c)
    j.checks.push_back(SectorCheck{static_cast<uint32_t>(1000 + 3 * c), 0x0123456789ABCDEFull ^ c});
  return j;
}

void ExpectSame(const Journal& a, const Journal& b) {
  EXPECT_EQ(a.old_header, b.old_header);
  EXPECT_EQ(a.new_header, b.new_header);
  ASSERT_EQ(a.checks.size(), b.checks.size());
  for (size_t c = 0; c < a.checks.size(); ++c) {
    EXPECT_EQ(a.checks[c].sector, b.checks[c].sector);
    EXPECT_EQ(a.checks[c].hash, b.checks[c].hash);
  }
}

TEST(JournalCodec, RoundTripsBothSectorSizesAndEveryCountOfChecks) {
  for (uint32_t hs : {512u, 4096u}) {
    for (size_t checks : {size_t{0}, size_t{1}, size_t{kJournalChecks}}) {
      SCOPED_TRACE(testing::Message() << "header " << hs << ", checks " << checks);
      Journal in = Sample(hs, checks);
      std::vector<uint8_t> bytes = EncodeJournal(in);
      EXPECT_LE(bytes.size(), kMaxJournalBytes);
      EXPECT_TRUE(JournalLike(bytes));
      Journal out;
      ASSERT_TRUE(DecodeJournal(bytes, &out));
      ExpectSame(in, out);
    }
  }
}

TEST(JournalCodec, FirstCommitWritesZerosForTheMissingOldHeader) {
  Journal in = Sample(512, 2);
  in.old_header.clear();
  Journal out;
  ASSERT_TRUE(DecodeJournal(EncodeJournal(in), &out));
  EXPECT_EQ(out.old_header, std::vector<uint8_t>(512, 0));
  EXPECT_EQ(out.new_header, in.new_header);
}

TEST(JournalCodec, RejectsEveryTornPrefixButTakesItForWhatACrashLeft) {
  const std::vector<uint8_t> bytes = EncodeJournal(Sample(512, 3));
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> torn(bytes.begin(), bytes.begin() + static_cast<long>(n));
    Journal out;
    EXPECT_FALSE(DecodeJournal(torn, &out)) << n;
    EXPECT_TRUE(JournalLike(torn)) << n;  // removable: it is no other kind of file
  }
  // Data that had not landed reads as zeros.
  EXPECT_TRUE(JournalLike(std::vector<uint8_t>(bytes.size(), 0)));
}

TEST(JournalCodec, RejectsAnyDamagedByte) {
  const std::vector<uint8_t> bytes = EncodeJournal(Sample(512, 2));
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::vector<uint8_t> damaged = bytes;
    damaged[i] ^= 0x10;
    Journal out;
    EXPECT_FALSE(DecodeJournal(damaged, &out)) << i;
  }
}

// Rewrites the trailing checksum, so that only the field under test is wrong.
std::vector<uint8_t> Resealed(std::vector<uint8_t> bytes) {
  Put64(&bytes[bytes.size() - 8], Fnv64(bytes.data(), bytes.size() - 8));
  return bytes;
}

TEST(JournalCodec, RejectsWellSealedJournalsWithImpossibleFields) {
  Journal out;
  std::vector<uint8_t> bytes = EncodeJournal(Sample(512, 2));
  std::vector<uint8_t> odd_size = bytes;
  Put32(&odd_size[8], 1024);
  EXPECT_FALSE(DecodeJournal(Resealed(odd_size), &out));
  std::vector<uint8_t> wrong_count = bytes;
  Put32(&wrong_count[12], 3);
  EXPECT_FALSE(DecodeJournal(Resealed(wrong_count), &out));
  std::vector<uint8_t> longer = bytes;
  longer.insert(longer.end() - 8, 12, 0);
  EXPECT_FALSE(DecodeJournal(Resealed(longer), &out));
  std::vector<uint8_t> other_magic = bytes;
  other_magic[6] = '2';
  EXPECT_FALSE(DecodeJournal(Resealed(other_magic), &out));
  EXPECT_FALSE(JournalLike(other_magic));
}

TEST(JournalCodec, AnotherKindOfFileIsNoJournal) {
  std::vector<uint8_t> book(kSignature, kSignature + 8);
  book.resize(512, 0);
  EXPECT_FALSE(JournalLike(book));
  std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_FALSE(JournalLike(text));
  EXPECT_FALSE(JournalLike(std::vector<uint8_t>(kMaxJournalBytes + 1, 0)));
  EXPECT_TRUE(JournalLike({}));
}

TEST(HeaderCodec, RoundTripsWhatACommitWrites) {
  Header in;
  in.major = 4;
  in.sector_size = 4096;
  in.dir_sectors = 2;
  in.fat_sectors = 3;
  in.dir_start = 7;
  in.minifat_start = 9;
  in.minifat_sectors = 1;
  in.difat_start = kEndOfChain;
  for (uint32_t i = 0; i < kHeaderFatSlots; ++i) in.fat[i] = i < 3 ? 20 + i : kFreeSect;
  std::vector<uint8_t> bytes = EncodeHeader(in);
  ASSERT_EQ(bytes.size(), 4096u);
  Header out;
  ASSERT_EQ(DecodeHeader(bytes, &out), S_OK);
  EXPECT_EQ(out.major, 4);
  EXPECT_EQ(out.sector_size, 4096u);
  EXPECT_EQ(out.dir_sectors, 2u);
  EXPECT_EQ(out.fat_sectors, 3u);
  EXPECT_EQ(out.dir_start, 7u);
  EXPECT_EQ(out.minifat_start, 9u);
  EXPECT_EQ(out.minifat_sectors, 1u);
  EXPECT_EQ(memcmp(out.fat, in.fat, sizeof in.fat), 0);
  // A version 4 header is one whole 4096-byte sector.
  bytes.resize(512);
  EXPECT_EQ(DecodeHeader(bytes, &out), STG_E_INVALIDHEADER);
}

}  // namespace
}  // namespace qb::storage::detail
