// vCard export and import through the quillbox program with the field types of this build: the
// command line (--export-vcard, --import-vcard, --query as mutt runs it), F5 of .vcf files from
// the disk panel and Shift+F5 in the book, and what other programs (python3-vobject, khard) make
// of an export.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "main/book_format.h"
#include "main/password.h"
#include "main/record_io.h"
#include "platform/codepage/codepage.h"
#include "platform/storage/storage.h"
#include "tests/support/headless.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define QB_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QB_TEST_ASAN 1
#endif
#endif

namespace qb::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uint32_t kRW = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;

std::u16string Wide(const std::string& utf8) {
  return codepage::Utf8ToUtf16(utf8).value_or(u"");
}

std::string Narrow(const std::u16string& wide) {
  return codepage::Utf16ToUtf8Lossy(wide, "?");
}

std::string Le32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return std::string{char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char(u >> 24)};
}

// A Date field's bytes.
std::string DateBytes(int day, int month, int year, int kind, const std::string& name = "",
                      const std::string& text = "") {
  return Le32(day) + Le32(month) + Le32(year) + Le32(kind) + name + '\0' + text + '\0';
}

std::string Text(const std::string& text) {
  return text + '\0';
}

using Fields = std::vector<std::pair<uint32_t, std::string>>;

// A book made and read with the storage engine: paths with "/", the last part a record.
class BookFile {
 public:
  explicit BookFile(const std::string& file) {
    if (storage::Failed(storage::OpenCompoundFile(file, kRW, &root_))) {
      storage::CreateCompoundFile(file, kRW, &root_);
    }
  }
  ~BookFile() { root_.Release(); }

  void Put(const std::string& path, const Fields& fields, const std::string& password = "") {
    main::Record record;
    for (const auto& [type, bytes] : fields) record.push_back({type, {bytes.begin(), bytes.end()}});
    std::vector<uint8_t> data = main::SerializeRecord(record);
    if (!password.empty()) {
      main::PasswordKey key;
      main::MakePasswordKey(password, key);
      main::EncipherBuffer(key.bytes, data.data(), data.size());
    }
    std::vector<storage::Storage> chain;
    storage::Storage* at = Walk(path, &chain);
    storage::Stream s;
    at->CreateStream(Wide(path.substr(path.rfind('/') + 1)), main::kBookReplaceMode, &s);
    if (!data.empty()) s.Write(data.data(), uint32_t(data.size()), nullptr);
  }

  void Lock(const std::string& folder, const std::string& password) {
    std::vector<storage::Storage> chain;
    storage::Storage* at = Walk(folder + "/x", &chain);
    main::PasswordKey key;
    main::MakePasswordKey(password, key);
    uint8_t check[main::kPasswordCheckBytes];
    main::MakePasswordCheck(key, check);
    storage::Stream s;
    at->CreateStream(main::kPasswordStream, main::kBookReplaceMode, &s);
    s.Write(check, sizeof check, nullptr);
  }

  // Every element below the root: folders as "path/", streams with their bytes (the book's own
  // streams, whose names begin with a blank, included).
  std::map<std::string, std::string> Tree() { return Tree(root_, ""); }

 private:
  storage::Storage* Walk(const std::string& path, std::vector<storage::Storage>* chain) {
    std::vector<std::string> parts;
    std::stringstream in(path);
    for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
    parts.pop_back();
    chain->resize(parts.size());
    storage::Storage* here = &root_;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (storage::Failed(here->OpenStorage(Wide(parts[i]), kRW, &(*chain)[i]))) {
        here->CreateStorage(Wide(parts[i]), kRW, &(*chain)[i]);
      }
      here = &(*chain)[i];
    }
    return here;
  }

  std::map<std::string, std::string> Tree(storage::Storage& folder, const std::string& prefix) {
    std::map<std::string, std::string> out;
    storage::Enumerator e;
    if (storage::Failed(folder.Enumerate(&e))) return out;
    std::vector<storage::ElementStat> children;
    storage::ElementStat stat;
    while (e.Next(&stat) == storage::S_OK) children.push_back(stat);
    for (const storage::ElementStat& child : children) {
      const std::string name = prefix + Narrow(child.name);
      if (child.type == storage::STGTY_STORAGE) {
        storage::Storage sub;
        folder.OpenStorage(child.name, kRW, &sub);
        out[name + "/"] = "";
        for (auto& [k, v] : Tree(sub, name + "/")) out[k] = v;
      } else {
        storage::Stream s;
        folder.OpenStream(child.name, kRW, &s);
        std::string bytes(static_cast<std::size_t>(child.size), '\0');
        if (!bytes.empty()) s.Read(bytes.data(), uint32_t(bytes.size()), nullptr);
        out[name] = bytes;
      }
    }
    return out;
  }

  storage::Storage root_;
};

