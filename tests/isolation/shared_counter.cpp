#include "tests/isolation/shared_counter.h"

namespace qb::isolation {

int g_counter = 0;
int Tally::total = 0;

int BumpCounter() {
  ++Tally::total;
  return ++g_counter;
}

int Counter() {
  return g_counter;
}

}  // namespace qb::isolation
