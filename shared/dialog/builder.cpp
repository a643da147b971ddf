#include "shared/dialog/builder.h"

#include <string.h>  // explicit_bzero

#include <cstring>

#include "shared/dialog/dialog_host.h"

namespace qb::dlg {

DlgBuilder::DlgBuilder(int w, int h, const char* help) : width(w), height(h), help_topic(help) {}

DlgBuilder::~DlgBuilder() = default;

DlgBox* DlgBuilder::AddFrame(const char* title) {
  int right = width - 4;
  int bottom = height - 2;
  if (left != -1 || top != -1) {
    right = width - left - 1;
    bottom = height - top - 1;
  }
  return Make<DlgBox>(true, 3, 1, right, bottom, 0u, title);
}

DlgBox* DlgBuilder::AddFrame(int message) {
  return AddFrame(HostMsg(message));
}

void DlgBuilder::AddButtons(int accept_message, int cancel_message) {
  int row = top != -1 ? height - top - 3 : height - 4;
  Make<DlgButton>(0, row, DIF_CENTERGROUP, true, accept_message);
  Make<DlgButton>(0, row, DIF_CENTERGROUP, false, cancel_message);
}

int DlgBuilder::Run() {
  return RunRule(true, {});
}

int DlgBuilder::Run(std::span<const int> exits) {
  return RunRule(false, exits);
}

int DlgBuilder::ShowOnce(std::vector<FarDialogItem>& records) {
  const PluginStartupInfo* host = Host();
  if (host == nullptr) return -1;
  int n = count();
  if (dialog_proc != nullptr) {
    if (host->DialogEx == nullptr) return -1;
    return host->DialogEx(host->ModuleNumber, left, top, width, height, help_topic, records.data(),
                          n, 0, 0, dialog_proc, proc_param);
  }
  if (host->Dialog == nullptr) return -1;
  return host->Dialog(host->ModuleNumber, left, top, width, height, help_topic, records.data(), n);
}

int DlgBuilder::RunRule(bool single, std::span<const int> exits) {
  const int n = count();
  std::vector<FarDialogItem> records(static_cast<size_t>(n));
  // What was typed (passwords among it) does not outlive the run.
  struct Wipe {
    std::vector<FarDialogItem>& records;
    ~Wipe() { explicit_bzero(records.data(), records.size() * sizeof(FarDialogItem)); }
  } wipe{records};
  for (int i = 0; i < n; ++i) {
    FarDialogItem& rec = records[static_cast<size_t>(i)];
    std::memset(&rec, 0, sizeof(rec));
    items_[static_cast<size_t>(i)]->Fill(&rec);
  }
  if (focus >= 0 && focus < n) records[static_cast<size_t>(focus)].Focus = 1;

  for (;;) {
    int closed = ShowOnce(records);
    if (closed < 0) return closed;

    int result = -1;
    if (single) {
      if (closed == n - 2) result = 0;
    } else {
      for (size_t k = 0; k < exits.size(); ++k) {
        int index = exits[k] < 0 ? exits[k] + n : exits[k];
        if (index == closed) {
          result = static_cast<int>(k);
          break;
        }
      }
    }
    if (result < 0) return -1;

    int invalid = -1;
    for (int i = 0; i < n && invalid < 0; ++i) {
      if (!items_[static_cast<size_t>(i)]->Validate(records[static_cast<size_t>(i)])) invalid = i;
    }
    if (invalid >= 0) {
      // Back to the dialog on the failing item; the records keep everything the user typed.
      for (FarDialogItem& rec : records) rec.Focus = 0;
      records[static_cast<size_t>(invalid)].Focus = 1;
      continue;
    }

    for (int i = 0; i < n; ++i)
      items_[static_cast<size_t>(i)]->Store(records[static_cast<size_t>(i)]);
    return result;
  }
}

}  // namespace qb::dlg
