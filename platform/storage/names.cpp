// Element names: validation and the format's ordering.
#include <locale.h>
#include <wctype.h>

#include "platform/storage/storage.h"

namespace qb::storage {
namespace {

// Code units outside the ranges below fall back to the C library's Unicode table, taken from the
// C.UTF-8 locale (deterministic for a given C library, independent of the user's locale).
// The locale is freed when the library is unloaded: the main library is loaded and unloaded by
// name, and a locale left behind would be lost memory.
class CtypeLocale {
 public:
  CtypeLocale() : loc_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
  ~CtypeLocale() {
    if (loc_ != static_cast<locale_t>(0)) freelocale(loc_);
  }
  CtypeLocale(const CtypeLocale&) = delete;
  CtypeLocale& operator=(const CtypeLocale&) = delete;
  locale_t get() const { return loc_; }

 private:
  locale_t loc_;
};

char16_t FallbackUpper(char16_t c) {
  static const CtypeLocale holder;
  const locale_t loc = holder.get();
  if (loc == static_cast<locale_t>(0)) return c;
  wint_t u = towupper_l(static_cast<wint_t>(c), loc);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

// Pairs laid out as upper at an even code point, lower right after it.
bool EvenPair(char16_t c) {
  return (c & 1) != 0;
}

}  // namespace

// Simple upper-case mapping for one UTF-16 code unit. Explicit for Latin-1, Latin Extended-A,
// Greek and Cyrillic so that the order of names there never depends on the C library.
char16_t UpperCodeUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C;
    if (c == 0xFF) return 0x178;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
  }
  if (c < 0x180) {
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if ((c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
      return EvenPair(c) ? static_cast<char16_t>(c - 1) : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
      return (c & 1) == 0 ? static_cast<char16_t>(c - 1) : c;
    return c;
  }
  if (c >= 0x370 && c < 0x400) {
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB))
      return static_cast<char16_t>(c - 32);
    if (c == 0x3C2) return 0x3A3;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 37);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 63);
    return FallbackUpper(c);
  }
  if (c >= 0x400 && c < 0x500) {
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF))
      return EvenPair(c) ? static_cast<char16_t>(c - 1) : c;
    if (c == 0x4CF) return 0x4C0;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) == 0 ? static_cast<char16_t>(c - 1) : c;
    return c;
  }
  if (c >= 0xD800 && c <= 0xDFFF) return c;  // surrogates compare as they are
  return FallbackUpper(c);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = UpperCodeUnit(a[i]), y = UpperCodeUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

HRESULT ValidateName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return STG_E_INVALIDNAME;
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c == 0) return STG_E_INVALIDNAME;
  }
  return S_OK;
}

}  // namespace qb::storage
