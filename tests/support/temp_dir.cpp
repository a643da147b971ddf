#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>

namespace qb::test {

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary directory from " + pattern);
  root_ = pattern;
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

}  // namespace qb::test
