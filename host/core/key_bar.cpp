#include "host/core/key_bar.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/core/colors.h"
#include "host/core/host_text.h"
#include "sdk/far.h"

namespace qb::host {

namespace {

// The key bar as FAR lays it out: every label the same width (six cells up to 108 columns, more
// on wider screens) with a blank after it; keys whose label would reach the last column are left
// out, so at 80 columns F1 to F10 show. Each entry: the digits' column and the label's end.
std::vector<std::pair<int, int>> KeyBarLayout(int cols) {
  const int label_width = std::max(8, (cols - 1) / 12) - 2;
  std::vector<std::pair<int, int>> keys;
  int x = 0;
  for (int i = 0; i < 12; ++i) {
    if (x + label_width >= cols - 1) break;
    const int digits = i < 9 ? 1 : 2;
    keys.emplace_back(x, x + digits + label_width);
    x += digits + label_width + 1;
  }
  return keys;
}

unsigned LayerControl(int layer) {
  switch (layer) {
    case kLayerCtrl:
      return PKF_CONTROL;
    case kLayerAlt:
      return PKF_ALT;
    case kLayerShift:
      return PKF_SHIFT;
    case kLayerCtrlShift:
      return PKF_CONTROL | PKF_SHIFT;
    case kLayerAltShift:
      return PKF_ALT | PKF_SHIFT;
    case kLayerCtrlAlt:
      return PKF_CONTROL | PKF_ALT;
    default:
      return 0;
  }
}

}  // namespace

void KeyBar::ShowLayerOf(unsigned c) {
  layer_ = c == (PKF_CONTROL | PKF_SHIFT) ? kLayerCtrlShift
           : c == (PKF_ALT | PKF_SHIFT)   ? kLayerAltShift
           : c == (PKF_CONTROL | PKF_ALT) ? kLayerCtrlAlt
           : (c & PKF_CONTROL)            ? kLayerCtrl
           : (c & PKF_ALT)                ? kLayerAlt
           : (c & PKF_SHIFT)              ? kLayerShift
                                          : kLayerPlain;
}

Event KeyBar::KeyAt(int x, int cols) const {
  Event out;
  std::vector<std::pair<int, int>> keys = KeyBarLayout(cols);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (x >= keys[i].first && x < keys[i].second) {
      out.kind = Event::kKey;
      out.vk = VK_F1 + static_cast<int>(i);
      out.control = LayerControl(layer_);
      break;
    }
  }
  return out;
}

void KeyBar::Draw(Screen& s, int y, const Panel& p) const {
  using enum HostText;
  const HostText kNone = kCount;
  const HostText kPlain[12] = {kNone,      kNone,      kKeyView,   kKeyEdit, kKeyCopy,   kKeyRenMov,
                               kKeyMkFold, kKeyDelete, kKeyConfMn, kKeyQuit, kKeyPlugin, kNone};
  const HostText kAlt[12] = {kKeyLeft, kKeyRight, kNone, kNone, kNone, kNone,
                             kKeyFind, kNone,     kNone, kNone, kNone, kNone};
  if (y < 0) return;
  std::vector<std::pair<int, int>> keys = KeyBarLayout(s.cols());
  for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
    const int x0 = keys[i].first, x1 = keys[i].second;
    std::string label;
    if (layer_ == kLayerPlain) label = Text(kPlain[i]);
    if (layer_ == kLayerAlt) label = Text(kAlt[i]);
    if (p.is_plugin() && p.state.keybar[layer_][i]) label = *p.state.keybar[layer_][i];
    std::string digit = std::to_string(i + 1);
    int used = s.Text(x0, y, digit, colors::kKeyBarDigit.fg, colors::kKeyBarDigit.bg, x1 - x0);
    s.Fill(x0 + used, y, x1 - x0 - used, 1, U' ', colors::kKeyBarLabel.fg, colors::kKeyBarLabel.bg);
    s.Text(x0 + used, y, label, colors::kKeyBarLabel.fg, colors::kKeyBarLabel.bg, x1 - x0 - used);
  }
}

}  // namespace qb::host
