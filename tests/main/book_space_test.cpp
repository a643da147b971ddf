// The book file keeps its size as the panel deletes records and makes new elements: each
// operation is a session of its own, and the space one frees is what the next ones use.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "main/book_format.h"
#include "main_test_support.h"

extern "C" {
int MakeDirectory(HANDLE h, char* name, int op_mode);
int DeleteFiles(HANDLE h, PluginPanelItem* items, int count, int op_mode);
}

namespace qb::test {
namespace {

class BookSpaceTest : public ::testing::Test {
 protected:
  void SetUp() override { StartMainLibrary(dir_.path()); }
  void TearDown() override { StopMainLibrary(); }

  std::string book() const { return dir_ / qb::main::kBookFileName; }
  uint64_t Size() const { return std::filesystem::file_size(book()); }

  TempDir dir_;
};

TEST_F(BookSpaceTest, DeletingHalfAndMakingAsManyAgainKeepsTheBookItsSize) {
  const int n = 400;
  {
    BookBuilder builder(book());
    builder.Folder("Friends");
    for (int i = 0; i < n; ++i) {
      const std::string k = std::to_string(i);
      builder.Record(
          "Friends/Person " + k,
          RecordBytes({{0x10101, "Met at the conference " + k + "\n" + k + " Long Street"},
                       {0x7201, "+49 30 " + k}}));
    }
  }
  const uint64_t made = Size();
  // What the book may grow by while its content does not: 8 sectors, and one per 64 KB.
  const uint64_t slack = 8 * 512 + made / 65536 * 512;

  HANDLE panel = OpenPlugin(OPEN_DISKMENU, 0);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  ASSERT_EQ(SetDirectory(panel, "Friends", 0), 1);
  PluginPanelItem* items = nullptr;
  int count = 0;
  ASSERT_TRUE(GetFindData(panel, &items, &count, 0));
  std::vector<PluginPanelItem> half;
  for (int i = 0; i < count; i += 2) half.push_back(items[i]);
  FreeFindData(panel, items, count);
  ASSERT_EQ(half.size(), static_cast<size_t>(n / 2));
  ASSERT_EQ(DeleteFiles(panel, half.data(), static_cast<int>(half.size()), OPM_SILENT), 1);
  EXPECT_EQ(ListNames(panel).size(), static_cast<size_t>(n / 2));
  EXPECT_LE(Size(), made + slack);

  // One element per operation, as the user makes them.
  for (int i = 0; i < n / 2; ++i) {
    char name[NM];
    std::snprintf(name, sizeof name, "Group %d", i);
    ASSERT_EQ(MakeDirectory(panel, name, OPM_SILENT), 1);
  }
  EXPECT_EQ(ListNames(panel).size(), static_cast<size_t>(n));
  EXPECT_LE(Size(), made + slack);
  ClosePlugin(panel);
}

}  // namespace
}  // namespace qb::test
