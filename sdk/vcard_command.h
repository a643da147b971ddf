/* What the host program's command line asks of the main library without a panel: a vCard export
 * or import of a place in the book, or the mail client's address query. Looked up by name
 * ("VCardCommand") after the main library's SetStartupInfo; optional. */
#pragma once

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VCC_EXPORT 1 /* the cards of everything below BookPath, to Out */
#define VCC_IMPORT 2 /* the cards of File into BookPath; what was done to Err */
#define VCC_QUERY 3  /* e-mail addresses below BookPath whose record name or address holds Text */

typedef struct VCardCommandArgs {
  int Command;
  const char* BookFile; /* the book file; null or "" for the BookFile setting */
  const char* BookPath; /* "\Friends\Work" ("/" also separates), null or "" for the root */
  const char* File;     /* VCC_IMPORT: the vCard file */
  const char* Text;     /* VCC_QUERY: what is looked for */
  /* Tried, in order, on every folder that has a password; locked folders are passed by. */
  const char* const* Passwords;
  uint32_t PasswordCount;
  FILE* Out;
  FILE* Err;
} VCardCommandArgs;

/* The exit status: 0 done (a query that found something), 1 a query that found nothing, 2 a
 * failure (said on Err). */
typedef int (*PFN_VCardCommand)(const VCardCommandArgs* args);

#ifdef __cplusplus
}
#endif