// A record of every field type: the round trip below carries all nine.
const Fields kAnn = {
    {0x10101, Text("Met at the conference, 2019; likes tea \\ coffee\nsecond line")},
    {0x10301, Text("Main St 1\n12345 Springfield#home")},
    {0x10209, Text("+1 555 0100 #mobile")},
    {0x10202, Text("+1 555 0199")},
    {0x10200, Text("777")},
    {0x10402, DateBytes(5, 8, 1980, 0)},
    {0x10402, DateBytes(1, 6, 2005, 2)},
    {0x10402, DateBytes(9, 9, 0, 3)},
    {0x10402, DateBytes(2, 3, 2010, 255, "Graduation", "%s graduated")},
    {0x10501, Text("ann@example.org#work")},
    {0x10501, Text("ann.smith@example.com")},
    {0x10600, Text("2:5020/100 #Ann's node")},
    {0x10701, Text("https://example.org/ann#site")},
    {0x10701, Text("notepad readme.txt")},
    {0x10902, Le32(-1) + Text("7654321#office")},  // a pager with no provider
    {0x10801, Text("123456#home")},
};
const Fields kBoris = {
    {0x10101, Text("Длинная заметка, которая не помещается в одну строку карточки и "
                   "переносится")},
    {0x10501, Text("boris@example.ru")},
    {0x10201, Text("+7 495 000-00-00")},
    {0x10402, DateBytes(29, 2, 1972, 0)},
};
const Fields kCarl = {{0x10201, Text("555-2000")}, {0x10402, DateBytes(3, 12, 1990, 0)}};

class VCardHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "work");
  }

  std::string Book(const std::string& name) const { return dir_ / name; }

  void UseBook(const std::string& file) {
    std::ofstream(dir_ / "config/quillbox.reg")
        << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quillbox]\n"
        << "\"BookFile\"=\"" << file << "\"\n";
  }

  // The program on the command line: standard output in out, standard error in err.
  ProgramRun Command(const std::string& args, const std::string& env = "") {
    const std::string err = dir_ / "stderr.txt";
    ProgramRun run =
        RunCommand("cd " + ShellQuote(dir_ / "work") + " && HOME=" + ShellQuote(dir_.path()) + " " +
                   env + " " + ShellQuote(QuillboxProgram().string()) + " --config " +
                   ShellQuote(dir_ / "config") + " " + args + " 2>" + ShellQuote(err));
    run.err = ReadFile(err);
    EXPECT_THAT(run.err, Not(HasSubstr("Sanitizer")));
    return run;
  }

  std::vector<std::string> Headless(const std::string& script) {
    HeadlessRun run;
    run.dir = dir_.root();
    run.script = script;
    run.work_dir = dir_ / "work";
    run.home = dir_.path();
    run.size = "100x30";
    run.config = dir_ / "config";
    run.plugins = std::getenv("QB_PLUGIN_DIR");
    const ProgramRun done = run.Run();
    EXPECT_EQ(done.status, 0) << done.out;
    return SplitScreens(done.out, 30);
  }

  void MakeSampleBook(const std::string& file) {
    BookFile book(file);
    book.Put("Friends/Work/Ann Smith", kAnn);
    book.Put("Friends/Борис Петров", kBoris);
    book.Put("Carl", kCarl);
  }

  TempDir dir_{"qb-vcard-host"};
};

