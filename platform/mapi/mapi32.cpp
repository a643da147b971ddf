// MAPI32.so: Simple MAPI's MAPISendMail, handing each mail to the desktop's composer through
// xdg-email. The composer shows the new mail filled in and the user sends it there, so the only
// way of sending offered is the one with the composer's window (MAPI_DIALOG). xdg-email is
// started from an argument vector, never through a shell, by the process layer, which does not
// leave it a terminal or a zombie.
#include "platform/mapi/composer.h"
#include "sdk/mapi.h"

extern "C" __attribute__((visibility("default"))) uint32_t MAPISendMail(LHANDLE /*session*/,
                                                                        uintptr_t /*ui_param*/,
                                                                        MapiMessage* message,
                                                                        uint32_t flags,
                                                                        uint32_t /*reserved*/) {
  const qb::mapi::ComposerCall call = qb::mapi::ComposerArguments(message, flags);
  if (call.result != SUCCESS_SUCCESS) return call.result;
  return qb::mapi::ResultOf(qb::process::Spawn(call.argv, qb::mapi::kComposerVerdictWait));
}
