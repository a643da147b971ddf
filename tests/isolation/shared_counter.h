// Code that both isolation test libraries compile in, with the kinds of state that leak between
// libraries when symbols are not private: a plain global, a static class member and a static
// local of an inline function (which the compiler may otherwise make unique process-wide).
#pragma once

namespace qb::isolation {

int BumpCounter();
int Counter();

struct Tally {
  static int total;
};

inline int BumpInlineCounter() {
  static int count = 0;
  return ++count;
}

}  // namespace qb::isolation
