// The standard viewers and editors of text fields: a message box to view, a one-line dialog, and
// the multi-line editor (several edit lines that the host joins into one editor).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/plugin_state.h"
#include "main/services_text.h"
#include "main/settings.h"
#include "platform/codepage/codepage.h"
#include "sdk/services.h"
#include "shared/dialog/dialog.h"
#include "shared/dialog/text_cut.h"

namespace {

using qb::dlg::DlgBuilder;
using qb::dlg::DlgEdit;
using qb::dlg::DlgStrBinding;

// The heap texts bound to a dialog's edit lines, freed when the dialog is done with them.
class HeapTexts {
 public:
  explicit HeapTexts(size_t n) : texts_(n, nullptr) {}
  ~HeapTexts() {
    for (char* t : texts_) qb::main::HeapFree(t);
  }
  HeapTexts(const HeapTexts&) = delete;
  HeapTexts& operator=(const HeapTexts&) = delete;
  char** at(size_t i) { return &texts_[i]; }
  const char* text(size_t i) const { return texts_[i] != nullptr ? texts_[i] : ""; }
  size_t size() const { return texts_.size(); }
  // Hands text i over to the caller.
  char* Release(size_t i) { return std::exchange(texts_[i], nullptr); }

 private:
  std::vector<char*> texts_;
};

// What a view box shows of a field: no screen holds more lines than this, nor a line longer than
// this once wrapped, so a field of any size is shown at the cost of this much text. A field cut
// to fit ends with a line of its own that says so.
constexpr size_t kViewLines = 200;
constexpr size_t kViewLineBytes = 8192;

// The most lines the multi-line editor takes. It holds each line in an edit line of its own (an
// item of about 2 KB in the dialog, with the host's copy and its widget), so its memory grows with
// the number of lines, not with their bytes: 1000 lines cost a few megabytes whatever the field,
// and are already far more than any screen shows at once. Longer fields are refused with a box;
// their view still shows their beginning.
constexpr size_t kMaxEditLines = 1000;

void ShowText(const char* title, const char* help_topic,
              const std::vector<std::string_view>& body) {
  const PluginStartupInfo& info = qb::main::State().info;
  if (info.Message == nullptr) return;
  std::vector<std::string> shown;
  bool cut = body.size() > kViewLines;
  for (size_t i = 0; i < body.size() && i < kViewLines; ++i) {
    std::string_view line = body[i];
    if (line.size() > kViewLineBytes) {
      line = line.substr(0, qb::codepage::Utf8CutPoint(line, kViewLineBytes));
      cut = true;
    }
    shown.emplace_back(line);
  }
  if (cut) shown.emplace_back("\u2026");
  std::vector<const char*> lines;
  lines.push_back(title);
  for (const std::string& line : shown) lines.push_back(line.c_str());
  lines.push_back(CommonGetMsgEx(qb::main::msg::kOk, nullptr));
  info.Message(info.ModuleNumber, 0, help_topic, lines.data(), static_cast<int>(lines.size()), 1);
}

// An edit line holds at most 511 bytes, so a longer line of the field is shown cut. When the user
// leaves such a line as it was shown, the whole line is kept: accepting the dialog must not lose
// the part that did not fit.
void KeepUncutLine(char** edited, std::string_view original) {
  FarDialogItem probe;
  if (original.size() < sizeof(probe.Data) || *edited == nullptr) return;
  std::string whole(original);
  qb::dlg::CopyCut(probe.Data, sizeof(probe.Data), whole.c_str());
  if (std::strcmp(*edited, probe.Data) != 0) return;
  char* copy = qb::main::HeapString(original);
  if (copy == nullptr) return;
  qb::main::HeapFree(*edited);
  *edited = copy;
}

}  // namespace

