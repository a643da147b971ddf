// The dialog service: every item type the plug-in builds its dialogs from, with focus, hot keys,
// a default button, three-state check boxes, radio groups, combo boxes, histories, masks and
// consecutive edit lines joined into one multi-line editor. The user's input goes back into each
// item's Data and Selected, whichever way the dialog ends.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/core/host.h"
#include "host/core/line_editor.h"
#include "host/core/widgets.h"
#include "platform/codepage/codepage.h"

namespace qb::host {

namespace {

constexpr size_t kMaxDataBytes = sizeof(FarDialogItem::Data) - 1;  // 511

bool IsEdit(int type) {
  return type == DI_EDIT || type == DI_PSWEDIT || type == DI_FIXEDIT || type == DI_COMBOBOX;
}

bool IsFocusable(int type) {
  return IsEdit(type) || type == DI_BUTTON || type == DI_CHECKBOX || type == DI_RADIOBUTTON;
}

// The text cut to what Data holds, at a character boundary.
std::string CutToData(std::string text) {
  text.resize(codepage::Utf8CutPoint(text, kMaxDataBytes));
  return text;
}

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

class DialogRun {
 public:
  DialogRun(Host& host, FarDialogItem* recs, int count) : host_(host) {
    for (int i = 0; i < count; ++i) Add(recs[i]);
    Link();
  }

  int Run(int x1, int y1, int x2, int y2);

 private:
  void Add(FarDialogItem& r);
  void Link();
  void LayOutGroups();
  void WriteBack(int result);
  void Focus(int i);
  void MoveFocus(int delta);
  void HandleEditKey(Item& it, const Event& ev);
  bool HotKey(char32_t key, int* close);
  void Toggle(Item& it);
  void PickFromList(Item& it);
  int Closing(int i) const;
  int DefaultButton() const;

  Host& host_;
  DialogWindow win_;
};

void DialogRun::Add(FarDialogItem& r) {
  Item it;
  it.rec = &r;
  it.type = r.Type;
  it.flags = r.Flags;
  it.x = r.X1;
  char data[sizeof r.Data + 1];
  std::memcpy(data, r.Data, sizeof r.Data);
  data[sizeof r.Data] = '\0';
  if (IsEdit(r.Type)) {
    LineEditorOptions options;
    options.max_bytes = kMaxDataBytes;
    options.read_only = r.Type == DI_COMBOBOX && (r.Flags & DIF_DROPDOWNLIST);
    if (r.Type == DI_FIXEDIT) {
      options.fixed_width = it.field_width();
      if ((r.Flags & DIF_MASKEDIT) && r.Mask) options.mask = DecodeUtf8(r.Mask);
    }
    it.edit = LineEditor(std::move(options));
    std::string text = data;
    if (r.Type == DI_COMBOBOX && r.ListItems) {
      for (int k = 0; k < r.ListItems->ItemsNumber && r.ListItems->Items; ++k) {
        const FarListItem& li = r.ListItems->Items[k];
        char t[sizeof li.Text + 1];
        std::memcpy(t, li.Text, sizeof li.Text);
        t[sizeof li.Text] = '\0';
        it.list.emplace_back(t);
        if ((li.Flags & LIF_SELECTED) && ((r.Flags & DIF_DROPDOWNLIST) || text.empty())) text = t;
      }
    }
    it.edit.SetText(text);
  } else {
    it.label = ParseHotText(data, (r.Flags & DIF_SHOWAMPERSAND) != 0);
    if (r.Type == DI_CHECKBOX || r.Type == DI_RADIOBUTTON) {
      it.selected = r.Selected;
      if (r.Type == DI_CHECKBOX) {
        int top = (r.Flags & DIF_3STATE) ? 2 : 1;
        it.selected = std::clamp(it.selected, 0, top);
      } else {
        it.selected = it.selected ? 1 : 0;
      }
    }
  }
  win_.items.push_back(std::move(it));
}

void DialogRun::Link() {
  auto& items = win_.items;
  int group = -1;
  for (size_t i = 0; i < items.size(); ++i) {
    Item& it = items[i];
    // Consecutive edit lines carrying DIF_EDITOR form one editor.
    if (it.type == DI_EDIT && (it.flags & DIF_EDITOR)) {
      bool joins = i > 0 && items[i - 1].type == DI_EDIT && (items[i - 1].flags & DIF_EDITOR);
      it.editor_group = joins ? items[i - 1].editor_group : static_cast<int>(i);
    }
    if (it.type == DI_RADIOBUTTON) {
      bool starts = (it.flags & DIF_GROUP) || i == 0 || items[i - 1].type != DI_RADIOBUTTON;
      if (starts) group = static_cast<int>(i);
      it.radio_group = group;
    }
  }
  // A radio group shows exactly one choice at most: keep the first one set.
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].type != DI_RADIOBUTTON || !items[i].selected) continue;
    for (size_t k = i + 1; k < items.size(); ++k) {
      if (items[k].radio_group == items[i].radio_group) items[k].selected = 0;
    }
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].rec->Focus && IsFocusable(items[i].type)) {
      win_.focus = static_cast<int>(i);
      break;
    }
  }
  if (win_.focus < 0) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (IsFocusable(items[i].type)) {
        win_.focus = static_cast<int>(i);
        break;
      }
    }
  }
}

