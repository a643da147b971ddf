// Records as the book stores them: a stream holding its fields one after another, each as
// FieldTypeId (4 bytes), size (4 bytes, both little-endian) and the data, with no alignment
// between fields, the whole stream padded with 0 to 7 bytes to a multiple of 8. An empty record is
// a stream of length 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "main/password.h"
#include "platform/storage/storage.h"
#include "sdk/fieldtype.h"

namespace qb::main {

// One field in memory.
struct FieldEntry {
  FieldTypeId type = 0;
  std::vector<uint8_t> data;

  uint32_t size() const { return static_cast<uint32_t>(data.size()); }
  // The field's bytes as handed to a field-type library: null for an empty field.
  const void* bytes() const { return data.empty() ? nullptr : data.data(); }
};

// A record in memory: its fields in record order.
using Record = std::vector<FieldEntry>;

// Length of a stream holding these fields: 8 + data per field, rounded up to a multiple of 8.
uint64_t RecordStreamSize(const Record& record);

// The stream bytes of a record, padding included (padding bytes are 0).
std::vector<uint8_t> SerializeRecord(const Record& record);

// The fields of stream bytes. Parsing stops when fewer than 8 bytes remain or when a field's data
// would run past the end: the fields before the damage are kept, the damaged one and everything
// after it are dropped.
Record ParseRecord(const uint8_t* bytes, std::size_t size);

// Reads a record stream whole from its start, deciphering it with key when one is given. A stream
// that cannot be read completely (or one too large to be a record) reads as an empty record.
Record ReadRecordStream(storage::Stream& stream, const PasswordKey* key = nullptr);

// Replaces the stream's contents with the record, enciphered with key when one is given, and
// leaves the position at the start.
storage::HRESULT WriteRecordStream(storage::Stream& stream, const Record& record,
                                   const PasswordKey* key = nullptr);

}  // namespace qb::main
