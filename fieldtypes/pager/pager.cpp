// Pager.qbl: a pager subscriber: the number of the subscriber and the provider that carries
// messages to it. The providers are the user's own list (providers.h); Enter offers every way the
// field's provider allows (dial an operator, open its web gateway, write to its e-mail gateway) and
// carries out the chosen one through the telephony library, the process layer or the mail library.
//
// Field contents: the provider's identifier (signed 32 bits, -1 for none), then the number as a
// zero-terminated text, which may end in "#" and a comment.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fieldtypes/pager/providers.h"
#include "platform/codepage/codepage.h"
#include "platform/mapi/mapi_client.h"
#include "platform/process/process.h"
#include "platform/telephony/tapi_client.h"
#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

using qb::fieldtype::Field;
using qb::fieldtype::Msg;
using qb::pager::FindProvider;
using qb::pager::Provider;
using qb::pager::State;

constexpr uint32_t kIdSize = 4;
constexpr uint32_t kMenuFlags = FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT;
constexpr uint32_t kComposeFlags = MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG;

int32_t ProviderOf(const Field& field) {
  int32_t id = qb::pager::kNoProvider;
  if (field.data != nullptr && field.size >= kIdSize) std::memcpy(&id, field.data, kIdSize);
  return id;
}

// The subscriber number: the text before its comment.
std::string NumberOf(const Field& field) {
  char* value = StdOneLineDescription(field.text.c_str());
  std::string number = value != nullptr ? value : field.text;
  Free(value);
  return number;
}

void Startup(HKEY settings) {
  qb::dlg::SetHost(&qb::fieldtype::HostInfo());
  qb::pager::LoadSettings(settings);
}

void Exit(HKEY settings) {
  qb::pager::SaveSettings(settings);
  State().providers.clear();
}

// " (name)" and " (phones)" after the number, as the settings ask, when the provider is known.
std::string PanelSuffix(const Field& field) {
  const auto& st = State();
  if (st.show_provider == 0 && st.show_phones == 0) return "";
  const Provider* provider = FindProvider(ProviderOf(field));
  if (provider == nullptr) return "";
  std::string suffix;
  if (st.show_provider != 0) suffix += " (" + provider->name + ")";
  if (st.show_phones != 0) suffix += " (" + provider->phones + ")";
  return suffix;
}

// A new field's data: the identifier, then the number with its zero.
bool MakeField(int32_t id, const char* number, void** new_data, uint32_t* new_size) {
  const size_t length = std::strlen(number);
  const auto size = static_cast<uint32_t>(length + kIdSize + 1);
  auto* data = static_cast<char*>(Malloc(size));
  if (data == nullptr) return false;
  std::memcpy(data, &id, kIdSize);
  std::memcpy(data + kIdSize, number, length + 1);
  if (new_data != nullptr)
    *new_data = data;
  else
    Free(data);
  if (new_size != nullptr) *new_size = size;
  return true;
}

// The index of the provider with this identifier, or -1.
int IndexOf(int32_t id) {
  const auto& list = State().providers;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].id == id) return static_cast<int>(i);
  return -1;
}

int Edit(const Field& field, void** new_data, uint32_t* new_size, FieldTypeId* new_type, int edit) {
  if (edit == 0) return 0;
  const bool present = field.data != nullptr;
  const int32_t original = present ? ProviderOf(field) : qb::pager::kNoProvider;
  // The dialog's binding owns this text (C heap, the one behind Free) while it runs.
  char* number = qb::fieldtype::HeapCopy(present ? field.text : std::string());
  int selected = IndexOf(original);
  // The selection is kept by identifier while the configuration may reorder the list.
  int32_t selected_id = original;
  for (;;) {
    const auto& list = State().providers;
    selected = IndexOf(original) >= 0 ? IndexOf(original) : IndexOf(selected_id);
    int result;
    {
      using namespace qb::dlg;
      DlgBuilder dialog(60, static_cast<int>(list.size()) + 12, "Pager_EditDlg");
      dialog.AddFrame(Msg(0));
      dialog.Make<DlgText>(5, 3, 0, Msg(1));
      dialog.Make<DlgEdit>(15, 3, 54, 0, nullptr, std::make_unique<DlgStrBinding>(&number),
                           DI_EDIT);
      dialog.Make<DlgText>(5, 5, 0, Msg(2));
      dialog.Make<DlgRadioButton>(5, 6, DIF_GROUP, Msg(3), &selected, -1);
      for (size_t i = 0; i < list.size(); ++i)
        dialog.Make<DlgRadioButton>(5, 7 + static_cast<int>(i), 0, list[i].name.c_str(), &selected,
                                    static_cast<int>(i));
      const int configure = dialog.count();
      dialog.Make<DlgButton>(41, 5, 0, false, Msg(4));
      dialog.AddButtons(0, 1);
      result = dialog.Run({configure, -2});
    }
    selected_id = selected >= 0 && selected < static_cast<int>(State().providers.size())
                      ? State().providers[static_cast<size_t>(selected)].id
                      : qb::pager::kNoProvider;
    if (result == 0) {
      qb::pager::RunConfiguration();
      continue;
    }
    if (result != 1) {
      std::free(number);
      return 0;
    }
    break;
  }
  const int32_t id = IndexOf(selected_id) >= 0 ? selected_id : qb::pager::kNoProvider;
  const bool made = MakeField(id, number != nullptr ? number : "", new_data, new_size);
  std::free(number);
  if (!made) return 0;
  if (new_type != nullptr) *new_type = FTID_PAGER;
  return 1;
}

