// The book as vCards: one record is one card. The record's name is the card's FN (N is derived
// from it), its folder below the place of the export is its CATEGORIES ("Friends/Work"), and each
// field is written and read by its own field type (WriteVCard, ReadVCard); this library knows
// the syntax (vcard_syntax.h) and the record level only.
//
// Every record keeps one UID across exports: the UIDs of a folder's records are kept in the
// folder's stream kVCardUidStream, a new record gets one at its first export, and an imported
// card's UID is kept for its record.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "main/book_panel.h"
#include "sdk/far.h"

namespace qb::main {

// What an import did, added up over every file of one put.
struct VCardImport {
  std::size_t files = 0;
  std::size_t imported = 0;  // cards that became (or were merged into) records
  std::size_t skipped = 0;   // cards that could not be read, or had no name
  // Properties no field type kept, by name, with how often.
  std::map<std::string, std::size_t> not_kept;
};

// Imports every card of a vCard file's bytes into the panel's current folder: a card's
// CATEGORIES makes and enters folders below it, a record of the card's name there is merged
// (single-valued types replaced, others appended; a field equal to one the record holds is not
// added again). False when the import stopped at a folder or record the book refused.
bool ImportVCard(BookPanel& panel, std::string_view bytes, int op_mode, VCardImport* report);

// The whole file from its start into out: false when it cannot be read or is larger than the
// vCard reader takes (vcard::kMaxFileBytes).
bool ReadVCardFile(std::FILE* file, std::string* out);

// The box that says what an import did (title, counts, the properties not kept).
void ShowVCardImport(const VCardImport& report);
// The same in lines of text, for the command line.
std::vector<std::string> VCardImportLines(const VCardImport& report);

// The cards of the items of the panel's current folder and of everything below them (folders
// locked with a password that was not given are passed by), appended to out. The number of cards.
// whole: the items are the folder's whole list (the UIDs of records deleted since are dropped).
std::size_t ExportVCards(BookPanel& panel, const PluginPanelItem* items, int count, int op_mode,
                         bool whole, std::string* out);

// One e-mail address of a record, for the mail client's query.
struct VCardAddress {
  std::string address;
  std::string name;    // the record's name
  std::string folder;  // "\Friends\Work", "\" at the root
};
// Every e-mail address below the panel's current folder, as the field types write them (EMAIL).
std::vector<VCardAddress> CollectAddresses(BookPanel& panel, int op_mode);

// A record of the folder was renamed: its UID goes with it.
void RenameVCardUid(storage::Storage& folder, const std::string& old_name,
                    const std::string& new_name);

// The export key in folder view: the selected folders and records into one .vcf file in the other
// panel's folder, through the copy dialog.
void ExportVCardKey(BookPanel& panel);

}  // namespace qb::main
