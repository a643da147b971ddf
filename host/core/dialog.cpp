// The dialog service: every item type the plug-in builds its dialogs from, with focus, hot keys,
// a default button, three-state check boxes, radio groups, combo boxes, histories, masks and
// consecutive edit lines joined into one multi-line editor. The user's input goes back into each
// item's Data and Selected, whichever way the dialog ends.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/core/dialog_window.h"
#include "host/core/host.h"
#include "platform/codepage/codepage.h"

namespace qb::host {

namespace {

using dialog::DialogWindow;
using dialog::IsEdit;
using dialog::IsFocusable;
using dialog::Item;

constexpr size_t kMaxDataBytes = sizeof(FarDialogItem::Data) - 1;  // 511

// The text cut to what Data holds, at a character boundary.
std::string CutToData(std::string text) {
  text.resize(codepage::Utf8CutPoint(text, kMaxDataBytes));
  return text;
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

  // Consecutive DIF_EDITOR lines: one editor whose text may hold more lines than it has rows.
  // The rows show lines[top ...]; when the dialog ends, each row but the last takes its line and
  // the last row takes the rest, joined by line feeds, so that a text that grew reaches the
  // plug-in whole (what the last row holds is the limit of that growth).
  struct EditorGroup {
    int first = 0;  // index of its first item
    int rows = 0;
    int top = 0;
    std::vector<std::string> lines;
  };
  EditorGroup* GroupOf(int item);
  void ShowGroup(EditorGroup& g, int row, size_t cursor);
  bool GroupKey(EditorGroup& g, const Event& ev);
  static std::string Tail(const EditorGroup& g);
  bool has_editor() const { return !groups_.empty(); }

  Host& host_;
  DialogWindow win_;
  std::vector<EditorGroup> groups_;
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
      if (!joins) groups_.push_back(EditorGroup{static_cast<int>(i), 0, 0, {}});
      groups_.back().rows++;
      groups_.back().lines.push_back(it.edit.Utf8());
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
    codepage::CopyUtf8Into(choices[k], menu[k].Text, sizeof menu[k].Text);
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

DialogRun::EditorGroup* DialogRun::GroupOf(int item) {
  if (item < 0) return nullptr;
  const int first = win_.items[static_cast<size_t>(item)].editor_group;
  for (EditorGroup& g : groups_) {
    if (g.first == first) return &g;
  }
  return nullptr;
}

std::string DialogRun::Tail(const EditorGroup& g) {
  std::string tail;
  for (size_t k = static_cast<size_t>(g.rows - 1); k < g.lines.size(); ++k) {
    if (k > static_cast<size_t>(g.rows - 1)) tail += '\n';
    tail += g.lines[k];
  }
  return tail;
}

// Puts line `row` on a row of the editor (scrolling as little as needed), shows the lines from
// top on, and gives the focus to that row with the cursor at `cursor`.
void DialogRun::ShowGroup(EditorGroup& g, int row, size_t cursor) {
  if (row < g.top) g.top = row;
  if (row >= g.top + g.rows) g.top = row - g.rows + 1;
  // Every row shows a line: the text never has fewer lines than the editor has rows.
  while (g.lines.size() < static_cast<size_t>(g.rows)) g.lines.emplace_back();
  g.top = std::min(g.top, static_cast<int>(g.lines.size()) - g.rows);
  for (int k = 0; k < g.rows; ++k) {
    const size_t line = static_cast<size_t>(g.top + k);
    Item& it = win_.items[static_cast<size_t>(g.first + k)];
    it.edit.SetText(line < g.lines.size() ? std::string_view(g.lines[line]) : std::string_view());
    it.edit.ScrollToStart();
  }
  win_.focus = g.first + row - g.top;
  win_.items[static_cast<size_t>(win_.focus)].edit.SetCursor(cursor);
}

// The keys that work on the editor's lines rather than on one line. False for the others.
bool DialogRun::GroupKey(EditorGroup& g, const Event& ev) {
  if (ev.control != 0) return false;
  Item& f = win_.items[static_cast<size_t>(win_.focus)];
  const int row = g.top + win_.focus - g.first;
  const size_t at = static_cast<size_t>(row);
  const size_t cursor = f.edit.cursor();
  const size_t length = f.edit.text().size();
  const int last = static_cast<int>(g.lines.size()) - 1;
  std::vector<std::string> before = g.lines;
  // The growth must fit the last row's Data; a change that would not is refused.
  auto fits = [&] {
    if (Tail(g).size() <= kMaxDataBytes) return true;
    g.lines = before;
    return false;
  };
  switch (ev.vk) {
    case VK_RETURN: {
      // Splits the line at the cursor: the rest becomes a new line below.
      const std::u32string& text = f.edit.text();
      g.lines[at] = EncodeUtf8(text.substr(0, cursor));
      g.lines.insert(g.lines.begin() + row + 1, EncodeUtf8(text.substr(cursor)));
      // A blank line at the end that the split pushed on is not wanted text.
      if (g.lines.size() > static_cast<size_t>(g.rows) && g.lines.back().empty() &&
          static_cast<int>(g.lines.size()) - 1 > row + 1) {
        g.lines.pop_back();
      }
      if (fits()) ShowGroup(g, row + 1, 0);
      return true;
    }
    case VK_BACK:
      if (cursor != 0 || row == 0) return false;
      {
        const size_t joint = DecodeUtf8(g.lines[at - 1]).size();
        g.lines[at - 1] += g.lines[at];
        g.lines.erase(g.lines.begin() + row);
        if (g.lines.size() < static_cast<size_t>(g.rows)) g.lines.emplace_back();
        if (g.lines[at - 1].size() > kMaxDataBytes || !fits()) {
          g.lines = before;
          return true;
        }
        ShowGroup(g, row - 1, joint);
      }
      return true;
    case VK_DELETE:
      if (cursor != length || row >= last) return false;
      g.lines[at] += g.lines[at + 1];
      g.lines.erase(g.lines.begin() + row + 1);
      if (g.lines.size() < static_cast<size_t>(g.rows)) g.lines.emplace_back();
      if (g.lines[at].size() > kMaxDataBytes || !fits()) {
        g.lines = before;
        return true;
      }
      ShowGroup(g, row, cursor);
      return true;
    case VK_UP:
      if (row == 0) return false;
      ShowGroup(g, row - 1, cursor);
      return true;
    case VK_DOWN:
      if (row >= last) return false;
      ShowGroup(g, row + 1, cursor);
      return true;
    default:
      return false;
  }
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
      if (const EditorGroup* g = GroupOf(static_cast<int>(i))) {
        const size_t row = i - static_cast<size_t>(g->first);
        if (row + 1 < static_cast<size_t>(g->rows)) {
          data = row < g->lines.size() ? CutToData(g->lines[row]) : std::string();
        } else {
          data = CutToData(Tail(*g));
        }
      }
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
    EditorGroup* group = f && f->editor_group >= 0 ? GroupOf(win_.focus) : nullptr;
    if (group) {
      // The line being edited is the editor's line; keys that work across lines come first.
      group->lines[static_cast<size_t>(group->top + win_.focus - group->first)] = f->edit.Utf8();
      if (GroupKey(*group, ev)) continue;
    }
    // F2 accepts a dialog with a multi-line editor, as it saves in FAR's editor: every terminal
    // sends it, while many cannot send Ctrl+Enter.
    if ((ev.vk == VK_RETURN && (c == 0 || c == PKF_CONTROL)) ||
        (ev.vk == VK_F2 && c == 0 && has_editor())) {
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
      if (group) {
        std::string& line =
            group->lines[static_cast<size_t>(group->top + win_.focus - group->first)];
        const std::string was = line;
        line = f->edit.Utf8();
        if (Tail(*group).size() > kMaxDataBytes) {
          // The text would no longer reach the plug-in whole: the key is refused.
          const size_t cursor = f->edit.cursor();
          line = was;
          f->edit.SetText(was);
          f->edit.SetCursor(cursor > 0 ? cursor - 1 : 0);
        }
      }
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
  if (!items || count <= 0 || options_.command) return -1;
  DialogRun run(*this, items, count);
  return run.Run(x1, y1, x2, y2);
}

}  // namespace qb::host
