#include "platform/paths/paths.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(Paths, JoinsDiskPathsWithExactlyOneSlash) {
  EXPECT_EQ(JoinPath("/plugins", "Quillbox.Dat"), "/plugins/Quillbox.Dat");
  EXPECT_EQ(JoinPath("/plugins/", "Quillbox.Dat"), "/plugins/Quillbox.Dat");
  EXPECT_EQ(JoinPath("/", "etc"), "/etc");
  EXPECT_EQ(JoinPath("", "Quillbox.Dat"), "Quillbox.Dat");  // the current directory
  EXPECT_EQ(JoinPath("home", ".config/quillbox"), "home/.config/quillbox");
}

TEST(Paths, TheDirectoryPartKeepsItsSlashSoANameCanFollow) {
  EXPECT_EQ(DirectoryPart("/opt/qb/Quillbox.so"), "/opt/qb/");
  EXPECT_EQ(DirectoryPart("/Quillbox.so"), "/");
  EXPECT_EQ(DirectoryPart("Quillbox.so"), "");
  EXPECT_EQ(DirectoryPart("/opt/qb/"), "/opt/qb/");
  EXPECT_EQ(JoinPath(DirectoryPart("/opt/qb/Quillbox.so"), "Comment.qbl"), "/opt/qb/Comment.qbl");
  EXPECT_EQ(JoinPath(DirectoryPart("Quillbox.so"), "Comment.qbl"), "Comment.qbl");
}

TEST(Paths, JoinsKeyPathsWithABackslashUnlessAPartIsEmpty) {
  EXPECT_EQ(JoinKeyPath("Software\\Far\\Plugins", "Quillbox"), "Software\\Far\\Plugins\\Quillbox");
  EXPECT_EQ(JoinKeyPath("", "Quillbox"), "Quillbox");
  EXPECT_EQ(JoinKeyPath("Quillbox", ""), "Quillbox");
  EXPECT_EQ(JoinKeyPath("", ""), "");
}

}  // namespace
}  // namespace qb
