#include "shared/dialog/bindings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shared/dialog/dialog_host.h"
#include "shared/dialog/int_text.h"
#include "shared/dialog/text_cut.h"

namespace qb::dlg {
namespace {

// The record's Data as a terminated text even when a host filled every byte.
std::string DataText(const FarDialogItem& rec) {
  return std::string(rec.Data, strnlen(rec.Data, sizeof(rec.Data)));
}

}  // namespace

bool DlgBinding::Validate(const FarDialogItem&) {
  return true;
}

bool DlgTextBinding::Validate(const FarDialogItem& rec) {
  return !check_ || check_(DataText(rec).c_str());
}

// ---- Caller's buffer
// -------------------------------------------------------------------------------

DlgStrBufBinding::DlgStrBufBinding(char* buffer, size_t size, TextCheck check)
    : DlgTextBinding(std::move(check)), buffer_(buffer), size_(size) {}

void DlgStrBufBinding::Fill(FarDialogItem* rec) {
  if (buffer_ == nullptr || size_ == 0) {
    rec->Data[0] = '\0';
    return;
  }
  // The caller's buffer need not be terminated within its size; never read past it.
  std::string value(buffer_, strnlen(buffer_, size_));
  CopyCut(rec->Data, sizeof(rec->Data), value.c_str());
}

void DlgStrBufBinding::Store(const FarDialogItem& rec) {
  if (buffer_ != nullptr && size_ > 0) CopyCut(buffer_, size_, DataText(rec).c_str());
}

// ---- Heap text
// ---------------------------------------------------------------------------------------

DlgStrBinding::DlgStrBinding(char** variable, TextCheck check)
    : DlgTextBinding(std::move(check)), variable_(variable) {}

void DlgStrBinding::Fill(FarDialogItem* rec) {
  CopyCut(rec->Data, sizeof(rec->Data), variable_ != nullptr ? *variable_ : nullptr);
}

void DlgStrBinding::Store(const FarDialogItem& rec) {
  if (variable_ == nullptr) return;
  std::string value = DataText(rec);
  char* copy = static_cast<char*>(std::malloc(value.size() + 1));
  // Out of memory: keep the old text rather than leave the variable dangling or null.
  if (copy == nullptr) return;
  std::memcpy(copy, value.c_str(), value.size() + 1);
  std::free(*variable_);
  *variable_ = copy;
}

// ---- Whole number
// ------------------------------------------------------------------------------------

DlgIntBinding::DlgIntBinding(int* variable, int min, int max, int message, const char* help_topic)
    : DlgIntBinding(variable, min, max, HostMsg(message), help_topic) {}

DlgIntBinding::DlgIntBinding(int* variable, int min, int max, const char* message,
                             const char* help_topic)
    : variable_(variable), min_(min), max_(max), message_(message), help_topic_(help_topic) {}

void DlgIntBinding::Fill(FarDialogItem* rec) {
  std::snprintf(rec->Data, sizeof(rec->Data), "%d", variable_ != nullptr ? *variable_ : 0);
}

bool DlgIntBinding::Validate(const FarDialogItem& rec) {
  std::optional<int> value = ReadIntText(DataText(rec).c_str());
  if (value && *value >= min_ && *value <= max_) return true;
  char text[128];
  FormatRange(text, sizeof(text), message_, min_, max_);
  const PluginStartupInfo* host = Host();
  if (host != nullptr && host->Message != nullptr) {
    const char* lines[] = {ErrorTitle(), text, ErrorButton()};
    host->Message(host->ModuleNumber, FMSG_WARNING, help_topic_, lines, 3, 1);
  }
  return false;
}

void DlgIntBinding::Store(const FarDialogItem& rec) {
  std::optional<int> value = ReadIntText(DataText(rec).c_str());
  if (value && variable_ != nullptr) *variable_ = *value;
}

}  // namespace qb::dlg
