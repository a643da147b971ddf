/* host_exports.h compiles on its own as C. */
#include <string.h>

#include "sdk/host_exports.h"

/* The names a library looks up, as C sees them. */
int QbSdkHostExportNamesC(void) {
  return strcmp(QB_SET_TIMER_NAME, "QbSetTimer") == 0 &&
         strcmp(QB_KILL_TIMER_NAME, "QbKillTimer") == 0 &&
         strcmp(QB_SET_CLIPBOARD_NAME, "QbSetClipboard") == 0;
}

_Static_assert(sizeof(PFN_QbSetTimer) == sizeof(void (*)(void)), "plain function pointers");
