#include "main_test_support.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "main/book_format.h"
#include "main/plugin_state.h"
#include "platform/codepage/codepage.h"

namespace qb::test {

namespace fs = std::filesystem;

ScriptedHost& Host() {
  static ScriptedHost host;
  return host;
}

PluginStartupInfo MakeStartupInfo(const std::string& dir) {
  ScriptedHost& host = Host();
  host.missing_msg = "";
  PluginStartupInfo info = host.info;
  std::snprintf(info.ModuleName, sizeof info.ModuleName, "%sQuillbox.so", dir.c_str());
  // The main library shows no dialogs or menus in these tests.
  info.Menu = nullptr;
  info.Dialog = nullptr;
  info.DialogEx = nullptr;
  return info;
}

void StartMainLibrary(const std::string& dir) {
  // Settings go to a registry file of the test's own, and the language files of the build lie
  // beside the main library as they do in the plug-in directory.
  std::error_code ec;
  fs::create_directories(dir + "config", ec);
  setenv("QUILLBOX_CONFIG_DIR", (dir + "config").c_str(), 1);
  if (const char* plugins = std::getenv("QB_PLUGIN_DIR")) {
    for (const auto& entry : fs::directory_iterator(plugins, ec)) {
      if (entry.path().extension() == ".lng" &&
          !fs::exists(dir + entry.path().filename().string())) {
        fs::create_symlink(entry.path(), dir + entry.path().filename().string(), ec);
      }
    }
  }
  main::PluginState& state = main::State();
  state.settings = main::Settings{};
  state.last_path = "\\";
  state.preload_done = false;
  Host().Reset();
  const PluginStartupInfo info = MakeStartupInfo(dir);
  SetStartupInfo(&info);
}

void StopMainLibrary() {
  ExitFAR();
  main::PluginState& state = main::State();
  state.settings = main::Settings{};
  state.last_path = "\\";
  state.preload_done = false;
  state.host_services = HostServices{};
}

void InstallFieldTypes(const std::string& dir, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    fs::create_symlink(std::string(QB_TEST_FT_DIR) + name, dir + name);
  }
}

std::vector<uint8_t> RecordBytes(const std::vector<std::pair<uint32_t, std::string>>& fields) {
  main::Record record;
  for (const auto& [type, text] : fields) {
    main::FieldEntry field;
    field.type = type;
    field.data.assign(text.begin(), text.end());
    record.push_back(std::move(field));
  }
  return main::SerializeRecord(record);
}

constexpr uint32_t kMode = qb::main::kBookOpenMode;

BookBuilder::BookBuilder(const std::string& file) {
  storage::CreateCompoundFile(file, kMode | storage::STGM_CREATE, &root_);
}

BookBuilder::~BookBuilder() {
  root_.Release();
}

void BookBuilder::InFolder(const std::string& folder_path,
                           const std::function<void(storage::Storage&)>& fn) {
  // Every folder on the way stays open until fn is done.
  std::vector<storage::Storage> chain;
  storage::Storage* at = &root_;
  std::string rest = folder_path;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string part = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    chain.reserve(16);
    chain.emplace_back();
    at->OpenStorage(*codepage::Utf8ToUtf16(part), kMode, &chain.back());
    at = &chain.back();
  }
  fn(*at);
  while (!chain.empty()) chain.pop_back();
}

namespace {
std::pair<std::string, std::string> SplitLast(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}
}  // namespace

BookBuilder& BookBuilder::Folder(const std::string& path) {
  const auto split = SplitLast(path);
  const std::string& name = split.second;
  InFolder(split.first, [&](storage::Storage& folder) {
    storage::Storage made;
    folder.CreateStorage(*codepage::Utf8ToUtf16(name), kMode, &made);
  });
  return *this;
}

BookBuilder& BookBuilder::Record(const std::string& path, const std::vector<uint8_t>& bytes) {
  const auto split = SplitLast(path);
  return Stream(*codepage::Utf8ToUtf16(split.second), split.first, bytes);
}

BookBuilder& BookBuilder::Stream(const std::u16string& name, const std::string& folder_path,
                                 const std::vector<uint8_t>& bytes) {
  InFolder(folder_path, [&](storage::Storage& folder) {
    storage::Stream stream;
    folder.CreateStream(name, kMode, &stream);
    if (!bytes.empty()) stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  });
  return *this;
}

namespace {

void CollectContents(storage::Storage& folder, const std::string& path,
                     std::map<std::string, std::string>* out) {
  storage::Enumerator elements;
  if (storage::Failed(folder.Enumerate(&elements))) return;
  storage::ElementStat stat;
  while (elements.Next(&stat) == storage::S_OK) {
    const std::string name = path + codepage::Utf16ToUtf8Lossy(stat.name, "?");
    if (stat.type == storage::STGTY_STORAGE) {
      storage::Storage sub;
      if (storage::Failed(folder.OpenStorage(stat.name, storage::STGM_READ, &sub))) continue;
      (*out)[name + "/"] =
          "<storage> " + std::to_string(stat.creation) + " " + std::to_string(stat.modification);
      CollectContents(sub, name + "/", out);
      continue;
    }
    storage::Stream stream;
    if (storage::Failed(folder.OpenStream(stat.name, storage::STGM_READ, &stream))) continue;
    std::string bytes(static_cast<std::size_t>(stat.size), '\0');
    uint32_t got = 0;
    if (!bytes.empty()) stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got);
    bytes.resize(got);
    (*out)[name] = bytes;
  }
}

}  // namespace

std::map<std::string, std::string> BookContents(const std::string& file) {
  std::map<std::string, std::string> contents;
  storage::Storage root;
  if (storage::Failed(storage::OpenCompoundFile(
          file, storage::STGM_READ | storage::STGM_SHARE_DENY_WRITE, &root))) {
    return contents;
  }
  CollectContents(root, "", &contents);
  return contents;
}

bool OtherProcessCanOpen(const std::string& file) {
  const pid_t child = fork();
  if (child == 0) {
    storage::Storage root;
    const storage::HRESULT hr = storage::OpenCompoundFile(file, kMode, &root);
    _exit(storage::Succeeded(hr) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> ListNames(HANDLE panel, int op_mode) {
  PluginPanelItem* items = nullptr;
  int count = 0;
  std::vector<std::string> names;
  if (!GetFindData(panel, &items, &count, op_mode)) return {"<failed>"};
  for (int i = 0; i < count; ++i) names.push_back(items[i].FindData.cFileName);
  FreeFindData(panel, items, count);
  return names;
}

}  // namespace qb::test
