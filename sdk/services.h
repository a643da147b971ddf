// Services the main library (Quillbox.so) exports to the field-type libraries, which link against
// it. Texts these services return, and every Description they set, are allocated with Malloc and
// freed by the receiver with Free; texts passed in stay the caller's.
//
// Text fields are zero-terminated texts in the console code page (UTF-8 here). Lines are separated
// by a line feed; a carriage return right before a line feed is not part of the line. In a one-line
// text everything after the last "#" is its comment; in a multi-line text only a "#" on the last
// line starts a comment.
#ifndef QUILLBOX_SDK_SERVICES_H
#define QUILLBOX_SDK_SERVICES_H

#include <stdint.h>
#include <stdio.h>

#include "sdk/far.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QB_EXPORT __attribute__((visibility("default")))

/* An open registry key, opaque to the field types: OpenRegKey opens one, CloseRegKey closes it.
 * Field types link no registry code of their own. */
typedef struct RegKeyHandle* HKEY;

/* Text n of a language module: the main module when module is null. The text belongs to the
 * language store and lives until the main library's ExitFAR; null when there is none. */
QB_EXPORT const char* CommonGetMsgEx(int n, const char* module);

QB_EXPORT void* Malloc(uint32_t size);
QB_EXPORT void* Realloc(void* block, uint32_t size);
QB_EXPORT void Free(void* block);

/* 1 when the text is on the clipboard, else 0. */
QB_EXPORT int StringToClipboard(const char* text);
/* A new heap text: the first line (without a carriage return before the line feed). */
QB_EXPORT char* GetFirstLine(const char* text);
/* HKEY_CURRENT_USER\root\Quillbox, or ...\Quillbox\subkey; created when missing. Null on failure.
 * Close it with CloseRegKey. */
QB_EXPORT HKEY OpenRegKey(const char* root, const char* subkey);
/* Closes a key that OpenRegKey gave (the key and its values stay); null is ignored. */
QB_EXPORT void CloseRegKey(HKEY key);

QB_EXPORT void StdFillPanelItem(const char* typeName, PluginPanelItem* item);
QB_EXPORT void StdOneLineToPanelItem(const char* text, const char* suffix, const char* typeName,
                                     PluginPanelItem* item);
QB_EXPORT void StdMultiLineToPanelItem(const char* text, const char* suffix, const char* typeName,
                                       PluginPanelItem* item);
QB_EXPORT char* StdOneLineDescription(const char* text);
QB_EXPORT char* StdMultiLineDescription(const char* text, const char* suffix);
QB_EXPORT char* StdOneLineMenuDescription(const char* text, const char* typeName);
QB_EXPORT char* StdMultiLineMenuDescription(const char* text, const char* typeName);
/* edit 0 views (result 0), otherwise edits: 1 when accepted, with a new heap text and its length
 * plus one in the outputs; 0 when cancelled, outputs untouched. */
QB_EXPORT int StdEditSingleLine(const char* title, const char* helpTopic, const char* text,
                                uint32_t size, char** newText, uint32_t* newSize, int edit);
/* As StdEditSingleLine for several lines; a view returns 1. */
QB_EXPORT int StdEditMultiLine(const char* title, const char* helpTopic, const char* text,
                               uint32_t size, char** newText, uint32_t* newSize, int edit);
/* Writes "Type:" and one tab-indented line per line of text. The text is left as it was. */
QB_EXPORT void StdSaveMultiLine(const char* typeName, FILE* out, char* text);

#ifdef __cplusplus
}

/* Error boxes: a warning with the error title (main-module text 13), the given lines and the
 * accepting button (main-module text 0), under the help topic (may be null). */
QB_EXPORT void ShowError(const char* text, const char* helpTopic);
QB_EXPORT void ShowError(int message, const char* helpTopic);
QB_EXPORT void ShowError(const char* text1, const char* text2, const char* helpTopic);
QB_EXPORT void ShowError(const char* text1, const char* text2, const char* text3,
                         const char* helpTopic);
#endif

#endif /* QUILLBOX_SDK_SERVICES_H */
