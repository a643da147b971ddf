#include "shared/fieldtype/vcard_field.h"

#include <cstring>

#include "sdk/services.h"

namespace qb::fieldtype::vcard {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Apple's built-in labels are written "_$!<Home>!$_".
std::string PlainLabel(const std::string& label) {
  if (label.size() > 8 && label.compare(0, 4, "_$!<") == 0 &&
      label.compare(label.size() - 4, 4, ">!$_") == 0) {
    return label.substr(4, label.size() - 8);
  }
  return label;
}

}  // namespace

bool SameText(const char* a, const char* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b) {
    if (Upper(*a) != Upper(*b)) return false;
  }
  return *a == *b;
}

bool StartsWithText(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (Upper(text[i]) != Upper(prefix[i])) return false;
  }
  return true;
}

OneLine SplitOneLine(const std::string& text) {
  OneLine line;
  const std::size_t hash = text.rfind('#');
  if (hash == std::string::npos) {
    line.value = text;
  } else {
    line.value = text.substr(0, hash);
    line.comment = text.substr(hash + 1);
    line.has_comment = true;
  }
  return line;
}

void Write(const VCardWriter* writer, const char* name, const std::vector<Param>& params,
           const std::vector<std::string>& components) {
  if (!writer || !writer->Add) return;
  std::vector<VCardParam> p;
  p.reserve(params.size());
  for (const Param& param : params)
    p.push_back(VCardParam{param.name.c_str(), param.value.c_str()});
  std::vector<const char*> c;
  c.reserve(components.size());
  for (const std::string& component : components) c.push_back(component.c_str());
  writer->Add(writer->Context, name, p.data(), static_cast<uint32_t>(p.size()), c.data(),
              static_cast<uint32_t>(c.size()));
}

void WriteOneLine(const VCardWriter* writer, const char* name, std::vector<Param> params,
                  const std::string& text) {
  const OneLine line = SplitOneLine(text);
  if (line.has_comment) params.push_back(Param{kLabelParam, line.comment});
  Write(writer, name, params, {line.value});
}

const char* ParamOf(const VCardProperty& prop, const char* name) {
  for (uint32_t i = 0; i < prop.ParamCount; ++i) {
    if (prop.Params[i].Name && std::strcmp(prop.Params[i].Name, name) == 0) {
      return prop.Params[i].Value ? prop.Params[i].Value : "";
    }
  }
  return nullptr;
}

bool HasType(const VCardProperty& prop, const char* type) {
  for (uint32_t i = 0; i < prop.ParamCount; ++i) {
    if (prop.Params[i].Name && std::strcmp(prop.Params[i].Name, "TYPE") == 0 &&
        SameText(prop.Params[i].Value, type)) {
      return true;
    }
  }
  return false;
}

bool LabelOf(const VCardProperty* card, uint32_t count, uint32_t index, std::string* label) {
  const VCardProperty& prop = card[index];
  if (const char* own = ParamOf(prop, kLabelParam)) {
    *label = own;
    return true;
  }
  if (!prop.Group || !*prop.Group) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (i != index && card[i].Group && std::strcmp(card[i].Group, prop.Group) == 0 &&
        card[i].Name && std::strcmp(card[i].Name, "X-ABLABEL") == 0) {
      *label = PlainLabel(card[i].Value ? card[i].Value : "");
      return true;
    }
  }
  return false;
}

bool IsGroupLabelOf(const VCardProperty* card, uint32_t count, uint32_t index, const char* name) {
  const VCardProperty& prop = card[index];
  if (!prop.Name || std::strcmp(prop.Name, "X-ABLABEL") != 0 || !prop.Group || !*prop.Group) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (i != index && card[i].Group && std::strcmp(card[i].Group, prop.Group) == 0 &&
        card[i].Name && std::strcmp(card[i].Name, name) == 0) {
      return true;
    }
  }
  return false;
}

std::string OneLineText(const VCardProperty* card, uint32_t count, uint32_t index,
                        const std::string& value) {
  std::string label;
  if (LabelOf(card, count, index, &label)) return value + "#" + label;
  for (const char* kind : {"home", "work"}) {
    if (HasType(card[index], kind)) return value + "#" + kind;
  }
  return value;
}

int TextField(const std::string& text, FieldTypeId type, void** new_data, uint32_t* new_size,
              FieldTypeId* new_type) {
  // A one-line or multi-line text ends at its first zero byte.
  const std::string cut = text.substr(0, text.find('\0'));
  char* block = static_cast<char*>(Malloc(static_cast<uint32_t>(cut.size() + 1)));
  if (!block) return VCARD_NOT_MINE;
  std::memcpy(block, cut.c_str(), cut.size() + 1);
  *new_data = block;
  *new_size = static_cast<uint32_t>(cut.size() + 1);
  *new_type = type;
  return VCARD_FIELD;
}

}  // namespace qb::fieldtype::vcard
