// The words of the xdg-email call a Simple MAPI message becomes, and what xdg-email's answers
// mean to the caller. Texts from records and fields are untrusted here: none may become an
// option of xdg-email or carry a second header line.
#include "platform/mapi/composer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qb::mapi {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;
constexpr uint32_t kCompose = MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG;

TEST(MailboxTest, NamesThatCouldReadAsSeveralOrAsAnOptionAreQuoted) {
  EXPECT_EQ(Mailbox("Ann Smith", "ann@example.org"), "Ann Smith <ann@example.org>");
  EXPECT_EQ(Mailbox("Анна Смирнова", "anna@example.ru"), "Анна Смирнова <anna@example.ru>");
  EXPECT_EQ(Mailbox("Smith, Ann", "ann@example.org"), "\"Smith, Ann\" <ann@example.org>");
  EXPECT_EQ(Mailbox("<unknown>", "a@b"), "\"<unknown>\" <a@b>");
  EXPECT_EQ(Mailbox("Say \"hi\" \\o/", "a@b"), "\"Say \\\"hi\\\" \\\\o/\" <a@b>");
  EXPECT_EQ(Mailbox("--help", "a@b"), "\"--help\" <a@b>");
  EXPECT_EQ(Mailbox("Ann-Marie", "a@b"), "Ann-Marie <a@b>");
  // Without a name, an address that begins with "-" is bracketed.
  EXPECT_EQ(Mailbox("", "ann@example.org"), "ann@example.org");
  EXPECT_EQ(Mailbox("  ", "-oProxyCommand@x"), "<-oProxyCommand@x>");
  EXPECT_EQ(Mailbox("Ann", "-oProxyCommand@x"), "Ann <-oProxyCommand@x>");
}

TEST(MailboxTest, LineBreaksEndNameAndAddressAndBlanksAndSmtpGo) {
  EXPECT_EQ(Mailbox("Ann\nBcc: eve@example.org", "ann@example.org\r\nBcc: eve@x"),
            "Ann <ann@example.org>");
  EXPECT_EQ(Mailbox("\nAnn", "a@b"), "a@b");
  EXPECT_EQ(Mailbox(" Ann ", "  SMTP:ann@example.org "), "Ann <ann@example.org>");
  EXPECT_EQ(Mailbox("Ann", "smtp: ann@example.org"), "Ann <ann@example.org>");
  EXPECT_EQ(Mailbox("Ann", " \t"), "");
  EXPECT_EQ(Mailbox("Ann", "\nann@example.org"), "");
}

class ComposerTest : public ::testing::Test {
 protected:
  ComposerTest() {
    std::ofstream(file) << "hello";
    message.lpszSubject = subject.data();
    message.lpOriginator = &originator;
    message.nRecipCount = 1;
    message.lpRecips = recipients;
    recipients[0] = MapiRecipDesc{0, MAPI_TO, name.data(), address.data(), 0, nullptr};
    originator = MapiRecipDesc{0, MAPI_ORIG, user.data(), own.data(), 0, nullptr};
  }
  Words Call(uint32_t flags = kCompose) {
    ComposerCall call = ComposerArguments(&message, flags);
    EXPECT_EQ(call.result, 0u);
    return call.argv;
  }
  uint32_t Refused(uint32_t flags = kCompose) {
    ComposerCall call = ComposerArguments(&message, flags);
    EXPECT_TRUE(call.argv.empty());
    return call.result;
  }
  void Attach(const std::string& path) {
    files[message.nFileCount].lpszPathName = const_cast<char*>(path.c_str());
    files[message.nFileCount].nPosition = static_cast<uint32_t>(-1);
    message.lpFiles = files;
    ++message.nFileCount;
  }

  test::TempDir temp{"qb-composer"};
  std::string file = temp / "report.pdf";
  std::string subject = "File from the contact book";
  std::string name = "Ann Smith", address = "ann@example.org";
  std::string user = "Ivan", own = "ivan@example.net";
  MapiRecipDesc originator{};
  MapiRecipDesc recipients[4]{};
  MapiFileDesc files[4]{};
  MapiMessage message{};
};

TEST_F(ComposerTest, SubjectAttachmentAndRecipientGoAsXdgEmailWordsWithoutTheSender) {
  Attach(file);
  EXPECT_EQ(Call(), (Words{"xdg-email", "--utf8", "--subject", "File from the contact book",
                           "--attach", file, "Ann Smith <ann@example.org>"}));

  // No subject, no file: the recipient alone; copies go as options, the originator nowhere.
  message.lpszSubject = nullptr;
  message.nFileCount = 0;
  std::string cc = "bob@example.org", bcc = "eve@example.org";
  recipients[1] = MapiRecipDesc{0, MAPI_BCC, nullptr, bcc.data(), 0, nullptr};
  recipients[2] = MapiRecipDesc{0, MAPI_ORIG, user.data(), own.data(), 0, nullptr};
  recipients[3] = MapiRecipDesc{0, MAPI_CC, name.data(), cc.data(), 0, nullptr};
  message.nRecipCount = 4;
  EXPECT_EQ(Call(), (Words{"xdg-email", "--utf8", "--bcc", "eve@example.org", "--cc",
                           "Ann Smith <bob@example.org>", "Ann Smith <ann@example.org>"}));

  // The note text keeps its lines; an empty subject (xdg-email refuses one) is left out, as is a
  // recipient without an address.
  std::string note = "line 1\nline 2";
  std::string empty;
  message.lpszNoteText = note.data();
  message.lpszSubject = empty.data();
  message.nRecipCount = 1;
  recipients[0].lpszAddress = empty.data();
  EXPECT_EQ(Call(), (Words{"xdg-email", "--utf8", "--body", "line 1\nline 2"}));
}

