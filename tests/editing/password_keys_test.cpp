// Folder passwords from the keyboard, through the main library's entry points with a scripted
// host: Alt+F6 sets, changes and removes; entering asks; walks and listings leave locked folders
// alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "main/folder_password.h"
#include "main/idea.h"
#include "main/password.h"
#include "platform/storage/storage.h"
#include "tests/editing/editing_host.h"

namespace qb::edtest {
namespace {

constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

// Types the texts into the password fields in order and accepts; remembers the item types seen.
DialogAnswer Passwords(std::vector<std::string> texts, std::vector<int>* types = nullptr) {
  return [texts, types](FarDialogItem* items, int count) {
    std::size_t next = 0;
    for (int i = 0; i < count; ++i) {
      if (types) types->push_back(items[i].Type);
      if (items[i].Type != DI_PSWEDIT || next >= texts.size()) continue;
      std::snprintf(items[i].Data, sizeof items[i].Data, "%s", texts[next++].c_str());
    }
    return count - 2;
  };
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A stream's bytes read straight from the book file ("<none>" when it is not there).
std::string StreamHex(Host& h, const std::vector<std::u16string>& folders,
                      const std::u16string& name) {
  storage::Storage root;
  if (storage::Failed(storage::OpenCompoundFile(h.book(), kRW, &root))) return "<no book>";
  std::vector<storage::Storage> chain;
  chain.reserve(folders.size());
  storage::Storage* at = &root;
  for (const std::u16string& f : folders) {
    chain.emplace_back();
    if (storage::Failed(at->OpenStorage(f, kRW, &chain.back()))) return "<none>";
    at = &chain.back();
  }
  storage::Stream stream;
  if (storage::Failed(at->OpenStream(name, kRW, &stream))) return "<none>";
  storage::ElementStat stat;
  stream.Stat(&stat);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(stat.size));
  if (!bytes.empty()) stream.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  return Hex(bytes);
}

// The record bytes the host's MakeRecord writes for these fields, enciphered with password.
std::string EncipheredHex(const std::vector<Field>& fields, const std::string& password) {
  std::vector<uint8_t> bytes;
  for (const Field& f : fields) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(f.type >> (8 * i)));
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(f.data.size() >> (8 * i)));
    bytes.insert(bytes.end(), f.data.begin(), f.data.end());
  }
  bytes.resize((bytes.size() + 7) & ~std::size_t{7}, 0);
  main::PasswordKey key;
  main::MakePasswordKey(password, key);
  main::EncipherBuffer(key.bytes, bytes.data(), bytes.size());
  return Hex(bytes);
}

// Whether a dialog or message box of this help topic showed the line (any line, when empty).
template <typename Call>
bool HasLine(const std::vector<Call>& shown, const std::string& help, const std::string& line) {
  for (const Call& s : shown) {
    if (s.help != help) continue;
    for (const std::string& l : s.lines)
      if (l == line || line.empty()) return true;
  }
  return false;
}

const std::vector<Field> kAnn = {{0x7801, "ann-plain-marker"}};
const std::vector<Field> kBob = {{0x7801, "bob"}, {0x7801, "more of bob"}};

class PasswordKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    h.NewBook([this] {
      h.MakeFolder("Work");
      h.MakeFolder("Work/Old");
      h.MakeRecord("Work/Ann", kAnn);
      h.MakeRecord("Work/Old/Bob", kBob);
      h.MakeRecord("Top", kAnn);
    });
  }
  // Sets (or, with "", removes) the current folder's password; 1 when the key was taken.
  int Set(const std::string& first, const std::string& second) {
    h.dialog_answers.push_back(Passwords({first, second}));
    return h.Key(VK_F6, PKF_ALT);
  }
  Host& h = Host::Get();
};

