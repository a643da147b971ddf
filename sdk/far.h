// The host interface: the entry points a panel plug-in exports, the service table the host hands
// to it, and the records both sides fill. The layout follows FAR 1.70's plug-in interface in member
// order; pointers and sizes are native, so StructSize is sizeof of the record.
//
// This header is a contract between separately built libraries: plain C records and function
// pointers only. It compiles on its own, as C or C++.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Windows value types whose numbers users and files see ------------------------------------
 */

typedef uint32_t DWORD;
typedef void* HANDLE;
typedef int32_t HRESULT;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define NM 260 /* the host's name and path buffers, terminator included */

/* 100-nanosecond intervals since 1601-01-01 UTC, split as Windows splits it. */
typedef struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_HIDDEN 0x02
#define FILE_ATTRIBUTE_SYSTEM 0x04
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20

typedef struct WIN32_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[NM];
  char cAlternateFileName[14];
} WIN32_FIND_DATA;

typedef struct SMALL_RECT_ {
  int Left, Top, Right, Bottom;
} FarRect;

/* ---- Virtual key codes and control state ----------------------------------------------------- */

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
/* '0'..'9' are 0x30..0x39 and 'A'..'Z' are 0x41..0x5A, as their characters. */
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B

#define PKF_CONTROL 0x1
#define PKF_ALT 0x2
#define PKF_SHIFT 0x4

/* ---- Panel items ------------------------------------------------------------------------------
 */

#define PPIF_USERDATA 0x20000000
#define PPIF_SELECTED 0x40000000
#define PPIF_PROCESSDESCR 0x80000000

typedef struct PluginPanelItem {
  WIN32_FIND_DATA FindData;
  DWORD PackSizeHigh;
  DWORD PackSize;
  DWORD Flags;
  DWORD NumberOfLinks;
  char* Description;
  char* Owner;
  char** CustomColumnData;
  int CustomColumnNumber;
  uintptr_t UserData; /* with PPIF_USERDATA: a pointer to a block whose first DWORD is its size */
  DWORD CRC32;
  uintptr_t Reserved[2];
} PluginPanelItem;

/* ---- Plug-in info -----------------------------------------------------------------------------
 */

#define PF_PRELOAD 0x0001
#define PF_DISABLEPANELS 0x0002
#define PF_EDITOR 0x0004
#define PF_VIEWER 0x0008

typedef struct PluginInfo {
  int StructSize;
  DWORD Flags;
  const char* const* DiskMenuStrings;
  int* DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char* CommandPrefix;
  DWORD Reserved;
} PluginInfo;

/* ---- Open plug-in info ------------------------------------------------------------------------
 */

#define OPIF_USEFILTER 0x0001
#define OPIF_USESORTGROUPS 0x0002
#define OPIF_USEHIGHLIGHTING 0x0004
#define OPIF_ADDDOTS 0x0008
#define OPIF_RAWSELECTION 0x0010
#define OPIF_REALNAMES 0x0020
#define OPIF_SHOWNAMESONLY 0x0040
#define OPIF_SHOWRIGHTALIGNNAMES 0x0080
#define OPIF_SHOWPRESERVECASE 0x0100
#define OPIF_FINDFOLDERS 0x0200
#define OPIF_COMPAREFATTIME 0x0400
#define OPIF_EXTERNALGET 0x0800
#define OPIF_EXTERNALPUT 0x1000
#define OPIF_EXTERNALDELETE 0x2000
#define OPIF_EXTERNALMKDIR 0x4000
#define OPIF_USEATTRHIGHLIGHTING 0x8000

/* Column types: "N" name, "Z" description, "O" modifier (name without path), "S" size, "D" date,
 * "T" time, "C0".."C9" custom columns. Several columns are separated by ",". */
typedef struct PanelMode {
  const char* ColumnTypes;
  const char* ColumnWidths;
  const char* const* ColumnTitles;
  int FullScreen;
  int DetailedStatus;
  int AlignExtensions;
  int CaseConversion;
  const char* StatusColumnTypes;
  const char* StatusColumnWidths;
  DWORD Reserved[2];
} PanelMode;

