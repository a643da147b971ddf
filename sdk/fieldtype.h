// The field-type interface: what a field-type library (*.qbl) exports and what the main library
// hands to it. A field is opaque bytes with a type identifier; the library gives it a face (panel
// item, description, menu line, text), edits it, and acts on it. The library never sees the book.
//
// Memory a field-type library returns (new field data, texts) comes from the main library's Malloc
// or Realloc and is freed by the main library. Memory passed in stays the caller's.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "sdk/far.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bits 8..31 name the type, bits 0..7 the version of its data format. A library claims a block of
 * 256 identifiers through CheckID. */
typedef uint32_t FieldTypeId;

#define FTID_COMMENT 0x10101u
#define FTID_PHONE 0x10200u
#define FTID_ADDRESS 0x10301u
#define FTID_DATE 0x10402u
#define FTID_EMAIL 0x10501u
#define FTID_NETMAIL 0x10600u
#define FTID_EXECUTE 0x10701u
#define FTID_MESSENGER 0x10801u
#define FTID_PAGER 0x10902u

/* Flags of FieldTypeInfo. */
#define FTF_MULTIPLE 0x1u    /* a record may hold several fields of this type */
#define FTEV_OPEN 0x1000u    /* walk when a panel opens */
#define FTEV_CLOSE 0x8000u   /* walk when a panel closes */
#define FTEV_SCAN 0x10000u   /* walk on the user's scan request; listed in the scan menu */
#define FTEV_START 0x20000u  /* walk at preload */
#define FTEV_BEFORE 0x80000u /* called once before each walk it takes part in; 0 vetoes it */
#define FTEV_AFTER 0x100000u /* called once after each walk it takes part in */

/* Returned by GetAddressPluginInfo; owned by the library and valid until it is freed. */
typedef struct FieldTypeInfo {
  const char* Name;     /* display name: create-field, scan and token menus */
  const char* Token;    /* letters after "%" in the record description format */
  const char* MenuName; /* name in the configuration menu */
  uint32_t Flags;
  FieldTypeId NewId; /* identifier of fields this library creates */
} FieldTypeInfo;

/* One block in the main library, the same for every field-type library; read it whenever needed.
 * Three pointer words in this order, whatever the language a library is written in. */
typedef struct HostServices {
  const char* UserName; /* the UserName setting */
  /* Position of the panel that last opened the book: "\" and the folder names joined by "\",
   * then "\" and the record name when a record is open; "" at the root. At most NM bytes with
   * its terminator. Null when no panel is open. (This word once pointed at the panel itself,
   * whose path text came first; it still points at that text, so libraries that read it so
   * keep working.) */
  const char* CurrentPanelPath;
  const char* CurrentRecord; /* name of the record open in that panel, or null */
} HostServices;

#ifdef __cplusplus
#define QB_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define QB_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif
QB_STATIC_ASSERT(offsetof(HostServices, CurrentPanelPath) == sizeof(void*) &&
                     offsetof(HostServices, CurrentRecord) == 2 * sizeof(void*) &&
                     sizeof(HostServices) == 3 * sizeof(void*),
                 "HostServices is three pointer words; field types index into it");
#undef QB_STATIC_ASSERT

/* The entry points, looked up by these exact names. Only GetAddressPluginInfo is required; every
 * other one is tested for presence before each call. data/size/type always describe one field:
 * its bytes (null for an empty field), their count and its identifier. */
typedef int (*PFN_GetAddressPluginInfo)(FieldTypeInfo** info);
typedef void (*PFN_FieldSetStartupInfo)(const PluginStartupInfo* info);
typedef void (*PFN_SetQBStartupInfo)(HostServices* services);
typedef int (*PFN_CheckID)(FieldTypeId type);
typedef void (*PFN_GetDescription)(char** text, const void* data, uint32_t size, FieldTypeId type);
typedef void (*PFN_GetMenuDescription)(char** text, const void* data, uint32_t size,
                                       FieldTypeId type);
