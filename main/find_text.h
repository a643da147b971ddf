// What the host's Find searches for a text inside a record: the texts its fields show, read once
// with the panel's own reader of the book, so that phone numbers, e-mail addresses and notes are
// found as the field types put them.
#pragma once

#include <string>

#include "main/book_panel.h"

namespace qb::main {

// The texts of the record's fields with a server, in record order, one field a line (a field of
// several lines keeps them). A field's text is what its type writes as text data (WriteTextData);
// for a type without it, its description, or else the name and description of its panel item.
std::string RecordFindText(BookPanel& panel, storage::Stream& record);

}  // namespace qb::main
