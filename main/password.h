// Folder passwords: the record key made from a password, and the check value a protected folder
// stores so that a typed password can be verified without any record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "main/idea.h"

namespace qb::main {

// The plaintext a folder's password stream holds enciphered with the folder's key.
inline constexpr char kPasswordCheckText[] = "Quillbox Pwd Chk";
constexpr std::size_t kPasswordCheckBytes = 16;

// A 16-byte record key, wiped when destroyed or cleared.
struct PasswordKey {
  std::uint8_t bytes[kIdeaKeyBytes] = {};

  PasswordKey() = default;
  PasswordKey(const PasswordKey& other) noexcept;
  PasswordKey& operator=(const PasswordKey& other) noexcept;
  ~PasswordKey();
  void Clear();
  bool operator==(const PasswordKey& other) const;
};

// The key of a password: its bytes (the UTF-8 bytes the user typed) repeated from the start
// until 16 are filled; bytes after the 16th do not count. An empty password makes no key: the
// result is false and key is cleared.
bool MakePasswordKey(std::string_view password, PasswordKey& key);

// The 16 bytes of the password stream for key: the check text enciphered as two blocks.
void MakePasswordCheck(const PasswordKey& key, std::uint8_t (&check)[kPasswordCheckBytes]);

// Whether stored, the 16 bytes of a password stream, are the check value of key.
bool PasswordCheckMatches(const PasswordKey& key,
                          const std::uint8_t (&stored)[kPasswordCheckBytes]);

}  // namespace qb::main
