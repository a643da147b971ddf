/* services.h compiles on its own as C, and its registry services have the C types field types
 * call them with. The controlling expression of _Generic is not evaluated, so nothing here needs
 * the main library at link time. */
#include "sdk/services.h"

#define QB_HAS_TYPE(f, type) _Generic(&(f), type : 1, default : 0)

_Static_assert(QB_HAS_TYPE(OpenRegKey, HKEY (*)(const char*, const char*)), "OpenRegKey");
_Static_assert(QB_HAS_TYPE(CloseRegKey, void (*)(HKEY)), "CloseRegKey");
_Static_assert(QB_HAS_TYPE(RegReadNumber,
                           int32_t (*)(HKEY, const char*, int32_t, int32_t, int32_t)),
               "RegReadNumber");
_Static_assert(QB_HAS_TYPE(RegReadText, size_t (*)(HKEY, const char*, const char*, char*, size_t)),
               "RegReadText");
_Static_assert(QB_HAS_TYPE(RegWriteNumber, int (*)(HKEY, const char*, int32_t)), "RegWriteNumber");
_Static_assert(QB_HAS_TYPE(RegWriteText, int (*)(HKEY, const char*, const char*)), "RegWriteText");
_Static_assert(QB_HAS_TYPE(RegOpenSubKey, HKEY (*)(HKEY, const char*, int)), "RegOpenSubKey");
_Static_assert(QB_HAS_TYPE(RegEnumSubKey, int (*)(HKEY, uint32_t, char*, size_t)), "RegEnumSubKey");
_Static_assert(QB_HAS_TYPE(RegDeleteSubKey, int (*)(HKEY, const char*)), "RegDeleteSubKey");

int QbSdkServicesDeclaredC(void) {
  return 1;
}
