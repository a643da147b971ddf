// The host program's command line: a vCard export or import and the mail client's query, each
// through a panel of its own that no host shows (no walk, no key), silent wherever a panel call
// takes an operation mode. What would be a box goes to the host's Message all the same, which
// the command-line host prints.
#include "sdk/vcard_command.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "main/book_panel.h"
#include "main/exchange.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/vcard.h"
#include "main/vcard_syntax.h"
#include "platform/codepage/codepage.h"
#include "platform/storage/storage.h"
#include "sdk/far.h"
#include "sdk/services.h"

namespace qb::main {

namespace {

// The settings and passwords a command changes for its length only: ExitFAR writes the
// settings back, and no password may outlive the command.
class CommandScope {
 public:
  explicit CommandScope(const VCardCommandArgs& args) {
    PluginState& state = State();
    saved_book_ = state.settings.book_file;
    if (args.BookFile && *args.BookFile) state.settings.book_file = args.BookFile;
    for (uint32_t i = 0; args.Passwords && i < args.PasswordCount; ++i) {
      if (args.Passwords[i]) state.given_passwords.emplace_back(args.Passwords[i]);
    }
  }
  ~CommandScope() {
    PluginState& state = State();
    state.settings.book_file = saved_book_;
    for (std::string& p : state.given_passwords) p.assign(p.size(), '\0');
    state.given_passwords.clear();
  }

 private:
  std::string saved_book_;
};

// The panel's path in the book: "\" between folders ("/" taken as well).
std::string PanelPath(const char* book_path) {
  std::string path = book_path ? book_path : "";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.empty() || path[0] != '\\') path.insert(0, "\\");
  return path;
}

// Puts the panel at the path; false (said on err) when some folder of it cannot be entered.
bool GoTo(BookPanel& panel, const std::string& path, std::FILE* err) {
  if (panel.SetDirectory(path.c_str(), OPM_SILENT) && !panel.in_record()) {
    std::string reached = panel.path();
    if (reached.empty()) reached = "\\";
    std::string wanted = path;
    while (wanted.size() > 1 && wanted.back() == '\\') wanted.pop_back();
    if (reached == wanted) return true;
  }
  std::fprintf(err, "quillbox: %s: %s\n", Msg(msg::kErrorOpenFolder), path.c_str());
  return false;
}

bool ReadWholeFile(const char* path, std::string* out) {
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) return false;
  const bool ok = ReadVCardFile(file, out);
  std::fclose(file);
  return ok;
}

// Letter case folded the way the book compares names (its upper-case mapping), as UTF-16.
std::u16string Folded(const std::string& text) {
  std::u16string wide;
  const std::optional<std::u16string> converted = codepage::Utf8ToUtf16(vcard::ValidUtf8(text));
  if (converted) wide = *converted;
  for (char16_t& c : wide) c = storage::UpperCodeUnit(c);
  return wide;
}

int Export(BookPanel& panel, const VCardCommandArgs& args) {
  std::string text;
  PluginPanelItem* list = nullptr;
  int n = 0;
  if (!panel.GetFindData(&list, &n, OPM_SILENT)) return 2;
  ExportVCards(panel, list, n, OPM_SILENT, true, &text);
  panel.FreeFindData(list, n);
  if (std::fwrite(text.data(), 1, text.size(), args.Out) != text.size() ||
      std::fflush(args.Out) != 0) {
    return 2;
  }
  return 0;
}

int Import(BookPanel& panel, const VCardCommandArgs& args) {
  std::string bytes;
  if (!ReadWholeFile(args.File, &bytes)) {
    std::fprintf(args.Err, "quillbox: %s: %s\n", Msg(msg::kErrorReadFile),
                 args.File ? args.File : "");
    return 2;
  }
  if (!vcard::LooksLikeVCard(bytes.substr(0, 4096))) {
    std::fprintf(args.Err, "quillbox: %s: %s\n", Msg(msg::kErrorNotVCard), args.File);
    return 2;
  }
  VCardImport report;
  const bool ok = ImportVCard(panel, bytes, OPM_SILENT, &report);
  for (const std::string& line : VCardImportLines(report)) {
    std::fprintf(args.Err, "%s\n", line.c_str());
  }
  return ok ? 0 : 2;
}

// mutt's query_command: a first line for the user, then address, tab, name, tab, folder.
int Query(BookPanel& panel, const VCardCommandArgs& args) {
  const std::u16string wanted = Folded(args.Text ? args.Text : "");
  std::vector<VCardAddress> matches;
  for (VCardAddress& a : CollectAddresses(panel, OPM_SILENT)) {
    if (Folded(a.name).find(wanted) != std::u16string::npos ||
        Folded(a.address).find(wanted) != std::u16string::npos) {
      matches.push_back(std::move(a));
    }
  }
  std::fprintf(args.Out, Msg(msg::kVCardQueryFound), static_cast<int>(matches.size()));
  std::fputc('\n', args.Out);
  for (const VCardAddress& a : matches) {
    std::fprintf(args.Out, "%s\t%s\t%s\n", a.address.c_str(), a.name.c_str(), a.folder.c_str());
  }
  std::fflush(args.Out);
  return matches.empty() ? 1 : 0;
}

int Run(const VCardCommandArgs& args) {
  if (!args.Out || !args.Err) return 2;
  CommandScope scope(args);
  BookPanel panel;
  int status = 2;
  {
    BookLock lock(panel);
    if (!lock.ok()) return 2;
    if (!GoTo(panel, PanelPath(args.BookPath), args.Err)) return 2;
    switch (args.Command) {
      case VCC_EXPORT:
        status = Export(panel, args);
        break;
      case VCC_IMPORT:
        if (State().book_read_only) {
          std::fprintf(args.Err, "quillbox: %s\n", Msg(msg::kErrorReadOnlyChange));
          return 2;
        }
        status = Import(panel, args);
        break;
      case VCC_QUERY:
        status = Query(panel, args);
        break;
      default:
        break;
    }
  }
  if (storage::Failed(panel.last_commit())) status = 2;
  panel.SetDepth(-1);
  return status;
}

}  // namespace

}  // namespace qb::main

extern "C" QB_EXPORT int VCardCommand(const VCardCommandArgs* args) {
  try {
    return args ? qb::main::Run(*args) : 2;
  } catch (...) {
    return 2;
  }
}
