// The main library's state wired to a recording host, with the shipped English texts loaded and
// the registry kept in a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "main/messages.h"
#include "main/plugin_state.h"
#include "platform/registry/registry.h"
#include "platform/time/clock.h"
#include "shared/dialog/dialog_host.h"
#include "tests/dialog/recording_host.h"

namespace qb::test {

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    config_dir = std::filesystem::temp_directory_path() /
                 ("qb-services-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(config_dir);
    qb::registry::SetConfigDirectory(config_dir.string());
    host.msgs = {{0, "OK"}, {1, "Cancel"}, {2, "Tokens"}, {11, "From %d to %d"}, {13, "Error"}};
    auto& st = qb::main::State();
    st.info = host.info;
    st.settings = qb::main::Settings{};
    qb::dlg::SetHost(nullptr);  // the services attach the builder themselves
    const char* src = std::getenv("QB_SOURCE_DIR");
    qb::main::LoadMessages(std::string(src ? src : ".") + "/lang/", "English");
    qb::clock::SetFixedTime(1700000000);
  }
  ~ServiceTest() override {
    qb::clock::SetFixedTime(std::nullopt);
    qb::main::FreeMessages();
    qb::dlg::SetHost(nullptr);
    qb::main::State().info = PluginStartupInfo{};
    qb::registry::SetConfigDirectory("");
    std::error_code ec;
    std::filesystem::remove_all(config_dir, ec);
  }

  RecordingHost host;
  std::filesystem::path config_dir;
  static inline int counter = 0;
};

}  // namespace qb::test
