// The assisted-telephony call of TAPI32.so, the telephony library the field types load by name
// from the plug-in directory. Results keep the values of Windows' assisted telephony.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define QB_TAPI_LIBRARY "TAPI32.so"
#define QB_TAPI_MAKE_CALL "tapiRequestMakeCallA"

#define TAPIERR_NOREQUESTRECIPIENT (-2L) /* no dialler took the call */
#define TAPIERR_REQUESTQUEUEFULL (-3L)
#define TAPIERR_INVALDESTADDRESS (-4L) /* no number to dial */

/* Asks the desktop to place a call to destination. 0 when a dialler took it; application name,
 * called party and comment are accepted and may be null. */
typedef long (*PFN_tapiRequestMakeCallA)(const char* destination, const char* application,
                                         const char* called_party, const char* comment);

#ifdef __cplusplus
}
#endif
