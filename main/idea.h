// The record cipher: IDEA (64-bit blocks, 128-bit keys, eight rounds and an output transformation
// over 16-bit words taken big-endian) applied to each 8-byte block of a buffer on its own, in
// place, with no chaining. Books written by the Windows system are enciphered the same way, so
// this must stay bit-for-bit the standard cipher.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::main {

constexpr std::size_t kIdeaKeyBytes = 16;
constexpr std::size_t kIdeaBlockBytes = 8;

// The expanded subkeys of one 16-byte key, for both directions. Wiped when destroyed.
class IdeaCipher {
 public:
  explicit IdeaCipher(const std::uint8_t (&key)[kIdeaKeyBytes]);
  ~IdeaCipher();
  IdeaCipher(const IdeaCipher&) = delete;
  IdeaCipher& operator=(const IdeaCipher&) = delete;

  // Enciphers or deciphers the blocks covering length bytes of data, in place. The length is
  // rounded up to a multiple of 8: data must have room for the rounding.
  void Encipher(std::uint8_t* data, std::size_t length) const;
  void Decipher(std::uint8_t* data, std::size_t length) const;

 private:
  static constexpr int kSubkeys = 52;
  std::uint16_t encrypt_[kSubkeys];
  std::uint16_t decrypt_[kSubkeys];
};

// The blocks covering length bytes of data, enciphered (or deciphered) with key in place; a null
// key leaves data unchanged. The length is rounded up to a multiple of 8, as above.
void EncipherBuffer(const std::uint8_t* key, void* data, std::size_t length);
void DecipherBuffer(const std::uint8_t* key, void* data, std::size_t length);

}  // namespace qb::main
