// The book file as this library keeps it: a compound file whose storages are folders and whose
// streams are records (their layout is in main/record_io.h). Every name and mode of the format is
// here, so that each part of the library opens the book the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/storage/storage.h"

namespace qb::main {

// The name of the main library as the user sees it: the panel's title and format, the entry of
// the plug-ins, disks and configuration menus.
inline constexpr char kTitle[] = "Quillbox";
// The prefix of the host's command line that opens a panel on a path of the book.
inline constexpr char kCommandPrefix[] = "quill";
// The key below the host's RootKey that holds the settings of the main library and of the field
// types (each field type below its own sub-key).
inline constexpr char kRegistryKey[] = "Quillbox";
// The book the main library falls back to, in its own directory.
inline constexpr char kBookFileName[] = "Quillbox.Dat";

// Every storage and stream of the book, and the file itself, is opened read-write and exclusive
// (0x12); an element made to replace one of the same name adds STGM_CREATE (0x1012).
inline constexpr uint32_t kBookOpenMode = storage::STGM_READWRITE | storage::STGM_SHARE_EXCLUSIVE;
inline constexpr uint32_t kBookReplaceMode = kBookOpenMode | storage::STGM_CREATE;

// Element names that begin with a blank are the book's own and never show as folders or records:
// a folder's password stream is named by one blank, its description stream by two, its
// records' vCard UIDs by three.
inline constexpr char16_t kPasswordStream[] = u" ";
inline constexpr char16_t kDescriptionStream[] = u"  ";
// The vCard UIDs of a folder's records, one line each: the UID, a tab and the record's name.
inline constexpr char16_t kVCardUidStream[] = u"   ";

inline bool IsReservedElementName(std::u16string_view name) {
  return !name.empty() && name[0] == u' ';
}

// The largest record stream read or written: a record is padded to whole 8-byte blocks (the
// cipher's), and its length must still fit in 32 bits.
inline constexpr uint64_t kMaxRecordBytes = 0xFFFFFFF0u;

// The longest folder description read; a longer stream is read up to this size.
inline constexpr uint64_t kMaxFolderDescription = 0x100000;

// The description of a folder: its description stream up to kMaxFolderDescription bytes and up to
// the first zero byte. Empty when the folder has none or it cannot be read.
std::string ReadFolderDescription(storage::Storage& folder);

// The book beside the main library: module_dir (its directory) joined with kBookFileName.
std::string DefaultBookPath(std::string_view module_dir);

}  // namespace qb::main
