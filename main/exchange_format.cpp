#include "main/exchange_format.h"

#include <algorithm>

namespace qb::main {

namespace {

// The length of the longest start of text of at most max bytes that does not split a UTF-8
// character.
std::size_t Utf8Cut(const std::string& text, std::size_t max) {
  if (text.size() <= max) return text.size();
  std::size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

void ExchangeWriter::Bytes(const void* data, std::size_t size) {
  if (!ok_ || size == 0) return;
  if (std::fwrite(data, 1, size, file_) != size) ok_ = false;
}

void ExchangeWriter::U16(uint16_t value) {
  const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  Bytes(b, 2);
}

void ExchangeWriter::U32(uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  Bytes(b, 4);
}

void ExchangeWriter::Name(const std::string& name) {
  const std::size_t size = Utf8Cut(name, 0xFFFF);
  U16(static_cast<uint16_t>(size));
  Bytes(name.data(), size);
}

void ExchangeWriter::Field(uint32_t type, const void* data, uint32_t size) {
  U32(type);
  U32(data ? size : 0);
  if (data) Bytes(data, size);
}

ExchangeReader::ExchangeReader(std::FILE* file) : file_(file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return;
  const long end = std::ftell(file);
  if (end >= here && std::fseek(file, here, SEEK_SET) == 0) {
    remaining_ = static_cast<uint64_t>(end - here);
  }
}

bool ExchangeReader::Bytes(std::size_t size, void* out) {
  if (size > remaining_) return false;
  if (size == 0) return true;
  if (std::fread(out, 1, size, file_) != size) {
    remaining_ = 0;  // the file shrank under us: nothing more is trusted
    return false;
  }
  remaining_ -= size;
  return true;
}

bool ExchangeReader::Bytes(std::size_t size, std::vector<uint8_t>* out) {
  if (size > remaining_) return false;
  out->resize(size);
  return Bytes(size, out->data());
}

bool ExchangeReader::U16(uint16_t* value) {
  uint8_t b[2];
  if (!Bytes(2, b)) return false;
  *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool ExchangeReader::U32(uint32_t* value) {
  uint8_t b[4];
  if (!Bytes(4, b)) return false;
  *value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return true;
}

NameResult ReadName(ExchangeReader& reader, std::string* name) {
  uint16_t length = 0;
  if (!reader.U16(&length) || length > reader.remaining()) return NameResult::kShort;
  name->assign(length, '\0');
  if (!reader.Bytes(length, name->data())) return NameResult::kShort;
  for (char& c : *name) {
    if (c == '\\' || c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (name->find_first_not_of(' ') == std::string::npos || *name == "." || *name == "..") {
    return NameResult::kRefused;
  }
  return NameResult::kOk;
}

void ReadFieldBlocks(ExchangeReader& reader, std::vector<FieldBlock>* blocks) {
  uint32_t count = 0;
  if (!reader.U32(&count)) return;
  // No more blocks than the rest of the file can hold, whatever the count says.
  const uint64_t fit = reader.remaining() / kMinFieldBlock;
  blocks->reserve(static_cast<std::size_t>(std::min<uint64_t>(count, std::min<uint64_t>(fit, 64))));
  for (uint32_t i = 0; i < count; ++i) {
    FieldBlock block;
    uint32_t size = 0;
    if (!reader.U32(&block.type) || !reader.U32(&size) || !reader.Bytes(size, &block.data)) return;
    blocks->push_back(std::move(block));
  }
}

int ReadFolderBody(ExchangeReader& reader, ExchangeSink& sink, int depth) {
  uint32_t folders = 0, records = 0;
  if (!reader.U32(&folders) || !reader.U32(&records)) return 0;
  // Each entry takes some bytes: a count that cannot fit ends at the first entry that is not
  // there, and no loop runs longer than the file is long.
  for (uint32_t i = 0; i < folders; ++i) {
    if (reader.remaining() < kMinFolderEntry) return 0;
    std::string name;
    if (ReadName(reader, &name) != NameResult::kOk) return 0;
    if (depth + 1 > kMaxExchangeDepth || !sink.EnterFolder(name)) return 0;
    const int inner = ReadFolderBody(reader, sink, depth + 1);
    sink.LeaveFolder();
    if (!inner) return 0;
  }
  for (uint32_t i = 0; i < records; ++i) {
    if (reader.remaining() < kMinRecordEntry) return 0;
    std::string name;
    if (ReadName(reader, &name) != NameResult::kOk) return 0;
    std::vector<FieldBlock> fields;
    ReadFieldBlocks(reader, &fields);
    if (!sink.Record(name, fields)) return 0;
  }
  return 1;
}

}  // namespace qb::main