void DialogRun::LayOutGroups() {
  auto& items = win_.items;
  // Items with DIF_CENTERGROUP that follow each other on one row are centred together, one blank
  // apart; a text with X1 -1 is centred on its own.
  size_t i = 0;
  while (i < items.size()) {
    if (!(items[i].flags & DIF_CENTERGROUP) || items[i].type == DI_SINGLEBOX ||
        items[i].type == DI_DOUBLEBOX) {
      if (items[i].type == DI_TEXT && items[i].rec->X1 == -1 && !(items[i].flags & DIF_SEPARATOR))
        items[i].x = (win_.w - items[i].width()) / 2;
      ++i;
      continue;
    }
    size_t j = i;
    int total = -1;
    while (j < items.size() && (items[j].flags & DIF_CENTERGROUP) &&
           items[j].rec->Y1 == items[i].rec->Y1) {
      total += items[j].width() + 1;
      ++j;
    }
    int x = std::max(0, (win_.w - total) / 2);
    for (size_t k = i; k < j; ++k) {
      items[k].x = x;
      x += items[k].width() + 1;
    }
    i = j;
  }
}

void DialogRun::Focus(int i) {
  if (i < 0 || i >= static_cast<int>(win_.items.size())) return;
  Item& to = win_.items[i];
  if (win_.focus >= 0) {
    // Within one editor the column is kept when moving between lines.
    const Item& from = win_.items[win_.focus];
    if (from.editor_group >= 0 && from.editor_group == to.editor_group)
      to.edit.SetCursor(from.edit.cursor());
  }
  win_.focus = i;
}

void DialogRun::MoveFocus(int delta) {
  const int n = static_cast<int>(win_.items.size());
  if (win_.focus < 0) return;
  int i = win_.focus;
  for (int step = 0; step < n; ++step) {
    i = (i + delta + n) % n;
    if (IsFocusable(win_.items[i].type)) {
      Focus(i);
      return;
    }
  }
}

void DialogRun::Toggle(Item& it) {
  if (it.type == DI_CHECKBOX) {
    int top = (it.flags & DIF_3STATE) ? 2 : 1;
    it.selected = it.selected >= top ? 0 : it.selected + 1;
  } else if (it.type == DI_RADIOBUTTON) {
    for (Item& other : win_.items) {
      if (other.type == DI_RADIOBUTTON && other.radio_group == it.radio_group) other.selected = 0;
    }
    it.selected = 1;
  }
}

void DialogRun::PickFromList(Item& it) {
  std::vector<std::string> choices;
  if (it.type == DI_COMBOBOX) {
    choices = it.list;
  } else if ((it.flags & DIF_HISTORY) && it.rec->History) {
    choices = host_.History(it.rec->History);
  }
  if (choices.empty()) return;
  std::vector<FarMenuItem> menu(choices.size());
  std::string current = it.edit.Utf8();
  for (size_t k = 0; k < choices.size(); ++k) {
    std::memset(&menu[k], 0, sizeof menu[k]);
    // A long entry is cut to the menu line's buffer at a character, never inside one.
    size_t n = codepage::Utf8CutPoint(choices[k], sizeof menu[k].Text - 1);
    std::memcpy(menu[k].Text, choices[k].data(), n);
    menu[k].Text[n] = '\0';
    menu[k].Selected = choices[k] == current ? 1 : 0;
  }
  int pick = host_.Menu(win_.x + it.rec->X1, win_.y + it.rec->Y1 + 1, 0,
                        FMENU_WRAPMODE | FMENU_SHOWAMPERSAND, nullptr, nullptr, nullptr, nullptr,
                        menu.data(), static_cast<int>(menu.size()));
  if (pick < 0) return;
  it.edit.SetText(choices[pick]);
}

void DialogRun::HandleEditKey(Item& it, const Event& ev) {
  if ((ev.vk == VK_DOWN && (ev.control & (PKF_CONTROL | PKF_ALT))) &&
      (it.type == DI_COMBOBOX || (it.flags & DIF_HISTORY))) {
    PickFromList(it);
    return;
  }
  it.edit.Key(ev);
}

int DialogRun::DefaultButton() const {
  for (size_t i = 0; i < win_.items.size(); ++i) {
    if (win_.items[i].rec->DefaultButton) return static_cast<int>(i);
  }
  return -1;
}

bool DialogRun::HotKey(char32_t key, int* close) {
  const char32_t up = HotKeyCase(key);
  auto& items = win_.items;
  for (size_t i = 0; i < items.size(); ++i) {
    Item& it = items[i];
    if (IsEdit(it.type) || it.label.hot() != up) continue;
    switch (it.type) {
      case DI_BUTTON:
        Focus(static_cast<int>(i));
        *close = static_cast<int>(i);
        return true;
      case DI_CHECKBOX:
      case DI_RADIOBUTTON:
        Focus(static_cast<int>(i));
        Toggle(it);
        return true;
      case DI_TEXT:
      case DI_VTEXT:
        // A label's hot key moves to the item it labels: the next one that takes the focus.
        for (size_t k = i + 1; k < items.size(); ++k) {
          if (IsFocusable(items[k].type)) {
            Focus(static_cast<int>(k));
            return true;
          }
        }
        return false;
      default:
        break;
    }
  }
  return false;
}

