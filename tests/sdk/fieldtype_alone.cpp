// fieldtype.h compiles on its own as C++; the entry point types are plain C function types.
#include "sdk/fieldtype.h"

static_assert(sizeof(FieldTypeId) == 4);
static_assert(FTID_PHONE >> 8 == 0x102);

size_t QbSdkFieldTypeInfoSizeCxx() {
  return sizeof(FieldTypeInfo);
}
size_t QbSdkHostServicesSizeCxx() {
  return sizeof(HostServices);
}
