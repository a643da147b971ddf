#include "platform/registry/reg_format.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <vector>

namespace qb::registry {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
constexpr uint32_t kSz = 1;
constexpr uint32_t kDword = 4;
constexpr uint32_t kBinary = 3;

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && NamesEqual(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted text starting at s[0] == '"'; on success s is left after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  std::size_t i = 1;
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\' && i + 1 < s.size()) {
      char next = s[i + 1];
      if (next == '\\' || next == '"') {
        out += next;
        i += 2;
        continue;
      }
      // Not an escape this format knows: the backslash is an ordinary character.
    }
    out += c;
    ++i;
  }
  return std::nullopt;  // no closing quote
}

// "01,02,ff" (spaces allowed around the bytes); empty is no bytes.
std::optional<std::vector<uint8_t>> ReadHexList(std::string_view s) {
  std::vector<uint8_t> bytes;
  s = TrimLeft(TrimRight(s));
  if (s.empty()) return bytes;
  while (true) {
    s = TrimLeft(s);
    if (s.size() < 2) return std::nullopt;
    int hi = HexDigit(s[0]), lo = HexDigit(s[1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    s = TrimLeft(s.substr(2));
    if (s.empty()) return bytes;
    if (s.front() != ',') return std::nullopt;
    s.remove_prefix(1);
  }
}

// The name of a value line ("name" or @); s is left after it.
std::optional<std::string> ReadValueName(std::string_view& s) {
  if (!s.empty() && s.front() == '@') {
    s.remove_prefix(1);
    return std::string();
  }
  return ReadQuoted(s);
}

struct ValueData {
  bool remove = false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

std::optional<ValueData> ReadValueData(std::string_view s) {
  ValueData v;
  s = TrimRight(TrimLeft(s));
  if (s == "-") {
    v.remove = true;
    return v;
  }
  if (!s.empty() && s.front() == '"') {
    auto text = ReadQuoted(s);
    if (!text || !TrimLeft(s).empty()) return std::nullopt;
    v.type = kSz;
    // As everywhere else, a string ends at its first zero byte.
    v.data.assign(text->begin(), std::find(text->begin(), text->end(), '\0'));
    return v;
  }
  if (StartsWithNoCase(s, "dword:")) {
    std::string_view digits = s.substr(6);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t n = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      n = n * 16 + static_cast<uint32_t>(d);
    }
    v.type = kDword;
    v.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
              static_cast<uint8_t>(n >> 24)};
    return v;
  }
  if (StartsWithNoCase(s, "hex:")) {
    v.type = kBinary;
    s.remove_prefix(4);
  } else if (StartsWithNoCase(s, "hex(")) {
    std::size_t close = s.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return std::nullopt;
    uint32_t type = 0;
    for (char c : s.substr(4, close - 4)) {
      int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    v.type = type;
    s.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  auto bytes = ReadHexList(s);
  if (!bytes) return std::nullopt;
  v.data = std::move(*bytes);
  if (v.type == kSz) {
    // A string written as bytes: the text ends at its first zero.
    std::size_t i = 0;
    while (i < v.data.size() && v.data[i] != 0) ++i;
    v.data.resize(i);
  }
  return v;
}

// Whether line is a value line whose data is a hex list.
bool StartsHexList(std::string_view line) {
  std::string_view s = TrimLeft(line);
  if (!ReadValueName(s)) return false;
  s = TrimLeft(s);
  if (s.empty() || s.front() != '=') return false;
  return StartsWithNoCase(TrimLeft(s.substr(1)), "hex");
}

// Splits text into logical lines: LF or CRLF ends, hex continuations joined.
std::vector<std::string> LogicalLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string pending;
  bool continuing = false;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (continuing) line = TrimLeft(line);
    std::string_view trimmed = TrimRight(line);
    // Only a hex list continues; a string value ending in a backslash does not.
    bool continues =
        !trimmed.empty() && trimmed.back() == '\\' && (continuing || StartsHexList(trimmed));
    if (continues) {
      pending.append(trimmed.substr(0, trimmed.size() - 1));
      continuing = true;
    } else {
      pending.append(line);
      lines.push_back(std::move(pending));
      pending.clear();
      continuing = false;
    }
    if (end == text.size()) break;
    pos = end + 1;
  }
  if (continuing) lines.push_back(std::move(pending));
  return lines;
}

bool IsPlainText(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

void AppendHex(std::string& line, std::string& out, const std::vector<uint8_t>& data) {
  // Wrapped as the registry editor wraps it, so that long values stay readable.
  char byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    line += byte;
    if (i + 1 < data.size()) {
      line += ',';
      if (line.size() > 76) {
        out += line;
        out += "\\\r\n";
        line = "  ";
      }
    }
  }
}

// The values of the keys being read, found by name in constant time: a file may hold many
// thousands of values in one key, and searching a key's list for each of them would make reading
// it quadratic. Removed values are only marked until Settle drops them from their keys.
class ValueIndex {
 public:
  void Set(RegKey* key, std::string name, uint32_t type, std::vector<uint8_t> data) {
    Slots& slots = SlotsOf(key);
    auto [it, inserted] = slots.at.try_emplace(FoldPath(name), key->values.size());
    if (!inserted && !slots.removed[it->second]) {
      RegValue& v = key->values[it->second];
      v.type = type;
      v.data = std::move(data);
      return;
    }
    // New, or set again after its removal: it goes to the end, as it was written last.
    it->second = key->values.size();
    key->values.push_back(RegValue{std::move(name), type, std::move(data)});
    slots.removed.push_back(false);
  }

  void Remove(RegKey* key, const std::string& name) {
    Slots& slots = SlotsOf(key);
    auto it = slots.at.find(FoldPath(name));
    if (it != slots.at.end()) slots.removed[it->second] = true;
  }

  // Drops the removed values from their keys and forgets every key.
  void Settle() {
    for (auto& [key, slots] : slots_) {
      std::size_t kept = 0;
      for (std::size_t i = 0; i < key->values.size(); ++i) {
        if (slots.removed[i]) continue;
        if (kept != i) key->values[kept] = std::move(key->values[i]);
        ++kept;
      }
      key->values.resize(kept);
    }
    slots_.clear();
  }

 private:
  struct Slots {
    std::unordered_map<std::string, std::size_t> at;  // folded name -> place in the key's values
    std::vector<bool> removed;                        // by place
  };

  // A key met again after Settle already holds values.
  Slots& SlotsOf(RegKey* key) {
    auto [it, inserted] = slots_.try_emplace(key);
    if (inserted) {
      for (std::size_t i = 0; i < key->values.size(); ++i) {
        it->second.at.emplace(FoldPath(key->values[i].name), i);
      }
      it->second.removed.assign(key->values.size(), false);
    }
    return it->second;
  }

  std::unordered_map<RegKey*, Slots> slots_;
};

}  // namespace

