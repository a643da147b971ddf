// Exchange files: folders, records and fields of a book as files on the disk, readable by any
// book. Two kinds, told apart by their first four bytes; all numbers little-endian, no padding,
// nothing after the last entry.
//
//   folder file   "QBXM" folder-body
//   fields file   "MXBQ" u32 N, N field blocks
//   folder body   u32 F, u32 R, F folder entries, R record entries
//   folder entry  name, folder body
//   record entry  name, u32 N, N field blocks
//   name          u16 L, L bytes (UTF-8, no terminator)
//   field block   u32 FieldTypeId, u32 S, S bytes of field data (deciphered)
//
// The reader takes files from anywhere: every count and length is checked against what is left
// of the file before anything is allocated or looped over, folders nest at most
// kMaxExchangeDepth deep, and a damaged file ends the read at the damage with everything before
// it delivered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qb::main {

inline constexpr char kFolderMagic[4] = {'Q', 'B', 'X', 'M'};
inline constexpr char kFieldsMagic[4] = {'M', 'X', 'B', 'Q'};

// Folders inside a folder file nest at most this deep (the top folder body is depth 0). Panel
// paths hold 259 bytes, so a deeper tree could not be entered anyway.
inline constexpr int kMaxExchangeDepth = 64;

// The fewest bytes a folder entry (name of one byte, empty body), a record entry (name of one
// byte, no fields) and a field block take.
inline constexpr uint64_t kMinFolderEntry = 2 + 1 + 8;
inline constexpr uint64_t kMinRecordEntry = 2 + 1 + 4;
inline constexpr uint64_t kMinFieldBlock = 8;

struct FieldBlock {
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// Writes the blocks of an exchange file to a file; the first failing write makes ok() false and
// every later write does nothing.
class ExchangeWriter {
 public:
  explicit ExchangeWriter(std::FILE* file) : file_(file) {}
  void Magic(const char (&magic)[4]) { Bytes(magic, 4); }
  void U16(uint16_t value);
  void U32(uint32_t value);
  void Bytes(const void* data, std::size_t size);
  // The name's bytes, cut to 65535 at a character boundary.
  void Name(const std::string& name);
  void Field(uint32_t type, const void* data, uint32_t size);
  bool ok() const { return ok_; }

 private:
  std::FILE* file_;
  bool ok_ = true;
};

// Reads an exchange file from its current position to its end.
class ExchangeReader {
 public:
  // The file's length is taken once, at construction: whatever is appended later is not read.
  explicit ExchangeReader(std::FILE* file);
  bool U16(uint16_t* value);
  bool U32(uint32_t* value);
  // Exactly size bytes, or false without reading (or allocating) when fewer are left.
  bool Bytes(std::size_t size, void* out);
  bool Bytes(std::size_t size, std::vector<uint8_t>* out);
  uint64_t remaining() const { return remaining_; }

 private:
  std::FILE* file_;
  uint64_t remaining_ = 0;
};

enum class NameResult { kOk, kShort, kRefused };

// A name: kShort when the file ends inside it; kRefused for an empty name, one that is "." or
// "..", or one of blanks only. Every "\" and "/" becomes "_", so a name can never reach another
// folder; control characters become "_" too.
NameResult ReadName(ExchangeReader& reader, std::string* name);

// A field count and its blocks, read until the count is reached or the file comes short; the
// blocks read before a short one are kept.
void ReadFieldBlocks(ExchangeReader& reader, std::vector<FieldBlock>* blocks);

// Where a folder body's contents go.
class ExchangeSink {
 public:
  virtual ~ExchangeSink() = default;
  // Makes the folder (an existing one counts as made) and enters it; name may be changed to the
  // one actually used. False stops the read.
  virtual bool EnterFolder(std::string& name) = 0;
  virtual void LeaveFolder() = 0;
  // Makes the record (an existing one is reused) and merges the fields into it; false stops the
  // read.
  virtual bool Record(std::string& name, std::vector<FieldBlock>& fields) = 0;
};

// Reads a folder body into sink: 1 when it was read whole, 0 at damage, a refused name, a nest
// deeper than kMaxExchangeDepth, or a refusal of the sink. What the sink received before stays.
int ReadFolderBody(ExchangeReader& reader, ExchangeSink& sink, int depth = 0);

}  // namespace qb::main
