// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace qb::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "qb-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // With a trailing "/"; empty when no directory could be made.
  const std::string& path() const { return path_; }
  // The same without the trailing "/".
  std::filesystem::path root() const { return root_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::filesystem::path root_;
  std::string path_;
};

}  // namespace qb::test
