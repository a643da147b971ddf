#include "main/vcard_syntax.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>

namespace qb::main::vcard {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!NameChar(c) || c == '_') return false;
  }
  return true;
}

void AppendReplacement(std::string& out) {
  out += "\xEF\xBF\xBD";
}

// Converts text from charset to UTF-8; one descriptor is kept for the charset last asked for,
// since a file names the same one on every line.
class Converter {
 public:
  ~Converter() { Close(); }
  // False when the charset is unknown.
  bool ToUtf8(const std::string& charset, std::string_view in, std::string* out) {
    if (charset != charset_) {
      Close();
      charset_ = charset;
      cd_ = iconv_open("UTF-8", charset.c_str());
    }
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out->clear();
    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out->append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
        // A byte the charset does not have, or a sequence cut off at the end.
        AppendReplacement(*out);
        ++src;
        --left;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return true;
  }

 private:
  void Close() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    cd_ = reinterpret_cast<iconv_t>(-1);
    charset_.clear();
  }
  std::string charset_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Upper(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c != '=') {
      out += c;
      continue;
    }
    if (i + 1 < in.size() && (in[i + 1] == '\n' || in[i + 1] == '\r')) {
      // A soft line break left in the value.
      ++i;
      if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
      continue;
    }
    const int hi = i + 1 < in.size() ? HexDigit(in[i + 1]) : -1;
    const int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      if (i + 1 < in.size()) out += c;  // a lone "=" at the end is a soft break
      continue;
    }
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

// Undoes the text escapes of a part of a value.
std::string Unescape(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\' || i + 1 == in.size()) {
      out += in[i];
      continue;
    }
    const char next = in[++i];
    switch (next) {
      case 'n':
      case 'N':
        out += '\n';
        break;
      case '\\':
      case ',':
      case ';':
      case ':':
        out += next;
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

// Splits at every unescaped separator; false when there would be more than limit parts.
bool SplitEscaped(std::string_view raw, char separator, std::size_t limit,
                  std::vector<std::string>* parts) {
  parts->clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\') {
      ++i;
      continue;
    }
    if (raw[i] == separator) {
      if (parts->size() + 1 >= limit) return false;
      parts->push_back(Unescape(raw.substr(start, i - start)));
      start = i + 1;
    }
  }
  parts->push_back(Unescape(raw.substr(start)));
  return true;
}

// RFC 6868's escapes in a parameter value.
std::string UncaretParam(std::string_view in) {
  if (in.find('^') == std::string_view::npos) return std::string(in);
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '^' && i + 1 < in.size()) {
      const char n = in[i + 1];
      if (n == 'n' || n == 'N') {
        out += '\n';
        ++i;
        continue;
      }
      if (n == '^' || n == '\'') {
        out += n == '^' ? '^' : '"';
        ++i;
        continue;
      }
    }
    out += in[i];
  }
  return out;
}

bool IsEncodingWord(std::string_view word) {
  return SameText(word, "QUOTED-PRINTABLE") || SameText(word, "BASE64") || SameText(word, "B") ||
         SameText(word, "8BIT") || SameText(word, "7BIT");
}

bool IsBinaryName(std::string_view name) {
  return name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY";
}

enum class LineResult { kProperty, kDropped, kBad };

// Parses one logical line into a property.
class LineParser {
 public:
  explicit LineParser(Converter& converter) : converter_(converter) {}

