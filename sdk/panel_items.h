/* Panel control commands for plug-ins that look at a few items of a big panel: FCTL_GETPANELINFO
 * hands over a record of every item, which costs as much as the panel is long. A host that does
 * not know these commands answers 0; the plug-in then falls back on FCTL_GETPANELINFO. */
#pragma once

#include "sdk/far.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A PanelInfo without the item records (FAR's numbers for these commands): PanelItems and
 * SelectedItems are null; the counts, the current and the top item, the view and sort mode and
 * the directory are filled. SelectedItemsNumber counts the selected items, 0 when none are. */
#define FCTL_GETPANELSHORTINFO 26
#define FCTL_GETANOTHERPANELSHORTINFO 27

/* One item of the panel, with a PanelItemRequest. When Name is not null, the item is the first
 * one named exactly Name (bytes compared, letter case counts) and Index receives its place, -1
 * when there is none; else Index names the item. ItemsNumber receives the number of items. Item
 * is filled as a record of FCTL_GETPANELINFO would be, pointing into the host's copies until the
 * next Control call for the panel. Returns 1 with an item, 0 without. A caller that sets
 * ItemsNumber to -1 before the call knows a host that answered by the count it left there. */
#define FCTL_GETPANELITEM 0x5101
#define FCTL_GETANOTHERPANELITEM 0x5102

typedef struct PanelItemRequest {
  int Index;
  const char* Name;
  int ItemsNumber;
  PluginPanelItem Item;
} PanelItemRequest;

#ifdef __cplusplus
}
#endif
