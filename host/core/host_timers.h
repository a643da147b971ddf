/* Thread timers without a window, served by the host's event loop: a callback runs on the host's
 * one thread between key events once its interval has passed, and again after every further
 * interval until the timer is killed. The headless front end lets time pass only on request, so
 * tests are deterministic.
 *
 * The program `quillbox` exports these two functions; a plug-in finds them at run time with
 * dlsym(RTLD_DEFAULT, "QbSetTimer") and does without timers when they are missing (another host).
 */
#ifndef QUILLBOX_HOST_CORE_HOST_TIMERS_H
#define QUILLBOX_HOST_CORE_HOST_TIMERS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* id: the timer's id as QbSetTimer returned it; tick_ms: the host's clock in milliseconds. */
typedef void (*QbTimerCallback)(uintptr_t id, uint32_t tick_ms);

/* Starts a timer; returns its id (never 0), or 0 when there is no host or no callback. */
typedef uintptr_t (*PFN_QbSetTimer)(uint32_t interval_ms, QbTimerCallback callback);
/* Stops a timer; 1 when it was running, else 0. A callback may kill its own timer. */
typedef int (*PFN_QbKillTimer)(uintptr_t id);

/* Puts UTF-8 text on the host's clipboard (the host's buffer, the terminal's and the desktop's);
 * 1 on success, 0 when there is no host. */
typedef int (*PFN_QbSetClipboard)(const char* text);

#define QB_SET_TIMER_NAME "QbSetTimer"
#define QB_KILL_TIMER_NAME "QbKillTimer"
#define QB_SET_CLIPBOARD_NAME "QbSetClipboard"

#ifdef __cplusplus
}
#endif

#endif /* QUILLBOX_HOST_CORE_HOST_TIMERS_H */
