#include "main/idea.h"

#include <string.h>  // explicit_bzero

namespace qb::main {

namespace {

// a * b modulo 65537, where the word 0 stands for 65536. As 65536 = -1 (mod 65537), a product
// hi * 65536 + lo reduces to lo - hi, plus 65537 when negative (which is + 1 on a 16-bit word).
// A zero product means a factor was 65536 = -1, so the result is 1 - the other one. That case is
// one word in 65536: the branch is all but always predicted, and cheaper than a branch-free form
// on 64-bit products (measured: about a third faster).
inline std::uint32_t Mul(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t p = a * b;
  if (__builtin_expect(p != 0, 1)) {
    const std::uint32_t lo = p & 0xFFFF, hi = p >> 16;
    return (lo - hi + (lo < hi)) & 0xFFFF;
  }
  return (1 - a - b) & 0xFFFF;
}

// Multiplicative inverse modulo 65537 (0 standing for 65536, its own inverse), by Fermat:
// x^(65537-2).
std::uint16_t MulInverse(std::uint16_t x) {
  std::uint32_t result = 1;
  std::uint32_t base = x;
  for (std::uint32_t e = 65535; e != 0; e >>= 1) {
    if (e & 1) result = Mul(result, base);
    base = Mul(base, base);
  }
  return static_cast<std::uint16_t>(result);
}

std::uint16_t AddInverse(std::uint16_t x) {
  return static_cast<std::uint16_t>(0x10000 - x);
}

inline std::uint32_t Load16(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 8 | p[1];
}
inline void Store16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// One direction over whole blocks. Two blocks go through the rounds side by side: each round is
// a chain of dependent multiplies, and interleaving two chains keeps the multiplier busy.
void CryptBlocks(const std::uint16_t* k, std::uint8_t* data, std::size_t blocks) {
  auto one_round = [](const std::uint16_t* z, std::uint32_t& x1, std::uint32_t& x2,
                      std::uint32_t& x3, std::uint32_t& x4) {
    x1 = Mul(x1, z[0]);
    x2 = (x2 + z[1]) & 0xFFFF;
    x3 = (x3 + z[2]) & 0xFFFF;
    x4 = Mul(x4, z[3]);
    const std::uint32_t t0 = Mul(x1 ^ x3, z[4]);
    const std::uint32_t t1 = Mul((t0 + (x2 ^ x4)) & 0xFFFF, z[5]);
    const std::uint32_t t2 = (t0 + t1) & 0xFFFF;
    x1 ^= t1;
    x4 ^= t2;
    const std::uint32_t a = x2 ^ t2;
    x2 = x3 ^ t1;
    x3 = a;
  };
  auto finish = [](const std::uint16_t* z, std::uint8_t* out, std::uint32_t x1, std::uint32_t x2,
                   std::uint32_t x3, std::uint32_t x4) {
    // The output transformation undoes the last round's swap of the middle words.
    Store16(out, Mul(x1, z[0]));
    Store16(out + 2, x3 + z[1]);
    Store16(out + 4, x2 + z[2]);
    Store16(out + 6, Mul(x4, z[3]));
  };

  std::size_t i = 0;
  for (; i + 2 <= blocks; i += 2) {
    std::uint8_t* p = data + i * kIdeaBlockBytes;
    std::uint8_t* q = p + kIdeaBlockBytes;
    std::uint32_t a1 = Load16(p), a2 = Load16(p + 2), a3 = Load16(p + 4), a4 = Load16(p + 6);
    std::uint32_t b1 = Load16(q), b2 = Load16(q + 2), b3 = Load16(q + 4), b4 = Load16(q + 6);
    for (int r = 0; r < 8; ++r) {
      one_round(k + 6 * r, a1, a2, a3, a4);
      one_round(k + 6 * r, b1, b2, b3, b4);
    }
    finish(k + 48, p, a1, a2, a3, a4);
    finish(k + 48, q, b1, b2, b3, b4);
  }
  if (i < blocks) {
    std::uint8_t* p = data + i * kIdeaBlockBytes;
    std::uint32_t a1 = Load16(p), a2 = Load16(p + 2), a3 = Load16(p + 4), a4 = Load16(p + 6);
    for (int r = 0; r < 8; ++r) one_round(k + 6 * r, a1, a2, a3, a4);
    finish(k + 48, p, a1, a2, a3, a4);
  }
}

std::size_t BlocksFor(std::size_t length) {
  return (length + kIdeaBlockBytes - 1) / kIdeaBlockBytes;
}

}  // namespace

IdeaCipher::IdeaCipher(const std::uint8_t (&key)[kIdeaKeyBytes]) {
  // The 52 encryption subkeys: the key's eight words, then the eight words of the key rotated
  // left by 25 bits, and so on.
  std::uint64_t hi = 0, lo = 0;
  for (int i = 0; i < 8; ++i) hi = hi << 8 | key[i];
  for (int i = 8; i < 16; ++i) lo = lo << 8 | key[i];
  for (int n = 0; n < kSubkeys;) {
    for (int w = 0; w < 8 && n < kSubkeys; ++w, ++n) {
      const std::uint64_t half = w < 4 ? hi : lo;
      encrypt_[n] = static_cast<std::uint16_t>(half >> (48 - 16 * (w % 4)));
    }
    const std::uint64_t new_hi = hi << 25 | lo >> 39;
    const std::uint64_t new_lo = lo << 25 | hi >> 39;
    hi = new_hi;
    lo = new_lo;
  }

  // The decryption subkeys: the inverses of the encryption ones, round by round in reverse order.
  // The additive pair trades places in the inner rounds, as every round but the output
  // transformation swaps the middle words.
  const std::uint16_t* e = encrypt_;
  std::uint16_t* d = decrypt_;
  for (int r = 0; r <= 8; ++r) {
    const int src = 6 * (8 - r);  // the multiply/add group of encryption round 8 - r
    const bool swap = r != 0 && r != 8;
    d[6 * r + 0] = MulInverse(e[src + 0]);
    d[6 * r + 1] = AddInverse(e[src + (swap ? 2 : 1)]);
    d[6 * r + 2] = AddInverse(e[src + (swap ? 1 : 2)]);
    d[6 * r + 3] = MulInverse(e[src + 3]);
    if (r < 8) {
      d[6 * r + 4] = e[src - 2];
      d[6 * r + 5] = e[src - 1];
    }
  }
  explicit_bzero(&hi, sizeof hi);
  explicit_bzero(&lo, sizeof lo);
}

IdeaCipher::~IdeaCipher() {
  explicit_bzero(encrypt_, sizeof encrypt_);
  explicit_bzero(decrypt_, sizeof decrypt_);
}

void IdeaCipher::Encipher(std::uint8_t* data, std::size_t length) const {
  CryptBlocks(encrypt_, data, BlocksFor(length));
}

void IdeaCipher::Decipher(std::uint8_t* data, std::size_t length) const {
  CryptBlocks(decrypt_, data, BlocksFor(length));
}

namespace {

const std::uint8_t (&KeyArray(const std::uint8_t* key))[kIdeaKeyBytes] {
  return *reinterpret_cast<const std::uint8_t(*)[kIdeaKeyBytes]>(key);
}

}  // namespace

void EncipherBuffer(const std::uint8_t* key, void* data, std::size_t length) {
  if (!key || length == 0) return;
  IdeaCipher(KeyArray(key)).Encipher(static_cast<std::uint8_t*>(data), length);
}

void DecipherBuffer(const std::uint8_t* key, void* data, std::size_t length) {
  if (!key || length == 0) return;
  IdeaCipher(KeyArray(key)).Decipher(static_cast<std::uint8_t*>(data), length);
}

}  // namespace qb::main
