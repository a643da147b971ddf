// The contacts a messenger client reports online, as the Messenger field type keeps them: a copy
// of their numbers taken at each refresh, so that nothing is read from the client's memory later.
#pragma once

#include <cstdint>
#include <vector>

namespace qb::messenger {

// The most contacts one refresh takes. A client reporting more is not believed: nobody is online.
inline constexpr int32_t kMaxOnline = 10000;

// The numbers of the online list the client handed over: `count` records of
// QB_MESSENGER_RECORD_SIZE bytes each, `list` leading to the pointer to the first of them. Nobody
// for a count of 0 or less or above kMaxOnline, for a null list or a null first record, and when
// the records cannot all be read (memory the client does not have), which is tried without
// touching them directly.
std::vector<int32_t> OnlineNumbers(int32_t count, const void* const* list);

}  // namespace qb::messenger
