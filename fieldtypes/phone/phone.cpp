// Phone.qbl: a telephone number with an optional comment and up to four kind marks (voice, fax,
// modem, mobile) in the low byte of the type identifier. Enter dials it: through the telephony
// library for voice and mobile numbers, through the terminal program for modem numbers.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process/process.h"
#include "platform/telephony/tapi_client.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

using qb::fieldtype::Field;
using qb::fieldtype::HostInfo;

constexpr const char* kModule = "Phone";
constexpr int kShowNormal = 1;
// The buffers the number and the terminal command are built in, with their terminating zero.
constexpr size_t kNumberBuffer = 1024;
constexpr size_t kCommandBuffer = 260;
constexpr size_t kKindsBuffer = 128;
// Used where the settings hold no terminal command: a terminal emulator running the serial
// dialler; the number waits on the clipboard to be pasted into it.
constexpr const char* kDefaultTerminal = "x-terminal-emulator -e minicom";

enum Action { kTelephony = 0, kTerminal = 1, kAsk = 2 };

struct PhoneState {
  int default_action = kAsk;
  int show_type_info = 0;
  std::string terminal = kDefaultTerminal;
  std::string letters[4] = {" ", " ", " ", " "};  // one UTF-8 character each
};

PhoneState& St() {
  static PhoneState state;
  return state;
}

using qb::fieldtype::MainMsg;
using qb::fieldtype::Msg;

// Length of the UTF-8 sequence that starts with lead (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// text cut to at most max bytes, never inside a UTF-8 sequence.
std::string CutAtCharacter(std::string_view text, size_t max) {
  size_t end = 0;
  while (end < text.size()) {
    size_t n = SequenceLength(static_cast<unsigned char>(text[end]));
    if (end + n > max || end + n > text.size()) break;
    end += n;
  }
  return std::string(text.substr(0, end));
}

// The first four characters of the kind letters; a blank for each one missing.
void TakeLetters(const char* text) {
  std::string_view rest = text != nullptr ? text : "";
  for (auto& letter : St().letters) {
    if (rest.empty()) {
      letter = " ";
      continue;
    }
    size_t n = std::min(SequenceLength(static_cast<unsigned char>(rest[0])), rest.size());
    letter.assign(rest.substr(0, n));
    rest.remove_prefix(n);
  }
}

// The four marks of an identifier: the kind's letter where its bit is set, else a blank.
std::string Marks(FieldTypeId type) {
  std::string marks;
  for (int i = 0; i < 4; ++i) marks += (type & (1u << i)) != 0 ? St().letters[i] : " ";
  return marks;
}

void Startup(HKEY settings) {
  PhoneState& st = St();
  qb::dlg::SetHost(&HostInfo());
  st.default_action = RegReadNumber(settings, "DefaultAction", kAsk, 0, 2);
  st.show_type_info = RegReadNumber(settings, "ShowTypeInfo", 0, 1, 1);
  size_t length = RegReadText(settings, "Terminal", kDefaultTerminal, nullptr, 0);
  std::string terminal(length + 1, '\0');
  terminal.resize(
      RegReadText(settings, "Terminal", kDefaultTerminal, terminal.data(), terminal.size()));
  st.terminal = terminal;
  TakeLetters(CommonGetMsgEx(1, kModule));
}

void Exit(HKEY settings) {
  PhoneState& st = St();
  RegWriteNumber(settings, "DefaultAction", st.default_action);
  RegWriteNumber(settings, "ShowTypeInfo", st.show_type_info);
  RegWriteText(settings, "Terminal", st.terminal.c_str());
}

std::string PanelSuffix(const Field& field) {
  if (St().show_type_info != 1) return "";
  return " (" + Marks(field.type) + ")";
}

int View(const Field& field) {
  std::string kinds;
  for (int i = 0; i < 4; ++i)
    if ((field.type & (1u << i)) != 0) kinds += Msg(6 + i);
  kinds = CutAtCharacter(kinds, kKindsBuffer - 1);
  const char* lines[] = {Msg(0), field.text.c_str(), kinds.c_str(), MainMsg(0)};
  const PluginStartupInfo& info = HostInfo();
  if (info.Message != nullptr) info.Message(info.ModuleNumber, 0, "Phone_ViewMsg", lines, 4, 1);
  return 1;
}

