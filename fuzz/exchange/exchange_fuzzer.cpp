// Any byte sequence as an exchange file: the reader must stop cleanly, hand the sink only names
// that stay inside their folder, keep folders balanced and never nest deeper than its limit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "main/exchange_format.h"

namespace {

using namespace qb::main;

class CheckingSink : public ExchangeSink {
 public:
  bool EnterFolder(std::string& name) override {
    Check(name);
    ++depth_;
    if (depth_ > kMaxExchangeDepth + 1) std::abort();
    return true;
  }
  void LeaveFolder() override {
    if (--depth_ < 0) std::abort();
  }
  bool Record(std::string& name, std::vector<FieldBlock>&) override {
    Check(name);
    return true;
  }
  int depth() const { return depth_; }

 private:
  static void Check(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos ||
        name.find('/') != std::string::npos) {
      std::abort();
    }
  }
  int depth_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  char magic[4];
  if (std::fread(magic, 1, 4, file) == 4) {
    ExchangeReader reader(file);
    if (std::memcmp(magic, kFolderMagic, 4) == 0) {
      CheckingSink sink;
      ReadFolderBody(reader, sink);
      if (sink.depth() != 0) std::abort();
    } else if (std::memcmp(magic, kFieldsMagic, 4) == 0) {
      std::vector<FieldBlock> blocks;
      ReadFieldBlocks(reader, &blocks);
    }
  }
  std::fclose(file);
  return 0;
}
