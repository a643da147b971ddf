// Services the main library (Quillbox.so) exports to the field-type libraries, which link against
// it. Texts these services return, and every Description they set, are allocated with Malloc and
// freed by the receiver with Free; texts passed in stay the caller's.
//
// Text fields are zero-terminated texts in the console code page (UTF-8 here). Lines are separated
// by a line feed; a carriage return right before a line feed is not part of the line. In a one-line
// text everything after the last "#" is its comment; in a multi-line text only a "#" on the last
// line starts a comment.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "sdk/far.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QB_EXPORT __attribute__((visibility("default")))

/* An open registry key, opaque to the field types: OpenRegKey and RegOpenSubKey open one,
 * CloseRegKey closes it, and the Reg* services below read and change what lies in it. Field types
 * link no registry code of their own. */
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
/* Closes a key that OpenRegKey or RegOpenSubKey gave (the key and its values stay); null is
 * ignored. */
QB_EXPORT void CloseRegKey(HKEY key);

/* Values of an open key. A null name is the key's unnamed value. On a null key reads give their
 * default and writes give 0. */

/* The 32-bit number value name, taken as signed. A missing value, one of another type, or one
 * outside min to max (both ends included) reads as def; so does every value when min > max.
 * Pass INT32_MIN and INT32_MAX to take any number. */
QB_EXPORT int32_t RegReadNumber(HKEY key, const char* name, int32_t def, int32_t min, int32_t max);
/* The text value name, or def (null is the empty text) when it is missing or not a text, copied
 * into out of capacity bytes with its terminating zero. A text too long is cut at the end of a
 * whole character so that it fits. Returns the length copied, without the zero. With out null
 * or capacity 0 nothing is copied and the result is the whole text's length, which a caller can
 * use to size its buffer. */
QB_EXPORT size_t RegReadText(HKEY key, const char* name, const char* def, char* out,
                             size_t capacity);
/* Stores value as a 32-bit number (negative numbers as their two's complement). 1 when written,
 * else 0. */
QB_EXPORT int RegWriteNumber(HKEY key, const char* name, int32_t value);
/* Stores text as a text value. 1 when written, else 0 (also for a null text, which changes
 * nothing). */
QB_EXPORT int RegWriteText(HKEY key, const char* name, const char* text);

/* Sub-keys of an open key. A name may be a path of several keys separated by "\". */

/* Opens the sub-key name of key; when create is non-zero it is created (with any missing keys
 * above it) if it does not exist. Null when it does not exist and create is 0, on failure, and
 * for a name that names no key (null, empty, only "\"). Close it with CloseRegKey. */
QB_EXPORT HKEY RegOpenSubKey(HKEY key, const char* name, int create);
/* The name of the index-th sub-key of key (0 first; sub-keys are ordered by name without regard
 * to case) into out of capacity bytes with its terminating zero, and its length. A name is never
 * cut: when it does not fit, out holds the empty text (capacity allowing) and the result is the
 * name's length, which is then capacity or more, so the caller can retry with a larger buffer.
 * -1 past the last sub-key and when key cannot be read. */
QB_EXPORT int RegEnumSubKey(HKEY key, uint32_t index, char* out, size_t capacity);
/* Deletes the sub-key name of key with every key and value below it. 1 when it was deleted; 0
 * when it did not exist, for a name that names no key, and on failure. */
QB_EXPORT int RegDeleteSubKey(HKEY key, const char* name);

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
