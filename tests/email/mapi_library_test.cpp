// MAPI32.so as the field types load it, against a recording xdg-email first on PATH and against
// the machine's own xdg-email, whose mail program is a recorder named by MAILER (the variable
// xdg-email honours before any desktop's composer), so no real composer ever opens.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sdk/mapi.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The environment variables a test changes, put back afterwards.
class SavedEnv {
 public:
  explicit SavedEnv(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name,
                          value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~SavedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// %XX sequences of a mailto: URI back to their bytes.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class MapiLibraryTest : public ::testing::Test {
 protected:
  MapiLibraryTest() {
    fs::create_directories(bin);
    library = dlopen(QB_MAPI, RTLD_NOW | RTLD_LOCAL);
    if (library != nullptr)
      send = reinterpret_cast<LPMAPISENDMAIL>(dlsym(library, QB_MAPI_SEND_MAIL_NAME));
    std::ofstream(attachment) << "hello";
    setenv("PATH", (bin.string() + ":/usr/bin:/bin").c_str(), 1);
    unsetenv("MAILER");
  }
  ~MapiLibraryTest() override {
    if (library != nullptr) dlclose(library);
  }

  // A script at `path` that writes its arguments, one "[word]" a line, into `record`, then exits
  // with `status`.
  static void Recorder(const fs::path& path, const fs::path& record, int status = 0) {
    std::ofstream(path) << "#!/bin/sh\nfor a; do printf '[%s]\\n' \"$a\"; done > '"
                        << record.string() << ".tmp'\n/bin/mv '" << record.string() << ".tmp' '"
                        << record.string() << "'\nexit " << status << "\n";
    fs::permissions(path, fs::perms(0755));
  }
  static std::string Await(const fs::path& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) std::this_thread::sleep_for(10ms);
    return ReadFile(path);
  }

  uint32_t Send(const char* name, const char* address, const char* subject = nullptr,
                const char* file = nullptr) {
    MapiRecipDesc to{0, MAPI_TO, const_cast<char*>(name), const_cast<char*>(address), 0, nullptr};
    MapiRecipDesc from{
        0, MAPI_ORIG, const_cast<char*>("Ivan"), const_cast<char*>("ivan@example.net"), 0, nullptr};
    MapiFileDesc attached{0,       0,      static_cast<uint32_t>(-1), const_cast<char*>(file),
                          nullptr, nullptr};
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>(subject);
    message.lpOriginator = &from;
    message.nRecipCount = 1;
    message.lpRecips = &to;
    message.nFileCount = file != nullptr ? 1 : 0;
    message.lpFiles = file != nullptr ? &attached : nullptr;
    return send(0, 0, &message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0);
  }

  SavedEnv env{"PATH", "MAILER", "LANG", "LC_ALL", "DISPLAY", "WAYLAND_DISPLAY", "HOME"};
  TempDir temp{"qb-mapi"};
  fs::path dir = temp.root();
  fs::path bin = dir / "bin";
  std::string attachment = (dir / "report.pdf").string();
  void* library = nullptr;
  LPMAPISENDMAIL send = nullptr;
};

TEST_F(MapiLibraryTest, TheComposerGetsRecipientSubjectAndAttachmentAsItsArguments) {
  ASSERT_NE(send, nullptr) << dlerror();
  Recorder(bin / "xdg-email", dir / "composed");
  EXPECT_EQ(Send("Анна Смирнова", "anna@example.ru", "Файл", attachment.c_str()), 0u);
  EXPECT_EQ(Await(dir / "composed"), "[--utf8]\n[--subject]\n[Файл]\n[--attach]\n[" + attachment +
                                         "]\n[Анна Смирнова <anna@example.ru>]\n");
}

TEST_F(MapiLibraryTest, AMissingOrFailingComposerIsAFailure) {
  ASSERT_NE(send, nullptr) << dlerror();
  setenv("PATH", bin.c_str(), 1);  // no xdg-email anywhere
  EXPECT_EQ(Send("Ann", "ann@example.org"), static_cast<uint32_t>(MAPI_E_LOGON_FAILURE));
  setenv("PATH", (bin.string() + ":/usr/bin:/bin").c_str(), 1);
  Recorder(bin / "xdg-email", dir / "composed", 4);
  EXPECT_EQ(Send("Ann", "ann@example.org"), static_cast<uint32_t>(MAPI_E_FAILURE));
  Recorder(bin / "xdg-email", dir / "composed", 3);
  EXPECT_EQ(Send("Ann", "ann@example.org"), static_cast<uint32_t>(MAPI_E_LOGON_FAILURE));
  // A file that is gone is reported before any composer is asked.
  fs::remove(dir / "composed");
  EXPECT_EQ(Send("Ann", "ann@example.org", nullptr, (dir / "gone").c_str()),
            static_cast<uint32_t>(MAPI_E_ATTACHMENT_NOT_FOUND));
  EXPECT_FALSE(fs::exists(dir / "composed"));
}

// The machine's own xdg-email under a C locale, so that only "--utf8" keeps the Cyrillic name.
TEST_F(MapiLibraryTest, TheRealXdgEmailHandsTheMailToTheMailProgramOfMailer) {
  if (access("/usr/bin/xdg-email", X_OK) != 0) GTEST_SKIP() << "no xdg-email on this machine";
  if (access("/usr/bin/xdg-email-hook.sh", X_OK) == 0)
    GTEST_SKIP() << "a hook of this machine would take the mail";
  ASSERT_NE(send, nullptr) << dlerror();
  Recorder(bin / "mailer", dir / "mailed");
  setenv("PATH", "/usr/bin:/bin", 1);
  setenv("MAILER", (bin / "mailer").c_str(), 1);
  setenv("LANG", "C", 1);
  setenv("LC_ALL", "C", 1);
  setenv("HOME", dir.c_str(), 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(Send("Анна Смирнова", "anna@example.ru", "Файл из книжки", attachment.c_str()), 0u);
  const std::string mailed = Await(dir / "mailed");
  ASSERT_EQ(mailed.rfind("[mailto:", 0), 0u) << mailed;
  const std::string uri = PercentDecoded(mailed);
  EXPECT_NE(uri.find("mailto:Анна Смирнова <anna@example.ru>?"), std::string::npos) << uri;
  EXPECT_NE(uri.find("subject=Файл из книжки"), std::string::npos) << uri;
  EXPECT_NE(uri.find("attach=" + fs::canonical(attachment).string()), std::string::npos) << uri;

  // A name beginning with "-" reaches it as a name, not as one of its options.
  fs::remove(dir / "mailed");
  EXPECT_EQ(Send("-Ann", "ann@example.org"), 0u);
  EXPECT_NE(PercentDecoded(Await(dir / "mailed")).find("mailto:\"-Ann\" <ann@example.org>"),
            std::string::npos);

  // A mail program that fails makes the mail fail.
  Recorder(bin / "mailer", dir / "mailed", 1);
  EXPECT_EQ(Send("Ann", "ann@example.org"), static_cast<uint32_t>(MAPI_E_FAILURE));
}

}  // namespace
}  // namespace qb::test