// A console text in the ANSI code page (both are UTF-8: a copy).
std::string ToAnsi(const std::string& text) {
  std::vector<char> out(text.size() + 1);
  return std::string(out.data(), qb::codepage::OemToAnsiInto(text.c_str(), out.data(), out.size()));
}

// The mail to the e-mail gateway: the address before the first "?", the subject after it.
void MailTo(const Provider& provider, const std::string& gate) {
  const size_t mark = gate.find('?');
  std::string address = ToAnsi(gate.substr(0, mark));
  std::string subject = mark != std::string::npos ? ToAnsi(gate.substr(mark + 1)) : "";
  std::string recipient_name = ToAnsi(provider.name);
  const HostServices* services = qb::fieldtype::Services();
  std::string sender =
      ToAnsi(services != nullptr && services->UserName != nullptr ? services->UserName : "");

  MapiRecipDesc recipient{};
  recipient.ulRecipClass = MAPI_TO;
  recipient.lpszName = recipient_name.data();
  recipient.lpszAddress = address.data();
  MapiRecipDesc originator{};
  originator.ulRecipClass = MAPI_ORIG;
  originator.lpszName = sender.data();
  MapiMessage message{};
  message.lpszSubject = mark != std::string::npos ? subject.data() : nullptr;
  message.lpOriginator = &originator;
  message.nRecipCount = 1;
  message.lpRecips = &recipient;
  // The composer shows what went wrong, if anything; the result says nothing more to the user.
  qb::mapi::SendThroughMailLibrary(qb::fieldtype::PluginDirectory(), &message, kComposeFlags);
}

enum class Way { kDial, kGoTo, kEMail, kMessenger };

// One way of sending as the menu shows it and as it is carried out: the menu's text is cut to
// its 127 characters, the destination never is.
struct Entry {
  Way way;
  std::string label;        // "Dial: ", "Go to: " ...
  std::string destination;  // the template with the number in it
};

std::vector<Entry> WaysOf(const Provider& provider, const std::string& number) {
  using qb::fieldtype::FillPlaceholders;
  std::vector<Entry> entries;
  const std::string& phones = provider.phones;
  for (size_t start = 0; start <= phones.size();) {
    size_t comma = phones.find(',', start);
    if (comma == std::string::npos) comma = phones.size();
    if (comma > start)
      entries.push_back({Way::kDial, "Dial: ",
                         FillPlaceholders(phones.substr(start, comma - start), 'n', number)});
    start = comma + 1;
  }
  if ((provider.flags & qb::pager::kWebGate) != 0)
    entries.push_back({Way::kGoTo, "Go to: ", FillPlaceholders(provider.web_gate, 'n', number)});
  if ((provider.flags & qb::pager::kEMailGate) != 0)
    entries.push_back(
        {Way::kEMail, "Email to: ", FillPlaceholders(provider.email_gate, 'n', number)});
  if ((provider.flags & qb::pager::kMessengerGate) != 0)
    entries.push_back({Way::kMessenger, "Messenger to: ", std::to_string(provider.messenger_gate)});
  return entries;
}

// The entry the user picks: the only one without asking; -1 for Esc.
int Choose(const std::vector<Entry>& entries) {
  if (entries.size() == 1) return 0;
  const PluginStartupInfo& info = qb::fieldtype::HostInfo();
  if (info.Menu == nullptr) return -1;
  std::vector<FarMenuItem> items(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string text = entries[i].label + entries[i].destination;
    qb::dlg::CopyCut(items[i].Text, sizeof items[i].Text, text.c_str());
  }
  return info.Menu(info.ModuleNumber, -1, -1, 0, kMenuFlags, "Send message", nullptr,
                   "Pager_SendingMenu", nullptr, nullptr, items.data(),
                   static_cast<int>(items.size()));
}

