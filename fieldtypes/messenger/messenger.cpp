// Messenger.qbl: a contact's number in an instant-messenger network, optionally followed by "#"
// and a comment ("123456#home"). Everything it does goes through the messenger client's interface
// library (MessengerMAPI.so, loaded by name from the plug-in directory): Enter opens a message to
// the contact, a file copied onto the record is sent to the contact, and every 5 seconds the list
// of contacts online is fetched, so that online numbers carry "*" in the panel and are announced
// when a book panel opens or at the host's start. Its texts are its own (no language module).
#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fieldtypes/messenger/online_list.h"
#include "platform/messenger/messenger_api.h"
#include "sdk/host_exports.h"
#include "shared/dialog/dialog.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

using qb::fieldtype::Field;

constexpr const char* kTypeName = "Messenger number";
constexpr const char* kEditHelp = "Messenger_EditDlg";
constexpr FieldTypeId kNewId = FTID_MESSENGER;
// FTF_MULTIPLE, FTEV_OPEN, the enter event (which the main library does not raise), FTEV_SCAN,
// FTEV_START and FTEV_BEFORE.
constexpr uint32_t kEnterEvent = 0x2000;
constexpr uint32_t kFlags =
    FTF_MULTIPLE | FTEV_OPEN | kEnterEvent | FTEV_SCAN | FTEV_START | FTEV_BEFORE;
constexpr uint32_t kPollMs = 5000;

struct Client {
  void* library = nullptr;
  PFN_MessengerAPICall_SendMessage send_message = nullptr;
  PFN_MessengerAPICall_SendFile send_file = nullptr;
  PFN_MessengerAPICall_GetOnlineListDetails online_list = nullptr;
};

struct MessengerState {
  int asterisk = 1;
  int start_notify = 1;
  int enter_notify = 1;
  Client client;
  std::vector<int32_t> online;  // empty until the first refresh
  uintptr_t timer = 0;
};

MessengerState& St() {
  static MessengerState state;
  return state;
}

