// Where a key goes once no menu, dialog or message is open: to the command line while it holds
// text, then to the plug-in's ProcessKey on a plug-in panel, then to the host's own panel keys;
// Alt with a character the plug-in left opens the quick search (quick_search.h); a character
// nobody took starts a command. A click on a panel picks the item under it.
#pragma once

#include "host/core/panel_commands.h"
#include "host/frontend.h"

namespace qb::host {

class Host;

class KeyDispatcher {
 public:
  explicit KeyDispatcher(Host& host) : host_(host), commands_(host) {}

  void HandleKey(const Event& ev);
  // A left click: the panel under it becomes active and the item under the pointer current.
  // (Clicks on the key bar have become function keys before they get here.)
  void HandleClick(const Event& ev);

 private:
  // The command line's key; true when it took it.
  bool CommandLineKey(const Event& ev);
  // ProcessKey on the active plug-in panel; true when the plug-in handled the key.
  bool PassToPlugin(const Event& ev);
  // The host's own keys on the active panel; true when the key is one.
  bool PanelKey(const Event& ev);

  Host& host_;
  PanelCommands commands_;
};

}  // namespace qb::host