TEST_F(PasswordKeys, SettingEnciphersTheFolderAndEnteringAgainAsksForThePassword) {
  ASSERT_EQ(h.Cd("Work"), 1);
  std::vector<int> types;
  h.dialog_answers.push_back(Passwords({"secret", "secret"}, &types));
  ASSERT_EQ(h.Key(VK_F6, PKF_ALT), 1);
  ASSERT_EQ(h.dialogs.size(), 1u);
  EXPECT_EQ(h.dialogs[0].help, "SetPasswordDlg");
  EXPECT_EQ(std::count(types.begin(), types.end(), DI_PSWEDIT), 2);
  EXPECT_EQ(std::count(types.begin(), types.end(), DI_EDIT), 0);
  EXPECT_TRUE(h.messages.empty());

  EXPECT_EQ(StreamHex(h, {u"Work"}, u" "), "c12f332c06595d1d7821f8a5057e40de");
  EXPECT_EQ(StreamHex(h, {u"Work"}, u"Ann"), EncipheredHex(kAnn, "secret"));
  EXPECT_EQ(StreamHex(h, {u"Work", u"Old"}, u"Bob"), EncipheredHex(kBob, "secret"));
  EXPECT_EQ(h.ReadRecord("Top"), kAnn);
  // The panel that set it stays inside and reads its records through the key.
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Old", "Ann"}));
  ASSERT_EQ(h.Cd("Ann"), 1);
  EXPECT_EQ(h.Names().size(), 2u) << "the record's one field is listed";

  // Leaving forgets the key: a wrong password is refused with its box, the right one enters.
  h.Cd("\\");
  h.ClearScripts();
  h.dialog_answers.push_back(Passwords({"Secret"}));
  EXPECT_EQ(h.Cd("Work"), 0);
  ASSERT_EQ(h.dialogs.size(), 1u);
  EXPECT_EQ(h.dialogs[0].help, "GetPasswordDlg");
  EXPECT_TRUE(HasLine(h.dialogs, "GetPasswordDlg", "Password for Work"));
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_TRUE(HasLine(h.messages, "IncorrectPasswordError", "Incorrect password"));
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Top"}));
  // Cancelled: not entered, nothing said.
  h.ClearScripts();
  h.dialog_answers.push_back(Cancel());
  EXPECT_EQ(h.Cd("Work"), 0);
  EXPECT_TRUE(h.messages.empty());
  h.dialog_answers.push_back(Passwords({"secret"}));
  EXPECT_EQ(h.Cd("Work\\Old\\Bob"), 1);
  EXPECT_EQ(h.Names().size(), 3u);
}

TEST_F(PasswordKeys, DifferingEntriesChangeNothingAndRemovingNeedsTheConfirmation) {
  ASSERT_EQ(h.Cd("Work"), 1);
  EXPECT_EQ(Set("secret", "secreT"), 1);
  EXPECT_TRUE(HasLine(h.messages, "PasswordsDifferError", ""));
  EXPECT_EQ(StreamHex(h, {u"Work"}, u" "), "<none>");
  EXPECT_EQ(h.ReadRecord("Work/Ann"), kAnn);

  ASSERT_EQ(Set("secret", "secret"), 1);
  // Changing moves the records from the old key to the new one.
  ASSERT_EQ(Set("another one", "another one"), 1);
  EXPECT_EQ(StreamHex(h, {u"Work", u"Old"}, u"Bob"), EncipheredHex(kBob, "another one"));
  // Both entries empty asks first; declining keeps the password.
  h.ClearScripts();
  h.message_answers.push_back(1);
  ASSERT_EQ(Set("", ""), 1);
  EXPECT_TRUE(HasLine(h.messages, "RemovePasswordMsg", "Remove the password of this folder?"));
  EXPECT_NE(StreamHex(h, {u"Work"}, u" "), "<none>");
  h.message_answers.push_back(0);
  ASSERT_EQ(Set("", ""), 1);
  EXPECT_EQ(StreamHex(h, {u"Work"}, u" "), "<none>");
  EXPECT_EQ(h.ReadRecord("Work/Ann"), kAnn);
  EXPECT_EQ(h.ReadRecord("Work/Old/Bob"), kBob);
  // Without a password, empty entries do nothing at all.
  h.ClearScripts();
  ASSERT_EQ(Set("", ""), 1);
  EXPECT_TRUE(h.messages.empty());
}

TEST_F(PasswordKeys, ASubfolderWithItsOwnPasswordKeepsItsKeyWhenTheParentGetsOne) {
  ASSERT_EQ(h.Cd("Work\\Old"), 1);
  ASSERT_EQ(Set("inner", "inner"), 1);
  h.Cd("..");
  ASSERT_EQ(Set("outer", "outer"), 1);
  EXPECT_EQ(StreamHex(h, {u"Work", u"Old"}, u"Bob"), EncipheredHex(kBob, "inner"));
  EXPECT_EQ(StreamHex(h, {u"Work"}, u"Ann"), EncipheredHex(kAnn, "outer"));
}

