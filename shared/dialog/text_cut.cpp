#include "shared/dialog/text_cut.h"

#include <cstring>
#include <string_view>

#include "platform/codepage/codepage.h"

namespace qb::dlg {

size_t CopyCut(char* dst, size_t dst_size, const char* src) {
  if (dst_size == 0) return 0;
  if (src == nullptr) src = "";
  // The text may be longer than it is worth measuring: the cut looks no further than the whole
  // character at the limit, which may run up to three bytes past it.
  size_t seen = strnlen(src, dst_size);
  if (seen >= dst_size) seen = dst_size + strnlen(src + dst_size, 3);
  return codepage::CopyUtf8Into(std::string_view(src, seen), dst, dst_size);
}

}  // namespace qb::dlg
