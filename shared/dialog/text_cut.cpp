#include "shared/dialog/text_cut.h"

#include <cstring>
#include <string_view>

#include "platform/codepage/codepage.h"

namespace qb::dlg {

size_t CopyCut(char* dst, size_t dst_size, const char* src) {
  if (dst_size == 0) return 0;
  if (src == nullptr) src = "";
  size_t n = strnlen(src, dst_size);
  if (n >= dst_size) {
    // The cut looks at the whole character at the limit, which may run up to three bytes past it.
    const size_t seen = dst_size + strnlen(src + dst_size, 3);
    n = codepage::Utf8CutPoint(std::string_view(src, seen), dst_size - 1);
  }
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return n;
}

}  // namespace qb::dlg
