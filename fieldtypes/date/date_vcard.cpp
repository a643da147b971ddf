// A Date field as vCard properties: a birthday is the card's BDAY, a wedding anniversary its
// X-ANNIVERSARY (vCard 4.0's ANNIVERSARY is read too), every other kind this program's own
// X-QUILLBOX-DATE with the kind's number, and for the user's own kind its name and reminder text
// as the value's second and third parts. A date without a year is written "--MM-DD".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fieldtypes/date/date_field.h"
#include "shared/fieldtype/field_type.h"
#include "shared/fieldtype/vcard_field.h"

namespace {

namespace vc = qb::fieldtype::vcard;
using qb::date::DateField;

constexpr int32_t kBirthday = 0;
constexpr int32_t kWedding = 2;
constexpr char kOwnProperty[] = "X-QUILLBOX-DATE";
constexpr char kKindParam[] = "X-KIND";

std::string DateText(const DateField& f) {
  char text[32];
  if (f.year <= 0 || f.year > 9999) {
    std::snprintf(text, sizeof text, "--%02d-%02d", f.month, f.day);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", f.year, f.month, f.day);
  }
  return text;
}

bool Digits(const std::string& s, std::size_t at, std::size_t n, int32_t* out) {
  if (at + n > s.size()) return false;
  int32_t v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// "1980-08-05", "19800805", either with a time after "T", "--08-05" and "--0805" (no year).
bool ParseDate(const std::string& value, DateField* f) {
  std::string s = value.substr(0, value.find('T'));
  while (!s.empty() && (s.back() == ' ' || s.back() == 'Z')) s.pop_back();
  int32_t year = 0, month = 0, day = 0;
  bool ok = false;
  if (s.size() >= 4 && s.compare(0, 2, "--") == 0) {
    const std::string md = s.substr(2);
    ok = (md.size() == 5 && md[2] == '-' && Digits(md, 0, 2, &month) && Digits(md, 3, 2, &day)) ||
         (md.size() == 4 && Digits(md, 0, 2, &month) && Digits(md, 2, 2, &day));
  } else if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
    ok = Digits(s, 0, 4, &year) && Digits(s, 5, 2, &month) && Digits(s, 8, 2, &day);
  } else if (s.size() == 8) {
    ok = Digits(s, 0, 4, &year) && Digits(s, 4, 2, &month) && Digits(s, 6, 2, &day);
  }
  if (!ok || month < 1 || month > 12 || day < 1 || day > 31) return false;
  f->year = year;
  f->month = month;
  f->day = day;
  return true;
}

}  // namespace

extern "C" QB_EXPORT void WriteVCard(const void* data, uint32_t size, FieldTypeId type,
                                     const VCardWriter* writer) {
  if (type == qb::date::kOldDateId && size > 12) size = 12;
  const DateField f = qb::date::ParseDateField(data, size);
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31) return;
  if (f.kind == kBirthday) return vc::Write(writer, "BDAY", {}, {DateText(f)});
  if (f.kind == kWedding) return vc::Write(writer, "X-ANNIVERSARY", {}, {DateText(f)});
  const std::vector<vc::Param> params = {{kKindParam, std::to_string(f.kind)}};
  if (f.kind == qb::date::kOwnKind) {
    return vc::Write(writer, kOwnProperty, params, {DateText(f), f.name, f.text});
  }
  vc::Write(writer, kOwnProperty, params, {DateText(f)});
}

extern "C" QB_EXPORT int ReadVCard(const VCardProperty* card, uint32_t count, uint32_t index,
                                   void** new_data, uint32_t* new_size, FieldTypeId* new_type) {
  (void)count;
  const VCardProperty& prop = card[index];
  DateField f;
  if (std::strcmp(prop.Name, "BDAY") == 0) {
    f.kind = kBirthday;
  } else if (std::strcmp(prop.Name, "ANNIVERSARY") == 0 ||
             std::strcmp(prop.Name, "X-ANNIVERSARY") == 0) {
    f.kind = kWedding;
  } else if (std::strcmp(prop.Name, kOwnProperty) == 0) {
    const char* kind = vc::ParamOf(prop, kKindParam);
    char* end = nullptr;
    const long k = kind ? std::strtol(kind, &end, 10) : -1;
    if (!kind || *end != '\0' || k < 0 || (k > 100 && k != qb::date::kOwnKind)) {
      return VCARD_NOT_MINE;
    }
    f.kind = static_cast<int32_t>(k);
    if (f.kind == qb::date::kOwnKind) {
      if (prop.ComponentCount > 1) f.name = prop.Components[1];
      if (prop.ComponentCount > 2) f.text = prop.Components[2];
    }
  } else {
    return VCARD_NOT_MINE;
  }
  // A date written as text ("circa 1800") is no date this type can hold.
  if (!ParseDate(prop.ComponentCount > 0 ? prop.Components[0] : prop.Value, &f)) {
    return VCARD_NOT_MINE;
  }
  uint32_t stored = 0;
  void* bytes = qb::date::StoreDateField(f, &stored);
  if (!bytes) return VCARD_NOT_MINE;
  *new_data = bytes;
  *new_size = stored;
  *new_type = qb::date::kDateId;
  return VCARD_FIELD;
}