extern "C" {

int StdEditSingleLine(const char* title, const char* help_topic, const char* text, uint32_t size,
                      char** new_text, uint32_t* new_size, int edit) {
  std::string_view value = qb::main::FieldText(text, size);
  if (edit == 0) {
    ShowText(title, help_topic, {value});
    return 0;
  }
  if (new_text == nullptr || new_size == nullptr) return 0;
  qb::main::AttachDialogBuilder();

  HeapTexts line(1);
  if (text != nullptr && size != 0) *line.at(0) = qb::main::HeapString(value);
  DlgBuilder dlg(60, 9, help_topic);
  dlg.AddFrame(title);
  dlg.Make<DlgEdit>(5, 3, 54, 0u, nullptr, std::make_unique<DlgStrBinding>(line.at(0)), DI_EDIT);
  dlg.AddButtons(qb::main::msg::kOk, qb::main::msg::kCancel);
  if (dlg.Run() < 0) return 0;
  KeepUncutLine(line.at(0), value);
  if (*line.at(0) == nullptr) *line.at(0) = qb::main::HeapString("");
  if (*line.at(0) == nullptr) return 0;
  *new_size = static_cast<uint32_t>(std::strlen(line.text(0)) + 1);
  *new_text = line.Release(0);
  return 1;
}

int StdEditMultiLine(const char* title, const char* help_topic, const char* text, uint32_t size,
                     char** new_text, uint32_t* new_size, int edit) {
  std::string_view value = qb::main::FieldText(text, size);
  if (edit == 0) {
    // Only the lines a view can show are split off.
    ShowText(title, help_topic, qb::main::SplitLines(value, kViewLines + 1));
    return 1;
  }
  if (new_text == nullptr || new_size == nullptr) return 0;
  // Counted before anything is split or built: a field beyond the editor is refused whole.
  const auto breaks = static_cast<size_t>(std::count(value.begin(), value.end(), '\n'));
  const size_t count = 1 + breaks;
  // An empty last line is no line of the field (the editor drops it again).
  if (breaks + (value.empty() || value.back() == '\n' ? 0 : 1) > kMaxEditLines) {
    ShowError(qb::main::msg::kErrorTooManyLines, "FieldTooLargeError");
    return 0;
  }
  std::vector<std::string_view> lines = qb::main::SplitLines(value);
  qb::main::AttachDialogBuilder();

  int max_lines = std::clamp(qb::main::State().settings.max_lines, 2, 99);
  size_t n = std::max(count, static_cast<size_t>(max_lines));

  HeapTexts texts(n);
  for (size_t i = 0; i < lines.size() && i < n; ++i) *texts.at(i) = qb::main::HeapString(lines[i]);

  DlgBuilder dlg(60, static_cast<int>(n) + 8, help_topic);
  dlg.AddFrame(title);
  for (size_t i = 0; i < n; ++i) {
    dlg.Make<DlgEdit>(5, static_cast<int>(i) + 3, 54, DIF_EDITOR, nullptr,
                      std::make_unique<DlgStrBinding>(texts.at(i)), DI_EDIT);
  }
  // Enter splits lines here, so the keys that accept are said under the editor.
  dlg.Make<qb::dlg::DlgText>(5, static_cast<int>(n) + 3, 0u, qb::main::msg::kEditorKeys);
  dlg.AddButtons(qb::main::msg::kOk, qb::main::msg::kCancel);
  if (dlg.Run() < 0) return 0;
  for (size_t i = 0; i < lines.size() && i < n; ++i) KeepUncutLine(texts.at(i), lines[i]);
  // Empty lines at the end are dropped; the lines are joined by single line feeds.
  size_t used = n;
  while (used > 0 && texts.text(used - 1)[0] == '\0') --used;
  std::string joined;
  for (size_t i = 0; i < used; ++i) {
    if (i > 0) joined += '\n';
    joined += texts.text(i);
  }
  char* result = qb::main::HeapString(joined);
  if (result == nullptr) return 0;
  *new_text = result;
  *new_size = static_cast<uint32_t>(joined.size() + 1);
  return 1;
}

}  // extern "C"
