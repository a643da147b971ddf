// What a dialog shows: its items as the host keeps them while the dialog runs (the plug-in's
// record, the label or the text being edited, the groups it belongs to) and the window that draws
// them. How the dialog runs is dialog.cpp's.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "host/core/host.h"
#include "host/core/line_editor.h"
#include "host/core/widgets.h"
#include "sdk/far.h"

namespace qb::host::dialog {

// Edit lines of every kind, the combo box included.
inline bool IsEdit(int type) {
  return type == DI_EDIT || type == DI_PSWEDIT || type == DI_FIXEDIT || type == DI_COMBOBOX;
}

// Items that take the focus: edits, buttons, check boxes and radio buttons.
inline bool IsFocusable(int type) {
  return IsEdit(type) || type == DI_BUTTON || type == DI_CHECKBOX || type == DI_RADIOBUTTON;
}

// One item of the running dialog; rec is the plug-in's record, written back when it ends.
struct Item {
  FarDialogItem* rec = nullptr;
  int type = 0;
  DWORD flags = 0;
  HotText label;    // texts, buttons, check boxes, radio buttons, box titles
  LineEditor edit;  // edits
  int x = 0;        // column after centring groups
  int editor_group = -1;
  int radio_group = -1;
  std::vector<std::string> list;  // combo box entries
  int selected = 0;               // check boxes and radio buttons

  int field_width() const { return std::max(1, rec->X2 - rec->X1 + 1); }
  int width() const {  // cells the item takes on its row
    int t = TextCells(label.text);
    switch (type) {
      case DI_BUTTON:
        return (flags & DIF_NOBRACKETS) ? t : t + 4;
      case DI_CHECKBOX:
      case DI_RADIOBUTTON:
        return t + 4;
      default:
        return t;
    }
  }
};

class DialogWindow : public Window {
 public:
  std::vector<Item> items;
  int focus = -1;
  int x = 0, y = 0, w = 0, h = 0;
  int want_x = -1, want_y = -1;  // the caller's corner, -1: centred

  // Where the dialog goes on a screen of this size: again at every draw, so that a dialog open
  // while the terminal is resized stays centred and whole.
  void Place(const Screen& s) {
    x = want_x < 0 ? std::max(0, (s.cols() - w) / 2) : std::max(0, std::min(want_x, s.cols() - w));
    y = want_y < 0 ? std::max(0, (s.rows() - h) / 2) : std::max(0, std::min(want_y, s.rows() - h));
  }
  void Draw(Screen& s) override;
  colors::Pair ItemColor(const Item& it) const {
    if (it.flags & DIF_SETCOLOR) {
      uint8_t attr = static_cast<uint8_t>(it.flags & DIF_COLORMASK);
      return colors::Pair{static_cast<uint8_t>(attr & 0x0F), static_cast<uint8_t>(attr >> 4)};
    }
    return colors::kDialog;
  }
};

}  // namespace qb::host::dialog