TEST_F(VCardHostTest, RoundTripGivesTheSameBookAndTheSameFileAgain) {
  MakeSampleBook(Book("a.dat"));
  const ProgramRun first = Command("--book " + ShellQuote(Book("a.dat")) + " --export-vcard");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.out,
              HasSubstr("FN:Ann Smith\r\nN:Smith;Ann;;;\r\nCATEGORIES:Friends/Work\r\n"));
  EXPECT_THAT(first.out, HasSubstr("TEL;TYPE=voice,cell;X-LABEL=mobile:+1 555 0100 \r\n"));
  EXPECT_THAT(first.out, HasSubstr("BDAY:1980-08-05\r\nX-ANNIVERSARY:2005-06-01\r\n"));
  std::ofstream(dir_ / "export.vcf", std::ios::binary) << first.out;

  const ProgramRun imported = Command("--book " + ShellQuote(Book("b.dat")) + " --import-vcard " +
                                      ShellQuote(dir_ / "export.vcf"));
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_THAT(imported.err, HasSubstr("Cards imported: 3"));
  EXPECT_THAT(imported.err, HasSubstr("Cards skipped: 0"));
  EXPECT_THAT(imported.err, Not(HasSubstr("Not kept")));
  {
    BookFile a(Book("a.dat")), b(Book("b.dat"));
    // Folders, records, fields and the records' UIDs alike.
    EXPECT_EQ(a.Tree(), b.Tree());
  }
  const ProgramRun again = Command("--book " + ShellQuote(Book("b.dat")) + " --export-vcard");
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(again.out, first.out);
  // And the first book gives the same file (its UIDs were kept at the first export).
  EXPECT_EQ(Command("--book " + ShellQuote(Book("a.dat")) + " --export-vcard").out, first.out);

  // Importing the same file again adds no field twice.
  Command("--book " + ShellQuote(Book("b.dat")) + " --import-vcard " +
          ShellQuote(dir_ / "export.vcf"));
  EXPECT_EQ(Command("--book " + ShellQuote(Book("b.dat")) + " --export-vcard").out, first.out);
}

TEST_F(VCardHostTest, ExportIsReadByVobjectAndKhard) {
  if (RunCommand("/usr/bin/python3 -c 'import vobject' && command -v khard").status != 0) {
    GTEST_SKIP() << "python3-vobject and khard are installed by ./test";
  }
  MakeSampleBook(Book("a.dat"));
  const ProgramRun exported = Command("--book " + ShellQuote(Book("a.dat")) + " --export-vcard");
  ASSERT_EQ(exported.status, 0);
  std::ofstream(dir_ / "export.vcf", std::ios::binary) << exported.out;
  std::ofstream(dir_ / "read.py")
      << "import sys, vobject\n"
         "for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):\n"
         "    tels = [t.value for t in card.contents.get('tel', [])]\n"
         "    mails = [m.value for m in card.contents.get('email', [])]\n"
         "    bday = card.bday.value if hasattr(card, 'bday') else ''\n"
         "    print(card.fn.value, '|', card.n.value.family, '|', ','.join(tels), '|',\n"
         "          ','.join(mails), '|', bday, '|', card.categories.value if hasattr(card, "
         "'categories') else '')\n";
  const ProgramRun vobject = RunCommand("/usr/bin/python3 " + ShellQuote(dir_ / "read.py") + " " +
                                        ShellQuote(dir_ / "export.vcf"));
  ASSERT_EQ(vobject.status, 0) << vobject.out;
  EXPECT_THAT(vobject.out, HasSubstr("Ann Smith | Smith | +1 555 0100 ,+1 555 0199,777,7654321 | "
                                     "ann@example.org,ann.smith@example.com | 1980-08-05 | "
                                     "['Friends/Work']"));
  EXPECT_THAT(vobject.out, HasSubstr("Борис Петров | Петров | +7 495 000-00-00 | "
                                     "boris@example.ru | 1972-02-29 | ['Friends']"));
  EXPECT_THAT(vobject.out, HasSubstr("Carl | Carl | 555-2000 |  | 1990-12-03 | "));

  // khard reads a vdir: one card a file, as vdirsyncer keeps them.
  fs::create_directories(dir_ / "vdir");
  std::istringstream cards(exported.out);
  std::string line, card;
  int n = 0;
  while (std::getline(cards, line)) {
    card += line + "\n";
    if (line.rfind("END:VCARD", 0) == 0) {
      std::ofstream(dir_ / ("vdir/" + std::to_string(++n) + ".vcf"), std::ios::binary) << card;
      card.clear();
    }
  }
  ASSERT_EQ(n, 3);
  std::ofstream(dir_ / "khard.conf") << "[addressbooks]\n[[book]]\npath = " << (dir_ / "vdir")
                                     << "\n[general]\ndefault_action = list\n"
                                        "[contact table]\nshow_uids = no\n";
  const std::string khard = "khard -c " + ShellQuote(dir_ / "khard.conf") + " ";
  const ProgramRun list = RunCommand(khard + "list 2>&1");
  EXPECT_EQ(list.status, 0) << list.out;
  for (const char* name : {"Ann Smith", "Борис Петров", "Carl"}) {
    EXPECT_THAT(list.out, HasSubstr(name)) << list.out;
  }
  const ProgramRun phone = RunCommand(khard + "phone 2>&1");
  for (const char* number : {"+1 555 0100", "+1 555 0199", "+7 495 000-00-00", "555-2000"}) {
    EXPECT_THAT(phone.out, HasSubstr(number)) << phone.out;
  }
  const ProgramRun email = RunCommand(khard + "email 2>&1");
  for (const char* address : {"ann@example.org", "ann.smith@example.com", "boris@example.ru"}) {
    EXPECT_THAT(email.out, HasSubstr(address)) << email.out;
  }
  const ProgramRun birthdays = RunCommand(khard + "birthdays 2>&1");
  EXPECT_EQ(birthdays.status, 0) << birthdays.out;
  for (const char* name : {"Ann Smith", "Борис Петров", "Carl"}) {
    EXPECT_THAT(birthdays.out, HasSubstr(name)) << birthdays.out;
  }
}

