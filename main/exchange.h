// Copying and moving between the book and the disk through exchange files (exchange_format.h):
// GetFiles writes the panel's items out as files, PutFiles reads files in; a file that is not an
// exchange file, put onto a record, is handed to one of the record's fields that can send files.
//
// Moves never lose data: an item leaves the book only when its entry was written whole and its
// file closed without error, and a disk file is deleted only after its import succeeded and the
// book's commit reached the disk.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "main/book_panel.h"
#include "sdk/far.h"

namespace qb::main {

// The copy dialog (kind 0 copy, 1 move, 2 text export) editing destination, a buffer of size
// bytes. True when accepted.
bool CopyDialog(char* destination, std::size_t size, int kind);

// A file for binary writing at path, after asking whether an existing one may be overwritten;
// null when the user declines or the file cannot be created (then an error box says so).
std::FILE* OpenTargetFile(const std::string& path);

// The host's GetFiles: the items of the panel as exchange files in destination. 1 done; 0 when
// the book cannot be acquired, the dialog is cancelled or a target file cannot be opened.
int GetFiles(BookPanel& panel, PluginPanelItem* items, int count, int move, char* destination,
             int op_mode);

// The host's PutFiles: disk files and directories (names relative to the working directory)
// into the panel's folder, or onto its open record. 1 done; 0 when the book cannot be acquired or
// the import stopped.
int PutFiles(BookPanel& panel, PluginPanelItem* items, int count, int move, int op_mode);

}  // namespace qb::main
