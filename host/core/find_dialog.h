// Find (Alt+F7): asks for a mask of names ("*smith*") and, optionally, a text contained, searches
// the active panel's folder and every folder below it, lists what it found, and puts the panel on
// the item chosen from the list.
//
// On a disk panel names are matched against the mask and files' contents searched for the text
// (letter case ignored, symbolic links to folders not followed). On a plug-in panel the search goes
// through the plug-in as FAR's does: GetFindData with OPM_FIND lists each folder, SetDirectory
// with OPM_SILENT | OPM_FIND enters it (a folder the plug-in refuses, such as a locked one, is
// skipped) and ".." leaves it again, so the panel ends where it began. For the text the listing
// asks OPM_FINDTEXT as well and searches the items' descriptions: a plug-in that knows the bit
// fills them with what its items hold, any other is searched in the descriptions it gives.
#pragma once

#include <string>
#include <vector>

#include "host/core/name_match.h"
#include "host/core/panel.h"

namespace qb::host {

class Host;

// One item found.
struct FoundItem {
  std::vector<std::string> path;  // plug-in panel: folders to enter from where the search began
  std::string dir;                // disk panel: the folder it is in
  std::string name;
  // The line of the result list: the path from where the search began on a disk panel
  // ("docs/notes.md"), the plug-in's path on a plug-in panel ("\Friends\carol").
  std::string shown;
};

// What to look for.
struct FindQuery {
  NameMask mask{"*"};
  std::u32string text;  // folded; empty: names only
};

// The walks, apart from the dialog and the list. Results beyond `limit` are not collected. The
// plug-in walk starts at the panel's current folder, whose path is cur_dir, and ends there.
std::vector<FoundItem> FindOnDisk(const std::string& dir, const FindQuery& query,
                                  std::size_t limit);
class PluginModule;
std::vector<FoundItem> FindInPlugin(const PluginModule& plugin, HANDLE panel,
                                    const std::string& cur_dir, const FindQuery& query,
                                    std::size_t limit);

class FindDialog {
 public:
  explicit FindDialog(Host& host) : host_(host) {}

  // Alt+F7 on the active panel.
  void Run();

 private:
  // The dialog; false when cancelled.
  bool Ask(std::string* mask, std::string* text);
  // The list; the index chosen, -1 when none.
  int Choose(const std::vector<FoundItem>& found);
  void GoTo(const FoundItem& item);

  Host& host_;
};

}  // namespace qb::host
