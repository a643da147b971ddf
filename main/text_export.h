// Text export (Alt+F5 in folder view): a folder tree or a record written as readable text into a
// file, by default in the directory of the host's other panel. Every record reached gets a header
// line with its place in the book, "\n*** \Folder\Record ***\n", followed by whatever each of its
// fields' libraries writes for the field with WriteTextFile; folders themselves write nothing.
//
// Lines end in "\n" alone: the libraries write into the open stream of the C library they share
// with the main library, which on Linux has no text mode that would make that "\r\n".
#pragma once

#include <cstdio>

#include "main/book_panel.h"
#include "main/progress.h"
#include "sdk/far.h"

namespace qb::main {

// The Alt+F5 action: asks for the target with the copy dialog, completes it with the item's name
// when it names a directory, asks whether an existing file is overwritten or appended to, and
// writes the item under the cursor. The ".." item exports nothing. Esc between two records stops
// the export; what was written stays.
void ExportText(BookPanel& panel);

// Writes the folder or record item of the panel's current folder into file, every record below a
// folder in the order the listing gives them. An item that cannot be entered (a locked folder)
// writes nothing. Each record counts one step of progress. Returns false when the user stopped
// the export with Esc (the panel then stands where it stood, as always).
bool WriteTextEntry(BookPanel& panel, const PluginPanelItem& item, std::FILE* file,
                    ProgressBox& progress);

}  // namespace qb::main
