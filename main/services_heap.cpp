// The heap the main library shares with the field-type libraries: the C heap, the same one behind
// HeapAlloc/HeapFree inside this library, so a block may be freed on either side of the boundary.
#include "main/heap.h"
#include "sdk/services.h"

extern "C" {

void* Malloc(uint32_t size) {
  return qb::main::HeapAlloc(size);
}

void* Realloc(void* block, uint32_t size) {
  // realloc with 0 may free the block and return null, which a caller would take for failure
  // while its block is gone; a size of 0 keeps a one-byte block instead.
  return std::realloc(block, size == 0 ? 1 : size);
}

void Free(void* block) {
  qb::main::HeapFree(block);
}

}  // extern "C"
