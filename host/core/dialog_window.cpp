#include "host/core/dialog_window.h"

#include <algorithm>

namespace qb::host::dialog {

namespace {

void DrawEdit(Screen& s, int x, int y, Item& it, bool focused) {
  const int fw = it.field_width();
  const colors::Pair c = colors::kDialogEdit;
  s.Fill(x, y, fw, 1, U' ', c.fg, c.bg);
  const bool secret = it.type == DI_PSWEDIT;
  const int cursor_cells = it.edit.ScrollIntoView(fw, secret);
  std::u32string shown = it.edit.text();
  if (secret) shown.assign(shown.size(), U'*');
  s.Text(x, y, EncodeUtf8(shown.substr(std::min(it.edit.scroll(), shown.size()))), c.fg, c.bg, fw);
  if ((it.flags & DIF_HISTORY) || it.type == DI_COMBOBOX)
    s.Text(x + fw, y, "↓", colors::kDialog.fg, colors::kDialog.bg, 1);
  if (focused) s.SetCursor(std::min(x + cursor_cells, x + fw - 1), y, true);
}

}  // namespace

void DialogWindow::Draw(Screen& s) {
  Place(s);
  s.Fill(x, y, w, h, U' ', colors::kDialog.fg, colors::kDialog.bg);
  s.SetCursor(0, 0, false);
  // The outermost box, for separators that span it.
  const Item* frame = nullptr;
  for (const Item& it : items) {
    if (it.type == DI_DOUBLEBOX || it.type == DI_SINGLEBOX) {
      frame = &it;
      break;
    }
  }
  for (size_t i = 0; i < items.size(); ++i) {
    Item& it = items[i];
    const FarDialogItem& r = *it.rec;
    const bool focused = static_cast<int>(i) == focus;
    const colors::Pair c = ItemColor(it);
    const int iy = y + r.Y1;
    switch (it.type) {
      case DI_SINGLEBOX:
      case DI_DOUBLEBOX:
        DrawFrame(s, x + r.X1, y + r.Y1, r.X2 - r.X1 + 1, r.Y2 - r.Y1 + 1, it.type == DI_DOUBLEBOX,
                  c);
        DrawFrameTitle(s, x + r.X1, y + r.Y1, r.X2 - r.X1 + 1, EncodeUtf8(it.label.text), c);
        break;
      case DI_TEXT:
        if (it.flags & DIF_SEPARATOR) {
          int fx = frame ? frame->rec->X1 : 0, fw = frame ? frame->rec->X2 - frame->rec->X1 + 1 : w;
          DrawSeparator(s, x + fx, iy, fw, frame && frame->type == DI_DOUBLEBOX,
                        EncodeUtf8(it.label.text), c);
        } else {
          DrawHotText(s, x + it.x, iy, it.label, c, colors::kDialogHotKey, w - it.x);
        }
        break;
      case DI_VTEXT:
        for (size_t k = 0; k < it.label.text.size() && r.Y1 + static_cast<int>(k) < h; ++k)
          s.Text(x + r.X1, iy + static_cast<int>(k), EncodeUtf8(it.label.text.substr(k, 1)), c.fg,
                 c.bg, 1);
        break;
      case DI_EDIT:
      case DI_PSWEDIT:
      case DI_FIXEDIT:
      case DI_COMBOBOX:
        DrawEdit(s, x + r.X1, iy, it, focused);
        break;
      case DI_BUTTON: {
        colors::Pair bc = focused ? colors::kDialogFocus : c;
        colors::Pair hc = focused ? colors::kDialogFocus : colors::kDialogHotKey;
        int bx = x + it.x;
        bool brackets = !(it.flags & DIF_NOBRACKETS);
        if (brackets) bx += s.Text(bx, iy, r.DefaultButton ? "{ " : "[ ", bc.fg, bc.bg);
        bx += DrawHotText(s, bx, iy, it.label, bc, hc, s.cols());
        if (brackets) s.Text(bx, iy, r.DefaultButton ? " }" : " ]", bc.fg, bc.bg);
        break;
      }
      case DI_CHECKBOX:
      case DI_RADIOBUTTON: {
        bool check = it.type == DI_CHECKBOX;
        const char* mark = check ? (it.selected == 0   ? "[ ] "
                                    : it.selected == 1 ? "[x] "
                                                       : "[?] ")
                                 : (it.selected ? "(•) " : "( ) ");
        int bx = x + it.x;
        bx += s.Text(bx, iy, mark, c.fg, c.bg);
        DrawHotText(s, bx, iy, it.label, c, colors::kDialogHotKey, s.cols());
        if (focused) s.SetCursor(x + it.x + 1, iy, true);
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace qb::host::dialog
