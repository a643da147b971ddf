// The main library's services wired to the scripted host, with the shipped English texts loaded
// and the registry kept in a fresh temporary directory. For test programs that link the main
// library's objects.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "main/messages.h"
#include "main/plugin_state.h"
#include "platform/registry/registry.h"
#include "platform/time/clock.h"
#include "sdk/services.h"
#include "shared/dialog/dialog_host.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"

namespace qb::test {

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() {
    // No panel stands behind these services.
    host.info.Control = nullptr;
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
  }

  // The slot of the field-type library of this file name ("Phone.qbl"), after loading the
  // plug-in directory's field types when none are loaded; fails the test when it is not there.
  const qb::main::FieldTypeSlot& LoadedFieldType(const std::string& file_name) {
    auto& st = qb::main::State();
    if (st.field_types.count() == 0) {
      const char* plugins = std::getenv("QB_PLUGIN_DIR");
      st.field_types.Load(std::string(plugins ? plugins : ".") + "/", &st.info, &st.host_services,
                          &st.config_menu);
    }
    for (int i = 0; i < st.field_types.count(); ++i)
      if (st.field_types.slot(i).file_name == file_name) return st.field_types.slot(i);
    ADD_FAILURE() << file_name << " not loaded";
    static const qb::main::FieldTypeSlot none{};
    return none;
  }

  // A value of a field type's settings key (below the main library's), as the registry holds it.
  std::optional<std::string> StoredText(const char* key_name, const char* name) {
    HKEY key = OpenRegKey(host.info.RootKey, key_name);
    auto value = qb::registry::QueryString(key, name);
    CloseRegKey(key);
    return value;
  }
  std::optional<DWORD> StoredNumber(const char* key_name, const char* name) {
    HKEY key = OpenRegKey(host.info.RootKey, key_name);
    auto value = qb::registry::QueryDword(key, name);
    CloseRegKey(key);
    return value;
  }

  // What `write` writes into a stream, as a field type's WriteTextFile is given one.
  static std::string WrittenText(const std::function<void(FILE*)>& write) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* file = open_memstream(&buf, &len);
    write(file);
    std::fclose(file);
    std::string text(buf, len);
    std::free(buf);
    return text;
  }

  // A heap text a service or field type returned, as a string ("<none>" for null), freed.
  static std::string Take(char* text) {
    std::string s = text != nullptr ? text : "<none>";
    Free(text);
    return s;
  }

  ScriptedHost host;
  TempDir config{"qb-services"};
  std::filesystem::path config_dir = config.root();
};

}  // namespace qb::test