int Edit(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type, int edit) {
  if (edit == 0) return View(field);
  const bool present = field.data != nullptr;
  // The dialog's binding owns this text (C heap, the one behind Free) while it runs.
  char* text = present ? qb::fieldtype::HeapCopy(field.text) : nullptr;
  int kind = static_cast<int>(field.type & 0xFFu);
  if (!present) kind |= 1;  // a new number is a voice number until told otherwise

  qb::dlg::DlgBuilder dialog(60, 14, "Phone_EditDlg");
  dialog.AddFrame(Msg(0));
  dialog.Make<qb::dlg::DlgEdit>(5, 3, 54, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&text), DI_EDIT);
  for (int i = 0; i < 4; ++i)
    dialog.Make<qb::dlg::DlgFlagCheckBox>(5, 5 + i, 0, Msg(2 + i), &kind, 1u << i);
  dialog.AddButtons(0, 1);
  if (dialog.Run() != 0) {
    std::free(text);
    return 0;
  }
  if (text == nullptr) text = qb::fieldtype::HeapCopy("");
  if (text == nullptr) return 0;
  if (new_data != nullptr) {
    *new_data = text;
  } else {
    std::free(text);
  }
  if (new_size != nullptr) *new_size = static_cast<uint32_t>(std::strlen(text) + 1);
  if (new_type != nullptr) *new_type = FTID_PHONE | (static_cast<uint32_t>(kind) & 0xFFu);
  return 1;
}

void WriteText(FILE* file, const Field& field) {
  char* line = StdOneLineMenuDescription(field.text.c_str(), qb::fieldtype::TypeName());
  std::fprintf(file, "%s (%s)\n", line != nullptr ? line : "", Marks(field.type).c_str());
  Free(line);
}

void DialByTelephony(const std::string& number) {
  const long result =
      qb::telephony::RequestMakeCall(qb::fieldtype::PluginDirectory(), number.c_str(), "FAR");
  if (result != 0) ShowError(Msg(12), "Phone_CallFailedError");
}

void DialByTerminal(const std::string& number) {
  const PhoneState& st = St();
  // The number goes to the clipboard first, placeholder or not: the default command has none
  // and the user pastes the number into the terminal program.
  StringToClipboard(number.c_str());
  const std::string command = qb::fieldtype::FillPlaceholders(st.terminal, 'p', number);
  // A command cut to its buffer would run something else than configured: it is refused.
  int result =
      command.size() < kCommandBuffer ? qb::process::WinExec(command.c_str(), kShowNormal) : 0;
  if (result <= 31) ShowError(Msg(13), st.terminal.c_str(), "Phone_ExecuteError");
}

// 0 telephony, 1 terminal program, -1 nothing.
int AskCallType(const Field& field) {
  const PluginStartupInfo& info = HostInfo();
  if (info.Message == nullptr) return -1;
  char* shown = StdOneLineDescription(field.text.c_str());
  const char* lines[] = {Msg(10), Msg(11), shown != nullptr ? shown : "",
                         Msg(2),  Msg(4),  MainMsg(1)};
  int button = info.Message(info.ModuleNumber, 0, "Phone_CallTypeMsg", lines, 6, 3);
  Free(shown);
  return button == 0 || button == 1 ? button : -1;
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = kModule,
    .token = "P",
    .new_id = FTID_PHONE,
    .block = FTID_PHONE,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = "Phone_EditDlg",
    .settings_key = "PhoneNumber",
    .startup = Startup,
    .exit = Exit,
    .panel_suffix = PanelSuffix,
    .edit = Edit,
    .write_text_file = WriteText,
};

