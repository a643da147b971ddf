// The language store: every text the system shows, looked up by language, module and number.
//
// Language files ("*.ln?" beside the main library, any letter case) are read whole, once, and cut
// in place: texts point into the kept file buffers. A file may carry several languages and any
// number of modules. The main library's own texts form the main module (no name); each field type
// has a module named after it.
//
// The main library keeps one store for CommonGetMsgEx; a field-type library that links qb_lang may
// keep a private one, loaded from the same directory with the same language, and gets the same
// texts. Nothing here is locked: only the host's thread calls in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qb::lang {

class LangStore {
 public:
  LangStore() = default;
  LangStore(const LangStore&) = delete;
  LangStore& operator=(const LangStore&) = delete;
  ~LangStore() = default;

  // Empties the store, then reads every regular file of dir whose name matches "*.ln?" without
  // regard to case, in byte-wise name order. dir ends with "/" (an empty dir means the current
  // directory). current_language is the host's interface language ("English" when the caller has
  // none). Files that can't be read are skipped. The store is loaded afterwards in every case;
  // returns true when at least one file was read. Loading twice gives the same store as once.
  bool Load(const std::string& dir, const std::string& current_language);

  // Adds the contents of one language file, as if it had been read from disk after the files
  // already loaded; marks the store loaded. Used for stores built from memory (tests, tools).
  void AddFile(std::string_view contents);

  // Sets the language that lookups prefer.
  void SetCurrentLanguage(const std::string& language) { current_language_ = language; }
  const std::string& current_language() const { return current_language_; }

  // Frees every text and file buffer; texts handed out before are invalid afterwards.
  void Clear();

  // Text n of module (null: the main module; names compare without regard to case), in the
  // current language; when that language lacks the whole module, in "English"; when that lacks it
  // too, in the first language loaded. A module that is there but lacks n gives null: there is no
  // fallback per number. Null when the store is empty or not loaded. The text lives until Clear.
  const char* Get(int n, const char* module) const;
  // Text n of module in that language only; null when the language, its module or the number is
  // missing, or the store is not loaded.
  const char* GetIn(std::string_view language, int n, const char* module) const;

  bool loaded() const { return loaded_; }

  // Names of the languages, in the order they first appeared.
  std::vector<std::string> Languages() const;

  // Names of the modules of one language, in the order they first appeared; the main module is
  // listed as the empty name. Empty when the language is missing.
  std::vector<std::string> Modules(const std::string& language) const;

  // Every message number of one module of one language, ascending and without repeats (the
  // numbers Get could answer for that language). Empty when the language or module is missing.
  std::vector<int32_t> Numbers(const std::string& language, const char* module) const;

 private:
  struct Run {
    int32_t first = 0;
    std::vector<const char*> texts;
  };
  struct Section {
    const char* module = nullptr;  // null: the main module
    std::vector<Run> runs;
  };
  struct Language {
    const char* name = nullptr;
    std::vector<Section> sections;
  };
  enum class Lookup { kFound, kNoNumber, kNoModule };

  void ParseBuffer(char* begin, char* end);
  Language& LanguageNamed(const char* name);
  const Language* FindLanguage(std::string_view name) const;
  // Whether section holds module (null: the main module), names compared without regard to case.
  static bool Serves(const Section& section, const char* module);
  static Lookup Find(const Language& language, int n, const char* module, const char** text);

  std::vector<std::unique_ptr<char[]>> buffers_;  // raw file contents; every text points into one
  std::vector<Language> languages_;
  std::string current_language_ = "English";
  bool loaded_ = false;
};

}  // namespace qb::lang
