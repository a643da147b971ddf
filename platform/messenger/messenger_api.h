/* The messenger client's interface library (MessengerMAPI.so) as the Messenger field type loads it
 * by name from the plug-in directory: three calls of the client. The library that ships with the
 * system answers for a machine without a client: every call fails. A client's own library, or a
 * test's recording double, takes its place in the plug-in directory. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QB_MESSENGER_LIBRARY "MessengerMAPI.so"
#define QB_MESSENGER_SEND_MESSAGE "MessengerAPICall_SendMessage"
#define QB_MESSENGER_SEND_FILE "MessengerAPICall_SendFile"
#define QB_MESSENGER_GET_ONLINE_LIST "MessengerAPICall_GetOnlineListDetails"

/* One contact of the online list: records lie back to back, this many bytes each, and each begins
 * with the contact's number as a signed 32-bit value (in the machine's byte order). */
#define QB_MESSENGER_RECORD_SIZE 609

/* Opens the client's message window to the contact (text, which may be empty, filled in).
 * Non-zero when the client took the request. */
typedef int (*PFN_MessengerAPICall_SendMessage)(int32_t number, const char* text);
/* Sends the file at path to the contact. Non-zero when the client took the file. */
typedef int (*PFN_MessengerAPICall_SendFile)(int32_t number, const char* path);
/* The contacts online now: *count records, *list pointing at the client's pointer to the first of
 * them. The list stays the client's; it is valid until the next call. Non-zero when the client
 * answered. */
typedef int (*PFN_MessengerAPICall_GetOnlineListDetails)(int32_t* count, const void* const** list);

#ifdef __cplusplus
}
#endif
