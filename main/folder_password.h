// A folder's password as the book stores it, and changing the key of every record below a folder.
//
// The password stream (one blank as its name) holds the check text enciphered with the folder's
// key. The records of the folder and of its subfolders, down to the next folder with a password
// of its own, are enciphered with that key.
#pragma once

#include <cstdint>
#include <functional>

#include "main/book_format.h"
#include "main/password.h"
#include "platform/storage/storage.h"

namespace qb::main {

enum class PasswordStream {
  kAbsent,   // the folder has no password
  kPresent,  // check holds the stream's 16 bytes
  kDamaged,  // the stream is there but is not 16 bytes long
  kFailed,   // the stream is there but cannot be opened or read (*error says why)
};

// Reads the folder's password stream.
PasswordStream ReadPasswordStream(storage::Storage& folder,
                                  std::uint8_t (&check)[kPasswordCheckBytes],
                                  storage::HRESULT* error = nullptr);

// Whether the folder carries a password stream (damaged or not).
bool HasPasswordStream(storage::Storage& folder);

// Gives the folder the password of key `password` (null: removes its password) and moves every
// record below it from the key `from` to the key `to` (null: stored plain). Subfolders with a
// password of their own keep their records as they are. Records are taken as whole 8-byte blocks:
// their bytes are kept exactly, a length that is no multiple of 8 is rounded up when enciphered.
//
// All or nothing: on failure every record already rewritten gets its old bytes back, the password
// stream is restored and the failure is returned; what reaches the file is then decided by the
// commit at the root's release, which makes the whole change durable together or not at all.
// after_record, when given, is called after each record is rewritten (tests stop there).
storage::HRESULT ChangeFolderKey(storage::Storage& folder, const PasswordKey* password,
                                 const PasswordKey* from, const PasswordKey* to,
                                 const std::function<void()>& after_record = {});

}  // namespace qb::main
