// Pager's paging providers: the list the user keeps, its settings, its place in the registry and
// its configuration menus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/services.h"

namespace qb::pager {

inline constexpr const char* kModule = "Pager";
// Gateway flags of a provider.
inline constexpr int32_t kWebGate = 1;
inline constexpr int32_t kEMailGate = 2;
inline constexpr int32_t kMessengerGate = 4;
// What a field stores when it has no provider.
inline constexpr int32_t kNoProvider = -1;

// Gateways of a provider added or read without them: hosts of the domain kept for examples, so
// that no message goes to a real operator before the user says where.
inline constexpr const char* kDefaultPhones = "053";
inline constexpr const char* kDefaultWebGate = "https://pager.example.net/<N>";
inline constexpr const char* kDefaultEMailGate = "<N>@pager.example.net?Msg to<N>";

struct Provider {
  std::string name;
  int32_t id = 0;
  int32_t flags = 0;
  std::string phones = kDefaultPhones;
  std::string web_gate = kDefaultWebGate;
  std::string email_gate = kDefaultEMailGate;
  int32_t messenger_gate = 0;
};

struct PagerState {
  int show_provider = 0;
  int show_phones = 1;
  std::vector<Provider> providers;
};

PagerState& State();

// The provider with this identifier, or null.
const Provider* FindProvider(int32_t id);

// Reads the two settings and the provider list from the type's key (null: the defaults, no
// providers).
void LoadSettings(HKEY key);
// Writes the two settings and replaces every provider sub-key by the list as it is now.
void SaveSettings(HKEY key);

// The configuration menu: common settings and the providers, until Esc.
void RunConfiguration();

}  // namespace qb::pager