std::optional<RegTree> ParseRegFile(std::string_view text) {
  RegTree tree;
  ValueIndex index;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines = LogicalLines(text);
  bool headerSeen = false;
  RegKey* key = nullptr;  // the current section; null before the first or after a deletion
  bool inSection = false;
  for (const std::string& raw : lines) {
    std::string_view line = TrimRight(TrimLeft(raw));
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') return std::nullopt;
      std::string_view path = line.substr(1, line.size() - 2);
      bool remove = !path.empty() && path.front() == '-';
      if (remove) path.remove_prefix(1);
      if (!StartsWithNoCase(path, kRoot)) return std::nullopt;
      path.remove_prefix(kRoot.size());
      if (!path.empty() && path.front() != '\\') return std::nullopt;
      std::string normal = NormalizePath(path);
      inSection = true;
      if (remove) {
        index.Settle();  // the keys it knows may go now
        tree.Remove(normal);
        key = nullptr;
      } else {
        key = &tree.Create(normal);
      }
      continue;
    }
    if (!inSection) return std::nullopt;
    std::string_view rest = line;
    auto name = ReadValueName(rest);
    if (!name) return std::nullopt;
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    auto value = ReadValueData(rest.substr(1));
    if (!value) return std::nullopt;
    if (key == nullptr) continue;  // values of a deleted section are not imported
    if (value->remove) {
      index.Remove(key, *name);
    } else {
      index.Set(key, std::move(*name), value->type, std::move(value->data));
    }
  }
  index.Settle();
  // Without a header only blank lines and comments were seen: an empty file, an empty tree.
  return tree;
}

std::string SerializeRegFile(const RegTree& tree) {
  std::string out = "REGEDIT4\r\n\r\n";
  tree.ForEach([&](const RegKey& key) {
    if (key.path.empty() && key.values.empty()) return;
    out += '[';
    out += kRoot;
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\r\n";
    for (const RegValue& v : key.values) {
      std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
      bool plainText =
          v.type == kSz && IsPlainText(std::string_view(
                               reinterpret_cast<const char*>(v.data.data()), v.data.size()));
      if (plainText) {
        line +=
            Quote(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size()));
      } else if (v.type == kDword && v.data.size() == 4) {
        char digits[16];
        uint32_t n = static_cast<uint32_t>(v.data[0]) | static_cast<uint32_t>(v.data[1]) << 8 |
                     static_cast<uint32_t>(v.data[2]) << 16 |
                     static_cast<uint32_t>(v.data[3]) << 24;
        std::snprintf(digits, sizeof digits, "dword:%08x", n);
        line += digits;
      } else {
        std::vector<uint8_t> bytes = v.data;
        if (v.type == kBinary) {
          line += "hex:";
        } else {
          char prefix[24];
          std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
          line += prefix;
          // A string in bytes carries its terminator, as the registry editor expects.
          if (v.type == kSz) bytes.push_back(0);
        }
        AppendHex(line, out, bytes);
      }
      out += line;
      out += "\r\n";
    }
    out += "\r\n";
  });
  return out;
}

}  // namespace qb::registry
