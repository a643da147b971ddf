#include "platform/codepage/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qb::codepage {
namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr const char* kUtf16 = "UTF-16LE";
#else
constexpr const char* kUtf16 = "UTF-16BE";
#endif

// A conversion descriptor, opened once per thread and direction (iconv_open costs far more than
// converting a name). Its shift state is reset before each use, so one conversion never sees
// what an earlier one left; the two encodings used here keep no shift state anyway.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of in; false when any of it is invalid or incomplete. out must be large enough
  // for the whole result (the callers size it from the worst case of the encodings).
  bool Run(const void* in, std::size_t inBytes, std::vector<char>& out, std::size_t* outBytes) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(static_cast<const char*>(in));
    char* dst = out.data();
    std::size_t srcLeft = inBytes;
    std::size_t dstLeft = out.size();
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return false;
    if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return false;
    if (srcLeft != 0) return false;
    *outBytes = out.size() - dstLeft;
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& ToUtf16() {
  thread_local Converter conv(kUtf16, "UTF-8");
  return conv;
}

Converter& ToUtf8() {
  thread_local Converter conv("UTF-8", kUtf16);
  return conv;
}

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  const std::size_t n = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 1;
  if (i + n > text.size()) return 1;
  for (std::size_t k = 1; k < n; ++k) {
    if (!IsContinuation(text[i + k])) return 1;
  }
  return n;
}

std::size_t Utf8CutPoint(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  // text[maxBytes] is the first byte left out. When it continues a character that begins at most
  // three bytes before it, the cut goes before that character.
  std::size_t start = maxBytes;
  while (start > 0 && maxBytes - start < 3 && IsContinuation(text[start])) --start;
  if (start < maxBytes && Utf8SequenceLength(text, start) > maxBytes - start) return start;
  return maxBytes;
}

namespace {

// Whether every code unit is ASCII, which both encodings write alike.
template <class Text>
bool AllAscii(Text text) {
  for (auto c : text) {
    if (static_cast<uint32_t>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view text, std::size_t maxUnits, bool* cut) {
  if (cut) *cut = false;
  if (text.empty()) return std::u16string();
  if (AllAscii(text)) {
    std::u16string result(text.begin(), text.begin() + std::min(text.size(), maxUnits));
    if (cut) *cut = result.size() < text.size();
    return result;
  }
  Converter& conv = ToUtf16();
  if (!conv.ok()) return std::nullopt;
  // Every UTF-8 byte yields at most one UTF-16 code unit.
  std::vector<char> out(text.size() * sizeof(char16_t) + 16);
  std::size_t bytes = 0;
  if (!conv.Run(text.data(), text.size(), out, &bytes)) return std::nullopt;
  std::u16string result(bytes / sizeof(char16_t), u'\0');
  std::memcpy(result.data(), out.data(), result.size() * sizeof(char16_t));
  if (result.size() > maxUnits) {
    std::size_t n = maxUnits;
    if (n > 0 && IsHighSurrogate(result[n - 1])) --n;
    result.resize(n);
    if (cut) *cut = true;
  }
  return result;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text, std::size_t maxBytes, bool* cut) {
  if (cut) *cut = false;
  if (text.empty()) return std::string();
  if (AllAscii(text)) {
    std::string result(text.begin(), text.begin() + std::min(text.size(), maxBytes));
    if (cut) *cut = result.size() < text.size();
    return result;
  }
  Converter& conv = ToUtf8();
  if (!conv.ok()) return std::nullopt;
  // A code unit yields at most three bytes (a pair, two units, yields four).
  std::vector<char> out(text.size() * 3 + 16);
  std::size_t bytes = 0;
  if (!conv.Run(text.data(), text.size() * sizeof(char16_t), out, &bytes)) return std::nullopt;
  std::string result(out.data(), bytes);
  if (result.size() > maxBytes) {
    result.resize(Utf8CutPoint(result, maxBytes));
    if (cut) *cut = true;
  }
  return result;
}

int WidenInto(const char* text, char16_t* out, std::size_t capacity) {
  if (capacity == 0 || out == nullptr) return -1;
  out[0] = u'\0';
  if (text == nullptr) return 0;
  auto wide = Utf8ToUtf16(text, capacity - 1);
  if (!wide) return -1;
  std::memcpy(out, wide->data(), wide->size() * sizeof(char16_t));
  out[wide->size()] = u'\0';
  return static_cast<int>(wide->size());
}

std::size_t CopyUtf8Into(std::string_view text, char* out, std::size_t capacity) {
  if (capacity == 0 || out == nullptr) return 0;
  const std::size_t n = Utf8CutPoint(text, capacity - 1);
  std::memmove(out, text.data(), n);
  out[n] = '\0';
  return n;
}

std::size_t OemToAnsiInto(const char* text, char* out, std::size_t capacity) {
  return CopyUtf8Into(text ? std::string_view(text) : std::string_view(), out, capacity);
}

std::string Utf16ToUtf8Lossy(std::u16string_view text, std::string_view replacement) {
  if (auto whole = Utf16ToUtf8(text)) return std::move(*whole);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t len = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      len = 2;
    }
    auto part = Utf16ToUtf8(text.substr(i, len));
    out += part ? *part : std::string(replacement);
    i += len - 1;
  }
  return out;
}

}  // namespace qb::codepage
