// A VCardWriter for tests of a field type's WriteVCard: each property it adds becomes one line,
// "NAME;PARAM=value;...:component;component".
#pragma once

#include <cstdint>
#include <string>

#include "sdk/fieldtype.h"

namespace qb::test {

struct VCardRecorder {
  std::string lines;

  VCardWriter writer() { return VCardWriter{this, &VCardRecorder::Add}; }

  static void Add(void* context, const char* name, const VCardParam* params, uint32_t count,
                  const char* const* components, uint32_t component_count) {
    std::string& out = static_cast<VCardRecorder*>(context)->lines;
    out += name;
    for (uint32_t i = 0; i < count; ++i)
      out += std::string(";") + params[i].Name + "=" + params[i].Value;
    out += ":";
    for (uint32_t i = 0; i < component_count; ++i)
      out += (i > 0 ? ";" : "") + std::string(components[i]);
    out += "\n";
  }
};

}  // namespace qb::test
