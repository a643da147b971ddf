// Execute.qbl loaded by the main library's field-type host, its boxes going to the scripted host,
// and the programs it starts being recording doubles on PATH.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "sdk/services.h"
#include "tests/support/headless.h"
#include "tests/support/service_test.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class ExecuteTypeTest : public ServiceTest {
 protected:
  ExecuteTypeTest() {
    const char* dir = std::getenv("QB_PLUGIN_DIR");
    auto& st = qb::main::State();
    st.field_types.Load(std::string(dir ? dir : ".") + "/", &st.info, &st.host_services,
                        &st.config_menu);
    fs::create_directories(bin_);
    const char* path = std::getenv("PATH");
    old_path_ = path != nullptr ? path : "";
    setenv("PATH", (bin_.string() + ":/usr/bin:/bin").c_str(), 1);
  }
  ~ExecuteTypeTest() override {
    setenv("PATH", old_path_.c_str(), 1);
    qb::main::State().field_types.Unload();
  }

  const qb::main::FieldTypeSlot& Execute() {
    auto& types = qb::main::State().field_types;
    for (int i = 0; i < types.count(); ++i)
      if (types.slot(i).file_name == "Execute.qbl") return types.slot(i);
    ADD_FAILURE() << "Execute.qbl not loaded";
    return types.slot(0);
  }
  // A double that writes its arguments, one "[word]" a line, into <name>.rec.
  void Recorder(const std::string& name) {
    fs::path file = bin_ / name;
    std::ofstream(file) << "#!/bin/sh\nfor a; do printf '[%s]\\n' \"$a\"; done > "
                        << ShellQuote(rec(name) + ".tmp") << "\n/bin/mv "
                        << ShellQuote(rec(name) + ".tmp") << " " << ShellQuote(rec(name)) << "\n";
    fs::permissions(file, fs::perms(0755));
  }
  std::string rec(std::string name) const {
    std::replace(name.begin(), name.end(), '/', '_');
    return (temp_.root() / (name + ".rec")).string();
  }
  std::string Recorded(const std::string& name) {
    for (int i = 0; i < 500 && !fs::exists(rec(name)); ++i) std::this_thread::sleep_for(10ms);
    return ReadFile(rec(name));
  }
  void Do(const std::string& text) {
    Execute().DoSomething(text.c_str(), static_cast<uint32_t>(text.size() + 1), 0x10701);
  }
  static std::string Take(char* text) {
    std::string s = text != nullptr ? text : "<none>";
    Free(text);
    return s;
  }

  TempDir temp_{"qb-execute"};
  fs::path bin_ = temp_.root() / "bin";
  std::string old_path_;
};

TEST_F(ExecuteTypeTest, DescribesItselfAndShowsAsAOneLineText) {
  const auto& execute = Execute();
  EXPECT_STREQ(execute.info->Name, "Execute");
  EXPECT_STREQ(execute.info->Token, "X");
  EXPECT_STREQ(execute.info->MenuName, "Execute");
  EXPECT_EQ(execute.info->Flags, 1u);
  EXPECT_EQ(execute.info->NewId, 0x10701u);
  EXPECT_TRUE(execute.Claims(0x10700));
  EXPECT_TRUE(execute.Claims(0x107FF));
  EXPECT_FALSE(execute.Claims(0x10800));
  EXPECT_FALSE(execute.Claims(0x10601));
  EXPECT_EQ(execute.ConfigurePlugin, nullptr);  // nothing to configure
  EXPECT_NE(execute.DoSomething, nullptr);

  const char text[] = "notepad readme.txt #docs";
  char* out = nullptr;
  execute.GetDescription(&out, text, sizeof text, 0x10701);
  EXPECT_EQ(Take(out), "notepad readme.txt ");
  execute.GetMenuDescription(&out, text, sizeof text, 0x10701);
  EXPECT_EQ(Take(out), "docs: notepad readme.txt ");
  execute.WriteTextData(text, sizeof text, 0x10701, &out);
  EXPECT_EQ(Take(out), text);
  PluginPanelItem item{};
  execute.GetPanelItem(&item, "www.example.org", 16, 0x10701);
  EXPECT_STREQ(item.FindData.cFileName, "Execute");
  EXPECT_STREQ(item.Description, "www.example.org");
  Free(item.Description);

  char* buf = nullptr;
  size_t len = 0;
  FILE* file = open_memstream(&buf, &len);
  execute.WriteTextFile(file, text, sizeof text, 0x10701);
  execute.WriteTextFile(file, "calc", 5, 0x10701);
  std::fclose(file);
  EXPECT_EQ(std::string(buf, len), "docs: notepad readme.txt \nExecute: calc\n");
  std::free(buf);
}

