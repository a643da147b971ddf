#include "main/book_format.h"

#include <algorithm>
#include <cstring>

#include "platform/paths/paths.h"

namespace qb::main {

std::string ReadFolderDescription(storage::Storage& folder) {
  storage::Stream stream;
  if (storage::Failed(folder.OpenStream(kDescriptionStream, kBookOpenMode, &stream))) return {};
  storage::ElementStat stat;
  if (storage::Failed(stream.Stat(&stat))) return {};
  // A description longer than the limit is read in part rather than not at all: showing it empty
  // would invite an accepted edit dialog to remove it.
  std::string text(static_cast<std::size_t>(std::min(stat.size, kMaxFolderDescription)), '\0');
  uint32_t read = 0;
  if (storage::Failed(stream.Read(text.data(), static_cast<uint32_t>(text.size()), &read))) {
    return {};
  }
  text.resize(read);
  // A zero byte ends the text the panel and the edit line can show.
  text.resize(strnlen(text.c_str(), text.size()));
  return text;
}

std::string DefaultBookPath(std::string_view module_dir) {
  return JoinPath(module_dir, kBookFileName);
}

}  // namespace qb::main