/* Twelve labels per modifier, F1 first. A null label keeps the host's own; an empty one hides it.
 */
typedef struct KeyBarTitles {
  char* Titles[12];
  char* CtrlTitles[12];
  char* AltTitles[12];
  char* ShiftTitles[12];
  char* CtrlShiftTitles[12];
  char* AltShiftTitles[12];
  char* CtrlAltTitles[12];
} KeyBarTitles;

typedef struct InfoPanelLine {
  char Text[80];
  char Data[80];
  int Separator;
} InfoPanelLine;

#define SM_DEFAULT 0
#define SM_UNSORTED 1
#define SM_NAME 2
#define SM_EXT 3
#define SM_MTIME 4
#define SM_CTIME 5
#define SM_ATIME 6
#define SM_SIZE 7
#define SM_DESCR 8

typedef struct OpenPluginInfo {
  int StructSize;
  DWORD Flags;
  const char* HostFile;
  const char* CurDir;
  const char* Format;
  const char* PanelTitle;
  const InfoPanelLine* InfoLines;
  int InfoLinesNumber;
  const char* const* DescrFiles;
  int DescrFilesNumber;
  const PanelMode* PanelModesArray;
  int PanelModesNumber;
  int StartPanelMode; /* '0'..'9', or 0 for the host's current mode */
  int StartSortMode;
  int StartSortOrder;
  const KeyBarTitles* KeyBar;
  const char* ShortcutData;
  long Reserved;
} OpenPluginInfo;

/* ---- Open-from codes and operation modes ------------------------------------------------------
 */

#define OPEN_DISKMENU 0
#define OPEN_PLUGINSMENU 1
#define OPEN_FINDLIST 2
#define OPEN_SHORTCUT 3
#define OPEN_COMMANDLINE 4

#define OPM_SILENT 0x0001
#define OPM_FIND 0x0002
#define OPM_VIEW 0x0004
#define OPM_EDIT 0x0008
#define OPM_TOPLEVEL 0x0010
#define OPM_DESCR 0x0020
/* Quillbox's own, only ever with OPM_FIND: the host's Find searches the text inside the items.
 * A plug-in that knows the bit puts in each item's Description the text its contents show (for a
 * record of the book: the texts of its fields, one a line), so that no second reader of its data
 * is needed. A plug-in that does not know the bit ignores it; its items are then searched in the
 * descriptions it gives anyway. */
#define OPM_FINDTEXT 0x10000

/* ---- Menus ------------------------------------------------------------------------------------
 */

#define FMENU_SHOWAMPERSAND 0x0001
#define FMENU_WRAPMODE 0x0002
#define FMENU_AUTOHIGHLIGHT 0x0004
#define FMENU_REVERSEAUTOHIGHLIGHT 0x0008

typedef struct FarMenuItem {
  char Text[128];
  int Selected;
  int Checked;
  int Separator;
} FarMenuItem;

/* ---- Dialogs ----------------------------------------------------------------------------------
 */

enum FarDialogItemTypes {
  DI_TEXT = 0,
  DI_VTEXT = 1,
  DI_SINGLEBOX = 2,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,
  DI_FIXEDIT = 6,
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
  DI_COMBOBOX = 10
};

#define DIF_COLORMASK 0x000000FFu
#define DIF_SETCOLOR 0x00000100u
#define DIF_BOXCOLOR 0x00000200u
#define DIF_GROUP 0x00000400u /* the first radio button of a group */
#define DIF_LEFTTEXT 0x00000800u
#define DIF_MOVESELECT 0x00001000u
#define DIF_SHOWAMPERSAND 0x00002000u
#define DIF_CENTERGROUP 0x00004000u /* buttons (and texts) on one row centred together */
#define DIF_NOBRACKETS 0x00008000u
#define DIF_SEPARATOR 0x00010000u
#define DIF_EDITOR 0x00020000u     /* consecutive edit lines with it form one multi-line editor */
#define DIF_HISTORY 0x00040000u    /* History names the edit's history list */
#define DIF_MASKEDIT 0x00080000u   /* Mask holds the fixed-width edit's mask */
#define DIF_EDITEXPAND 0x00100000u /* carried by every edit line; the host ignores it */
#define DIF_DROPDOWNLIST 0x00200000u
#define DIF_3STATE 0x00800000u /* check box with a third state, Selected 2 */