/* Fills the item's file data and may set its Description (a heap text). */
typedef int (*PFN_GetPanelItem)(PluginPanelItem* item, const void* data, uint32_t size,
                                FieldTypeId type);
/* edit 1: edit (a new field comes with data null, size 0, the library's NewId); edit 0: view, the
 * three out pointers are null. Non-zero when the user confirmed a change. */
typedef int (*PFN_EditContents)(const void* data, uint32_t size, FieldTypeId type, void** newData,
                                uint32_t* newSize, FieldTypeId* newType, int edit);
/* Non-zero when the field was converted to the library's current format. */
typedef int (*PFN_Upgrade)(const void* data, uint32_t size, FieldTypeId type, void** newData,
                           uint32_t* newSize, FieldTypeId* newType);
typedef void (*PFN_WriteTextData)(const void* data, uint32_t size, FieldTypeId type, char** text);
typedef void (*PFN_WriteTextFile)(FILE* file, const void* data, uint32_t size, FieldTypeId type);
typedef int (*PFN_SendFile)(const void* data, uint32_t size, FieldTypeId type, const char* path);
typedef void (*PFN_DoSomething)(const void* data, uint32_t size, FieldTypeId type);
/* Per field: data, size, type, event, 0. Before and after a walk: null, 0, event, and FTEV_BEFORE
 * or FTEV_AFTER; before a walk a result of 0 vetoes it. */
typedef int (*PFN_OnEnter)(const void* data, uint32_t size, FieldTypeId type, uint32_t event,
                           uint32_t call);
typedef int (*PFN_ConfigurePlugin)(void);
typedef void (*PFN_FieldExitFAR)(void);

/* vCard exchange (optional entry points). The main library owns the card syntax: lines, folding,
 * parameters, charsets, quoted-printable and escaping; a field type owns the meaning of its
 * properties. All texts are UTF-8 and end in a zero byte. */
typedef struct VCardParam {
  const char* Name;  /* upper case: "TYPE"; a bare vCard 2.1 parameter ("CELL") comes as TYPE */
  const char* Value; /* unquoted; one value per parameter ("TYPE=cell,voice" comes as two) */
} VCardParam;

typedef struct VCardProperty {
  const char* Group; /* "item1" of "item1.TEL", or "" */
  const char* Name;  /* upper case: "TEL", "X-ANNIVERSARY" */
  const VCardParam* Params;
  uint32_t ParamCount;
  const char* Value; /* the whole value with its escapes undone ("\n" is a line break) */
  /* The value split at its unescaped ";" (the parts of ADR or N), each with its escapes undone;
   * a value without ";" is one component equal to Value. */
  const char* const* Components;
  uint32_t ComponentCount;
} VCardProperty;

/* Handed to WriteVCard; the library calls Add once per property it writes for the field. The
 * main library escapes each component, joins them with ";" and folds the line. */
typedef struct VCardWriter {
  void* Context;
  void (*Add)(void* context, const char* name, const VCardParam* params, uint32_t paramCount,
              const char* const* components, uint32_t componentCount);
} VCardWriter;

/* Writes the field as vCard properties through the writer. */
typedef void (*PFN_WriteVCard)(const void* data, uint32_t size, FieldTypeId type,
                               const VCardWriter* writer);

#define VCARD_NOT_MINE 0 /* the library leaves the property to others */
#define VCARD_FIELD 1    /* it made a field of the property: *newData, *newSize, *newType */
#define VCARD_CONSUMED                                                  \
  2 /* it took the property without a field of its own (a label it read \
       while making another property's field) */
/* Offered each property of a card that no library has taken yet, in card order; the whole card
 * is there so that a library can read a property's companions (the "item1.X-ABLabel" of an
 * "item1.TEL", the LABEL of an ADR). *newData comes from the main library's Malloc. */
typedef int (*PFN_ReadVCard)(const VCardProperty* card, uint32_t count, uint32_t index,
                             void** newData, uint32_t* newSize, FieldTypeId* newType);

#ifdef __cplusplus
}
#endif
