#include "platform/mapi/composer.h"

#include <sys/stat.h>
#include <unistd.h>

namespace qb::mapi {

namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string_view Text(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// Characters a name may hold unquoted in an address header: letters and digits, blanks, the
// marks an atom allows, and everything beyond ASCII (names in UTF-8 as address headers take them).
bool PlainInName(unsigned char c) {
  if (c >= 0x80 || c == ' ') return true;
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  static constexpr std::string_view kAtomMarks = "!#$%&'*+-/=?^_`{|}~";
  return kAtomMarks.find(static_cast<char>(c)) != std::string_view::npos;
}

std::string Name(std::string_view name) {
  bool plain = name.front() != '-';
  for (unsigned char c : name) plain = plain && PlainInName(c);
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The checks xdg-email makes of an attachment, made here so that the caller learns which failure
// it is before a composer window opens.
uint32_t CheckAttachment(std::string_view path) {
  if (path.empty()) return MAPI_E_ATTACHMENT_NOT_FOUND;
  if (HasLineBreak(path)) return MAPI_E_ATTACHMENT_OPEN_FAILURE;  // xdg-email cannot carry it
  const std::string name(path);
  struct stat st {};
  if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return MAPI_E_ATTACHMENT_NOT_FOUND;
  if (access(name.c_str(), R_OK) != 0) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
  return SUCCESS_SUCCESS;
}

// The address as the composer takes it: one line without outer blanks or "SMTP:".
std::string_view Address(std::string_view address) {
  std::string_view to = Trimmed(FirstLine(address));
  if (to.size() >= 5 && (to[0] == 'S' || to[0] == 's') && (to[1] == 'M' || to[1] == 'm') &&
      (to[2] == 'T' || to[2] == 't') && (to[3] == 'P' || to[3] == 'p') && to[4] == ':') {
    to = Trimmed(to.substr(5));
  }
  return to;
}

}  // namespace

std::string_view FirstLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

std::string Mailbox(std::string_view name, std::string_view address) {
  const std::string_view to = Address(address);
  if (to.empty()) return {};
  const std::string_view shown = Trimmed(FirstLine(name));
  if (shown.empty()) return to.front() == '-' ? "<" + std::string(to) + ">" : std::string(to);
  return Name(shown) + " <" + std::string(to) + ">";
}

ComposerCall ComposerArguments(const MapiMessage* message, uint32_t flags) {
  ComposerCall call;
  auto fail = [&call](uint32_t result) {
    call.result = result;
    call.argv.clear();
    return call;
  };
  if (message == nullptr) return fail(MAPI_E_FAILURE);
  if ((flags & MAPI_DIALOG) == 0) return fail(MAPI_E_NOT_SUPPORTED);
  if ((message->nRecipCount > 0 && message->lpRecips == nullptr) ||
      (message->nFileCount > 0 && message->lpFiles == nullptr)) {
    return fail(MAPI_E_FAILURE);
  }
  // --utf8 first: xdg-email reads every word after it as UTF-8 instead of the locale's charset,
  // which would be ASCII under a C locale and lose every other character.
  call.argv = {kComposerProgram, "--utf8"};
  const std::string_view subject = FirstLine(Text(message->lpszSubject));
  if (!subject.empty()) {  // xdg-email refuses an empty subject
    call.argv.emplace_back("--subject");
    call.argv.emplace_back(subject);
  }
  if (!Text(message->lpszNoteText).empty()) {
    call.argv.emplace_back("--body");
    call.argv.emplace_back(message->lpszNoteText);
  }
  for (uint32_t i = 0; i < message->nFileCount; ++i) {
    const std::string_view path = Text(message->lpFiles[i].lpszPathName);
    if (const uint32_t refused = CheckAttachment(path); refused != SUCCESS_SUCCESS)
      return fail(refused);
    call.argv.emplace_back("--attach");
    call.argv.push_back(path.front() == '/' ? std::string(path) : "./" + std::string(path));
  }
  // The primary recipients come last, as the plain words xdg-email documents for them; each one
  // starts with its name, a quote or "<", never with "-".
  std::vector<std::string> to;
  for (uint32_t i = 0; i < message->nRecipCount; ++i) {
    const MapiRecipDesc& recipient = message->lpRecips[i];
    if (recipient.ulRecipClass == MAPI_ORIG) continue;
    if (recipient.ulRecipClass > MAPI_BCC) return fail(MAPI_E_BAD_RECIPTYPE);
    const std::string_view address = Address(Text(recipient.lpszAddress));
    if (address.empty()) continue;
    if (address.find('@') == std::string_view::npos) return fail(MAPI_E_INVALID_RECIPS);
    const std::string mailbox = Mailbox(Text(recipient.lpszName), address);
    if (recipient.ulRecipClass == MAPI_TO) {
      to.push_back(mailbox);
    } else {
      call.argv.emplace_back(recipient.ulRecipClass == MAPI_CC ? "--cc" : "--bcc");
      call.argv.push_back(mailbox);
    }
  }
  for (std::string& mailbox : to) call.argv.push_back(std::move(mailbox));
  return call;
}

uint32_t ResultOf(const qb::process::Outcome& outcome) {
  switch (outcome.start) {
    case qb::process::kStarted:
      break;
    case qb::process::kFileNotFound:  // no xdg-email, or none that may be run
    case qb::process::kPathNotFound:
    case qb::process::kAccessDenied:
      return MAPI_E_LOGON_FAILURE;
    case qb::process::kOutOfMemory:
      return MAPI_E_INSUFFICIENT_MEMORY;
    default:
      return MAPI_E_FAILURE;
  }
  if (!outcome.ended) return SUCCESS_SUCCESS;
  switch (outcome.exit_status) {
    case 0:
      return SUCCESS_SUCCESS;
    case 2:
      return MAPI_E_ATTACHMENT_NOT_FOUND;
    case 3:
      return MAPI_E_LOGON_FAILURE;
    case 5:
      return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    default:
      return MAPI_E_FAILURE;
  }
}

}  // namespace qb::mapi
