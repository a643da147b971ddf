// Texts of the main module, by number, for the parts of the main library built here.
#pragma once

namespace qb::main {

// Main-module text n in the current language; never null (an empty text when there is none).
const char* MainText(int n);

}  // namespace qb::main