void Send(const Provider& provider, const Entry& entry) {
  switch (entry.way) {
    case Way::kDial:
      if (qb::telephony::RequestMakeCall(qb::fieldtype::PluginDirectory(),
                                         entry.destination.c_str(), "FAR") != 0)
        ShowError(Msg(7), "Phone_CallFailedError");
      break;
    case Way::kGoTo:
      qb::process::ShellExecute(entry.destination.c_str(), nullptr, "", qb::process::kShowNormal);
      break;
    case Way::kEMail:
      MailTo(provider, entry.destination);
      break;
    case Way::kMessenger:
      ShowError(Msg(8), "Pager_MessengerNotSupportedError");
      break;
  }
}

}  // namespace

const qb::fieldtype::FieldType qb::fieldtype::kFieldType = {
    .module = qb::pager::kModule,
    .token = "G",
    .new_id = FTID_PAGER,
    .block = FTID_PAGER & ~0xFFu,
    .flags = FTF_MULTIPLE,
    .shape = Shape::kOneLine,
    .edit_help = "Pager_EditDlg",
    .settings_key = qb::pager::kModule,
    .text_offset = kIdSize,
    .startup = Startup,
    .exit = Exit,
    .panel_suffix = PanelSuffix,
    .edit = Edit,
};

extern "C" {

QB_EXPORT void DoSomething(const void* data, uint32_t size, FieldTypeId type) {
  const Field field = qb::fieldtype::ReadField(data, size, type);
  const Provider* provider = FindProvider(ProviderOf(field));
  if (provider == nullptr) {
    ShowError(Msg(5), "Pager_NoProviderError");
    return;
  }
  const std::string number = NumberOf(field);
  StringToClipboard(number.c_str());
  const std::vector<Entry> entries = WaysOf(*provider, number);
  if (entries.empty()) {
    ShowError(Msg(6), "Pager_NoMessagingError");
    return;
  }
  const int chosen = Choose(entries);
  if (chosen < 0 || chosen >= static_cast<int>(entries.size())) return;
  Send(*provider, entries[static_cast<size_t>(chosen)]);
}

QB_EXPORT int ConfigurePlugin(void) {
  qb::pager::RunConfiguration();
  return 1;
}

// vCard: a pager is a TEL of the type PAGER; the provider's name and the field's comment go along
// as parameters of our own.
QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                          const VCardWriter* writer) {
  if (writer == nullptr || writer->Add == nullptr) return;
  const Field field = qb::fieldtype::ReadField(data, size, type);
  const std::string number = NumberOf(field);
  if (number.empty()) return;  // nothing to reach
  const size_t hash = field.text.rfind('#');
  const std::string label = hash != std::string::npos ? field.text.substr(hash + 1) : "";
  std::vector<VCardParam> params = {{"TYPE", "PAGER"}};
  if (const Provider* provider = FindProvider(ProviderOf(field)))
    params.push_back({"X-QB-PROVIDER", provider->name.c_str()});
  if (!label.empty()) params.push_back({qb::fieldtype::vcard::kLabelParam, label.c_str()});
  const char* components[] = {number.c_str()};
  writer->Add(writer->Context, "TEL", params.data(), static_cast<uint32_t>(params.size()),
              components, 1);
}

QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index, void** new_data,
                        uint32_t* new_size, FieldTypeId* new_type) {
  if (card == nullptr || index >= count || new_data == nullptr) return VCARD_NOT_MINE;
  const VCardProperty& property = card[index];
  if (property.Name == nullptr || std::strcmp(property.Name, "TEL") != 0) return VCARD_NOT_MINE;
  bool pager = false;
  std::string provider_name;
  for (uint32_t i = 0; property.Params != nullptr && i < property.ParamCount; ++i) {
    const VCardParam& p = property.Params[i];
    if (p.Name == nullptr || p.Value == nullptr) continue;
    if (std::strcmp(p.Name, "TYPE") == 0 && strcasecmp(p.Value, "PAGER") == 0) pager = true;
    if (std::strcmp(p.Name, "X-QB-PROVIDER") == 0) provider_name = p.Value;
  }
  if (!pager) return VCARD_NOT_MINE;
  std::string text = property.Value != nullptr ? property.Value : "";
  if (strncasecmp(text.c_str(), "tel:", 4) == 0) text.erase(0, 4);
  std::string label;
  text = qb::fieldtype::OneLineText(text, false);
  if (qb::fieldtype::vcard::LabelOf(card, count, index, &label))
    label = qb::fieldtype::OneLineText(label, true);
  if (!label.empty()) text += "#" + label;
  int32_t id = qb::pager::kNoProvider;
  for (const Provider& p : State().providers)
    if (!provider_name.empty() && strcasecmp(p.name.c_str(), provider_name.c_str()) == 0) {
      id = p.id;
      break;
    }
  if (!MakeField(id, text.c_str(), new_data, new_size)) return VCARD_NOT_MINE;
  if (new_type != nullptr) *new_type = FTID_PAGER;
  return VCARD_FIELD;
}

}  // extern "C"
