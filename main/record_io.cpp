#include "main/record_io.h"

#include <string.h>  // explicit_bzero

#include <cstring>
#include <limits>

#include "main/book_format.h"

namespace qb::main {

namespace {

constexpr uint64_t kFieldHeader = 8;
// Streams are read and written with 32-bit counts; a record never comes near this.

uint64_t RoundUp8(uint64_t n) {
  return (n + 7) & ~uint64_t{7};
}

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

uint64_t RecordStreamSize(const Record& record) {
  uint64_t total = 0;
  for (const FieldEntry& field : record) total += kFieldHeader + field.data.size();
  return RoundUp8(total);
}

std::vector<uint8_t> SerializeRecord(const Record& record) {
  std::vector<uint8_t> out(RecordStreamSize(record), 0);
  uint8_t* p = out.data();
  for (const FieldEntry& field : record) {
    StoreLe32(p, field.type);
    StoreLe32(p + 4, field.size());
    if (!field.data.empty()) std::memcpy(p + 8, field.data.data(), field.data.size());
    p += kFieldHeader + field.data.size();
  }
  return out;
}

Record ParseRecord(const uint8_t* bytes, std::size_t size) {
  Record record;
  std::size_t pos = 0;
  while (size - pos >= kFieldHeader) {
    FieldEntry field;
    field.type = LoadLe32(bytes + pos);
    const uint32_t length = LoadLe32(bytes + pos + 4);
    pos += kFieldHeader;
    if (length > size - pos) break;
    field.data.assign(bytes + pos, bytes + pos + length);
    pos += length;
    record.push_back(std::move(field));
  }
  return record;
}

Record ReadRecordStream(storage::Stream& stream, const PasswordKey* key) {
  storage::ElementStat stat;
  if (storage::Failed(stream.Stat(&stat)) || stat.size > kMaxRecordBytes) return {};
  if (storage::Failed(stream.Seek(0, storage::STREAM_SEEK_SET, nullptr))) return {};
  // The buffer is a whole number of 8-byte blocks, as the record cipher works on blocks.
  std::vector<uint8_t> buffer(RoundUp8(stat.size), 0);
  uint32_t read = 0;
  if (stat.size > 0 &&
      (storage::Failed(stream.Read(buffer.data(), static_cast<uint32_t>(stat.size), &read)) ||
       read < stat.size)) {
    return {};
  }
  if (!key) return ParseRecord(buffer.data(), static_cast<std::size_t>(stat.size));
  DecipherBuffer(key->bytes, buffer.data(), buffer.size());
  Record record = ParseRecord(buffer.data(), static_cast<std::size_t>(stat.size));
  // The plaintext of a protected record; an empty record has no buffer to wipe.
  if (!buffer.empty()) explicit_bzero(buffer.data(), buffer.size());
  return record;
}

storage::HRESULT WriteRecordStream(storage::Stream& stream, const Record& record,
                                   const PasswordKey* key) {
  if (RecordStreamSize(record) > kMaxRecordBytes) return storage::STG_E_DOCFILETOOLARGE;
  std::vector<uint8_t> bytes = SerializeRecord(record);
  if (key) EncipherBuffer(key->bytes, bytes.data(), bytes.size());  // a whole number of blocks
  storage::HRESULT hr = stream.Seek(0, storage::STREAM_SEEK_SET, nullptr);
  if (storage::Succeeded(hr)) hr = stream.SetSize(0);
  if (storage::Succeeded(hr) && !bytes.empty()) {
    uint32_t written = 0;
    hr = stream.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
    if (storage::Succeeded(hr) && written != bytes.size()) hr = storage::STG_E_WRITEFAULT;
  }
  storage::HRESULT seek = stream.Seek(0, storage::STREAM_SEEK_SET, nullptr);
  return storage::Failed(hr) ? hr : seek;
}

}  // namespace qb::main
