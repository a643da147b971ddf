/* fieldtype.h compiles on its own as C. */
#include "sdk/fieldtype.h"

size_t QbSdkFieldTypeInfoSizeC(void) {
  return sizeof(FieldTypeInfo);
}
size_t QbSdkHostServicesSizeC(void) {
  return sizeof(HostServices);
}
