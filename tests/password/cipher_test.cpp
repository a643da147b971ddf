// The record cipher is standard IDEA, block by block: checked against published-style vectors and
// against libgcrypt on random keys and blocks, plus the key derivation from a password.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "main/idea.h"
#include "main/password.h"

namespace qb::main {
namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* bytes, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

PasswordKey KeyOf(const std::vector<uint8_t>& bytes) {
  PasswordKey key;
  std::memcpy(key.bytes, bytes.data(), kIdeaKeyBytes);
  return key;
}

// libgcrypt's IDEA in ECB mode, one call per buffer.
class Reference {
 public:
  Reference() {
    static const bool ready = [] {
      if (!gcry_check_version(GCRYPT_VERSION)) return false;
      gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
      return true;
    }();
    EXPECT_TRUE(ready);
    EXPECT_EQ(gcry_cipher_open(&handle_, GCRY_CIPHER_IDEA, GCRY_CIPHER_MODE_ECB, 0), 0u);
  }
  ~Reference() { gcry_cipher_close(handle_); }

  void Encipher(const uint8_t* key, uint8_t* data, std::size_t n, bool decipher = false) {
    ASSERT_EQ(gcry_cipher_setkey(handle_, key, kIdeaKeyBytes), 0u);
    const gcry_error_t err = decipher ? gcry_cipher_decrypt(handle_, data, n, nullptr, 0)
                                      : gcry_cipher_encrypt(handle_, data, n, nullptr, 0);
    ASSERT_EQ(err, 0u);
  }

 private:
  gcry_cipher_hd_t handle_ = nullptr;
};

TEST(IdeaVectors, PublishedKeyAndTheCheckOfSecret) {
  std::vector<uint8_t> block = Hex("0000000100020003");
  const PasswordKey counting = KeyOf(Hex("00010002000300040005000600070008"));
  EncipherBuffer(counting.bytes, block.data(), block.size());
  EXPECT_EQ(ToHex(block.data(), 8), "11fbed2b01986de5");
  DecipherBuffer(counting.bytes, block.data(), block.size());
  EXPECT_EQ(ToHex(block.data(), 8), "0000000100020003");

  PasswordKey secret;
  ASSERT_TRUE(MakePasswordKey("secret", secret));
  uint8_t check[kPasswordCheckBytes];
  MakePasswordCheck(secret, check);
  EXPECT_EQ(ToHex(check, sizeof check), "c12f332c06595d1d7821f8a5057e40de");
  EXPECT_TRUE(PasswordCheckMatches(secret, check));

  PasswordKey other;
  ASSERT_TRUE(MakePasswordKey("Secret", other));
  EXPECT_FALSE(PasswordCheckMatches(other, check));
  check[15] ^= 1;
  EXPECT_FALSE(PasswordCheckMatches(secret, check));
}

TEST(IdeaAgainstLibgcrypt, TenThousandRandomKeysAndBlocksAgreeBothWays) {
  Reference reference;
  std::mt19937_64 random(20240615);
  for (int i = 0; i < 10000; ++i) {
    uint8_t key[kIdeaKeyBytes];
    uint8_t plain[kIdeaBlockBytes];
    for (uint8_t& b : key) b = static_cast<uint8_t>(random());
    for (uint8_t& b : plain) b = static_cast<uint8_t>(random());
    // Words of 0 stand for 65536 in the multiplication: make them common rather than rare.
    if (i % 7 == 0) key[2 * (i % 8)] = key[2 * (i % 8) + 1] = 0;
    if (i % 5 == 0) plain[2 * (i % 4)] = plain[2 * (i % 4) + 1] = 0;

    uint8_t ours[kIdeaBlockBytes];
    uint8_t theirs[kIdeaBlockBytes];
    std::memcpy(ours, plain, 8);
    std::memcpy(theirs, plain, 8);
    EncipherBuffer(key, ours, 8);
    reference.Encipher(key, theirs, 8);
    ASSERT_EQ(ToHex(ours, 8), ToHex(theirs, 8)) << "key " << ToHex(key, 16);

    DecipherBuffer(key, ours, 8);
    ASSERT_EQ(ToHex(ours, 8), ToHex(plain, 8)) << "key " << ToHex(key, 16);
    reference.Encipher(key, theirs, 8, /*decipher=*/true);
    ASSERT_EQ(ToHex(theirs, 8), ToHex(plain, 8));
  }
}

TEST(IdeaBuffers, BlocksAreIndependentAndTheLengthRoundsUpToEight) {
  Reference reference;
  std::mt19937_64 random(7);
  uint8_t key[kIdeaKeyBytes];
  for (uint8_t& b : key) b = static_cast<uint8_t>(random());
  // Odd and even block counts go through different paths of the cipher.
  for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 23u, 24u, 1000u, 4096u}) {
    const std::size_t rounded = (length + 7) & ~std::size_t{7};
    std::vector<uint8_t> plain(rounded + 8, 0xEE);  // 8 bytes past the rounding must stay
    for (std::size_t i = 0; i < rounded; ++i) plain[i] = static_cast<uint8_t>(random());
    std::vector<uint8_t> ours = plain;
    std::vector<uint8_t> theirs(plain.begin(), plain.begin() + rounded);
    EncipherBuffer(key, ours.data(), length);
    reference.Encipher(key, theirs.data(), rounded);
    EXPECT_EQ(ToHex(ours.data(), rounded), ToHex(theirs.data(), rounded)) << length;
    EXPECT_EQ(ToHex(ours.data() + rounded, 8), "eeeeeeeeeeeeeeee") << length;
    DecipherBuffer(key, ours.data(), length);
    EXPECT_EQ(ours, plain) << length;
  }
  // Equal plaintext blocks give equal ciphertext blocks: no chaining.
  std::vector<uint8_t> same(32, 'A');
  EncipherBuffer(key, same.data(), same.size());
  EXPECT_EQ(ToHex(same.data(), 8), ToHex(same.data() + 24, 8));
}

TEST(IdeaBuffers, NoKeyLeavesTheBufferAsItWas) {
  std::string text = "plain text stays";
  EncipherBuffer(nullptr, text.data(), text.size());
  DecipherBuffer(nullptr, text.data(), text.size());
  EXPECT_EQ(text, "plain text stays");
}

TEST(PasswordKeys, BytesRepeatToSixteenAndOnlyTheFirstSixteenCount) {
  PasswordKey key;
  ASSERT_TRUE(MakePasswordKey("secret", key));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.bytes), 16), "secretsecretsecr");
  ASSERT_TRUE(MakePasswordKey("abcde", key));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.bytes), 16), "abcdeabcdeabcdea");
  ASSERT_TRUE(MakePasswordKey("0123456789abcdef", key));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key.bytes), 16), "0123456789abcdef");
  PasswordKey longer;
  ASSERT_TRUE(MakePasswordKey("0123456789abcdefWXYZ", longer));
  EXPECT_EQ(std::memcmp(longer.bytes, key.bytes, 16), 0);
  // Non-ASCII text counts by its UTF-8 bytes: "пароль" is 12 bytes, so 4 of them repeat.
  ASSERT_TRUE(MakePasswordKey("\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C", key));
  EXPECT_EQ(ToHex(key.bytes, 16), "d0bfd0b0d180d0bed0bbd18cd0bfd0b0");

  EXPECT_FALSE(MakePasswordKey("", key));
  EXPECT_EQ(ToHex(key.bytes, 16), std::string(32, '0'));
}

}  // namespace
}  // namespace qb::main