  LineResult Parse(std::string_view line, Property* prop) {
    std::size_t i = 0;
    while (i < line.size() && (NameChar(line[i]) || line[i] == '.')) ++i;
    std::string_view head = line.substr(0, i);
    const std::size_t dot = head.rfind('.');
    std::string_view group, name = head;
    if (dot != std::string_view::npos) {
      group = head.substr(0, dot);
      name = head.substr(dot + 1);
    }
    if (name.empty() || i == line.size() || (line[i] != ';' && line[i] != ':')) {
      return LineResult::kBad;
    }
    prop->group = std::string(group);
    prop->name = UpperText(name);
    prop->params.clear();
    bool too_many = false;
    while (i < line.size() && line[i] == ';') {
      ++i;
      const std::size_t name_start = i;
      while (i < line.size() && line[i] != '=' && line[i] != ';' && line[i] != ':') ++i;
      if (i == line.size()) return LineResult::kBad;
      std::string_view param_name = line.substr(name_start, i - name_start);
      if (line[i] != '=') {
        if (param_name.empty()) continue;
        // A bare 2.1 parameter: a type, or an encoding.
        AddParam(IsEncodingWord(param_name) ? "ENCODING" : "TYPE", param_name, &too_many, prop);
        continue;
      }
      ++i;  // "="
      const std::string upper_name = UpperText(param_name);
      const bool split_quoted = upper_name == "TYPE";
      for (;;) {
        std::string_view value;
        if (i < line.size() && line[i] == '"') {
          const std::size_t close = line.find('"', i + 1);
          if (close == std::string_view::npos) return LineResult::kBad;
          value = line.substr(i + 1, close - i - 1);
          i = close + 1;
          if (split_quoted && value.find(',') != std::string_view::npos) {
            std::size_t s = 0;
            for (std::size_t k = 0; k <= value.size(); ++k) {
              if (k == value.size() || value[k] == ',') {
                AddParam(upper_name, value.substr(s, k - s), &too_many, prop);
                s = k + 1;
              }
            }
            value = {};
            if (i < line.size() && line[i] == ',') {
              ++i;
              continue;
            }
            break;
          }
        } else {
          const std::size_t start = i;
          while (i < line.size() && line[i] != ',' && line[i] != ';' && line[i] != ':') ++i;
          value = line.substr(start, i - start);
        }
        AddParam(upper_name, value, &too_many, prop);
        if (i < line.size() && line[i] == ',') {
          ++i;
          continue;
        }
        break;
      }
      if (i == line.size()) return LineResult::kBad;
    }
    if (i == line.size() || line[i] != ':') return LineResult::kBad;
    if (too_many) return LineResult::kDropped;
    std::string_view value = line.substr(i + 1);

    const std::string* encoding = prop->ParamValue("ENCODING");
    if (IsBinaryName(prop->name) ||
        (encoding && (SameText(*encoding, "B") || SameText(*encoding, "BASE64")))) {
      return LineResult::kDropped;
    }
    std::string decoded = encoding && SameText(*encoding, "QUOTED-PRINTABLE")
                              ? DecodeQuotedPrintable(value)
                              : std::string(value);
    const std::string* charset = prop->ParamValue("CHARSET");
    std::string converted;
    if (charset && !SameText(*charset, "UTF-8") && !SameText(*charset, "UTF8") &&
        converter_.ToUtf8(*charset, decoded, &converted)) {
      decoded.swap(converted);
    }
    prop->raw = ValidUtf8(decoded);
    prop->value = Unescape(prop->raw);
    if (!SplitEscaped(prop->raw, ';', kMaxComponents, &prop->components)) {
      return LineResult::kDropped;
    }
    return LineResult::kProperty;
  }

 private:
  static void AddParam(std::string_view name, std::string_view value, bool* too_many,
                       Property* prop) {
    if (prop->params.size() >= kMaxParams) {
      *too_many = true;
      return;
    }
    prop->params.push_back(vcard::Param{std::string(name), ValidUtf8(UncaretParam(value))});
  }

  Converter& converter_;
};

// The physical lines of the text, one at a time.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool done() const { return pos_ >= text_.size(); }
  std::string_view Peek() const {
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }
  void Skip() {
    const std::size_t end = text_.find('\n', pos_);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Whether the part of the line before its value names quoted-printable.
bool HeadSaysQuotedPrintable(std::string_view line) {
  const std::size_t colon = line.find(':');
  const std::string_view head = line.substr(0, colon);
  if (head.size() < 16) return false;
  for (std::size_t i = 0; i + 16 <= head.size(); ++i) {
    if (SameText(head.substr(i, 16), "QUOTED-PRINTABLE")) return true;
  }
  return false;
}

// The text as UTF-8 bytes without a byte-order mark.
std::string_view WithoutMark(std::string_view bytes, std::string* converted) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return bytes.substr(3);
  if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
    Converter converter;
    if (converter.ToUtf8("UTF-16", bytes, converted)) return *converted;
  }
  return bytes;
}

}  // namespace

const std::string* Property::ParamValue(std::string_view wanted) const {
  for (const vcard::Param& p : params) {
    if (p.name == wanted) return &p.value;
  }
  return nullptr;
}

bool Property::HasType(std::string_view type) const {
  for (const vcard::Param& p : params) {
    if (p.name == "TYPE" && SameText(p.value, type)) return true;
  }
  return false;
}

std::vector<std::string> Property::ListValues() const {
  std::vector<std::string> values;
  SplitEscaped(raw, ',', kMaxComponents, &values);
  return values;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t len = 0;
    uint32_t min = 0, cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2, min = 0x80, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, min = 0x800, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, min = 0x10000, cp = c & 0x07;
    }
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      AppendReplacement(out);
      ++i;
      continue;
    }
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

