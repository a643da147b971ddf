// EMail.qbl: a contact's e-mail address with an optional comment ("ann@example.org#work"). Enter
// writes a new mail to it, a file copied onto the record goes to it as an attachment; both through
// Simple MAPI's MAPISendMail of the mail library, which is loaded for each mail and released right
// after it, and which opens the user's mail composer.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/mapi/mapi_client.h"
#include "sdk/mapi.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

using qb::fieldtype::Field;
using qb::fieldtype::Msg;

constexpr const char* kModule = "E-Mail";
constexpr const char* kLocalEMail = "LocalEMail";
// The own address until the user gives one: an address of the domain kept for examples, so that
// nothing is ever sent to a real stranger in the user's name.
constexpr const char* kDefaultLocalEMail = "sysop@example.org";
// The recipient's name is kept in a buffer of this many bytes, terminator included.
constexpr size_t kNameBuffer = 260;
constexpr const char* kUnknownName = "<unknown>";
constexpr uint32_t kComposeFlags = MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG;

struct EMailState {
  std::string local_email = kDefaultLocalEMail;
};

EMailState& St() {
  static EMailState state;
  return state;
}

void Startup(HKEY settings) {
  qb::dlg::SetHost(&qb::fieldtype::HostInfo());
  const size_t length = RegReadText(settings, kLocalEMail, kDefaultLocalEMail, nullptr, 0);
  std::string text(length + 1, '\0');
  text.resize(RegReadText(settings, kLocalEMail, kDefaultLocalEMail, text.data(), text.size()));
  St().local_email = text;
}

void Exit(HKEY settings) {
  RegWriteText(settings, kLocalEMail, St().local_email.c_str());
}

// A console text in the ANSI code page, cut to fit a buffer of `capacity` bytes.
std::string ToAnsi(const char* text, size_t capacity) {
  std::vector<char> out(capacity, '\0');
  const size_t length =
      qb::codepage::OemToAnsiInto(text != nullptr ? text : "", out.data(), out.size());
  return std::string(out.data(), length);
}

std::string ToAnsi(const char* text) {
  return ToAnsi(text, std::strlen(text != nullptr ? text : "") + 1);
}

// The recipient's name: the record's, or "<unknown>" when there is none.
std::string RecipientName(const char* name) {
  return ToAnsi(name != nullptr && *name != '\0' ? name : kUnknownName, kNameBuffer);
}

// The open record's name as the panel's position gives it: the text after its last "\".
const char* RecordOfPanel() {
  const HostServices* services = qb::fieldtype::Services();
  if (services == nullptr || services->CurrentPanelPath == nullptr) return nullptr;
  const char* slash = std::strrchr(services->CurrentPanelPath, '\\');
  return slash != nullptr ? slash + 1 : services->CurrentPanelPath;
}

// The address the mail goes to: the field's value, that is the text before its last "#". The
// comment after it only names the field ("work"); in the address it would make one that no mail
// can reach ("ann@example.org#work").
std::string AddressOf(const Field& field) {
  char* value = StdOneLineDescription(field.text.c_str());
  std::string address = value != nullptr ? value : field.text;
  Free(value);
  return address;
}

// One mail through MAPISendMail of the mail library beside the main library, loaded for this mail
// only. MAPI_E_FAILURE when the library or its entry point is missing.
uint32_t SendMail(const char* record_name, const Field& field, const char* subject,
                  const char* attachment) {
  // Copies of everything handed over: the shared user name stays as the main library keeps it.
  std::string recipient_name = RecipientName(record_name);
  std::string address = AddressOf(field);
  const HostServices* services = qb::fieldtype::Services();
  std::string sender_name = ToAnsi(services != nullptr ? services->UserName : nullptr);
  std::string sender_address = St().local_email;
  std::string subject_text = ToAnsi(subject);
  std::string attachment_path = attachment != nullptr ? attachment : "";

  MapiRecipDesc originator{};
  originator.ulRecipClass = MAPI_ORIG;
  originator.lpszName = sender_name.data();
  originator.lpszAddress = sender_address.data();
  MapiRecipDesc recipient{};
  recipient.ulRecipClass = MAPI_TO;
  recipient.lpszName = recipient_name.data();
  recipient.lpszAddress = address.data();
  MapiFileDesc file{};
  file.nPosition = static_cast<uint32_t>(-1);  // not placed in the text
  file.lpszPathName = attachment_path.data();
  MapiMessage message{};
  message.lpszSubject = subject != nullptr ? subject_text.data() : nullptr;
  message.lpOriginator = &originator;
  message.nRecipCount = 1;
  message.lpRecips = &recipient;
  if (attachment != nullptr) {
    message.nFileCount = 1;
    message.lpFiles = &file;
  }
  return qb::mapi::SendThroughMailLibrary(qb::fieldtype::PluginDirectory(), &message,
                                          kComposeFlags);
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = kModule,
    .token = "E",
    .new_id = FTID_EMAIL,
    .block = FTID_EMAIL & ~0xFFu,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = "EMail_EditDlg",
    .settings_key = kModule,
    .startup = Startup,
    .exit = Exit,
};

extern "C" {

QB_EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  const Field field = qb::fieldtype::ReadField(data, size, type);
  const HostServices* services = qb::fieldtype::Services();
  // The whole field waits on the clipboard as well, for a composer that drops the address.
  StringToClipboard(field.text.c_str());
  SendMail(services != nullptr ? services->CurrentRecord : nullptr, field, nullptr, nullptr);
}

QB_EXPORT int SendFile(const void* data, uint32_t size, FieldTypeId type, const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  const Field field = qb::fieldtype::ReadField(data, size, type);
  return SendMail(RecordOfPanel(), field, Msg(1), path) == SUCCESS_SUCCESS ? 1 : 0;
}

QB_EXPORT int ConfigurePlugin(void) {
  // The dialog's binding owns this text (C heap, the one behind Free) while it runs.
  char* address = qb::fieldtype::HeapCopy(St().local_email);
  qb::dlg::DlgBuilder dialog(60, 10, "EMail_Config");
  dialog.AddFrame(qb::fieldtype::TypeName());
  dialog.Make<qb::dlg::DlgText>(5, 3, 0, Msg(2));
  dialog.Make<qb::dlg::DlgEdit>(5, 4, 54, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&address), DI_EDIT);
  dialog.AddButtons(0, 1);
  const bool accepted = dialog.Run() >= 0;
  if (accepted) St().local_email = address != nullptr ? address : "";
  std::free(address);
  return accepted ? 1 : 0;
}

}  // extern "C"

// An address is the card's EMAIL, its comment the label.
extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  qb::fieldtype::vcard::WriteOneLine(writer, "EMAIL", {{"TYPE", "internet"}}, field.text);
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  namespace vc = qb::fieldtype::vcard;
  if (vc::IsGroupLabelOf(card, count, index, "EMAIL")) return VCARD_CONSUMED;
  const VCardProperty& prop = card[index];
  if (std::strcmp(prop.Name, "EMAIL") != 0) return VCARD_NOT_MINE;
  std::string address = prop.Value;
  if (vc::StartsWithText(address, "mailto:")) address.erase(0, 7);
  if (address.empty()) return VCARD_CONSUMED;
  return vc::TextField(vc::OneLineText(card, count, index, address), FTID_EMAIL, new_data, new_size,
                       new_type);
}
