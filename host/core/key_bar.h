// The key bar on the screen's last row: the labels of F1 to F12 for the modifiers held, the
// host's own or the plug-in panel's. A modifier held alone shows its layer until the next key;
// a click on a label is that function key with the layer's modifiers.
#pragma once

#include "host/core/panel.h"
#include "host/frontend.h"
#include "host/screen.h"

namespace qb::host {

class KeyBar {
 public:
  // Shows the layer of the modifiers of a modifier key held alone (PKF_ bits).
  void ShowLayerOf(unsigned control);
  // Back to the plain layer (any other key).
  void Reset() { layer_ = kLayerPlain; }
  int layer() const { return layer_; }

  // The key a click on column x of a screen `cols` wide makes: the function key of the label
  // there with the modifiers of the layer shown; an event of kind kNone where there is no label.
  Event KeyAt(int x, int cols) const;

  // Draws the bar on row y. A plug-in panel's labels replace the host's where it gives them.
  void Draw(Screen& s, int y, const Panel& active) const;

 private:
  int layer_ = kLayerPlain;
};

}  // namespace qb::host
