#include "host/core/line_editor.h"

#include <algorithm>
#include <cwctype>

#include "host/core/widgets.h"
#include "platform/codepage/codepage.h"
#include "sdk/far.h"

namespace qb::host {

namespace {

bool MaskEditable(char32_t m) {
  return m == U'9' || m == U'N' || m == U'A' || m == U'X' || m == U'#' || m == U'a';
}

bool MaskAccepts(char32_t m, char32_t c) {
  switch (m) {
    case U'9':
    case U'N':
      return (c >= U'0' && c <= U'9') || c == U' ';
    case U'#':
      return (c >= U'0' && c <= U'9') || c == U' ' || c == U'+' || c == U'-';
    case U'A':
    case U'a':
      return c >= 0x80 || std::iswalpha(static_cast<wint_t>(c)) || c == U' ';
    default:
      return true;
  }
}

}  // namespace

bool LineEditor::Editable(size_t pos) const {
  return pos < options_.mask.size() && MaskEditable(options_.mask[pos]);
}

void LineEditor::SetText(std::string_view utf8) {
  SetText(DecodeUtf8(utf8));
}

void LineEditor::SetText(const std::u32string& text) {
  text_ = text;
  if (options_.max_bytes > 0) {
    std::string bytes = EncodeUtf8(text_);
    if (bytes.size() > options_.max_bytes) {
      bytes.resize(codepage::Utf8CutPoint(bytes, options_.max_bytes));
      text_ = DecodeUtf8(bytes);
    }
  }
  const std::u32string& mask = options_.mask;
  if (!mask.empty()) {
    bool formatted = text_.size() == mask.size();
    for (size_t k = 0; formatted && k < mask.size(); ++k) {
      if (!MaskEditable(mask[k]) && text_[k] != mask[k]) formatted = false;
    }
    std::u32string shaped;
    size_t src = 0;
    for (size_t k = 0; k < mask.size(); ++k) {
      char32_t m = mask[k];
      if (!MaskEditable(m)) {
        shaped.push_back(m);
        continue;
      }
      size_t from = formatted ? k : src++;
      shaped.push_back(from < text_.size() && MaskAccepts(m, text_[from]) ? text_[from] : U' ');
    }
    text_ = std::move(shaped);
  } else if (options_.fixed_width > 0) {
    text_.resize(std::min(text_.size(), static_cast<size_t>(options_.fixed_width)));
  }
  cursor_ = mask.empty() ? text_.size() : 0;
  while (cursor_ < mask.size() && !Editable(cursor_)) ++cursor_;
  scroll_ = 0;
}

std::string LineEditor::Utf8() const {
  return EncodeUtf8(text_);
}

void LineEditor::SetCursor(size_t cursor) {
  cursor_ = std::min(cursor, text_.size());
}

void LineEditor::Clear() {
  if (options_.mask.empty()) {
    text_.clear();
  } else {
    for (size_t k = 0; k < text_.size(); ++k) {
      if (Editable(k)) text_[k] = U' ';
    }
  }
  cursor_ = 0;
}

void LineEditor::Backspace() {
  if (options_.read_only || cursor_ == 0) return;
  if (options_.mask.empty()) {
    text_.erase(--cursor_, 1);
    return;
  }
  size_t k = cursor_;
  while (k > 0 && !Editable(k - 1)) --k;
  if (k > 0) {
    text_[k - 1] = U' ';
    cursor_ = k - 1;
  }
}

void LineEditor::Delete() {
  if (options_.read_only || cursor_ >= text_.size()) return;
  if (options_.mask.empty()) {
    text_.erase(cursor_, 1);
  } else if (Editable(cursor_)) {
    text_[cursor_] = U' ';
  }
}

void LineEditor::Insert(char32_t ch) {
  if (options_.read_only) return;
  const std::u32string& mask = options_.mask;
  if (!mask.empty()) {
    size_t k = cursor_;
    while (k < mask.size() && !Editable(k)) ++k;
    if (k >= mask.size() || !MaskAccepts(mask[k], ch)) return;
    text_[k] = ch;
    cursor_ = k + 1;
    while (cursor_ < mask.size() && !Editable(cursor_)) ++cursor_;
    return;
  }
  if (options_.fixed_width > 0 && static_cast<int>(text_.size()) >= options_.fixed_width) {
    if (cursor_ < text_.size()) {
      text_[cursor_++] = ch;
    } else if (!text_.empty()) {
      text_.back() = ch;
    }
    return;
  }
  std::u32string next = text_;
  next.insert(next.begin() + static_cast<std::ptrdiff_t>(cursor_), ch);
  if (options_.max_bytes > 0 && EncodeUtf8(next).size() > options_.max_bytes) return;  // full
  text_ = std::move(next);
  ++cursor_;
}

bool LineEditor::Key(const Event& ev) {
  const unsigned c = ev.control;
  if (c == PKF_CONTROL && ev.vk == 'Y') {
    if (!options_.read_only) Clear();
    return true;
  }
  if ((c & (PKF_CONTROL | PKF_ALT)) != 0) return false;
  const bool masked = !options_.mask.empty();
  switch (ev.vk) {
    case VK_LEFT:
      if (cursor_ > 0) --cursor_;
      while (masked && cursor_ > 0 && !Editable(cursor_)) --cursor_;
      return true;
    case VK_RIGHT:
      if (cursor_ < text_.size()) ++cursor_;
      while (masked && cursor_ < text_.size() && !Editable(cursor_)) ++cursor_;
      return true;
    case VK_HOME:
      cursor_ = 0;
      return true;
    case VK_END:
      cursor_ = text_.size();
      return true;
    case VK_BACK:
      Backspace();
      return true;
    case VK_DELETE:
      Delete();
      return true;
    default:
      break;
  }
  if (ev.ch < 0x20) return false;
  Insert(ev.ch);
  return true;
}

int LineEditor::ScrollIntoView(int width, bool secret) {
  auto cells = [&](size_t from, size_t n) {
    return secret ? static_cast<int>(n) : TextCells(text_.substr(from, n));
  };
  const size_t size = text_.size();
  size_t cursor = std::min(cursor_, size);
  // A full fixed-width field has no cell after its text: the cursor rests on the last character
  // (typing there overwrites it) and the field does not scroll for it.
  if (options_.fixed_width > 0 && cursor == size && cursor > 0 && cells(0, size) >= width) --cursor;
  if (cursor < scroll_) scroll_ = cursor;
  while (scroll_ < cursor && cells(scroll_, cursor - scroll_) >= width) ++scroll_;
  return cells(scroll_, cursor - scroll_);
}

}  // namespace qb::host
