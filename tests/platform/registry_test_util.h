// A fresh configuration directory for each registry test.
#ifndef QUILLBOX_TESTS_PLATFORM_REGISTRY_TEST_UTIL_H
#define QUILLBOX_TESTS_PLATFORM_REGISTRY_TEST_UTIL_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"

namespace qb::registry {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qb-registry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    SetConfigDirectory(dir_);
  }
  void TearDown() override {
    SetWriteHookForTesting(nullptr);
    SetConfigDirectory("");
    std::filesystem::remove_all(dir_);
  }

  std::string FileText() const {
    std::ifstream in(dir_ + "/quillbox.reg", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void WriteFileText(const std::string& text) const {
    std::ofstream(dir_ + "/quillbox.reg", std::ios::binary) << text;
  }

  std::string dir_;
};

}  // namespace qb::registry

#endif  // QUILLBOX_TESTS_PLATFORM_REGISTRY_TEST_UTIL_H
