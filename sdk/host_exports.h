/* What the host program exports to the libraries it loads: thread timers without a window, the
 * clipboard, and a look at the keyboard during long work. A library finds each function at run time
 * with dlsym(RTLD_DEFAULT, <name>) under the names below and does without it when the lookup fails
 * (it runs inside another host); it never links to them directly.
 *
 * Every call is made on the host's one thread, from inside a call the host made into the library
 * (a plug-in entry point, a dialog, a timer callback). */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QB_SET_TIMER_NAME "QbSetTimer"
#define QB_KILL_TIMER_NAME "QbKillTimer"
#define QB_SET_CLIPBOARD_NAME "QbSetClipboard"
#define QB_CHECK_FOR_ESCAPE_NAME "QbCheckForEscape"

/* A timer's callback. id: the timer's id as QbSetTimer returned it; tick_ms: the host's clock in
 * milliseconds when the callback runs. */
typedef void (*QbTimerCallback)(uintptr_t id, uint32_t tick_ms);

/* QbSetTimer starts a timer: the callback runs between two input events once interval_ms (at
 * least 1) have passed, and again after every further interval until the timer is killed. Timer
 * callbacks never nest: while one runs (and the event loop it may start with a message box), no
 * other timer fires. A host that lets time pass only on request (the headless front end) fires
 * timers only then, so tests are deterministic.
 * Returns the timer's id, never 0; 0 when there is no host or no callback. */
typedef uintptr_t (*PFN_QbSetTimer)(uint32_t interval_ms, QbTimerCallback callback);

/* QbKillTimer stops a timer; a callback may kill its own timer, or one that is due after it in
 * the same round (which then does not run). Returns 1 when the timer was running, else 0. */
typedef int (*PFN_QbKillTimer)(uintptr_t id);

/* QbSetClipboard puts zero-terminated UTF-8 text on the host's clipboard: the host's own buffer,
 * the terminal's (where the front end can) and the desktop's (where a clipboard tool runs). The
 * text is copied, with each CR LF made a LF as Linux clipboards have it. Returns 1 when the host
 * took it, 0 when there is no host or text is null. */
typedef int (*PFN_QbSetClipboard)(const char* text);

/* QbCheckForEscape looks, without waiting, at the input that arrived since the host last read it:
 * 1 when the user pressed Esc (which is then taken), else 0. Other keys stay for the host in the
 * order they came. Long work calls it between two steps, so that Esc can stop it. */
typedef int (*PFN_QbCheckForEscape)(void);

#ifdef __cplusplus
}
#endif