bool LooksLikeVCard(std::string_view head) {
  std::string narrow;
  if (head.size() >= 2 && (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF")) {
    // UTF-16: the ASCII letters are every other byte.
    const std::size_t first = head[0] == '\xFF' ? 2 : 3;
    for (std::size_t i = first; i < head.size(); i += 2) narrow += head[i];
    head = narrow;
  } else if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF") {
    head.remove_prefix(3);
  }
  std::size_t i = 0;
  while (i < head.size() &&
         (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) {
    ++i;
  }
  return StartsWithText(head.substr(i), "BEGIN:VCARD");
}

std::vector<Card> ReadCards(std::string_view bytes, ReadReport* report) {
  std::vector<Card> cards;
  ReadCards(bytes, report, [&](Card& card) { cards.push_back(std::move(card)); });
  return cards;
}

void ReadCards(std::string_view bytes, ReadReport* report, const std::function<void(Card&)>& each) {
  ReadReport local;
  if (!report) report = &local;
  if (bytes.size() > kMaxFileBytes) return;
  std::string converted;
  Lines lines(WithoutMark(bytes, &converted));
  Converter converter;
  LineParser parser(converter);

  bool in_card = false, bad = false;
  std::size_t nested = 0;
  Card card;
  std::string logical;
  Property prop;
  while (!lines.done()) {
    std::string_view first = lines.Peek();
    lines.Skip();
    if (first.empty()) continue;
    // One logical line: folded continuations, and quoted-printable's soft line breaks.
    bool too_long = first.size() > kMaxLineBytes;
    logical.assign(first.substr(0, kMaxLineBytes));
    const bool quoted_printable = HeadSaysQuotedPrintable(first);
    while (!lines.done()) {
      std::string_view next = lines.Peek();
      std::string_view more;
      if (!next.empty() && (next[0] == ' ' || next[0] == '\t')) {
        more = next.substr(1);
      } else if (quoted_printable && !logical.empty() && logical.back() == '=' &&
                 !StartsWithText(next, "END:VCARD")) {
        logical.pop_back();
        more = next;
      } else {
        break;
      }
      lines.Skip();
      if (too_long || logical.size() + more.size() > kMaxLineBytes) {
        too_long = true;
        continue;
      }
      logical.append(more);
    }

    std::string_view line = logical;
    // Blanks after "BEGIN:VCARD" and "END:VCARD" are left by some exporters.
    std::string_view bare = line;
    while (!bare.empty() && (bare.back() == ' ' || bare.back() == '\t')) bare.remove_suffix(1);
    const bool begins = StartsWithText(bare, "BEGIN:") && SameText(bare.substr(6), "VCARD");
    const bool ends = StartsWithText(bare, "END:") && SameText(bare.substr(4), "VCARD");
    if (!in_card) {
      if (begins) {
        in_card = true;
        bad = false;
        nested = 0;
        card.properties.clear();
      }
      continue;
    }
    if (nested > 0) {
      if (begins) ++nested;
      if (ends && --nested == 0) ++report->skipped_cards;
      continue;
    }
    if (begins) {
      nested = 1;
      continue;
    }
    if (ends) {
      in_card = false;
      if (bad) {
        ++report->skipped_cards;
      } else {
        each(card);
      }
      card = Card{};
      continue;
    }
    if (bad) continue;
    if (too_long) {
      std::size_t k = 0;
      while (k < line.size() && (NameChar(line[k]) || line[k] == '.')) ++k;
      std::string name = UpperText(line.substr(0, k));
      const std::size_t dot = name.rfind('.');
      if (dot != std::string::npos) name.erase(0, dot + 1);
      ++report->dropped[name.empty() ? std::string("?") : name];
      continue;
    }
    switch (parser.Parse(line, &prop)) {
      case LineResult::kBad:
        bad = true;
        break;
      case LineResult::kDropped:
        ++report->dropped[prop.name];
        break;
      case LineResult::kProperty:
        if (card.properties.size() >= kMaxProperties) {
          bad = true;
          break;
        }
        card.properties.push_back(std::move(prop));
        prop = Property{};
        break;
    }
  }
  if (in_card) ++report->skipped_cards;  // the file ends inside a card
}

// ---- Writing ----

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        break;
      case ',':
        out += "\\,";
        break;
      case ';':
        out += "\\;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void CardWriter::Begin() {
  Line("BEGIN:VCARD");
  Line("VERSION:3.0");
}

void CardWriter::End() {
  Line("END:VCARD");
}

void CardWriter::Line(const std::string& line) {
  // At most 75 octets a line, the blank that starts a continuation included; never inside a
  // character.
  std::size_t pos = 0;
  std::size_t limit = 75;
  while (line.size() - pos > limit) {
    std::size_t cut = pos + limit;
    while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    if (cut == pos) cut = pos + limit;
    out_.append(line, pos, cut - pos);
    out_ += "\r\n ";
    pos = cut;
    limit = 74;
  }
  out_.append(line, pos, std::string::npos);
  out_ += "\r\n";
}

bool CardWriter::AddRaw(std::string_view name, const std::vector<Param>& params,
                        std::string_view value) {
  if (!ValidName(name)) return false;
  std::string line = UpperText(name);
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!ValidName(params[i].name)) return false;
    const bool same = i > 0 && SameText(params[i - 1].name, params[i].name);
    line += same ? "," : ";" + UpperText(params[i].name) + "=";
    std::string v;
    for (char c : ValidUtf8(params[i].value)) {
      if (c == '"' || (static_cast<unsigned char>(c) < 0x20 && c != '\t')) continue;
      v += c;
    }
    if (v.find_first_of(",;:") != std::string::npos) {
      line += "\"" + v + "\"";
    } else {
      line += v;
    }
  }
  line += ':';
  line += value;
  Line(line);
  return true;
}

bool CardWriter::Add(std::string_view name, const std::vector<Param>& params,
                     const std::vector<std::string>& components) {
  std::string value;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) value += ';';
    value += EscapeText(ValidUtf8(components[i]));
  }
  return AddRaw(name, params, value);
}

}  // namespace qb::main::vcard
