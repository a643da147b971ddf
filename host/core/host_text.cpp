#include "host/core/host_text.h"

#include <cstdarg>
#include <cstdio>

#include "shared/lang/lang_store.h"

namespace qb::host {

namespace {

constexpr const char* kEnglish[] = {
    "OK",
    "Cancel",
    "Error",
    "Copy",
    "Move",
    "Rename/Move",
    "Delete",
    "Copying between two plug-in panels is not supported",
    "The plug-in of this panel cannot copy its items to the disk",
    "The plug-in of the other panel cannot take files from the disk",
    "Copy %s to",
    "Move %s to",
    "%d items",
    "Do you wish to delete %s",
    "Make folder",
    "Create the folder",
    "Cannot create the folder",
    "Cannot run",
    "Cannot change to the folder",
    "Command line",
    "Only \"cd\" and the plug-in's prefix are run here:",
    "Left",
    "Right",
    "Plugin commands",
    "Plugins configuration",
    "The plug-in was not loaded: %s",
    "View",
    "Edit",
    "Copy",
    "RenMov",
    "MkFold",
    "Delete",
    "ConfMn",
    "Quit",
    "Plugin",
    "Left",
    "Right",
    "Up",
    "Folder",
    "Name",
    "Description",
    "Size",
    "Date",
    "Time",
    "Owner",
    "Find",
};
static_assert(sizeof kEnglish / sizeof kEnglish[0] == static_cast<int>(HostText::kCount));

// The host's one store of its own texts; only the host's thread reads it.
lang::LangStore& Store() {
  static lang::LangStore store;
  return store;
}

}  // namespace

void LoadHostTexts(const std::string& dir, const std::string& language) {
  Store().Load(dir, language);
}

const char* Text(HostText n) {
  const int i = static_cast<int>(n);
  if (i < 0 || i >= static_cast<int>(HostText::kCount)) return "";
  const char* text = Store().Get(i, "Host");
  return text ? text : kEnglish[i];
}

std::string Format(HostText n, ...) {
  char text[1024];
  va_list args;
  va_start(args, n);
  std::vsnprintf(text, sizeof text, Text(n), args);
  va_end(args);
  return text;
}

}  // namespace qb::host