extern "C" {

QB_EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  const Field field = qb::fieldtype::ReadField(data, size, type);
  int action = -1;
  switch (type & 0x0Du) {  // a fax mark alone is not dialled
    case 1:
    case 8:
    case 9:
      action = kTelephony;
      break;
    case 4:
      action = kTerminal;
      break;
    case 5:
      action = St().default_action == kAsk ? AskCallType(field) : St().default_action;
      break;
    default:
      return;
  }
  if (action < 0) return;
  // The number is the text before its first "#", blanks before it kept.
  std::string number = field.text.substr(0, field.text.find('#'));
  if (number.size() >= kNumberBuffer) {
    // Cut, it would dial another number.
    ShowError(Msg(action == kTelephony ? 12 : 13),
              action == kTelephony ? "Phone_CallFailedError" : "Phone_ExecuteError");
    return;
  }
  if (action == kTelephony)
    DialByTelephony(number);
  else
    DialByTerminal(number);
}

QB_EXPORT int ConfigurePlugin(void) {
  PhoneState& st = St();
  int action = st.default_action;
  int show = st.show_type_info;
  char* terminal = qb::fieldtype::HeapCopy(st.terminal);
  qb::dlg::DlgBuilder dialog(60, 17, "Phone_Config");
  dialog.AddFrame(Msg(0));
  dialog.Make<qb::dlg::DlgText>(5, 3, 0, Msg(14));
  dialog.Make<qb::dlg::DlgRadioButton>(5, 4, DIF_GROUP, Msg(15), &action, kTelephony);
  dialog.Make<qb::dlg::DlgRadioButton>(5, 5, 0, Msg(16), &action, kTerminal);
  dialog.Make<qb::dlg::DlgRadioButton>(5, 6, 0, Msg(17), &action, kAsk);
  dialog.Make<qb::dlg::DlgText>(5, 8, 0, Msg(18));
  dialog.Make<qb::dlg::DlgEdit>(5, 9, 54, 0, nullptr,
                                std::make_unique<qb::dlg::DlgStrBinding>(&terminal), DI_EDIT);
  dialog.Make<qb::dlg::DlgCheckBox>(5, 11, 0, Msg(19), &show);
  dialog.AddButtons(0, 1);
  const bool accepted = dialog.Run() == 0;
  if (accepted) {
    st.default_action = action;
    st.show_type_info = show;
    st.terminal = terminal != nullptr ? terminal : "";
  }
  std::free(terminal);
  return accepted ? 1 : 0;
}

}  // extern "C"

// ---- vCard: a number is the card's TEL, its kind marks the TEL's types ----

namespace {

namespace vc = qb::fieldtype::vcard;

// The vCard type of each kind mark, in the order of the marks' bits.
constexpr const char* kKindTypes[] = {"voice", "fax", "modem", "cell"};
// A number without marks: a TEL without a kind type is a voice number to every other program.
constexpr char kNoKind[] = "x-none";

}  // namespace

extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  const auto field = qb::fieldtype::ReadField(data, size, type);
  std::vector<vc::Param> params;
  for (int i = 0; i < 4; ++i) {
    if ((type & (1u << i)) != 0) params.push_back({"TYPE", kKindTypes[i]});
  }
  if (params.empty()) params.push_back({"TYPE", kNoKind});
  vc::WriteOneLine(writer, "TEL", params, field.text);
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  if (vc::IsGroupLabelOf(card, count, index, "TEL")) return VCARD_CONSUMED;
  const VCardProperty& prop = card[index];
  // A pager's number belongs to the Pager type, which knows its provider.
  if (std::strcmp(prop.Name, "TEL") != 0 || vc::HasType(prop, "pager")) return VCARD_NOT_MINE;
  std::string number = prop.Value;
  if (vc::StartsWithText(number, "tel:")) {
    // A tel: URI (VALUE=uri): the number, without the URI's own parameters.
    number.erase(0, 4);
    number = number.substr(0, number.find(';'));
  }
  if (number.empty()) return VCARD_CONSUMED;
  uint32_t marks = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    if (vc::HasType(prop, kKindTypes[i])) marks |= 1u << i;
  }
  if (vc::HasType(prop, "iphone") || vc::HasType(prop, "mobile")) marks |= 8;
  if (marks == 0 && !vc::HasType(prop, kNoKind)) marks = 1;
  return vc::TextField(vc::OneLineText(card, count, index, number), FTID_PHONE | marks, new_data,
                       new_size, new_type);
}