TEST_F(PasswordKeys, WalksAndListingsPassLockedFoldersByWithoutAsking) {
  ASSERT_EQ(h.Cd("Work"), 1);
  ASSERT_EQ(Set("secret", "secret"), 1);
  h.Cd("..");
  h.ClearScripts();
  // The listing with descriptions shows the locked folder without entering it.
  h.Reread();
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Top"}));
  // The scan walk (Shift+F7, every type) visits the plain record only.
  h.TypeReset("Bare");
  h.menu_answers.push_back(0);
  EXPECT_EQ(h.Key(VK_F7, PKF_SHIFT), 1);
  EXPECT_EQ(h.TypeLog("Bare"), "[Bare 10000 0]ann-plain-marker;");
  EXPECT_TRUE(h.dialogs.empty());
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Top"}));
}

TEST_F(PasswordKeys, APasswordChangedBehindThePanelLocksTheFolderAgain) {
  ASSERT_EQ(h.Cd("Work"), 1);
  ASSERT_EQ(Set("secret", "secret"), 1);
  // Another program gives the folder another password between two calls.
  {
    storage::Storage root;
    ASSERT_EQ(storage::OpenCompoundFile(h.book(), kRW, &root), storage::S_OK);
    storage::Storage work;
    ASSERT_EQ(root.OpenStorage(u"Work", kRW, &work), storage::S_OK);
    main::PasswordKey other;
    main::MakePasswordKey("other", other);
    uint8_t check[16];
    main::MakePasswordCheck(other, check);
    storage::Stream stream;
    ASSERT_EQ(work.CreateStream(u" ", kRW | storage::STGM_CREATE, &stream), storage::S_OK);
    stream.Write(check, 16, nullptr);
  }
  h.ClearScripts();
  h.Reread();
  // The stale key is not used: the panel is back at the root, the records untouched.
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Work", "Top"}));
  EXPECT_EQ(StreamHex(h, {u"Work"}, u"Ann"), EncipheredHex(kAnn, "secret"));
}

TEST(PasswordBook, TheRootPasswordIsAskedWhenThePanelOpensTheBook) {
  Host& h = Host::Get();
  h.NewBook([&] { h.MakeRecord("Top", kAnn); });
  ASSERT_EQ(h.Key(VK_F6, PKF_ALT), 1);  // no dialog scripted: cancelled
  EXPECT_EQ(StreamHex(h, {}, u" "), "<none>");
  h.dialog_answers.push_back(Passwords({"root!", "root!"}));
  ASSERT_EQ(h.Key(VK_F6, PKF_ALT), 1);
  EXPECT_EQ(StreamHex(h, {}, u"Top"), EncipheredHex(kAnn, "root!"));

  // Another run on a book protected at its root: asked before anything is listed.
  auto protected_book = [&](const std::string& typed) {
    h.NewBook([&] {
      h.MakeRecord("Top", kAnn);
      storage::Storage root;
      ASSERT_EQ(storage::OpenCompoundFile(h.book(), kRW, &root), storage::S_OK);
      main::PasswordKey key;
      main::MakePasswordKey("root!", key);
      ASSERT_EQ(main::ChangeFolderKey(root, &key, nullptr, &key), storage::S_OK);
      h.dialog_answers.push_back(Passwords({typed}));
    });
  };
  protected_book("wrong");
  ASSERT_EQ(h.dialogs.size(), 1u);
  EXPECT_EQ(h.dialogs[0].help, "GetPasswordDlg");
  EXPECT_TRUE(HasLine(h.dialogs, "GetPasswordDlg", "Password for the root folder"));
  EXPECT_TRUE(HasLine(h.messages, "IncorrectPasswordError", ""));
  EXPECT_EQ(h.Names(), (std::vector<std::string>{".."})) << "the panel did not open";

  protected_book("root!");
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Top"}));
  ASSERT_EQ(h.Cd("Top"), 1);
  EXPECT_EQ(h.Names().size(), 2u);
}

TEST(PasswordBook, ADamagedPasswordStreamKeepsTheFolderClosedWithAnError) {
  Host& h = Host::Get();
  h.NewBook([&] {
    h.MakeFolder("Bad");
    h.MakeRecord("Bad/ ", {});  // zero bytes: not a check value
    h.MakeRecord("Bad/Ann", kAnn);
  });
  EXPECT_EQ(h.Cd("Bad"), 0);
  EXPECT_TRUE(h.dialogs.empty()) << "no password is asked for";
  EXPECT_TRUE(HasLine(h.messages, "SystemError", "HResult = 0x80030109"));
  EXPECT_EQ(h.Names(), (std::vector<std::string>{"..", "Bad"}));
  EXPECT_EQ(h.ReadRecord("Bad/Ann"), kAnn);
}

}  // namespace
}  // namespace qb::edtest
