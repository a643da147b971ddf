#include "main/main_text.h"

#include "main/messages.h"

namespace qb::main {

const char* MainText(int n) {
  return Msg(n);
}

}  // namespace qb::main
