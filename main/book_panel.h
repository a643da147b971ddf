// BookPanel: the object behind one plug-in panel. It remembers its position in the book by names
// (the folder stack and the open record) and opens the book file only while the host is inside one
// of its calls: every operation acquires the book at its start and releases it at its end, nested
// acquisitions only move the open count, and the last release closes every storage and the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "main/password.h"
#include "main/record_io.h"
#include "platform/storage/storage.h"
#include "sdk/far.h"
#include "sdk/fieldtype.h"

namespace qb::main {

// One entry of a panel's folder stack. Entry 0 is the root folder (no name).
struct FolderLevel {
  std::string name;          // panel text of the folder's name
  storage::Storage storage;  // open only while the book is acquired
  PasswordKey key;           // record key of a protected folder; wiped when the level is dropped
  uint32_t key_set = 0;      // 1 once the folder's password was given (or set) in this panel
};

// The user data of a field item inside a record. The host copies it by its first word. The first
// 16 bytes (size, type, index, server) are what every reader of a tag knows; the check words after
// them name the field's contents, so an item listed before another program changed the record
// cannot act on whichever field now stands at its index.
struct FieldTag {
  DWORD size = sizeof(FieldTag);
  DWORD type = 0;
  DWORD index = 0;   // the field's index in the record
  DWORD plugin = 0;  // plug-in index of the field's server
  DWORD data_size = 0;
  DWORD check_low = 0;  // 64-bit FNV-1a of the field's bytes
  DWORD check_high = 0;
};
static_assert(sizeof(FieldTag) == 28);

// What the for-each-field callback receives.
struct FieldVisit {
  int index;
  FieldTypeId type;
  int plugin;
  const void* data;
  uint32_t size;
};

class BookPanel {
 public:
  BookPanel();
  ~BookPanel();
  BookPanel(const BookPanel&) = delete;
  BookPanel& operator=(const BookPanel&) = delete;

  // ---- The book ----

  // 1 when the book and every folder on the path (and the open record) are open, else 0 after
  // showing the storage error box. A failed first acquisition keeps the levels that did open (the
  // panel moves up to the deepest of them) with the open count left at 0; the matching Release
  // then closes them.
  int Acquire();
  // Always 1. The last release closes the record, every folder and the file, and records the
  // panel's path as the last path.
  int Release();
  // Closes the record and the folders below depth n, or adds empty levels above it; -1 drops all.
  void SetDepth(int n);

  // Whether one of the host's calls holds the book now.
  bool acquired() const { return open_count_ > 0; }
  // The result of the last commit, made by the last release; S_OK before any.
  storage::HRESULT last_commit() const { return last_commit_; }

  int depth() const { return static_cast<int>(levels_.size()) - 1; }
  bool in_record() const { return has_record_; }
  const std::string& record_name() const { return record_name_; }
  const std::string& book_file() const { return book_file_; }
  const char* path() const { return path_; }
  bool root_open() const { return !levels_.empty() && levels_[0].storage.valid(); }
  storage::Storage* current_folder();
  storage::Stream* record_stream() { return record_stream_.valid() ? &record_stream_ : nullptr; }
  const std::vector<FolderLevel>& levels() const { return levels_; }
  // The key records of the current folder are stored under: that of the deepest level whose
  // password was given in this panel; null when they are stored plain.
  const PasswordKey* record_key() const { return KeyAt(depth()); }

  // ---- Records ----

  // Reads a record whole. Fields that a library upgrades take the converted contents, and the
  // record is then written back at once.
  Record ReadRecord(storage::Stream& stream);
  storage::HRESULT WriteRecord(storage::Stream& stream, const Record& record);
  // Calls fn for each field that has a server, in record order; returns the first non-zero result
  // of fn, else 0.
  int ForEachField(storage::Stream& stream, const std::function<int(const FieldVisit&)>& fn);
  // The field at index of the open record; false past the end.
  bool GetField(int index, FieldEntry* out);
  // Changes to the open record, each rewriting it whole.
  storage::HRESULT AppendField(const void* data, uint32_t size, FieldTypeId type);
  // Null data removes the field. The data stays the caller's.
  storage::HRESULT ReplaceField(int index, const void* data, uint32_t size, FieldTypeId type);

  // ---- Passwords ----

  // Alt+F6 in a folder: sets, changes or removes the current folder's password after asking for
  // it twice, and moves every record below the folder to the new key, all in one change of the
  // book. Refusals and failures are shown to the user.
  void SetPassword();

  // ---- The host's panel calls ----

  void GetOpenPluginInfo(OpenPluginInfo* info);
  int GetFindData(PluginPanelItem** items, int* count, int op_mode);
  void FreeFindData(PluginPanelItem* items, int count);
  int Compare(const PluginPanelItem* a, const PluginPanelItem* b, unsigned int mode);
  int SetDirectory(const char* dir, int op_mode);
  // Rereads the panel keeping the selection and redraws it with the given current and top item
  // (current < 0: redraw as it is).
  void Refresh(int current_item, int top_item);
  // The host is closing the panel: a failed commit from now on is reported but not reread.
  void Closing() { listed_ = false; }

  // The record description composed from the format (the Description setting) for the record
  // stream named record in the current folder; empty when the record cannot be opened.
  std::string ComposeDescription(const std::string& format, storage::Stream& record);

 private:
  void RebuildPath();
  // Closes the record and every folder, the root last. Closing the root makes the operation's
  // changes durable; the result is that commit's, S_OK when the root was not open.
  storage::HRESULT CloseAll();
  void PublishToFieldTypes();
  bool OpenBookFile();
  // Whether the folder at level may be entered: it has no password, its password was given in
  // this panel (and still is its password), or, when op_mode is interactive, the user gives it
  // now. A refused level holds no key afterwards; the caller drops it.
  bool CheckPassword(int level, int op_mode);
  // Asks for the password of the folder at level; true when one was typed, which the level then
  // holds as its key (flag set, not yet verified).
  bool AskPassword(int level);
  // The key of the deepest level at or above level whose flag is set, or null.
  const PasswordKey* KeyAt(int level) const;
  int EnterPart(const std::string& part, int op_mode, bool* done);
  // The items of the folder's elements into out, which has room for every element; returns how
  // many were listed.
  int ListFolder(storage::Storage& folder, storage::Enumerator& elements, const std::string& format,
                 int op_mode, PluginPanelItem* out);
  void SaveViewMode();
  void SetViewMode(int mode);

  // Field-type libraries read this text as HostServices' CurrentPanelPath.
  char path_[NM] = {};
  storage::Stream record_stream_;
  std::vector<FolderLevel> levels_;
  std::string record_name_;
  bool has_record_ = false;
  int open_count_ = 0;
  storage::HRESULT last_commit_ = storage::S_OK;
  std::string book_file_;    // the book this panel shows, taken from the setting on first opening
  bool listed_ = false;      // the host has listed the panel and not yet begun closing it
  bool refreshing_ = false;  // rereading after a failed commit
  bool told_read_only_ = false;  // the panel said once that its book is read-only
  bool root_checked_ = false;    // the root folder's list was read once without damage
};

}  // namespace qb::main

namespace qb::main {

// Holds one acquisition of a panel's book for the length of a scope.
class BookLock {
 public:
  explicit BookLock(BookPanel& panel) : panel_(panel), ok_(panel.Acquire() != 0) {}
  ~BookLock() { panel_.Release(); }
  BookLock(const BookLock&) = delete;
  BookLock& operator=(const BookLock&) = delete;
  bool ok() const { return ok_; }

 private:
  BookPanel& panel_;
  bool ok_;
};

}  // namespace qb::main
