// Netmail.qbl: a FidoNet address (zone:net/node.point) with an optional comment. A file sent to
// the field goes to that node either as a stored netmail message with a file attach, written into
// the mailer's netmail directory for its tosser to export, or as a copy in the node's file box.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "fieldtypes/netmail/fido_address.h"
#include "fieldtypes/netmail/file_box.h"
#include "fieldtypes/netmail/stored_message.h"
#include "platform/paths/paths.h"
#include "platform/time/clock.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

using qb::fieldtype::Field;
using qb::fieldtype::Msg;
using qb::netmail::FidoAddress;

constexpr const char* kModule = "Netmail";
constexpr const char* kEditHelp = "Netmail_EditDlg";

// Own address of an example point; the directories are where the FidoNet software of Linux
// systems (binkd, the husky tossers, crashmail) usually keeps its spool.
constexpr const char* kDefaultLocalAddress = "2:5030/999.999";
constexpr const char* kDefaultMailOutPath = "/var/spool/ftn/netmail";
constexpr const char* kDefaultFileBoxPath = "/var/spool/ftn/boxes";

enum SendMethod { kNetmail = 0, kFileBox = 1 };

// Used when the language files lack the month names of the Date module: message headers must
// carry the English abbreviations anyway.
constexpr const char* kEnglishMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct NetmailState {
  std::string local_address = kDefaultLocalAddress;
  std::string mail_out_path = kDefaultMailOutPath;
  std::string file_box_path = kDefaultFileBoxPath;
  int send_method = kNetmail;
  std::string months[12];  // the Date module's messages 13 to 24, taken at start-up
  qb::netmail::SerialCounter serials;
};

NetmailState& St() {
  static NetmailState state;
  return state;
}

std::string ReadText(HKEY settings, const char* name, const char* def) {
  std::string text(RegReadText(settings, name, def, nullptr, 0) + 1, '\0');
  text.resize(RegReadText(settings, name, def, text.data(), text.size()));
  return text;
}

void Startup(HKEY settings) {
  NetmailState& st = St();
  qb::dlg::SetHost(&qb::fieldtype::HostInfo());
  st.local_address = ReadText(settings, "LocalAddress", kDefaultLocalAddress);
  st.mail_out_path = ReadText(settings, "MailOutPath", kDefaultMailOutPath);
  st.file_box_path = ReadText(settings, "FileBoxPath", kDefaultFileBoxPath);
  st.send_method = RegReadNumber(settings, "SendMethod", kNetmail, kNetmail, kFileBox);
  for (int i = 0; i < 12; ++i) {
    const char* name = CommonGetMsgEx(13 + i, "Date");
    st.months[i] = name != nullptr && *name != '\0' ? name : kEnglishMonths[i];
  }
}

void Exit(HKEY settings) {
  const NetmailState& st = St();
  RegWriteText(settings, "LocalAddress", st.local_address.c_str());
  RegWriteText(settings, "MailOutPath", st.mail_out_path.c_str());
  RegWriteText(settings, "FileBoxPath", st.file_box_path.c_str());
  RegWriteNumber(settings, "SendMethod", st.send_method);
}

bool ValidAddress(const char* text) {
  FidoAddress address;
  return text != nullptr && qb::netmail::ParseAddress(text, &address);
}

void ShowAddressError(const char* text) {
  ShowError(Msg(8), text != nullptr ? text : "", "Netmail_AddressError");
}

int Edit(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type, int edit) {
  const char* title = qb::fieldtype::TypeName();
  const bool present = field.data != nullptr;
  if (edit == 0) {
    StdEditSingleLine(title, kEditHelp, field.text.c_str(),
                      static_cast<uint32_t>(field.text.size() + 1), nullptr, nullptr, 0);
    return 1;
  }
  // What the dialog starts with: the stored text, then what was typed last, so a mistyped
  // address comes back to be corrected rather than lost.
  std::string shown = field.text;
  bool have_text = present;
  for (;;) {
    char* typed = nullptr;
    uint32_t typed_size = 0;
    if (StdEditSingleLine(title, kEditHelp, have_text ? shown.c_str() : nullptr,
                          have_text ? static_cast<uint32_t>(shown.size() + 1) : 0, &typed,
                          &typed_size, 1) == 0)
      return 0;
    if (ValidAddress(typed)) {
      if (new_data != nullptr) {
        *new_data = typed;
      } else {
        Free(typed);
      }
      if (new_size != nullptr) *new_size = typed_size;
      if (new_type != nullptr) *new_type = FTID_NETMAIL;
      return 1;
    }
    ShowAddressError(typed);
    shown = typed != nullptr ? typed : "";
    have_text = true;
    Free(typed);
  }
}

// The two ends of a send: the destination from the field, its missing zone and net taken from
// the own address, and the own address from the settings, its missing parts taken from the
// destination. False, after a box naming the address, when either is no address.
bool Addresses(const std::string& field_text, FidoAddress* own, FidoAddress* destination) {
  const NetmailState& st = St();
  FidoAddress local;
  if (!qb::netmail::ParseAddress(st.local_address, &local)) {
    ShowAddressError(st.local_address.c_str());
    return false;
  }
  FidoAddress to = local;
  if (!qb::netmail::ParseAddress(field_text, &to)) {
    ShowAddressError(field_text.c_str());
    return false;
  }
  FidoAddress from = to;
  qb::netmail::ParseAddress(st.local_address, &from);
  *own = from;
  *destination = to;
  return true;
}