// The contact number of a field text: a decimal conversion after optional blanks and a sign that
// stops at the first non-digit; beyond 32 bits it stays at the limit.
int32_t NumberOf(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

bool Online(const Field& field) {
  const auto& online = St().online;
  return std::find(online.begin(), online.end(), NumberOf(field.text)) != online.end();
}

bool Marked(const Field& field) {
  return St().asterisk != 0 && Online(field);
}

// Fetches the online list from the client; the client's answer (0 when it failed or is missing).
int Refresh() {
  MessengerState& st = St();
  int32_t count = 0;
  const void* const* list = nullptr;
  const int answer = st.client.online_list != nullptr ? st.client.online_list(&count, &list) : 0;
  st.online = answer != 0 ? qb::messenger::OnlineNumbers(count, list) : std::vector<int32_t>{};
  return answer;
}

void Poll(uintptr_t, uint32_t) {
  Refresh();
}

template <typename Fn>
Fn Bind(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

void BindClient() {
  Client& client = St().client;
  if (client.library != nullptr) return;
  const std::string path = qb::fieldtype::PluginDirectory() + QB_MESSENGER_LIBRARY;
  client.library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (client.library == nullptr) return;
  client.send_message =
      Bind<PFN_MessengerAPICall_SendMessage>(client.library, QB_MESSENGER_SEND_MESSAGE);
  client.send_file = Bind<PFN_MessengerAPICall_SendFile>(client.library, QB_MESSENGER_SEND_FILE);
  client.online_list =
      Bind<PFN_MessengerAPICall_GetOnlineListDetails>(client.library, QB_MESSENGER_GET_ONLINE_LIST);
}

void Startup(HKEY settings) {
  MessengerState& st = St();
  qb::dlg::SetHost(&qb::fieldtype::HostInfo());
  BindClient();
  // The host's timers are found among the program's symbols; another host has none, and then
  // the list is fetched before each walk only.
  if (st.timer == 0)
    if (auto set_timer = reinterpret_cast<PFN_QbSetTimer>(dlsym(RTLD_DEFAULT, QB_SET_TIMER_NAME)))
      st.timer = set_timer(kPollMs, Poll);
  st.asterisk = RegReadNumber(settings, "Asterisk", 1, 0, 1);
  st.start_notify = RegReadNumber(settings, "StartNotify", 1, 0, 1);
  st.enter_notify = RegReadNumber(settings, "EnterNotify", 1, 0, 1);
}

void Exit(HKEY settings) {
  MessengerState& st = St();
  RegWriteNumber(settings, "Asterisk", st.asterisk);
  RegWriteNumber(settings, "StartNotify", st.start_notify);
  RegWriteNumber(settings, "EnterNotify", st.enter_notify);
  if (st.timer != 0)
    if (auto kill_timer =
            reinterpret_cast<PFN_QbKillTimer>(dlsym(RTLD_DEFAULT, QB_KILL_TIMER_NAME)))
      kill_timer(st.timer);
  st.timer = 0;
  st.online.clear();
  if (st.client.library != nullptr) dlclose(st.client.library);
  st.client = Client{};
}

char* Description(const Field& field) {
  char* text = StdOneLineDescription(field.text.c_str());
  if (text == nullptr || !Marked(field)) return text;
  const size_t length = std::strlen(text);
  auto* longer = static_cast<char*>(Realloc(text, static_cast<uint32_t>(length + 2)));
  if (longer == nullptr) return text;
  longer[length] = '*';
  longer[length + 1] = '\0';
  return longer;
}

std::string PanelSuffix(const Field& field) {
  return Marked(field) ? "*" : "";
}

// A text the field takes: one that begins with a decimal number after optional blanks, or one of
// blanks only (the empty text included).
bool Acceptable(const char* text) {
  const char* p = text != nullptr ? text : "";
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0' || std::isdigit(static_cast<unsigned char>(*p)) != 0;
}

int Edit(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type, int edit) {
  const bool present = field.data != nullptr;
  const char* text = present ? field.text.c_str() : nullptr;
  const auto size = static_cast<uint32_t>(present ? field.text.size() + 1 : 0);
  if (edit == 0) {
    StdEditSingleLine(kTypeName, kEditHelp, text, size, nullptr, nullptr, 0);
    return 1;
  }
  for (;;) {
    char* typed = nullptr;
    uint32_t typed_size = 0;
    if (StdEditSingleLine(kTypeName, kEditHelp, text, size, &typed, &typed_size, 1) == 0) return 0;
    if (Acceptable(typed)) {
      if (new_data != nullptr)
        *new_data = typed;
      else
        Free(typed);
      if (new_size != nullptr) *new_size = typed_size;
      if (new_type != nullptr) *new_type = kNewId;
      return 1;
    }
    // Not a number: asked again, from the field as it was.
    Free(typed);
    if (new_data != nullptr) *new_data = nullptr;
    if (new_size != nullptr) *new_size = 0;
  }
}

// The online notice for one field.
void Announce() {
  const PluginStartupInfo& info = qb::fieldtype::HostInfo();
  if (info.Message == nullptr) return;
  const HostServices* services = qb::fieldtype::Services();
  const char* record =
      services != nullptr && services->CurrentRecord != nullptr ? services->CurrentRecord : "";
  const char* lines[] = {"Person Online", record, "is currently online", "OK"};
  info.Message(info.ModuleNumber, 0, "Messenger_OnlineMsg", lines, 4, 1);
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = nullptr,
    .fixed_name = kTypeName,
    .token = "M",
    .new_id = kNewId,
    .block = kNewId & ~0xFFu,
    .flags = kFlags,
    .shape = Shape::kOneLine,
    .edit_help = kEditHelp,
    .settings_key = "Messenger",
    .startup = Startup,
    .exit = Exit,
    .panel_suffix = PanelSuffix,
    .description = Description,
    .edit = Edit,
};

extern "C" {

QB_EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  const Field field = qb::fieldtype::ReadField(data, size, type);
  const auto send = St().client.send_message;
  if (send == nullptr || send(NumberOf(field.text), "") == 0)
    ShowError("Cannot send Messenger message", "Messenger_MessageSendError");
}

QB_EXPORT int SendFile(const void* data, uint32_t size, FieldTypeId type, const char* path) {
  const Field field = qb::fieldtype::ReadField(data, size, type);
  const auto send = St().client.send_file;
  if (path != nullptr && send != nullptr && send(NumberOf(field.text), path) != 0) return 1;
  ShowError("Cannot send file via Messenger", path != nullptr ? path : "", "Messenger_SendError");
  return 0;
}

QB_EXPORT int OnEnter(const void* data, uint32_t size, FieldTypeId type, uint32_t event,
                      uint32_t call) {
  const MessengerState& st = St();
  if (call == FTEV_BEFORE) {
    if ((event == FTEV_OPEN || event == FTEV_START) && st.start_notify == 0) return 0;
    if (event == kEnterEvent && st.enter_notify == 0) return 0;
    return Refresh();
  }
  if (call != 0) return 1;
  if (Online(qb::fieldtype::ReadField(data, size, type))) Announce();
  return 1;
}

QB_EXPORT int ConfigurePlugin(void) {
  MessengerState& st = St();
  qb::dlg::DlgBuilder dialog(60, 11, "Messenger_Config");
  dialog.AddFrame(kTypeName);
  dialog.Make<qb::dlg::DlgCheckBox>(5, 3, 0, "Add &asterisk if online", &st.asterisk);
  dialog.Make<qb::dlg::DlgCheckBox>(5, 4, 0, "Notify on &start", &st.start_notify);
  dialog.Make<qb::dlg::DlgCheckBox>(5, 5, 0, "Notify on &enter", &st.enter_notify);
  dialog.AddButtons(0, 1);
  return dialog.Run() >= 0 ? 1 : 0;
}

// vCard: the number as an ICQ address of IMPP ("icq:123456"), the comment as its label (X-LABEL,
// as every one-line field writes it); an X-ICQ property of other programs is read as well.
QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                          const VCardWriter* writer) {
  if (writer == nullptr || writer->Add == nullptr) return;
  const Field field = qb::fieldtype::ReadField(data, size, type);
  size_t start = field.text.find_first_not_of(" \t");
  if (start == std::string::npos || !std::isdigit(static_cast<unsigned char>(field.text[start])))
    return;  // no number to write
  const std::string value = "icq:" + std::to_string(NumberOf(field.text));
  const size_t hash = field.text.rfind('#');
  const std::string label = hash != std::string::npos ? field.text.substr(hash + 1) : "";
  const VCardParam params[] = {{qb::fieldtype::vcard::kLabelParam, label.c_str()}};
  const char* components[] = {value.c_str()};
  writer->Add(writer->Context, "IMPP", params, label.empty() ? 0 : 1, components, 1);
}

QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index, void** new_data,
                        uint32_t* new_size, FieldTypeId* new_type) {
  if (card == nullptr || index >= count || new_data == nullptr) return VCARD_NOT_MINE;
  const VCardProperty& property = card[index];
  if (property.Name == nullptr || property.Value == nullptr) return VCARD_NOT_MINE;
  std::string value = property.Value;
  if (std::strcmp(property.Name, "IMPP") == 0) {
    if (strncasecmp(value.c_str(), "icq:", 4) != 0) return VCARD_NOT_MINE;
    value.erase(0, 4);
  } else if (std::strcmp(property.Name, "X-ICQ") != 0) {
    return VCARD_NOT_MINE;
  }
  // Digits only; the groups some programs write ("123-456-789") are joined.
  std::string number;
  for (char c : value) {
    if (std::isdigit(static_cast<unsigned char>(c)))
      number += c;
    else if (c != '-' && c != ' ')
      return VCARD_NOT_MINE;
  }
  if (number.empty() || number.size() > 10 || std::stoll(number) > INT32_MAX) return VCARD_NOT_MINE;
  std::string label;
  if (qb::fieldtype::vcard::LabelOf(card, count, index, &label))
    label = qb::fieldtype::OneLineText(label, true);
  const std::string text = label.empty() ? number : number + "#" + label;
  char* copy = qb::fieldtype::HeapCopy(text);
  if (copy == nullptr) return VCARD_NOT_MINE;
  *new_data = copy;
  if (new_size != nullptr) *new_size = static_cast<uint32_t>(text.size() + 1);
  if (new_type != nullptr) *new_type = kNewId;
  return VCARD_FIELD;
}

}  // extern "C"
