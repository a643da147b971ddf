#include "main/compact.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "main/book_format.h"
#include "main/edit_support.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/progress.h"
#include "main/storage_error.h"
#include "sdk/services.h"

namespace qb::main {

namespace {

// Another program may hold the book for a moment (one of its operations): the opening is tried
// again for about a second, with growing pauses, before the book counts as held.
constexpr int kShareRetryMs = 1000;

void Pause(int ms) {
  timespec left{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

storage::HRESULT OpenHeldBook(const std::string& path, storage::FileSystem* fs,
                              storage::Storage* root) {
  for (int waited = 0, pause = 10;; waited += pause, pause = std::min(pause * 2, 200)) {
    const storage::HRESULT hr = storage::OpenCompoundFile(path, kBookOpenMode, root, fs);
    if (hr != storage::STG_E_SHAREVIOLATION || waited >= kShareRetryMs) return hr;
    Pause(pause);
  }
}

}  // namespace

std::string CompactTemporaryName(const std::string& book) {
  return book + ".Compact";
}

CompactResult CompactBookFile(const std::string& book, storage::FileSystem* fs,
                              const std::function<void()>& copied) {
  CompactResult result;
  // Renaming over a symbolic link would put the book in the link's place and leave the file it
  // names as it was: the file itself is compacted, beside itself.
  std::string path = book;
  char resolved[PATH_MAX];
  if (fs == storage::FileSystem::Posix() && realpath(book.c_str(), resolved)) path = resolved;
  result.temporary = CompactTemporaryName(path);

  storage::Storage root;
  result.hr = OpenHeldBook(path, fs, &root);
  if (storage::Failed(result.hr)) {
    result.failure =
        result.hr == storage::STG_E_SHAREVIOLATION ? CompactFailure::kHeld : CompactFailure::kOpen;
    return result;
  }
  // The copy and its journal are this operation's own: what an earlier run left under their names
  // is replaced.
  fs->Remove(result.temporary + "-journal");
  storage::Storage copy;
  result.hr = storage::CreateCompoundFile(result.temporary, kBookReplaceMode, &copy, fs);
  if (storage::Failed(result.hr)) {
    result.failure = CompactFailure::kCreate;
    return result;
  }
  result.hr = root.CopyTo(copy, copied);
  // Releasing the copy's root commits it: its content is durable before it may take the name.
  const storage::HRESULT closed = copy.Release();
  if (storage::Succeeded(result.hr)) result.hr = closed;
  if (storage::Failed(result.hr)) {
    result.failure = CompactFailure::kCopy;
    return result;
  }
  // The one step in which the book's name passes from the old file to the new one. The old file
  // stays open and locked until then; afterwards it has no name, and closing it commits nothing
  // (the copy read it, nothing changed it).
  result.hr = fs->Rename(result.temporary, path, true);
  if (storage::Failed(result.hr)) {
    result.failure = CompactFailure::kReplace;
    return result;
  }
  // The rename is made durable too. Should that fail, both files hold the same book, so the name
  // holds a whole book whichever way it stands after a crash: nothing is lost to report.
  fs->SyncDirectory(path);
  root.Release();
  return result;
}

void CompactBook(BookPanel& panel) {
  PluginState& state = State();
  const std::string book = panel.book_file().empty() ? state.settings.book_file : panel.book_file();
  CompactResult result;
  {
    ProgressBox progress(&panel, msg::kCompactedTitle, msg::kCompactingProgress);
    result = CompactBookFile(book, state.file_system, [&progress] { progress.Step(); });
  }
  switch (result.failure) {
    case CompactFailure::kNone:
      break;
    case CompactFailure::kOpen:
      ShowStorageError(
          result.hr == storage::STG_E_DOCFILECORRUPT ? msg::kErrorDamagedBook : msg::kErrorOpenBook,
          book, result.hr);
      return;
    case CompactFailure::kHeld:
    case CompactFailure::kReplace:
      ShowError(msg::kErrorCompactRename, "ReplaceFileError");
      return;
    case CompactFailure::kCreate:
      ReportStorageError(result.hr, msg::kErrorCompactTemporary, result.temporary);
      return;
    case CompactFailure::kCopy:
      ReportStorageError(result.hr, msg::kErrorCompactCopy, result.temporary);
      return;
  }
  const PluginStartupInfo& host = state.info;
  if (!host.Message) return;
  const char* lines[] = {Msg(msg::kCompactedTitle), Msg(msg::kCompactedText), Msg(msg::kOk)};
  host.Message(host.ModuleNumber, FMSG_WARNING, "CompactDoneMsg", lines, 3, 1);
}

}  // namespace qb::main
