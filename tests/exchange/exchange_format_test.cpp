// The exchange format alone: what the writer puts down byte for byte, and how the reader takes
// damaged files: a clean stop, what came before the damage delivered, and no allocation larger
// than the file.
#include "main/exchange_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

// The largest single allocation (new and delete replaced for this program; gcc sees the
// replacement's free as a mismatch).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
// made while g_tracking is set.
static bool g_tracking = false;
static std::size_t g_largest = 0;

void* operator new(std::size_t size) {
  if (g_tracking && size > g_largest) g_largest = size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace qb::main {
namespace {

using Bytes = std::string;

Bytes U16(uint16_t v) {
  return Bytes{char(v & 0xFF), char(v >> 8)};
}
Bytes U32(uint32_t v) {
  return Bytes{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}
Bytes Name(const Bytes& n) {
  return U16(static_cast<uint16_t>(n.size())) + n;
}
Bytes Field(uint32_t type, const Bytes& data) {
  return U32(type) + U32(uint32_t(data.size())) + data;
}
Bytes RecordEntry(const Bytes& n, const std::vector<Bytes>& fields) {
  Bytes out = Name(n) + U32(uint32_t(fields.size()));
  for (const Bytes& f : fields) out += f;
  return out;
}
Bytes Body(const std::vector<Bytes>& folders, const std::vector<Bytes>& records) {
  Bytes out = U32(uint32_t(folders.size())) + U32(uint32_t(records.size()));
  for (const Bytes& f : folders) out += f;
  for (const Bytes& r : records) out += r;
  return out;
}

// What a sink was handed, as a text: "+name" entering, "-" leaving, "name(type:data,...)".
class RecordingSink : public ExchangeSink {
 public:
  bool EnterFolder(std::string& name) override {
    if (refuse_folder == name) return false;
    log += "+" + name + " ";
    return true;
  }
  void LeaveFolder() override { log += "- "; }
  bool Record(std::string& name, std::vector<FieldBlock>& fields) override {
    log += name + "(";
    for (const FieldBlock& f : fields) {
      log += std::to_string(f.type) + ":" + std::string(f.data.begin(), f.data.end()) + ",";
    }
    log += ") ";
    return true;
  }
  std::string log;
  std::string refuse_folder;
};

struct Outcome {
  int result = -1;
  std::string log;
  std::vector<FieldBlock> blocks;  // of a fields file
  std::size_t largest = 0;
};

// Reads a whole file (magic included) the way an import does.
Outcome Read(const Bytes& file, const std::string& refuse_folder = {}) {
  Outcome out;
  std::FILE* f = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
  if (!f) return out;
  char magic[4];
  RecordingSink sink;
  sink.refuse_folder = refuse_folder;
  g_largest = 0;
  g_tracking = true;
  if (std::fread(magic, 1, 4, f) == 4) {
    ExchangeReader reader(f);
    if (std::memcmp(magic, kFolderMagic, 4) == 0) {
      out.result = ReadFolderBody(reader, sink);
    } else if (std::memcmp(magic, kFieldsMagic, 4) == 0) {
      ReadFieldBlocks(reader, &out.blocks);
      out.result = 1;
    }
  }
  g_tracking = false;
  out.largest = g_largest;
  out.log = sink.log;
  std::fclose(f);
  return out;
}

TEST(ExchangeWriter, WritesLittleEndianBlocksWithoutPadding) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* f = open_memstream(&buffer, &size);
  ASSERT_NE(f, nullptr);
  ExchangeWriter w(f);
  w.Magic(kFolderMagic);
  w.U32(0);
  w.U32(1);
  w.Name("Smith");
  w.U32(2);
  w.Field(0x01020304, "ab", 2);
  w.Field(7, nullptr, 0);
  EXPECT_TRUE(w.ok());
  std::fclose(f);
  const Bytes got(buffer, size);
  std::free(buffer);
  EXPECT_EQ(got,
            "QBXM" + Body({}, {RecordEntry("Smith", {Field(0x01020304, "ab"), Field(7, "")})}));
  EXPECT_EQ(got.substr(23, 4), Bytes("\x04\x03\x02\x01", 4));
}

TEST(ExchangeWriter, CutsLongNamesAtACharacterBoundary) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* f = open_memstream(&buffer, &size);
  ExchangeWriter w(f);
  std::string name(0xFFFE, 'a');
  name += "\xC3\xA9";  // one character of two bytes across the limit
  w.Name(name);
  std::fclose(f);
  EXPECT_EQ(size, 2u + 0xFFFE);
  EXPECT_EQ(Bytes(buffer, 2), U16(0xFFFE));
  std::free(buffer);
}

TEST(ExchangeReader, ReadsATreeInFileOrder) {
  const Bytes file =
      "QBXM" +
      Body({Name("Top") + Body({Name("A") + Body({}, {RecordEntry("r1", {Field(1, "x")})}),
                                Name("B") + Body({}, {})},
                               {RecordEntry("r2", {}), RecordEntry("r3", {Field(2, "yy")})})},
           {});
  const Outcome out = Read(file);
  EXPECT_EQ(out.result, 1);
  EXPECT_EQ(out.log, "+Top +A r1(1:x,) - +B - r2() r3(2:yy,) - ");
}

TEST(ExchangeReader, FieldsFileGivesItsBlocksInOrder) {
  const Outcome out = Read("MXBQ" + U32(2) + Field(5, "one") + Field(6, "two"));
  ASSERT_EQ(out.blocks.size(), 2u);
  EXPECT_EQ(out.blocks[0].type, 5u);
  EXPECT_EQ(std::string(out.blocks[1].data.begin(), out.blocks[1].data.end()), "two");
}

TEST(ExchangeReader, NamesStayInsideTheirFolder) {
  const Outcome out =
      Read("QBXM" + Body({Name("a\\..\\b") + Body({}, {})},
                         {RecordEntry("x/y", {}), RecordEntry(Bytes("c\x01", 2), {})}));
  EXPECT_EQ(out.result, 1);
  EXPECT_EQ(out.log, "+a_.._b - x_y() c_() ");
}

TEST(ExchangeReader, SinkRefusalStopsTheRead) {
  const Outcome out =
      Read("QBXM" + Body({Name("no") + Body({}, {}), Name("yes") + Body({}, {})}, {}), "no");
  EXPECT_EQ(out.result, 0);
  EXPECT_EQ(out.log, "");
}

Bytes Nested(int depth) {
  // depth folders, each the only entry of the one above, the innermost holding a record.
  Bytes head, tail;
  for (int i = 0; i < depth; ++i) head += U32(1) + U32(0) + Name("d");
  return "QBXM" + head + Body({}, {RecordEntry("deep", {})}) + tail;
}

TEST(ExchangeReader, NestingIsBounded) {
  EXPECT_EQ(Read(Nested(kMaxExchangeDepth)).result, 1);
  const Outcome too_deep = Read(Nested(kMaxExchangeDepth + 1));
  EXPECT_EQ(too_deep.result, 0);
  EXPECT_EQ(too_deep.log.find("deep"), std::string::npos);
}

// Damaged files: each stops cleanly with what came before the damage delivered, and nothing is
// allocated beyond the file's size.
struct Damaged {
  const char* what;
  Bytes file;
  int result;       // of ReadFolderBody; 1 for fields files
  std::string log;  // what the sink got
  std::size_t blocks = 0;
};

TEST(ExchangeReader, DamagedFilesStopCleanly) {
  const Bytes smith = RecordEntry("Smith", {Field(1, "s")});
  std::string deepest;  // the folders made before the limit, entered and left again
  for (int i = 0; i < kMaxExchangeDepth; ++i) deepest = "+d " + deepest + "- ";
  const std::vector<Damaged> cases = {
      {"folder count of 4e9 in 20 bytes", "QBXM" + U32(4000000000u) + U32(0) + Bytes(8, 'x'), 0,
       ""},
      {"record count of 4e9", "QBXM" + U32(0) + U32(4000000000u) + smith, 0, "Smith(1:s,) "},
      {"both counts huge, nothing after", "QBXM" + U32(~0u) + U32(~0u), 0, ""},
      {"field count of 4e9", "QBXM" + Body({}, {Name("r") + U32(4000000000u) + Field(1, "a")}), 1,
       "r(1:a,) "},
      {"field size of 4e9",
       "QBXM" + Body({}, {Name("r") + U32(1) + U32(1) + U32(4000000000u) + "ab"}), 1, "r() "},
      {"name length past the end", "QBXM" + U32(0) + U32(1) + U16(0xFFFF) + "abc", 0, ""},
      {"name cut short", "QBXM" + U32(1) + U32(0) + U16(10) + "abcdefghi", 0, ""},
      {"nesting 100,000 deep", Nested(100000), 0, deepest},
      {"zero-length folder name", "QBXM" + Body({Name("") + Body({}, {})}, {}), 0, ""},
      {"zero-length record name", "QBXM" + Body({}, {smith, RecordEntry("", {})}), 0,
       "Smith(1:s,) "},
      {"folder named ..", "QBXM" + Body({Name("..") + Body({}, {})}, {}), 0, ""},
      {"record named .", "QBXM" + Body({}, {RecordEntry(".", {})}), 0, ""},
      {"name of blanks", "QBXM" + Body({}, {RecordEntry("   ", {})}), 0, ""},
      {"names with backslashes", "QBXM" + Body({Name("\\\\") + Body({}, {})}, {}), 1, "+__ - "},
      {"only the magic", "QBXM", 0, ""},
      {"counts cut short", "QBXM" + U32(1) + "\x01\x00", 0, ""},
      {"folder body cut short",
       "QBXM" + U32(1) + U32(0) + Name("kept") + U32(0) + U32(2) + smith + Name("gone"), 0,
       "+kept Smith(1:s,) - "},
      {"second record cut in its field",
       "QBXM" + U32(0) + U32(2) + smith + Name("r2") + U32(1) + U32(1) + U32(9) + "abc", 1,
       "Smith(1:s,) r2() "},
      {"fields file with a count of 4e9", "MXBQ" + U32(4000000000u) + Field(1, "a"), 1, "", 1},
      {"fields file cut inside a block", "MXBQ" + U32(2) + Field(1, "a") + U32(2) + U32(50) + "xy",
       1, "", 1},
      {"fields file without a count", "MXBQ" + Bytes("\x01", 1), 1, "", 0},
  };
  for (const Damaged& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome out = Read(c.file);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.log, c.log);
    EXPECT_EQ(out.blocks.size(), c.blocks);
    EXPECT_LE(out.largest, c.file.size() + 64);
  }
}

}  // namespace
}  // namespace qb::main
