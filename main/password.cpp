#include "main/password.h"

#include <string.h>  // explicit_bzero

#include <cstring>

namespace qb::main {

static_assert(sizeof(kPasswordCheckText) - 1 == kPasswordCheckBytes);

PasswordKey::PasswordKey(const PasswordKey& other) noexcept {
  std::memcpy(bytes, other.bytes, sizeof bytes);
}

PasswordKey& PasswordKey::operator=(const PasswordKey& other) noexcept {
  if (this != &other) std::memcpy(bytes, other.bytes, sizeof bytes);
  return *this;
}

PasswordKey::~PasswordKey() {
  Clear();
}

void PasswordKey::Clear() {
  explicit_bzero(bytes, sizeof bytes);
}

bool PasswordKey::operator==(const PasswordKey& other) const {
  return std::memcmp(bytes, other.bytes, sizeof bytes) == 0;
}

bool MakePasswordKey(std::string_view password, PasswordKey& key) {
  key.Clear();
  if (password.empty()) return false;
  for (std::size_t i = 0; i < kIdeaKeyBytes; ++i) {
    key.bytes[i] = static_cast<std::uint8_t>(password[i % password.size()]);
  }
  return true;
}

void MakePasswordCheck(const PasswordKey& key, std::uint8_t (&check)[kPasswordCheckBytes]) {
  std::memcpy(check, kPasswordCheckText, kPasswordCheckBytes);
  IdeaCipher(key.bytes).Encipher(check, kPasswordCheckBytes);
}

bool PasswordCheckMatches(const PasswordKey& key,
                          const std::uint8_t (&stored)[kPasswordCheckBytes]) {
  std::uint8_t plain[kPasswordCheckBytes];
  std::memcpy(plain, stored, kPasswordCheckBytes);
  IdeaCipher(key.bytes).Decipher(plain, kPasswordCheckBytes);
  const bool equal = std::memcmp(plain, kPasswordCheckText, kPasswordCheckBytes) == 0;
  explicit_bzero(plain, sizeof plain);
  return equal;
}

}  // namespace qb::main