void DialogRun::WriteBack(int result) {
  for (size_t i = 0; i < win_.items.size(); ++i) {
    Item& it = win_.items[i];
    FarDialogItem& r = *it.rec;
    r.Focus = static_cast<int>(i) == win_.focus ? 1 : 0;
    if (IsEdit(it.type)) {
      std::string data = CutToData(it.edit.Utf8());
      std::memcpy(r.Data, data.c_str(), data.size() + 1);
      if (it.type == DI_COMBOBOX && r.ListItems && r.ListItems->Items) {
        bool marked = false;
        for (int k = 0; k < r.ListItems->ItemsNumber; ++k) {
          FarListItem& li = r.ListItems->Items[k];
          bool match = !marked && static_cast<size_t>(k) < it.list.size() && it.list[k] == data;
          li.Flags = match ? (li.Flags | LIF_SELECTED) : (li.Flags & ~LIF_SELECTED);
          marked = marked || match;
        }
      }
      if (result >= 0 && (it.flags & DIF_HISTORY) && r.History && !data.empty()) {
        std::vector<std::string>& h = host_.History(r.History);
        h.erase(std::remove(h.begin(), h.end(), data), h.end());
        h.insert(h.begin(), data);
        if (h.size() > 32) h.resize(32);
      }
    } else if (it.type == DI_CHECKBOX || it.type == DI_RADIOBUTTON) {
      r.Selected = it.selected;
    }
  }
}

int DialogRun::Run(int x1, int y1, int x2, int y2) {
  // The dialog keeps its own size on a smaller screen (its items are placed in it); what does not
  // fit is cut by the screen's edge.
  win_.w = std::max(1, x1 < 0 ? x2 : x2 - x1 + 1);
  win_.h = std::max(1, y1 < 0 ? y2 : y2 - y1 + 1);
  win_.want_x = x1;
  win_.want_y = y1;
  win_.Place(host_.screen());
  LayOutGroups();
  int result = -1;
  if (host_.quitting()) {
    WriteBack(-1);
    return -1;
  }
  host_.PushWindow(&win_);
  for (;;) {
    Event ev = host_.NextEvent();
    if (ev.kind == Event::kQuit) break;
    const unsigned c = ev.control;
    Item* f = win_.focus >= 0 ? &win_.items[win_.focus] : nullptr;
    if (ev.vk == VK_ESCAPE && c == 0) break;
    if (ev.vk == VK_RETURN && (c == 0 || c == PKF_CONTROL)) {
      if (f && c == 0 && f->editor_group >= 0) {
        // Enter inside a multi-line editor moves to its next line.
        size_t next = static_cast<size_t>(win_.focus) + 1;
        if (next < win_.items.size() && win_.items[next].editor_group == f->editor_group) {
          win_.items[next].edit.SetCursor(0);
          win_.items[next].edit.ScrollToStart();
          win_.focus = static_cast<int>(next);
          continue;
        }
      }
      if (f && f->type == DI_BUTTON && c == 0) {
        result = win_.focus;
        break;
      }
      int def = DefaultButton();
      result = def >= 0 ? def : win_.focus;
      break;
    }
    if (ev.vk == VK_TAB) {
      MoveFocus(c == PKF_SHIFT ? -1 : 1);
      continue;
    }
    if (c == 0 && (ev.vk == VK_UP || ev.vk == VK_DOWN)) {
      MoveFocus(ev.vk == VK_UP ? -1 : 1);
      continue;
    }
    if (f && IsEdit(f->type)) {
      if (c & PKF_ALT && ev.vk >= '0' && ev.vk <= 'Z') {
        int close = -1;
        if (HotKey(static_cast<char32_t>(ev.vk), &close) && close >= 0) {
          result = close;
          break;
        }
        continue;
      }
      HandleEditKey(*f, ev);
      continue;
    }
    if (f && ev.vk == VK_SPACE && c == 0) {
      if (f->type == DI_BUTTON) {
        result = win_.focus;
        break;
      }
      Toggle(*f);
      continue;
    }
    if (f && (ev.vk == VK_LEFT || ev.vk == VK_RIGHT) && c == 0) {
      MoveFocus(ev.vk == VK_LEFT ? -1 : 1);
      continue;
    }
    char32_t key = HotKeyOf(ev);
    if (key) {
      int close = -1;
      if (HotKey(key, &close) && close >= 0) {
        result = close;
        break;
      }
    }
  }
  host_.PopWindow();
  WriteBack(result);
  return result;
}

}  // namespace

int Host::Dialog(int x1, int y1, int x2, int y2, FarDialogItem* items, int count) {
  if (!items || count <= 0) return -1;
  DialogRun run(*this, items, count);
  return run.Run(x1, y1, x2, y2);
}

}  // namespace qb::host
