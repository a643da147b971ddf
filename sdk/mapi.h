/* Simple MAPI as the field types use it: MAPISendMail from the mail library "MAPI32.so", looked up
 * by name in the plug-in directory first (where tests put a recording double) and loaded for each
 * mail. The structures keep Simple MAPI's members and order; texts are zero-terminated UTF-8 (the
 * ANSI code page here). The library that ships with the system hands the mail to the desktop's
 * composer (xdg-email). */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QB_MAPI_LIBRARY "MAPI32.so"
#define QB_MAPI_SEND_MAIL_NAME "MAPISendMail"

/* Recipient classes. */
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

/* MAPISendMail flags. */
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008

/* Results. */
#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_USER_ABORT MAPI_USER_ABORT
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGIN_FAILURE 3
#define MAPI_E_LOGON_FAILURE MAPI_E_LOGIN_FAILURE
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

typedef uintptr_t LHANDLE;

typedef struct MapiRecipDesc {
  uint32_t ulReserved;
  uint32_t ulRecipClass; /* MAPI_ORIG, MAPI_TO, ... */
  char* lpszName;
  char* lpszAddress;
  uint32_t ulEIDSize;
  void* lpEntryID;
} MapiRecipDesc;

typedef struct MapiFileDesc {
  uint32_t ulReserved;
  uint32_t flFlags;
  uint32_t nPosition; /* (uint32_t)-1: not placed in the text */
  char* lpszPathName;
  char* lpszFileName; /* null: the path's last component */
  void* lpFileType;
} MapiFileDesc;

typedef struct MapiMessage {
  uint32_t ulReserved;
  char* lpszSubject;
  char* lpszNoteText;
  char* lpszMessageType;
  char* lpszDateReceived;
  char* lpszConversationID;
  uint32_t flFlags;
  MapiRecipDesc* lpOriginator;
  uint32_t nRecipCount;
  MapiRecipDesc* lpRecips;
  uint32_t nFileCount;
  MapiFileDesc* lpFiles;
} MapiMessage;

/* Opens the desktop's mail composer with the message filled in: recipients by their classes as
 * "Name <address>", the subject, the note text and the attached files (by path). The user writes
 * and sends the mail there, so flags must hold MAPI_DIALOG (else MAPI_E_NOT_SUPPORTED);
 * MAPI_LOGON_UI and MAPI_NEW_SESSION are accepted and mean nothing more. The originator, an
 * attachment's own file name and the message type, date and conversation cannot be handed to the
 * composer and are not used. SUCCESS_SUCCESS once the composer took the mail; MAPI_E_LOGON_FAILURE
 * when there is no composer to reach; the attachment and recipient failures for a file that cannot
 * be read or an address without "@"; MAPI_E_FAILURE when the composer failed otherwise. session
 * and ui_param are not used. */
typedef uint32_t (*LPMAPISENDMAIL)(LHANDLE session, uintptr_t ui_param, MapiMessage* message,
                                   uint32_t flags, uint32_t reserved);

#ifdef __cplusplus
}
#endif