#define LIF_SELECTED 0x00010000u

typedef struct FarListItem {
  DWORD Flags;
  char Text[128];
  DWORD Reserved;
} FarListItem; /* 136 bytes */

typedef struct FarList {
  int ItemsNumber;
  FarListItem* Items;
} FarList;

typedef struct FarDialogItem {
  int Type;
  int X1, Y1, X2, Y2;
  int Focus;
  union {
    int Selected;
    const char* History;
    const char* Mask;
    FarList* ListItems;
    int ListPos;
  };
  DWORD Flags;
  int DefaultButton;
  char Data[512]; /* 511 bytes of text and the terminator */
} FarDialogItem;

/* ---- Message boxes ----------------------------------------------------------------------------
 */

#define FMSG_WARNING 0x00000001
#define FMSG_ERRORTYPE 0x00000002
#define FMSG_KEEPBACKGROUND 0x00000004
#define FMSG_DOWN 0x00000008
#define FMSG_LEFTALIGN 0x00000010

/* ---- Panel control ----------------------------------------------------------------------------
 */

#define FCTL_CLOSEPLUGIN 0
#define FCTL_GETPANELINFO 1
#define FCTL_GETANOTHERPANELINFO 2
#define FCTL_UPDATEPANEL 3
#define FCTL_UPDATEANOTHERPANEL 4
#define FCTL_REDRAWPANEL 5
#define FCTL_REDRAWANOTHERPANEL 6
#define FCTL_SETANOTHERPANELDIR 7
#define FCTL_GETCMDLINE 8
#define FCTL_SETCMDLINE 9
#define FCTL_SETSELECTION 10
#define FCTL_SETANOTHERSELECTION 11
#define FCTL_SETVIEWMODE 12
#define FCTL_SETANOTHERVIEWMODE 13

#define PTYPE_FILEPANEL 0
#define PTYPE_TREEPANEL 1
#define PTYPE_QVIEWPANEL 2
#define PTYPE_INFOPANEL 3

typedef struct PanelInfo {
  int PanelType;
  int Plugin;
  FarRect PanelRect;
  PluginPanelItem* PanelItems; /* valid until the next call of Control for this panel */
  int ItemsNumber;
  PluginPanelItem* SelectedItems; /* the selection, or the current item when nothing is selected */
  int SelectedItemsNumber;
  int CurrentItem;
  int TopPanelItem;
  int Visible;
  int Focus;
  int ViewMode;
  char ColumnTypes[80];
  char ColumnWidths[80];
  char CurDir[NM];
  int ShortNames;
  int SortMode;
  DWORD Flags;
  DWORD Reserved;
} PanelInfo;

typedef struct PanelRedrawInfo {
  int CurrentItem;
  int TopPanelItem;
} PanelRedrawInfo;

/* ---- The service table ------------------------------------------------------------------------
 */

typedef long (*FARWINDOWPROC)(HANDLE hDlg, int Msg, int Param1, long Param2);

typedef int (*FARAPIMENU)(int PluginNumber, int X, int Y, int MaxHeight, DWORD Flags,
                          const char* Title, const char* Bottom, const char* HelpTopic,
                          const int* BreakKeys, int* BreakCode, const FarMenuItem* Item,
                          int ItemsNumber);
typedef int (*FARAPIDIALOG)(int PluginNumber, int X1, int Y1, int X2, int Y2, const char* HelpTopic,
                            FarDialogItem* Item, int ItemsNumber);
typedef int (*FARAPIDIALOGEX)(int PluginNumber, int X1, int Y1, int X2, int Y2,
                              const char* HelpTopic, FarDialogItem* Item, int ItemsNumber,
                              DWORD Reserved, DWORD Flags, FARWINDOWPROC DlgProc, long Param);
typedef int (*FARAPIMESSAGE)(int PluginNumber, DWORD Flags, const char* HelpTopic,
                             const char* const* Items, int ItemsNumber, int ButtonsNumber);
