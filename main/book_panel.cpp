// The book file under a panel: acquiring and releasing it around each host call, the folder stack,
// and reading and writing records.
#include "main/book_panel.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "main/book_format.h"
#include "main/element_name.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/missing_book.h"
#include "main/plugin_state.h"
#include "main/storage_error.h"
#include "platform/codepage/codepage.h"
#include "sdk/services.h"

namespace qb::main {

namespace {

bool IsMissing(storage::HRESULT hr) {
  return hr == storage::STG_E_FILENOTFOUND || hr == storage::STG_E_PATHNOTFOUND;
}

// Another program, or another host starting at the same moment, may hold the book for a short
// while: a share violation is tried again for about a second, with growing pauses, before it is
// shown.
constexpr int kShareRetryMs = 1000;

constexpr uint32_t kBookReadMode = storage::STGM_READ | storage::STGM_SHARE_DENY_WRITE;

// Opens an existing book for reading and writing or, when writing is denied (a read-only file),
// for reading only.
storage::HRESULT OpenExisting(const std::string& path, storage::Storage* root, bool* read_only) {
  storage::FileSystem* fs = State().file_system;
  *read_only = false;
  storage::HRESULT hr = storage::OpenCompoundFile(path, kBookOpenMode, root, fs);
  if (hr != storage::STG_E_ACCESSDENIED) return hr;
  hr = storage::OpenCompoundFile(path, kBookReadMode, root, fs);
  *read_only = storage::Succeeded(hr);
  return hr;
}

void Pause(int ms) {
  timespec left{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

BookPanel::BookPanel() {
  levels_.emplace_back();
}

BookPanel::~BookPanel() {
  CloseAll();
  // Field-type libraries must not be left reading a panel that is gone.
  HostServices& services = State().host_services;
  if (services.CurrentPanelPath == path_) {
    services.CurrentPanelPath = nullptr;
    services.CurrentRecord = nullptr;
  }
}

storage::Storage* BookPanel::current_folder() {
  if (levels_.empty() || !levels_.back().storage.valid()) return nullptr;
  return &levels_.back().storage;
}

void BookPanel::RebuildPath() {
  std::string whole;
  for (std::size_t i = 1; i < levels_.size(); ++i) whole += "\\" + levels_[i].name;
  if (has_record_) whole += "\\" + record_name_;
  // A path longer than the buffer is cut once, at a character boundary: never inside a character,
  // and never with a separator after a name that was cut.
  const std::size_t used = codepage::Utf8CutPoint(whole, sizeof path_ - 1);
  std::memcpy(path_, whole.data(), used);
  path_[used] = '\0';
}

void BookPanel::PublishToFieldTypes() {
  HostServices& services = State().host_services;
  services.CurrentPanelPath = path_;
  services.CurrentRecord = has_record_ ? record_name_.c_str() : nullptr;
}

storage::HRESULT BookPanel::CloseAll() {
  if (record_stream_.valid()) record_stream_.Release();
  // Deepest first: the root goes last, and closing it commits and closes the file.
  storage::HRESULT result = storage::S_OK;
  for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
    if (level->storage.valid()) result = level->storage.Release();
  }
  return result;
}

bool BookPanel::OpenBookFile() {
  PluginState& state = State();
  storage::Storage root;
  // A panel keeps the book it was opened on: changing the setting later opens the new book in
  // panels opened after the change, so two panels can show two books.
  if (book_file_.empty()) book_file_ = state.settings.book_file;
  const std::string configured = book_file_;
  storage::HRESULT hr = storage::STG_E_FILENOTFOUND;
  bool read_only = false;
  // Opens path, or makes it when it is missing and make is set. A share violation (another
  // program holds the book for a moment, or makes it at this very moment) is tried again for
  // about a second with growing pauses before it is shown.
  auto open_or_make = [&](const std::string& path, bool make) {
    for (int waited = 0, pause = 10;; waited += pause, pause = std::min(pause * 2, 200)) {
      storage::HRESULT result = OpenExisting(path, &root, &read_only);
      if (make && IsMissing(result)) {
        result = storage::CreateCompoundFile(path, kBookOpenMode, &root, state.file_system);
        if (result == storage::STG_E_FILEALREADYEXISTS) result = storage::STG_E_SHAREVIOLATION;
      }
      if (result != storage::STG_E_SHAREVIOLATION || waited >= kShareRetryMs) return result;
      Pause(pause);
    }
  };
  if (!configured.empty()) hr = open_or_make(configured, false);
  // Only a book that is not there falls back to the one beside the main library, and only when
  // the user agrees: a book that is there but locked or damaged is reported, never silently
  // replaced by another file.
  if (storage::Failed(hr) && IsMissing(hr)) {
    const std::string fallback = DefaultBookPath(state.module_dir);
    switch (ChooseMissingBook(configured, fallback)) {
      case MissingBook::kNone:
        return false;
      case MissingBook::kCreate:
        hr = open_or_make(configured, true);
        break;
      case MissingBook::kDefault:
        hr = open_or_make(fallback, true);
        // The panel goes on showing the book it opened; the setting changes only where the user
        // chose so.
        if (storage::Succeeded(hr)) book_file_ = fallback;
        break;
    }
  }
  // A book whose root folder list is damaged would show as an empty book: it is not opened (so
  // nothing is written to it) and said to be damaged. Checked when the panel first opens it.
  if (storage::Succeeded(hr) && !root_checked_) {
    storage::Enumerator children;
    hr = root.Enumerate(&children);
    if (storage::Failed(hr)) root.Release();
    root_checked_ = storage::Succeeded(hr);
  }
  if (storage::Failed(hr)) {
    const std::string& shown = configured.empty() ? state.settings.book_file : configured;
    ShowStorageError(
        hr == storage::STG_E_DOCFILECORRUPT ? msg::kErrorDamagedBook : msg::kErrorOpenBook, shown,
        hr);
    return false;
  }
  state.book_read_only = read_only;
  if (read_only && !told_read_only_) {
    told_read_only_ = true;
    ShowError(msg::kReadOnlyBook, "ReadOnlyBook");
  }
  levels_[0].storage = std::move(root);
  return true;
}

int BookPanel::Acquire() {
  if (open_count_ >= 1) {
    ++open_count_;
    RebuildPath();
    PublishToFieldTypes();
    return 1;
  }
  if (levels_.empty()) levels_.emplace_back();
  int result = 1;
  if (!levels_[0].storage.valid()) {
    if (!OpenBookFile()) return 0;
    if (!CheckPassword(0, 0)) {
      levels_[0].storage.Release();
      SetDepth(-1);
      RebuildPath();
      return 0;
    }
  }
  for (std::size_t i = 1; i < levels_.size() && result; ++i) {
    FolderLevel& level = levels_[i];
    if (level.storage.valid()) continue;
    const storage::HRESULT hr =
        levels_[i - 1].storage.OpenStorage(ElementName(level.name), kBookOpenMode, &level.storage);
    if (storage::Failed(hr)) {
      ShowStorageError(msg::kErrorOpenFolder, level.name, hr);
      SetDepth(static_cast<int>(i) - 1);
      result = 0;
    } else if (!CheckPassword(static_cast<int>(i), OPM_SILENT)) {
      SetDepth(static_cast<int>(i) - 1);
      result = 0;
    }
  }
  if (result && has_record_ && !record_stream_.valid()) {
    const storage::HRESULT hr = levels_.back().storage.OpenStream(ElementName(record_name_),
                                                                  kBookOpenMode, &record_stream_);
    if (storage::Failed(hr)) {
      const std::string name = record_name_;
      SetDepth(depth());
      ShowStorageError(msg::kErrorOpenRecord, name, hr);
      result = 0;
    }
  }
  RebuildPath();
  PublishToFieldTypes();
  if (result) open_count_ = 1;
  return result;
}

int BookPanel::Release() {
  if (open_count_ > 1) {
    --open_count_;
    return 1;
  }
  // The last release, or the end of an operation whose acquisition failed part-way: nothing of
  // the file may stay open between the host's calls.
  const bool was_open = open_count_ == 1 || root_open();
  open_count_ = 0;
  // A commit that fails (full or failing disk) leaves the book as it was before the operation;
  // the user must hear that the change did not reach it.
  const storage::HRESULT hr = CloseAll();
  last_commit_ = hr;
  if (was_open) {
    State().last_path = path_;
    State().last_book = book_file_;
  }
  if (storage::Failed(hr)) {
    ShowStorageError(msg::kErrorCommit, book_file_, hr);
    // The panel may already list what the operation made (it rereads itself before the commit):
    // show the book as it is now. The rereading's own release cannot come back here.
    if (listed_ && !refreshing_) {
      refreshing_ = true;
      Refresh(-1, -1);
      refreshing_ = false;
      // The rereading commits nothing of its own: what callers ask of the last commit (a move
      // deletes its sources only after a commit that reached the disk) is still this failure.
      last_commit_ = hr;
    }
  }
  return 1;
}

void BookPanel::SetDepth(int n) {
  if (has_record_) {
    if (record_stream_.valid()) record_stream_.Release();
    record_name_.clear();
    has_record_ = false;
  }
  if (n < -1) n = -1;
  const std::size_t want = static_cast<std::size_t>(n + 1);
  while (levels_.size() > want) {
    if (levels_.back().storage.valid()) levels_.back().storage.Release();
    levels_.pop_back();
  }
  while (levels_.size() < want) levels_.emplace_back();
}

Record BookPanel::ReadRecord(storage::Stream& stream) {
  Record record = ReadRecordStream(stream, record_key());
  const FieldTypeHost& types = State().field_types;
  bool changed = false;
  for (FieldEntry& field : record) {
    const int upgrader = types.UpgraderOf(field.type);
    if (upgrader < 0) continue;
    void* new_data = nullptr;
    uint32_t new_size = 0;
    FieldTypeId new_type = field.type;
    if (!types.slot(upgrader).Upgrade(field.bytes(), field.size(), field.type, &new_data, &new_size,
                                      &new_type)) {
      continue;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(new_data);
    field.type = new_type;
    field.data.assign(bytes, bytes ? bytes + new_size : bytes);
    HeapFree(new_data);
    changed = true;
  }
  if (changed) WriteRecord(stream, record);
  return record;
}

storage::HRESULT BookPanel::WriteRecord(storage::Stream& stream, const Record& record) {
  return WriteRecordStream(stream, record, record_key());
}

int BookPanel::ForEachField(storage::Stream& stream,
                            const std::function<int(const FieldVisit&)>& fn) {
  const Record record = ReadRecord(stream);
  const FieldTypeHost& types = State().field_types;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const FieldEntry& field = record[i];
    const int server = types.ServerOf(field.type);
    if (server < 0) continue;
    const int result =
        fn(FieldVisit{static_cast<int>(i), field.type, server, field.bytes(), field.size()});
    if (result) return result;
  }
  return 0;
}

bool BookPanel::GetField(int index, FieldEntry* out) {
  if (!record_stream_.valid() || index < 0) return false;
  Record record = ReadRecord(record_stream_);
  if (static_cast<std::size_t>(index) >= record.size()) return false;
  *out = std::move(record[static_cast<std::size_t>(index)]);
  return true;
}

storage::HRESULT BookPanel::AppendField(const void* data, uint32_t size, FieldTypeId type) {
  if (!record_stream_.valid()) return storage::STG_E_INVALIDHANDLE;
  Record record = ReadRecord(record_stream_);
  FieldEntry field;
  field.type = type;
  if (data)
    field.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  record.push_back(std::move(field));
  return WriteRecord(record_stream_, record);
}

storage::HRESULT BookPanel::ReplaceField(int index, const void* data, uint32_t size,
                                         FieldTypeId type) {
  if (!record_stream_.valid()) return storage::STG_E_INVALIDHANDLE;
  Record record = ReadRecord(record_stream_);
  if (index < 0 || static_cast<std::size_t>(index) >= record.size()) {
    return storage::STG_E_INVALIDPARAMETER;
  }
  auto at = record.begin() + index;
  if (data == nullptr) {
    record.erase(at);
  } else {
    at->type = type;
    at->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  }
  return WriteRecord(record_stream_, record);
}

}  // namespace qb::main
