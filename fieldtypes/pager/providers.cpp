#include "fieldtypes/pager/providers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"
#include "shared/fieldtype/field_type.h"

namespace qb::pager {

namespace {

using qb::fieldtype::MainMsg;
using qb::fieldtype::Msg;

// Sub-key names the registry hands over are read into a buffer of this many bytes; a longer
// name ends the loading, as any failed enumeration does.
constexpr size_t kNameBuffer = 256;
constexpr uint32_t kMenuFlags = FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT;

std::string ReadText(HKEY key, const char* name, const char* def) {
  std::string text(RegReadText(key, name, def, nullptr, 0) + 1, '\0');
  text.resize(RegReadText(key, name, def, text.data(), text.size()));
  return text;
}

int32_t ReadAnyNumber(HKEY key, const char* name) {
  return RegReadNumber(key, name, 0, INT32_MIN, INT32_MAX);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A provider's name is the name of its registry key: one that is empty, names a path ("\") or
// is taken by another provider (key names ignore case) would lose the provider, or another one,
// at the next start.
bool NameFits(const char* text, const Provider* editing) {
  const std::string name = text != nullptr ? text : "";
  bool taken = false;
  for (const Provider& p : State().providers)
    if (&p != editing && SameName(p.name, name)) taken = true;
  if (name.empty() || name.size() >= kNameBuffer || name.find('\\') != std::string::npos || taken) {
    ShowError(Msg(22), "Pager_ConfigProvider");
    return false;
  }
  return true;
}

// The provider dialog on a working copy; true when accepted (the copy then holds the result).
bool EditProvider(Provider& provider, const Provider* editing) {
  char* name = qb::fieldtype::HeapCopy(provider.name);
  char* phones = qb::fieldtype::HeapCopy(provider.phones);
  char* web = qb::fieldtype::HeapCopy(provider.web_gate);
  char* email = qb::fieldtype::HeapCopy(provider.email_gate);
  int flags = provider.flags;
  int messenger = provider.messenger_gate;
  using namespace qb::dlg;
  DlgBuilder dialog(60, 13, "Pager_ConfigProvider");
  dialog.AddFrame(Msg(13));
  dialog.Make<DlgText>(5, 3, 0, Msg(14));
  dialog.Make<DlgEdit>(21, 3, 54, 0, nullptr,
                       std::make_unique<DlgStrBinding>(
                           &name, [editing](const char* text) { return NameFits(text, editing); }),
                       DI_EDIT);
  dialog.Make<DlgText>(5, 4, 0, Msg(15));
  dialog.Make<DlgEdit>(21, 4, 54, 0, nullptr, std::make_unique<DlgStrBinding>(&phones), DI_EDIT);
  dialog.Make<DlgFlagCheckBox>(5, 5, 0, Msg(16), &flags, kWebGate);
  dialog.Make<DlgEdit>(21, 5, 54, 0, nullptr, std::make_unique<DlgStrBinding>(&web), DI_EDIT);
  dialog.Make<DlgFlagCheckBox>(5, 6, 0, Msg(17), &flags, kEMailGate);
  dialog.Make<DlgEdit>(21, 6, 54, 0, nullptr, std::make_unique<DlgStrBinding>(&email), DI_EDIT);
  dialog.Make<DlgFlagCheckBox>(5, 7, 0, Msg(18), &flags, kMessengerGate);
  dialog.Make<DlgEdit>(21, 7, 31, 0, nullptr,
                       std::make_unique<DlgIntBinding>(&messenger, INT32_MIN, INT32_MAX,
                                                       MainMsg(11), "Pager_ConfigProvider"),
                       DI_EDIT);
  dialog.AddButtons(0, 1);
  const bool accepted = dialog.Run() == 0;
  if (accepted) {
    auto take = [](char* text) { return std::string(text != nullptr ? text : ""); };
    provider.name = take(name);
    provider.phones = take(phones);
    provider.web_gate = take(web);
    provider.email_gate = take(email);
    provider.flags = flags;
    provider.messenger_gate = messenger;
  }
  for (char* text : {name, phones, web, email}) std::free(text);
  return accepted;
}

// One greater than every identifier in the list, and at least 0; the smallest free one when the
// greatest is already the largest number there is.
int32_t NewIdentifier() {
  const auto& list = State().providers;
  int32_t greatest = -1;
  for (const Provider& p : list) greatest = std::max(greatest, p.id);
  if (greatest < INT32_MAX) return greatest + 1;
  for (int32_t id = 0;; ++id)
    if (FindProvider(id) == nullptr) return id;
}

bool ConfirmDelete(const Provider& provider) {
  const PluginStartupInfo& info = qb::fieldtype::HostInfo();
  if (info.Message == nullptr) return false;
  const char* lines[] = {Msg(20), Msg(21), provider.name.c_str(), MainMsg(0), MainMsg(1)};
  return info.Message(info.ModuleNumber, FMSG_WARNING, "Pager_DeleteProviderMsg", lines, 5, 2) == 0;
}

void CommonSettings() {
  PagerState& st = State();
  qb::dlg::DlgBuilder dialog(60, 10, "Pager_ConfigCommon");
  dialog.AddFrame(Msg(9));
  dialog.Make<qb::dlg::DlgCheckBox>(5, 3, 0, Msg(11), &st.show_provider);
  dialog.Make<qb::dlg::DlgCheckBox>(5, 4, 0, Msg(12), &st.show_phones);
  dialog.AddButtons(0, 1);
  dialog.Run();
}

void ProviderMenu() {
  const PluginStartupInfo& info = qb::fieldtype::HostInfo();
  if (info.Menu == nullptr) return;
  static const int kBreakKeys[] = {VK_INSERT, VK_DELETE, VK_F4, 0};
  auto& list = State().providers;
  int position = 0;
  for (;;) {
    std::vector<FarMenuItem> items(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      qb::dlg::CopyCut(items[i].Text, sizeof items[i].Text, list[i].name.c_str());
      items[i].Selected = static_cast<int>(i) == position ? 1 : 0;
    }
    int break_code = -1;
    const int chosen = info.Menu(info.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, Msg(10),
                                 "Ins,Del,F4", "Pager_ConfigProviders", kBreakKeys, &break_code,
                                 items.data(), static_cast<int>(items.size()));
    const bool on_entry = chosen >= 0 && chosen < static_cast<int>(list.size());
    if (on_entry) position = chosen;
    if (break_code == 0) {
      Provider added;
      added.name = Msg(19);
      if (EditProvider(added, nullptr)) {
        added.id = NewIdentifier();
        list.push_back(std::move(added));
        position = static_cast<int>(list.size()) - 1;
      }
    } else if (break_code == 1) {
      if (on_entry && ConfirmDelete(list[static_cast<size_t>(chosen)])) {
        list.erase(list.begin() + chosen);
        position = std::min(position, static_cast<int>(list.size()) - 1);
      }
    } else if (on_entry) {  // F4 or Enter
      Provider& provider = list[static_cast<size_t>(chosen)];
      Provider copy = provider;
      if (EditProvider(copy, &provider)) provider = std::move(copy);
    } else if (break_code < 0) {
      return;  // Esc
    }
  }
}

}  // namespace

PagerState& State() {
  static PagerState state;
  return state;
}

const Provider* FindProvider(int32_t id) {
  for (const Provider& p : State().providers)
    if (p.id == id) return &p;
  return nullptr;
}

void LoadSettings(HKEY key) {
  PagerState& st = State();
  st.show_provider = RegReadNumber(key, "ShowProvider", 0, 0, 1);
  st.show_phones = RegReadNumber(key, "ShowPhones", 1, 0, 1);
  st.providers.clear();
  char name[kNameBuffer];
  for (uint32_t index = 0;; ++index) {
    const int length = RegEnumSubKey(key, index, name, sizeof name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof name) break;
    HKEY sub = RegOpenSubKey(key, name, 0);
    if (sub == nullptr) break;
    Provider p;
    p.name = name;
    p.id = ReadAnyNumber(sub, "ID");
    p.flags = ReadAnyNumber(sub, "Flags");
    p.messenger_gate = ReadAnyNumber(sub, "MessengerGate");
    p.phones = ReadText(sub, "Phones", kDefaultPhones);
    p.web_gate = ReadText(sub, "WWWGate", kDefaultWebGate);
    p.email_gate = ReadText(sub, "EMailGate", kDefaultEMailGate);
    CloseRegKey(sub);
    st.providers.push_back(std::move(p));
  }
}

void SaveSettings(HKEY key) {
  if (key == nullptr) return;
  const PagerState& st = State();
  RegWriteNumber(key, "ShowProvider", st.show_provider);
  RegWriteNumber(key, "ShowPhones", st.show_phones);
  // The first sub-key, again and again, until none is left (or one will not go).
  std::vector<char> name(kNameBuffer);
  for (;;) {
    int length = RegEnumSubKey(key, 0, name.data(), name.size());
    if (length < 0) break;
    if (static_cast<size_t>(length) >= name.size()) {
      name.resize(static_cast<size_t>(length) + 1);
      continue;
    }
    if (RegDeleteSubKey(key, name.data()) == 0) break;
  }
  for (const Provider& p : st.providers) {
    HKEY sub = RegOpenSubKey(key, p.name.c_str(), 1);
    if (sub == nullptr) continue;
    RegWriteNumber(sub, "ID", p.id);
    RegWriteNumber(sub, "Flags", p.flags);
    RegWriteText(sub, "Phones", p.phones.c_str());
    RegWriteText(sub, "WWWGate", p.web_gate.c_str());
    RegWriteText(sub, "EMailGate", p.email_gate.c_str());
    RegWriteNumber(sub, "MessengerGate", p.messenger_gate);
    CloseRegKey(sub);
  }
}

void RunConfiguration() {
  const PluginStartupInfo& info = qb::fieldtype::HostInfo();
  if (info.Menu == nullptr) return;
  int position = 0;
  for (;;) {
    FarMenuItem items[2]{};
    qb::dlg::CopyCut(items[0].Text, sizeof items[0].Text, Msg(9));
    qb::dlg::CopyCut(items[1].Text, sizeof items[1].Text, Msg(10));
    items[position].Selected = 1;
    const int chosen = info.Menu(info.ModuleNumber, -1, -1, 0, kMenuFlags, Msg(0), nullptr,
                                 "Pager_Config", nullptr, nullptr, items, 2);
    if (chosen < 0 || chosen > 1) return;
    position = chosen;
    if (chosen == 0)
      CommonSettings();
    else
      ProviderMenu();
  }
}

}  // namespace qb::pager
