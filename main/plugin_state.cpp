// The one process-wide state object of the main library.
#include "main/plugin_state.h"

namespace qb::main {

PluginState& State() {
  // Built on first use, so every translation unit sees it constructed whatever the order of
  // static initialisation; it lives until the library is unloaded.
  static PluginState state;
  return state;
}

}  // namespace qb::main