TEST_F(ExecuteTypeTest, EditingSetsTheTypeOnlyWhenAccepted) {
  const auto& execute = Execute();
  host.dialog_answers.push_back(ScriptedHost::Accept({"www.example.org #home"}));
  void* data = nullptr;
  uint32_t size = 0;
  FieldTypeId type = 0;
  EXPECT_EQ(execute.EditContents(nullptr, 0, 0x10700, &data, &size, &type, 1), 1);
  EXPECT_EQ(Take(static_cast<char*>(data)), "www.example.org #home");
  EXPECT_EQ(size, 22u);
  EXPECT_EQ(type, 0x10701u);
  EXPECT_EQ(host.dialogs.at(0).help, "Execute_EditDlg");

  data = nullptr;
  type = 0;
  host.dialog_answers.push_back(ScriptedHost::Cancel());
  EXPECT_EQ(execute.EditContents("x", 2, 0x10700, &data, &size, &type, 1), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(type, 0u);
  // Viewing shows the text and counts as shown.
  EXPECT_EQ(execute.EditContents("x", 2, 0x10700, &data, &size, &type, 0), 1);
  EXPECT_EQ(host.messages.back().lines, (Lines{"Execute", "x", "OK"}));
}

TEST_F(ExecuteTypeTest, EnterStartsTheFirstWordWithTheRestAsParameters) {
  Recorder("notepad");
  Do("notepad readme.txt \"two words\" #docs");
  EXPECT_EQ(Recorded("notepad"), "[readme.txt]\n[two words]\n");
  EXPECT_TRUE(host.messages.empty());

  fs::create_directories(bin_ / "my tools");
  Recorder("my tools/run");
  Do("\"" + (bin_ / "my tools/run").string() + "\" -x");
  EXPECT_EQ(Recorded("my tools/run"), "[-x]\n");

  Recorder("xdg-open");
  Do("www.example.org #home");
  EXPECT_EQ(Recorded("xdg-open"), "[http://www.example.org]\n");
  fs::remove(rec("xdg-open"));
  Do("ftp.example.org");
  EXPECT_EQ(Recorded("xdg-open"), "[ftp://ftp.example.org]\n");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ExecuteTypeTest, ARefusedStartShowsTheErrorValueInWordsAndTheFile) {
  Recorder("xdg-open");
  Do("WWW.example.org");  // stays as it is, so it names no program and no file
  Do("nosuchprog readme.txt");
  Do("   ");
  std::ofstream(bin_ / "plain") << "not executable\n";
  Do("plain");
  ASSERT_EQ(host.messages.size(), 4u);
  EXPECT_EQ(host.messages[0].lines, (Lines{"Error", "File not found", "WWW.example.org", "OK"}));
  EXPECT_EQ(host.messages[0].help, "Execute_ExecuteError");
  EXPECT_EQ(host.messages[0].flags & 1u, 1u);  // a warning
  EXPECT_EQ(host.messages[1].lines, (Lines{"Error", "File not found", "nosuchprog", "OK"}));
  EXPECT_EQ(host.messages[2].lines, (Lines{"Error", "File not found", "", "OK"}));
  EXPECT_EQ(host.messages[3].lines, (Lines{"Error", "Access denied", "plain", "OK"}));
  EXPECT_FALSE(fs::exists(rec("xdg-open")));

  // xdg-open without an application for the address.
  std::ofstream(bin_ / "xdg-open") << "#!/bin/sh\nexit 3\n";
  Do("https://example.org");
  EXPECT_EQ(
      host.messages.back().lines,
      (Lines{"Error", "No application is associated with this file", "https://example.org", "OK"}));
}

TEST_F(ExecuteTypeTest, ShellSyntaxInTheFieldNeverRunsAnything) {
  Recorder("notepad");
  const fs::path victim = temp_.root() / "pwned";
  const std::string touch = "touch " + victim.string();
  for (const std::string& text : {"$(" + touch + ")", "`" + touch + "`", "'" + touch + "'",
                                  "notepad;" + touch, "\"" + touch + ";\""}) {
    Do(text);
  }
  Do("notepad $(" + touch + ") `" + touch + "` ; " + touch + " | " + touch);
  EXPECT_EQ(Recorded("notepad"), "[$(touch]\n[" + victim.string() + ")]\n[`touch]\n[" +
                                     victim.string() + "`]\n[;]\n[touch]\n[" + victim.string() +
                                     "]\n[|]\n[touch]\n[" + victim.string() + "]\n");
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(victim));
  EXPECT_EQ(host.messages.size(), 5u);  // each of the five named no program
}

}  // namespace
}  // namespace qb::test
