#include "shared/lang/lang_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "platform/modules/directory.h"
#include "platform/paths/paths.h"

namespace qb::lang {
namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The whole file in a buffer one byte longer than the file, so that its last line can be cut with
// a zero byte even when no line feed ends it. Null when it is not a regular file or can't be read.
std::unique_ptr<char[]> ReadWholeFile(const std::string& path, size_t* size) {
  // Non-blocking: a named pipe that happens to match the pattern must not stop the start-up
  // waiting for a writer. It is then skipped as not a regular file.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  std::unique_ptr<char[]> buffer;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
      static_cast<unsigned long long>(st.st_size) < SIZE_MAX) {
    size_t want = static_cast<size_t>(st.st_size);
    buffer.reset(new (std::nothrow) char[want + 1]);
    size_t got = 0;
    while (buffer && got < want) {
      ssize_t n = read(fd, buffer.get() + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        buffer.reset();  // a read error, or the file shrank under us
        break;
      }
      got += static_cast<size_t>(n);
    }
    *size = got;
  }
  close(fd);
  return buffer;
}

// An ".Offset" value: a signed decimal number after optional blanks, anything may follow it.
// False when no number is there or it does not fit 32 bits.
bool ParseOffset(const char* value, int32_t* out) {
  while (*value == ' ' || *value == '\t') ++value;
  const char* p = value;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  long long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  if (negative) n = -n;
  if (n < INT32_MIN || n > INT32_MAX) return false;
  *out = static_cast<int32_t>(n);
  return true;
}

enum class Directive { kLanguage, kModule, kOffset, kOther };

Directive DirectiveNamed(std::string_view name) {
  if (EqualNoCase(name, ".Language")) return Directive::kLanguage;
  if (EqualNoCase(name, ".Module")) return Directive::kModule;
  if (EqualNoCase(name, ".Offset")) return Directive::kOffset;
  return Directive::kOther;
}

}  // namespace

bool LangStore::Load(const std::string& dir, const std::string& current_language) {
  Clear();
  current_language_ = current_language;
  bool any = false;
  // Byte-wise name order, so that the load order (and with it which of two files answers for the
  // same module) does not depend on the file system.
  for (const std::string& name : ListFiles(dir, "*.ln?")) {
    size_t size = 0;
    std::unique_ptr<char[]> buffer = ReadWholeFile(JoinPath(dir, name), &size);
    if (!buffer) continue;
    char* begin = buffer.get();
    buffers_.push_back(std::move(buffer));
    ParseBuffer(begin, begin + size);
    any = true;
  }
  loaded_ = true;
  return any;
}

void LangStore::AddFile(std::string_view contents) {
  auto buffer = std::make_unique<char[]>(contents.size() + 1);
  if (!contents.empty()) std::memcpy(buffer.get(), contents.data(), contents.size());
  char* begin = buffer.get();
  buffers_.push_back(std::move(buffer));
  ParseBuffer(begin, begin + contents.size());
  loaded_ = true;
}

void LangStore::Clear() {
  languages_.clear();
  buffers_.clear();
  current_language_ = "English";
  loaded_ = false;
}

// Cuts [begin, end) into lines and sections in place. *end must be writable (one spare byte).
//
// A ".Language" line ends the section once it has seen a ".Language" or ".Module" line or holds
// messages; a ".Module" line ends it once it has a module name or holds messages. The ending line
// then begins the next section. So a ".Module" line after main-module messages starts that module
// instead of renaming the messages above it. A section keeps the language that was current while
// it was read. Sections read before the file named any language belong to no language and are
// dropped. ("Holds messages" counts ".Offset" lines too.)
void LangStore::ParseBuffer(char* begin, char* end) {
  const char* file_language = nullptr;
  Section section;
  bool seen_language = false;
  bool seen_module = false;
  bool has_content = false;  // a message line or an ".Offset" line
  auto begin_section = [&] {
    section = Section{};
    section.runs.emplace_back();  // the run that starts at number 0
    seen_language = seen_module = has_content = false;
  };
  auto end_section = [&] {
    if (file_language != nullptr)
      LanguageNamed(file_language).sections.push_back(std::move(section));
    begin_section();
  };
  begin_section();

  char* p = begin;
  while (p < end) {
    char* line = p;
    char* line_end = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (line_end == nullptr) line_end = end;
    p = line_end < end ? line_end + 1 : end;
    // One carriage return before the line feed belongs to the line break; so does one at the very
    // end of the file, where a line feed was evidently cut off.
    if (line_end > line && line_end[-1] == '\r') --line_end;
    *line_end = '\0';
    if (line_end == line) continue;

    if (line[0] == '.') {
      char* eq = static_cast<char*>(std::memchr(line, '=', static_cast<size_t>(line_end - line)));
      if (eq == nullptr) continue;
      Directive directive = DirectiveNamed(std::string_view(line, static_cast<size_t>(eq - line)));
      *eq = '\0';
      char* value = eq + 1;
      switch (directive) {
        case Directive::kLanguage: {
          if (char* comma = std::strchr(value, ',')) *comma = '\0';
          if (seen_language || seen_module || has_content) end_section();
          file_language = value;
          seen_language = true;
          break;
        }
        case Directive::kModule:
          if (seen_module || has_content) end_section();
          section.module = value;
          seen_module = true;
          break;
        case Directive::kOffset: {
          // A value that is no number opens no run: its messages continue the run before it.
          int32_t first = 0;
          has_content = true;
          if (ParseOffset(value, &first)) {
            section.runs.emplace_back();
            section.runs.back().first = first;
          }
          break;
        }
        case Directive::kOther:
          break;
      }
      continue;
    }

    char* text = line;
    while (text < line_end && (*text == ' ' || *text == '\t')) ++text;
    // A line of blanks only carries no quote and no message; it is skipped like an empty line.
    if (text == line_end) continue;
    ++text;  // the opening quote
    if (line_end > text && line_end[-1] == '"') line_end[-1] = '\0';
    section.runs.back().texts.push_back(text);
    has_content = true;
  }
  end_section();
}