// What phones and address books write, read into fields of the right types.
TEST_F(VCardHostTest, CardsFromElsewhereBecomeFields) {
  std::ofstream(dir_ / "phone.vcf", std::ios::binary)
      << "BEGIN:VCARD\r\nVERSION:2.1\r\n"
         "N;CHARSET=WINDOWS-1251;ENCODING=QUOTED-PRINTABLE:=C8=E2=E0=ED=EE=E2;=C8=E2=E0=ED\r\n"
         "TEL;CELL;PREF:+7 900 111\r\nTEL;HOME:+7 495 222\r\n"
         "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\n AAAA\r\n\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dana\r\nitem1.TEL:+1 555 0300\r\n"
         "item1.X-ABLabel:_$!<Mobile>!$_\r\nitem2.EMAIL;TYPE=INTERNET:dana@example.org\r\n"
         "item2.X-ABLabel:Office\r\nADR;TYPE=WORK:;;1 Loop;Cupertino;CA;95014;USA\r\n"
         "LABEL;TYPE=WORK:1 Loop\\nCupertino CA 95014\r\nORG:Acme\r\nBDAY:--0412\r\n"
         "END:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:4.0\r\nN:;;;;\r\nEMAIL:only@example.org\r\n"
         "TEL;VALUE=uri;TYPE=\"voice,fax\":tel:+1-555-0400;ext=2\r\nANNIVERSARY:20010915\r\n"
         "END:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:no name at all\r\nEND:VCARD\r\n";
  const ProgramRun run = Command("--book " + ShellQuote(Book("b.dat")) + " --import-vcard " +
                                 ShellQuote(dir_ / "phone.vcf"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Cards imported: 3"));
  EXPECT_THAT(run.err, HasSubstr("Cards skipped: 1"));
  EXPECT_THAT(run.err, HasSubstr("ORG (1), PHOTO (1)"));
  BookFile b(Book("b.dat"));
  const auto tree = b.Tree();
  auto fields = [&](const std::string& name) {
    const std::string bytes = tree.count(name) ? tree.at(name) : "";
    const main::Record r =
        main::ParseRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    Fields out;
    for (const main::FieldEntry& f : r) out.push_back({f.type, {f.data.begin(), f.data.end()}});
    return out;
  };
  EXPECT_EQ(fields("Иван Иванов"),
            (Fields{{0x10208, Text("+7 900 111")}, {0x10201, Text("+7 495 222#home")}}));
  EXPECT_EQ(fields("Dana"), (Fields{{0x10201, Text("+1 555 0300#Mobile")},
                                    {0x10501, Text("dana@example.org#Office")},
                                    {0x10301, Text("1 Loop\nCupertino CA 95014")},
                                    {0x10402, DateBytes(12, 4, 0, 0)}}));
  EXPECT_EQ(fields("only@example.org"), (Fields{{0x10501, Text("only@example.org")},
                                                {0x10203, Text("+1-555-0400")},
                                                {0x10402, DateBytes(15, 9, 2001, 2)}}));
}

TEST_F(VCardHostTest, QueryAnswersMuttWithAddressNameAndFolder) {
  MakeSampleBook(Book("a.dat"));
  UseBook(Book("a.dat"));
  // mutt runs query_command through the shell with the text in place of %s.
  std::ofstream(dir_ / "mutt_query.sh")
      << "#!/bin/sh\nexec " << ShellQuote(QuillboxProgram().string()) << " --config "
      << ShellQuote(dir_ / "config") << " --query \"$1\"\n";
  fs::permissions(dir_ / "mutt_query.sh", fs::perms::owner_all);
  const std::string query = ShellQuote(dir_ / "mutt_query.sh") + " ";
  const ProgramRun ann = RunCommand(query + "ANN 2>/dev/null");
  EXPECT_EQ(ann.status, 0);
  EXPECT_EQ(ann.out,
            "Quillbox: 2 matching addresses\n"
            "ann@example.org\tAnn Smith\t\\Friends\\Work\n"
            "ann.smith@example.com\tAnn Smith\t\\Friends\\Work\n");
  const ProgramRun boris = RunCommand(query + "бОРИС 2>/dev/null");
  EXPECT_EQ(boris.status, 0);
  EXPECT_EQ(boris.out,
            "Quillbox: 1 matching addresses\nboris@example.ru\tБорис Петров\t\\Friends\n");
  const ProgramRun by_address = RunCommand(query + "EXAMPLE.RU 2>/dev/null");
  EXPECT_THAT(by_address.out, HasSubstr("boris@example.ru"));
  const ProgramRun none = RunCommand(query + "-nobody 2>/dev/null");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "Quillbox: 0 matching addresses\n");
}

TEST_F(VCardHostTest, LockedFoldersAreSkippedUnlessAPasswordFileIsGiven) {
  {
    BookFile book(Book("a.dat"));
    book.Put("Open/Ann Smith", {{0x10501, Text("ann@example.org")}});
    book.Lock("Secret", "s3cret");
    book.Put("Secret/Zed", {{0x10501, Text("zed@example.org")}}, "s3cret");
  }
  const std::string export_a = "--book " + ShellQuote(Book("a.dat")) + " --export-vcard";
  const ProgramRun locked = Command(export_a);
  EXPECT_EQ(locked.status, 0);
  EXPECT_THAT(locked.out, HasSubstr("ann@example.org"));
  EXPECT_THAT(locked.out, Not(HasSubstr("zed")));
  std::ofstream(dir_ / "pw") << "wrong\ns3cret\n";
  fs::permissions(dir_ / "pw", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_THAT(Command("--password-file " + ShellQuote(dir_ / "pw") + " " + export_a).out,
              HasSubstr("EMAIL;TYPE=internet:zed@example.org"));
  EXPECT_THAT(Command(export_a, "QUILLBOX_PASSWORD_FILE=" + ShellQuote(dir_ / "pw")).out,
              HasSubstr("zed@example.org"));
  EXPECT_EQ(Command("--password-file " + ShellQuote(dir_ / "missing") + " " + export_a).status, 2);
}

TEST_F(VCardHostTest, BadArgumentsAndFilesFailWithStatus2) {
  MakeSampleBook(Book("a.dat"));
  const std::string book = "--book " + ShellQuote(Book("a.dat"));
  std::ofstream(dir_ / "work/not.vcf") << "hello\n";
  EXPECT_EQ(Command(book + " --import-vcard not.vcf").status, 2);
  EXPECT_EQ(Command(book + " --import-vcard missing.vcf").status, 2);
  EXPECT_EQ(Command(book + " --export-vcard '\\No such folder'").status, 2);
  // A place in the book: only what is below it, folders named from there.
  const ProgramRun friends = Command(book + " --export-vcard '\\Friends'");
  EXPECT_EQ(friends.status, 0);
  EXPECT_THAT(friends.out, HasSubstr("CATEGORIES:Work\r\n"));
  EXPECT_THAT(friends.out, Not(HasSubstr("FN:Carl")));
}

TEST_F(VCardHostTest, F5OfVCardFilesAndFoldersOfThemImportsWithOneBox) {
  UseBook(Book("b.dat"));
  fs::create_directories(dir_ / "work/contacts");
  std::ofstream(dir_ / "work/contacts/1.vcf") << "BEGIN:VCARD\nFN:Eve\nTEL:1\nEND:VCARD\n";
  std::ofstream(dir_ / "work/contacts/2.vcf")
      << "BEGIN:VCARD\nFN:Fred\nCATEGORIES:Club\nEMAIL:f@example.org\nX-ODD:1\nEND:VCARD\n";
  std::ofstream(dir_ / "work/single.vcf")
      << "\xEF\xBB\xBF\r\nBEGIN:VCARD\r\nFN:Gail\r\nEND:VCARD\r\n";
  // The right panel lists "..", contacts, single.vcf: put the folder, then move the file.
  const auto screens = Headless("Tab\nDown\nF5\nscreen\nEnter\nDown\nF6\nscreen\nEnter\n");
  ASSERT_GE(screens.size(), 2u);
  EXPECT_THAT(screens[0], HasSubstr("vCard import"));
  EXPECT_THAT(screens[0], HasSubstr("Cards imported: 2"));
  EXPECT_THAT(screens[0], HasSubstr("X-ODD (1)"));
  EXPECT_THAT(screens[1], HasSubstr("Cards imported: 1"));
  BookFile b(Book("b.dat"));
  const auto tree = b.Tree();
  EXPECT_EQ(tree.count("contacts/Eve"), 1u);
  EXPECT_EQ(tree.count("contacts/Club/Fred"), 1u);
  EXPECT_EQ(tree.count("Gail"), 1u);
  // A move takes the file off the disk once the book has it; a copy leaves it.
  EXPECT_FALSE(fs::exists(dir_ / "work/single.vcf"));
  EXPECT_TRUE(fs::exists(dir_ / "work/contacts/1.vcf"));
}

TEST_F(VCardHostTest, ShiftF5ExportsTheSelectionIntoTheOtherPanel) {
  MakeSampleBook(Book("a.dat"));
  UseBook(Book("a.dat"));
  // The book lists "..", Friends, Carl: Shift+F5 on Friends offers Friends.vcf in the other
  // panel's folder.
  const auto screens = Headless("Shift\nscreen\nDown\nShiftF5\nscreen\nEnter\nscreen\n");
  ASSERT_GE(screens.size(), 3u);
  EXPECT_THAT(screens[0], HasSubstr("5vCard"));
  EXPECT_THAT(screens[1], HasSubstr("Export as vCard"));
  EXPECT_THAT(screens[2], HasSubstr("Friends.vcf"));
  const std::string file = ReadFile(dir_ / "work/Friends.vcf");
  EXPECT_THAT(file, HasSubstr("FN:Ann Smith\r\n"));
  EXPECT_THAT(file, HasSubstr("CATEGORIES:Friends/Work\r\n"));
  EXPECT_THAT(file, Not(HasSubstr("FN:Carl")));
}

// The UID line of the card named name in an export.
std::string UidOf(const std::string& cards, const std::string& name) {
  const std::size_t fn = cards.find("FN:" + name + "\r\n");
  const std::size_t uid = cards.rfind("UID:", fn);
  if (fn == std::string::npos || uid == std::string::npos) return "<none>";
  return cards.substr(uid, cards.find("\r\n", uid) - uid);
}

TEST_F(VCardHostTest, AUidGoesWithItsRecordThroughARenameAndNotToANewRecordOfItsName) {
  {
    BookFile book(Book("a.dat"));
    book.Put("Carl", kCarl);
  }
  UseBook(Book("a.dat"));
  const std::string export_a = "--book " + ShellQuote(Book("a.dat")) + " --export-vcard";
  const std::string first = UidOf(Command(export_a).out, "Carl");
  ASSERT_THAT(first, HasSubstr("UID:urn:uuid:"));
  Headless("Down\nShiftF6\nCtrlY\ntext Carl Jr\nEnter\n");
  EXPECT_EQ(UidOf(Command(export_a).out, "Carl Jr"), first);
  // Deleted, exported, and made again: the new record is another contact.
  Headless("Down\nF8\nEnter\n");
  EXPECT_THAT(Command(export_a).out, Not(HasSubstr("FN:")));
  {
    BookFile book(Book("a.dat"));
    book.Put("Carl Jr", kCarl);
  }
  const std::string again = UidOf(Command(export_a).out, "Carl Jr");
  EXPECT_THAT(again, HasSubstr("UID:urn:uuid:"));
  EXPECT_NE(again, first);
}

// A 100 MB line, a million parameters, endless folding, bytes that are no UTF-8 and a card inside
// a card: what can be read is imported, in memory of a few times the file's size.
TEST_F(VCardHostTest, HostileFilesImportWhatTheyCanInBoundedMemory) {
  const fs::path file = dir_ / "hostile.vcf";
  {
    std::ofstream out(file, std::ios::binary);
    out << "BEGIN:VCARD\r\nFN:Long\r\nEMAIL:long@example.org\r\nNOTE:";
    const std::string mb(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << mb;
    out << "\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Params\r\nTEL";
    for (int i = 0; i < 1000000; ++i) out << ";TYPE=cell";
    out << ":1\r\nEMAIL:params@example.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Fold\r\nNOTE:a\r\n";
    for (int i = 0; i < 2000000; ++i) out << " fold\r\n";
    out << "END:VCARD\r\nBEGIN:VCARD\r\nFN:Bad \xFF\xFE name\r\nNOTE:\xC0\x80\r\nEND:VCARD\r\n"
           "BEGIN:VCARD\r\nFN:Outer\r\nBEGIN:VCARD\r\nFN:Inner\r\nEND:VCARD\r\nEND:VCARD\r\n"
           "BEGIN:VCARD\r\nFN:Zoe\r\nEMAIL:zoe@example.org\r\nEND:VCARD\r\n";
  }
  const auto file_size = static_cast<long>(fs::file_size(file));
  const ProgramRun run = Command("--book " + ShellQuote(Book("b.dat")) + " --import-vcard " +
                                 ShellQuote(file.string()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Cards imported: 6"));
  EXPECT_THAT(run.err, HasSubstr("Cards skipped: 1"));
  EXPECT_THAT(run.err, HasSubstr("NOTE (1), TEL (1)"));
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss * 1024L, 4 * file_size) << "KiB: " << usage.ru_maxrss;
  BookFile b(Book("b.dat"));
  const auto tree = b.Tree();
  for (const char* name : {"Long", "Params", "Fold", "Outer", "Zoe"}) {
    EXPECT_EQ(tree.count(name), 1u) << name;
  }
  EXPECT_EQ(tree.count("Bad \xEF\xBF\xBD\xEF\xBF\xBD name"), 1u);
  EXPECT_EQ(tree.count("Inner"), 0u);
}

// Millions of tiny properties: the cards are read and imported one at a time, so memory follows
// the largest card, not the whole file.
TEST_F(VCardHostTest, ManyCardsOfManyPropertiesImportInMemoryOfAboutTheFile) {
  const fs::path file = dir_ / "tiny.vcf";
  {
    std::ofstream out(file, std::ios::binary);
    std::string props;
    for (int i = 0; i < 4000; ++i) props += "X:1\r\n";
    for (int c = 0; c < 300; ++c) {
      out << "BEGIN:VCARD\r\nFN:C" << c << "\r\n" << props << "END:VCARD\r\n";
    }
  }
  const auto file_size = static_cast<long>(fs::file_size(file));
  const ProgramRun run = RunCommand(
      "/usr/bin/time -f 'maxrss %M' " + ShellQuote(QuillboxProgram().string()) + " --config " +
      ShellQuote(dir_ / "config") + " --book " + ShellQuote(Book("b.dat")) + " --import-vcard " +
      ShellQuote(file.string()) + " 2>&1 >/dev/null");
  EXPECT_THAT(run.out, HasSubstr("Cards imported: 300"));
  EXPECT_THAT(run.out, HasSubstr("X (1200000)"));
  EXPECT_THAT(run.out, Not(HasSubstr("Sanitizer")));
  const std::size_t at = run.out.rfind("maxrss ");
  ASSERT_NE(at, std::string::npos) << run.out;
  const long kib = std::atol(run.out.c_str() + at + 7);
  // AddressSanitizer keeps freed memory aside, so only the plain build measures.
#ifndef QB_TEST_ASAN
  EXPECT_GT(kib, 0) << run.out;
  EXPECT_LT(kib * 1024L, 4 * file_size + (32L << 20)) << run.out;
#else
  (void)kib;
  (void)file_size;
#endif
}

}  // namespace
}  // namespace qb::test
