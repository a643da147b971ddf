#include "first_day.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qb::firstday {

namespace fs = std::filesystem;

::testing::AssertionResult Shows(const std::string& screen, const std::string& text) {
  if (screen.find(text) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" is not on the screen:\n" << screen;
}

::testing::AssertionResult Lacks(const std::string& screen, const std::string& text) {
  if (screen.find(text) == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" is on the screen:\n" << screen;
}

FirstDay::FirstDay(const std::vector<std::string>& field_types) {
  fs::create_directories(plugins());
  fs::create_directories(dir() / "config");
  fs::create_directories(dir() / "work");
  const char* built_dir = std::getenv("QB_PLUGIN_DIR");
  const fs::path built = built_dir ? built_dir : ".";
  // A copy, not a link: the main library finds its book and field types beside its real path.
  fs::copy_file(built / "Quillbox.so", plugins() / "Quillbox.so");
  for (const auto& entry : fs::directory_iterator(built)) {
    const std::string name = entry.path().filename().string();
    const bool wanted = entry.path().extension() == ".lng" ||
                        (entry.path().extension() == ".qbl" &&
                         (field_types.empty() || std::find(field_types.begin(), field_types.end(),
                                                           name) != field_types.end()));
    if (wanted) fs::copy_file(entry.path(), plugins() / name);
  }
}

void FirstDay::Settings(const std::string& key, const std::string& values) {
  registry_ += "[HKEY_CURRENT_USER\\" + key + "]\n" + values + "\n\n";
  std::ofstream(dir() / "config/quillbox.reg") << "REGEDIT4\n\n" << registry_;
}

std::string FirstDay::Run(const std::string& script, const std::string& size) {
  test::HeadlessRun run;
  run.dir = dir();
  run.script = script;
  run.plugins = plugins().string();
  run.config = (dir() / "config").string();
  run.work_dir = (dir() / "work").string();
  run.home = dir().string();
  run.size = size;
  const test::ProgramRun done = run.Run();
  status = done.status;
  return done.out;
}

std::vector<std::string> FirstDay::Screens(const std::string& out, int rows) {
  return test::SplitScreens(out, rows);
}

}  // namespace qb::firstday
