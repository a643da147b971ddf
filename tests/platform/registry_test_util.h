// A fresh configuration directory for each registry test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/temp_dir.h"

namespace qb::registry {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.emplace("qb-registry");
    dir_ = temp_->root().string();
    SetConfigDirectory(dir_);
  }
  void TearDown() override {
    SetWriteHookForTesting(nullptr);
    SetConfigDirectory("");
    temp_.reset();
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

  std::optional<test::TempDir> temp_;
  std::string dir_;
};

}  // namespace qb::registry
