/* The layout facts the C and the C++ translation units both report, so the test can compare them:
 * a library built from C and one built from C++ must agree on every record they exchange. */
#pragma once

#include <stddef.h>

enum {
  kLayoutFarListItem,
  kLayoutFarMenuItem,
  kLayoutFarMenuItemText,
  kLayoutFarDialogItem,
  kLayoutFarDialogItemData,
  kLayoutFarDialogItemDataOffset,
  kLayoutFileTime,
  kLayoutFindData,
  kLayoutFindDataFileName,
  kLayoutPluginPanelItem,
  kLayoutPluginStartupInfo,
  kLayoutPanelInfo,
  kLayoutCount
};

#define QB_MEMBER_SIZE(type, member) sizeof(((type*)0)->member)

#define QB_LAYOUT_FUNCTION(name)                                         \
  void name(size_t* out) {                                               \
    out[kLayoutFarListItem] = sizeof(FarListItem);                       \
    out[kLayoutFarMenuItem] = sizeof(FarMenuItem);                       \
    out[kLayoutFarMenuItemText] = QB_MEMBER_SIZE(FarMenuItem, Text);     \
    out[kLayoutFarDialogItem] = sizeof(FarDialogItem);                   \
    out[kLayoutFarDialogItemData] = QB_MEMBER_SIZE(FarDialogItem, Data); \
    out[kLayoutFarDialogItemDataOffset] = offsetof(FarDialogItem, Data); \
    out[kLayoutFileTime] = sizeof(FILETIME);                             \
    out[kLayoutFindData] = sizeof(WIN32_FIND_DATA);                      \
    out[kLayoutFindDataFileName] = offsetof(WIN32_FIND_DATA, cFileName); \
    out[kLayoutPluginPanelItem] = sizeof(PluginPanelItem);               \
    out[kLayoutPluginStartupInfo] = sizeof(PluginStartupInfo);           \
    out[kLayoutPanelInfo] = sizeof(PanelInfo);                           \
  }