typedef const char* (*FARAPIGETMSG)(int PluginNumber, int MsgId);
typedef int (*FARAPICONTROL)(HANDLE hPlugin, int Command, void* Param);
typedef int (*FARAPIGETDIRLIST)(const char* Dir, PluginPanelItem** pPanelItem, int* pItemsNumber);
typedef void (*FARAPIFREEDIRLIST)(const PluginPanelItem* PanelItem);
/* Services of the full table that nothing here calls; the host fills them or leaves them null. */
typedef void (*FARAPIUNUSED)(void);

/* Break keys of Menu: the virtual key code in the low word, PKF_ flags in the high word. The
 * index of the break key that ended the menu comes back in *BreakCode (-1 for Enter or Esc). */

typedef struct PluginStartupInfo {
  int StructSize;
  char ModuleName[NM];
  int ModuleNumber;
  const char* RootKey;
  FARAPIMENU Menu;
  FARAPIDIALOG Dialog;
  FARAPIMESSAGE Message;
  FARAPIGETMSG GetMsg;
  FARAPICONTROL Control;
  FARAPIUNUSED SaveScreen;
  FARAPIUNUSED RestoreScreen;
  FARAPIGETDIRLIST GetDirList;
  FARAPIUNUSED GetPluginDirList;
  FARAPIFREEDIRLIST FreeDirList;
  FARAPIUNUSED Viewer;
  FARAPIUNUSED Editor;
  FARAPIUNUSED CmpName;
  FARAPIUNUSED CharTable;
  FARAPIUNUSED Text;
  FARAPIUNUSED EditorControl;
  void* FSF;
  FARAPIUNUSED ShowHelp;
  FARAPIUNUSED AdvControl;
  FARAPIUNUSED InputBox;
  FARAPIDIALOGEX DialogEx;
  FARAPIUNUSED SendDlgMessage;
  FARAPIUNUSED DefDlgProc;
  DWORD Reserved;
  FARAPIUNUSED ViewerControl;
} PluginStartupInfo;

/* ---- Entry points of a panel plug-in, looked up by these exact names ------------------------- */

typedef void (*PFN_SetStartupInfo)(const PluginStartupInfo* Info);
typedef void (*PFN_GetPluginInfo)(PluginInfo* Info);
/* For OPEN_COMMANDLINE, Item is a pointer to the text after the prefix and its colon. */
typedef HANDLE (*PFN_OpenPlugin)(int OpenFrom, intptr_t Item);
typedef void (*PFN_ClosePlugin)(HANDLE hPlugin);
typedef void (*PFN_GetOpenPluginInfo)(HANDLE hPlugin, OpenPluginInfo* Info);
typedef int (*PFN_GetFindData)(HANDLE hPlugin, PluginPanelItem** pPanelItem, int* pItemsNumber,
                               int OpMode);
typedef void (*PFN_FreeFindData)(HANDLE hPlugin, PluginPanelItem* PanelItem, int ItemsNumber);
typedef int (*PFN_Compare)(HANDLE hPlugin, const PluginPanelItem* Item1,
                           const PluginPanelItem* Item2, unsigned int Mode);
typedef int (*PFN_SetDirectory)(HANDLE hPlugin, const char* Dir, int OpMode);
/* Name is a buffer of NM bytes that the plug-in may change (the name it actually made). */
typedef int (*PFN_MakeDirectory)(HANDLE hPlugin, char* Name, int OpMode);
typedef int (*PFN_ProcessKey)(HANDLE hPlugin, int Key, unsigned int ControlState);
typedef int (*PFN_DeleteFiles)(HANDLE hPlugin, PluginPanelItem* PanelItem, int ItemsNumber,
                               int OpMode);
/* DestPath is a buffer of NM bytes. */
typedef int (*PFN_GetFiles)(HANDLE hPlugin, PluginPanelItem* PanelItem, int ItemsNumber, int Move,
                            char* DestPath, int OpMode);
typedef int (*PFN_PutFiles)(HANDLE hPlugin, PluginPanelItem* PanelItem, int ItemsNumber, int Move,
                            int OpMode);
typedef int (*PFN_Configure)(int ItemNumber);
typedef void (*PFN_ExitFAR)(void);

#ifdef __cplusplus
}
#endif
