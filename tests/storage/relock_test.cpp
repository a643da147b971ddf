// The real file system's open with a lock, when another process gives the name to another file
// between the opening and the locking (as a compaction renames its copy over the book): the lock
// must end up on the file the name holds, never on the one that lost it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/storage/file_hooks.h"
#include "platform/storage/storage.h"
#include "tests/storage/test_util.h"

namespace qb::storage {
namespace {

namespace fs = std::filesystem;

std::string g_replacement;  // renamed over the path at the first call of the hook
int g_calls = 0;

void ReplaceOnce(const std::string& path) {
  if (g_calls++ == 0) fs::rename(g_replacement, path);
}

std::string Content(File& file) {
  char buf[64] = {};
  size_t got = 0;
  file.ReadAt(0, buf, sizeof buf - 1, &got);
  return std::string(buf, got);
}

TEST(RelockTest, LockTakenAfterTheNameMovedOnIsTakenAgainOnTheNewFile) {
  testing::TempDir dir;
  const std::string path = dir / "book";
  for (const LockKind lock : {LockKind::kExclusive, LockKind::kShared}) {
    std::ofstream(path) << "old";
    g_replacement = dir / "copy";
    std::ofstream(g_replacement) << "new";
    g_calls = 0;
    testing::SetBeforeLockHook(ReplaceOnce);
    std::unique_ptr<File> file;
    const HRESULT hr = FileSystem::Posix()->Open(path, OpenKind::kReadWrite, lock, &file);
    testing::SetBeforeLockHook(nullptr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(g_calls, 2);  // opened twice
    EXPECT_EQ(Content(*file), "new");
  }
}

TEST(RelockTest, NameThatWentAwayBeforeTheLockIsNotFound) {
  testing::TempDir dir;
  const std::string path = dir / "book";
  std::ofstream(path) << "old";
  testing::SetBeforeLockHook([](const std::string& p) { fs::remove(p); });
  std::unique_ptr<File> file;
  const HRESULT hr =
      FileSystem::Posix()->Open(path, OpenKind::kReadWrite, LockKind::kExclusive, &file);
  testing::SetBeforeLockHook(nullptr);
  EXPECT_EQ(hr, STG_E_FILENOTFOUND);
}

}  // namespace
}  // namespace qb::storage
