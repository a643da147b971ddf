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
#include <vector>

#include "main/book_panel.h"
#include "main/exchange_format.h"
#include "main/record_io.h"
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

// ---- Shared with the vCard import and export ----

// The item's name as the host gave it.
std::string ItemName(const PluginPanelItem& item);
bool IsDotDot(const PluginPanelItem& item);
// Folder items carry user data 0, records 1 (both show as directories).
bool IsRecordItem(const PluginPanelItem& item);

// Adds the blocks to the record: a block of a single-valued type replaces the first field served
// by the same library, any other block is appended. With skip_equal, a block equal to a field
// the record holds (type and bytes) is left out.
void MergeBlocks(Record& record, std::vector<FieldBlock>& blocks, bool skip_equal = false);

// The name a new folder or record of the current folder gets: leading blanks dropped, cut to the
// host's buffers, reserved characters replaced. Empty when nothing is left.
std::string BookName(const std::string& wanted);

// Makes the folder in the panel's current folder (an existing one counts as made) and enters it;
// wanted becomes the name used. False, with a box where the book refused, when it cannot.
bool MakeAndEnterFolder(BookPanel& panel, std::string& wanted, int op_mode);

// Makes the record in the panel's current folder (an existing one is reused) and merges the
// blocks into it (MergeBlocks).
bool MergeIntoNamedRecord(BookPanel& panel, const std::string& wanted,
                          std::vector<FieldBlock>& blocks, bool skip_equal = false);

}  // namespace qb::main