LangStore::Language& LangStore::LanguageNamed(const char* name) {
  for (Language& language : languages_) {
    if (EqualNoCase(language.name, name)) return language;
  }
  languages_.emplace_back();
  languages_.back().name = name;
  return languages_.back();
}

const LangStore::Language* LangStore::FindLanguage(std::string_view name) const {
  for (const Language& language : languages_) {
    if (EqualNoCase(language.name, name)) return &language;
  }
  return nullptr;
}

bool LangStore::Serves(const Section& section, const char* module) {
  if (module == nullptr || section.module == nullptr) return module == section.module;
  return EqualNoCase(section.module, module);
}

LangStore::Lookup LangStore::Find(const Language& language, int n, const char* module,
                                  const char** text) {
  for (const Section& section : language.sections) {
    if (!Serves(section, module)) continue;
    // The first section of the module is final, even when it lacks n.
    for (const Run& run : section.runs) {
      int64_t offset = static_cast<int64_t>(n) - run.first;
      if (offset >= 0 && offset < static_cast<int64_t>(run.texts.size())) {
        *text = run.texts[static_cast<size_t>(offset)];
        return Lookup::kFound;
      }
    }
    return Lookup::kNoNumber;
  }
  return Lookup::kNoModule;
}

const char* LangStore::Get(int n, const char* module) const {
  if (!loaded_ || languages_.empty()) return nullptr;
  const char* text = nullptr;
  for (const char* name : {current_language_.c_str(), "English"}) {
    if (const Language* language = FindLanguage(name)) {
      Lookup result = Find(*language, n, module, &text);
      if (result != Lookup::kNoModule) return result == Lookup::kFound ? text : nullptr;
    }
  }
  return Find(languages_.front(), n, module, &text) == Lookup::kFound ? text : nullptr;
}

const char* LangStore::GetIn(std::string_view language_name, int n, const char* module) const {
  if (!loaded_) return nullptr;
  const Language* language = FindLanguage(language_name);
  const char* text = nullptr;
  if (language == nullptr || Find(*language, n, module, &text) != Lookup::kFound) return nullptr;
  return text;
}

std::vector<std::string> LangStore::Languages() const {
  std::vector<std::string> names;
  for (const Language& language : languages_) names.emplace_back(language.name);
  return names;
}

std::vector<std::string> LangStore::Modules(const std::string& language_name) const {
  std::vector<std::string> names;
  const Language* language = FindLanguage(language_name);
  if (language == nullptr) return names;
  for (const Section& section : language->sections) {
    std::string name = section.module == nullptr ? "" : section.module;
    bool known = false;
    for (const std::string& seen : names)
      known = known || (!seen.empty() && EqualNoCase(seen, name)) || (seen.empty() && name.empty());
    if (!known) names.push_back(std::move(name));
  }
  return names;
}

std::vector<int32_t> LangStore::Numbers(const std::string& language_name,
                                        const char* module) const {
  std::vector<int32_t> numbers;
  const Language* language = FindLanguage(language_name);
  if (language == nullptr) return numbers;
  for (const Section& section : language->sections) {
    if (!Serves(section, module)) continue;
    for (const Run& run : section.runs) {
      for (size_t i = 0; i < run.texts.size(); ++i) {
        int64_t n = static_cast<int64_t>(run.first) + static_cast<int64_t>(i);
        if (n <= INT32_MAX) numbers.push_back(static_cast<int32_t>(n));
      }
    }
    break;
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

}  // namespace qb::lang
