// Copying a text into a fixed host buffer. Host buffers (an item's Data, a list entry's Text) are
// cut, never overrun; the cut never splits a UTF-8 character, so what comes back from the host is
// still valid text.
#pragma once

#include <cstddef>

namespace qb::dlg {

// Copies src (a terminated text; null: the empty text) into dst of dst_size bytes (at least 1),
// terminated, cut as codepage::Utf8CutPoint cuts. Returns the number of bytes copied, without the
// terminator.
size_t CopyCut(char* dst, size_t dst_size, const char* src);

}  // namespace qb::dlg