int SendAsNetmail(const std::string& path, const FidoAddress& own, const FidoAddress& to) {
  NetmailState& st = St();
  if (!qb::netmail::AttachPathFits(path)) {
    ShowError(Msg(7), path.c_str(), "Netmail_AttachPathError");
    return 0;
  }
  const std::tm now = qb::clock::NowLocal();
  const HostServices* services = qb::fieldtype::Services();
  qb::netmail::MessageHead head;
  if (services != nullptr && services->UserName != nullptr) head.from = services->UserName;
  head.to =
      services != nullptr && services->CurrentRecord != nullptr && *services->CurrentRecord != '\0'
          ? services->CurrentRecord
          : "<unknown>";
  head.subject = path;
  head.date =
      qb::netmail::DateText(now, st.months[now.tm_mon >= 0 && now.tm_mon < 12 ? now.tm_mon : 0]);
  head.origin = own;
  head.destination = to;
  const std::string kludges = qb::netmail::KludgeLines(own, to, st.serials.Next(now));
  if (!qb::netmail::WriteMessage(st.mail_out_path, qb::netmail::BuildHeader(head), kludges)) {
    ShowError(Msg(9), st.mail_out_path.c_str(), "Netmail_WriteError");
    return 0;
  }
  return 1;
}

int SendToFileBox(const std::string& path, const FidoAddress& to) {
  const NetmailState& st = St();
  const std::string box = st.file_box_path.empty()
                              ? std::string()
                              : qb::JoinPath(st.file_box_path, qb::netmail::FileBoxName(to));
  if (!qb::netmail::CopyIntoBox(box, path)) {
    ShowError(Msg(10), box.empty() ? path.c_str() : box.c_str(), "Netmail_FileBoxError");
    return 0;
  }
  return 1;
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = kModule,
    .token = "N",
    .new_id = FTID_NETMAIL,
    .block = FTID_NETMAIL,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = kEditHelp,
    .settings_key = "Netmail",
    .startup = Startup,
    .exit = Exit,
    .edit = Edit,
};

extern "C" {

QB_EXPORT int SendFile(const void* data, uint32_t size, FieldTypeId type, const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  const Field field = qb::fieldtype::ReadField(data, size, type);
  FidoAddress own, to;
  if (!Addresses(field.text, &own, &to)) return 0;
  // The tosser and the mailer run elsewhere: they need the whole path.
  std::error_code error;
  const std::string full = std::filesystem::absolute(path, error).string();
  if (error) return 0;
  return St().send_method == kFileBox ? SendToFileBox(full, to) : SendAsNetmail(full, own, to);
}

QB_EXPORT int ConfigurePlugin(void) {
  NetmailState& st = St();
  // The dialog's bindings own these texts (the C heap, the one behind Free) while it runs.
  char* address = strdup(st.local_address.c_str());
  char* mail_out = strdup(st.mail_out_path.c_str());
  char* file_box = strdup(st.file_box_path.c_str());
  int method = st.send_method;
  auto check = [](const char* text) {
    if (ValidAddress(text)) return true;
    ShowAddressError(text);
    return false;
  };
  qb::dlg::DlgBuilder dialog(60, 18, "Netmail_Config");
  dialog.AddFrame(Msg(0));
  dialog.Make<qb::dlg::DlgText>(5, 3, 0, Msg(1));
  dialog.Make<qb::dlg::DlgEdit>(20, 3, 40, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&address, check), DI_EDIT);
  dialog.Make<qb::dlg::DlgText>(5, 5, 0, Msg(2));
  dialog.Make<qb::dlg::DlgRadioButton>(5, 6, DIF_GROUP, Msg(3), &method, kNetmail);
  dialog.Make<qb::dlg::DlgRadioButton>(5, 7, 0, Msg(4), &method, kFileBox);
  dialog.Make<qb::dlg::DlgText>(5, 9, 0, Msg(5));
  dialog.Make<qb::dlg::DlgEdit>(5, 10, 54, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&mail_out), DI_EDIT);
  dialog.Make<qb::dlg::DlgText>(5, 11, 0, Msg(6));
  dialog.Make<qb::dlg::DlgEdit>(5, 12, 54, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&file_box), DI_EDIT);
  dialog.AddButtons(0, 1);
  const bool accepted = dialog.Run() == 0;
  if (accepted) {
    st.local_address = address != nullptr ? address : "";
    st.mail_out_path = mail_out != nullptr ? mail_out : "";
    st.file_box_path = file_box != nullptr ? file_box : "";
    st.send_method = method;
  }
  std::free(address);
  std::free(mail_out);
  std::free(file_box);
  return accepted ? 1 : 0;
}

}  // extern "C"

// A FidoNet address is the card's X-FIDONET, its comment the label.
extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  qb::fieldtype::vcard::WriteOneLine(writer, "X-FIDONET", {}, field.text);
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  namespace vc = qb::fieldtype::vcard;
  if (std::strcmp(card[index].Name, "X-FIDONET") != 0) return VCARD_NOT_MINE;
  return vc::TextField(vc::OneLineText(card, count, index, card[index].Value), FTID_NETMAIL,
                       new_data, new_size, new_type);
}
