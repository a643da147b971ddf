// Compaction (Shift+F3): the whole book rewritten into a fresh compound file that takes the
// book's place, so the space of deleted and rewritten elements is given back.
//
// The book's name holds the old complete book or the new complete one at every moment. The copy
// is written beside the book under the book's name plus ".Compact", made durable, and renamed
// over the book in one step (the directory then synced); a leftover copy of a run that stopped
// half-way is replaced without a question. The book stays open and locked from before the copy
// until after the rename, so no other program can change it in between (a change it made would be
// lost with the old file), and one that opened the old file meanwhile finds, once it has the lock,
// that the name now holds another file and opens that (the file layer's check after locking).
#pragma once

#include <functional>
#include <string>

#include "main/book_panel.h"
#include "platform/storage/storage.h"

namespace qb::main {

enum class CompactFailure {
  kNone,
  kOpen,     // the book cannot be opened (missing, damaged, read-only)
  kHeld,     // another program holds the book: it cannot be replaced now
  kCreate,   // the copy cannot be created
  kCopy,     // the book cannot be copied into it (the copy stays until the next run)
  kReplace,  // the copy cannot take the book's name (the copy stays; the book is as it was)
};

struct CompactResult {
  CompactFailure failure = CompactFailure::kNone;
  storage::HRESULT hr = storage::S_OK;
  std::string temporary;  // the copy's path
};

// The copy's path for the book at book: the same path with ".Compact" appended.
std::string CompactTemporaryName(const std::string& book);

// Compacts the book file at book (a symbolic link is followed: the file it names is compacted in
// its own directory, and the link stays). copied, when given, is called after each element is
// copied. Every element is copied as it is stored: folders with their times, records (enciphered
// ones under the same key), the password and description streams.
CompactResult CompactBookFile(const std::string& book, storage::FileSystem* fs,
                              const std::function<void()>& copied = nullptr);

// The Shift+F3 action, in folder and in record view, outside any acquisition of the book: the
// panel's own book is compacted, failures and the end are shown in boxes, and the panel keeps its
// place (folder names, keys, open record), which its next acquisition opens in the new file.
void CompactBook(BookPanel& panel);

}  // namespace qb::main
