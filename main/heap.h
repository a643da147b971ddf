// The heap shared with the field-type libraries. Descriptions, field tags and texts that cross a
// library boundary are allocated and freed here, so the exported Malloc/Realloc/Free and the main
// library agree on one heap: the C heap.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace qb::main {

inline void* HeapAlloc(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}
inline void HeapFree(void* block) {
  std::free(block);
}

// A zero-terminated heap copy of text, or null when memory runs out.
inline char* HeapString(std::string_view text) {
  char* copy = static_cast<char*>(HeapAlloc(text.size() + 1));
  if (copy) {
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());  // data() may be null
    copy[text.size()] = '\0';
  }
  return copy;
}

}  // namespace qb::main