TEST_F(ComposerTest, UntrustedTextsStayOneLineAndNeverBecomeOptions) {
  subject = "-n\nBcc: eve@example.org";
  message.lpszSubject = subject.data();
  name = "--attach=/etc/shadow\nX";
  recipients[0].lpszName = name.data();
  const std::string relative = "-report.pdf";
  fs::path old = fs::current_path();
  fs::current_path(temp.root());
  std::ofstream(relative) << "x";
  Attach(relative);
  const Words words = Call();
  fs::current_path(old);
  EXPECT_EQ(words, (Words{"xdg-email", "--utf8", "--subject", "-n", "--attach", "./-report.pdf",
                          "\"--attach=/etc/shadow\" <ann@example.org>"}));
  // Every word that is no option of ours follows one, or cannot read as one.
  for (size_t i = 1; i < words.size(); ++i) {
    EXPECT_EQ(words[i].find_first_of("\r\n"), std::string::npos) << words[i];
    const bool ours = words[i] == "--utf8" || words[i] == "--subject" || words[i] == "--attach";
    const bool value = words[i - 1] == "--subject" || words[i - 1] == "--attach";
    if (!ours && !value) {
      EXPECT_NE(words[i].front(), '-') << words[i];
    }
  }
}

TEST_F(ComposerTest, WhatCannotBeHandedOverIsRefusedWithItsSimpleMapiFailure) {
  EXPECT_EQ(ComposerArguments(nullptr, kCompose).result, static_cast<uint32_t>(MAPI_E_FAILURE));
  // Without the composer's window the mail could only be sent by itself, which is not offered.
  EXPECT_EQ(Refused(MAPI_LOGON_UI), static_cast<uint32_t>(MAPI_E_NOT_SUPPORTED));

  address = "ann";
  recipients[0].lpszAddress = address.data();
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_INVALID_RECIPS));
  address = "ann@example.org";
  recipients[0].lpszAddress = address.data();
  recipients[0].ulRecipClass = 7;
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_BAD_RECIPTYPE));
  recipients[0].ulRecipClass = MAPI_TO;
  message.nRecipCount = 2;
  message.lpRecips = nullptr;
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_FAILURE));
  message.nRecipCount = 1;
  message.lpRecips = recipients;

  const std::string missing = temp / "missing.pdf";
  Attach(missing);
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_ATTACHMENT_NOT_FOUND));
  message.nFileCount = 0;
  Attach(temp.path());  // a directory
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_ATTACHMENT_NOT_FOUND));
  message.nFileCount = 0;
  const std::string broken = temp / "two\nlines";
  std::ofstream(broken) << "x";
  Attach(broken);
  EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_ATTACHMENT_OPEN_FAILURE));
  message.nFileCount = 0;
  if (geteuid() != 0) {  // root reads anything
    chmod(file.c_str(), 0);
    Attach(file);
    EXPECT_EQ(Refused(), static_cast<uint32_t>(MAPI_E_ATTACHMENT_OPEN_FAILURE));
  }
}

TEST(ComposerResultTest, XdgEmailsAnswersKeepTheirMeaning) {
  using qb::process::Outcome;
  const int started = qb::process::kStarted;
  EXPECT_EQ(ResultOf(Outcome{started, true, 0}), 0u);
  EXPECT_EQ(ResultOf(Outcome{started, false, -1}), 0u);  // still busy: the composer is there
  EXPECT_EQ(ResultOf(Outcome{started, true, 1}), static_cast<uint32_t>(MAPI_E_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{started, true, 2}),
            static_cast<uint32_t>(MAPI_E_ATTACHMENT_NOT_FOUND));
  EXPECT_EQ(ResultOf(Outcome{started, true, 3}), static_cast<uint32_t>(MAPI_E_LOGON_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{started, true, 4}), static_cast<uint32_t>(MAPI_E_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{started, true, 5}),
            static_cast<uint32_t>(MAPI_E_ATTACHMENT_OPEN_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{started, true, -1}), static_cast<uint32_t>(MAPI_E_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{qb::process::kFileNotFound, false, -1}),
            static_cast<uint32_t>(MAPI_E_LOGON_FAILURE));
  EXPECT_EQ(ResultOf(Outcome{qb::process::kOutOfMemory, false, -1}),
            static_cast<uint32_t>(MAPI_E_INSUFFICIENT_MEMORY));
}

}  // namespace
}  // namespace qb::mapi
