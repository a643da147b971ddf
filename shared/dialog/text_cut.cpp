#include "shared/dialog/text_cut.h"

#include <cstring>

namespace qb::dlg {

size_t CopyCut(char* dst, size_t dst_size, const char* src) {
  if (dst_size == 0) return 0;
  if (src == nullptr) src = "";
  size_t n = strnlen(src, dst_size);
  if (n >= dst_size) {
    n = dst_size - 1;
    // Back off over continuation bytes to the start of the character that does not fit.
    // A character is at most four bytes; text that is not UTF-8 is cut at the byte.
    auto continuation = [&](size_t i) { return (static_cast<unsigned char>(src[i]) & 0xC0) == 0x80; };
    size_t k = n;
    while (k > 0 && n - k < 3 && continuation(k)) --k;
    if (!continuation(k)) n = k;
  }
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

}  // namespace qb::dlg
