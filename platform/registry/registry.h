// HKEY_CURRENT_USER of this system: a tree of keys with typed values, kept in one REGEDIT4 text
// file (quillbox.reg) that Windows' registry editor can import.
//
// Where the file lives: the directory named by the environment variable QUILLBOX_CONFIG_DIR when
// it is set and not empty (the host sets it from its configuration option, so every library in
// the process agrees), else $XDG_CONFIG_HOME/quillbox, else ~/.config/quillbox.
//
// The functions keep Windows' names, result codes and value types, with the parameters that
// Windows reserves or ignores left out. Key and value names compare without regard to case (ASCII
// letters) and keep the case they were created with; sub-keys are separated by "\".
//
// Every change is one transaction on the file: under an exclusive lock the current file is read
// again, the one change applied and the whole file replaced atomically (written to a temporary
// file, flushed, renamed over the old one). A crash leaves either the old or the new file, and
// two processes that change different values both keep their changes. Reads take the file as it
// is and need no lock. A file that is damaged or not in the format reads as an empty tree; before
// anything new is written it is renamed aside (quillbox.reg.damaged-<date>-<time>), never
// overwritten.
//
// Handles are plain records from malloc that hold nothing but the key's path, so a handle opened
// by one library's copy of this code can be used and closed by another's.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>

// The layer's own types, spelled as Windows spells them. This layer knows nothing of the libraries
// above it: the main library hands keys of this type to the field types as the opaque HKEY of its
// services (sdk/services.h), which names the same incomplete record, so a TU that includes both
// sees one type; should the two ever differ, such a TU stops compiling.
typedef uint32_t DWORD;
typedef struct RegKeyHandle* HKEY;
typedef int32_t LSTATUS;

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_WRITE_FAULT 29
#define ERROR_INVALID_PARAMETER 87
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_KEY_DELETED 1018

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// The root every path starts from; it needs no opening and closing it does nothing.
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)

// The record behind an HKEY. Plain C so that any library copy can read and free it.
struct RegKeyHandle {
  uint32_t magic;  // kRegKeyMagic while open
  char* path;      // malloc'd, "" for the root, components joined by "\"
};

// Opens key\subKey, creating it and any missing keys above it. subKey may be null or empty (then
// a new handle to key itself). *disposition, when given, tells whether the key was created.
LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, HKEY* result, DWORD* disposition = nullptr);
// Opens key\subKey when it exists; ERROR_FILE_NOT_FOUND otherwise.
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, HKEY* result);
// Frees the handle (the key stays).
LSTATUS RegCloseKey(HKEY key);

// Reads a value (valueName null or "" is the key's default value). *type receives its type.
// With data null, *dataSize receives the size the value needs. With data given, *dataSize is the
// buffer's size on entry and the value's size on return; a buffer too small gives ERROR_MORE_DATA
// with the needed size in *dataSize and nothing promised about the buffer's contents. Strings
// are returned with their terminating zero, which their size counts.
LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, uint8_t* data,
                         DWORD* dataSize);
// Writes a value of any type. A REG_SZ value is the text up to its first zero byte (or all of
// data); its terminating zero is not stored and is added again when read.
LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD type, const void* data,
                       DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, const char* valueName);
// The name of the index-th sub-key of key, sub-keys ordered by name without regard to case.
// *nameSize is the buffer's size in bytes on entry (terminator included) and the name's length on
// return (terminator excluded). ERROR_MORE_DATA when the buffer is too small, ERROR_NO_MORE_ITEMS
// past the last one.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);
// Deletes key\subKey with every key and value below it. subKey must name a sub-key (not empty).
LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);

namespace qb::registry {

inline constexpr uint32_t kRegKeyMagic = 0x52656b51u;  // "QkeR"

// Conveniences over the calls above.
LSTATUS SetString(HKEY key, const char* valueName, const std::string& text);
LSTATUS SetDword(HKEY key, const char* valueName, DWORD value);
LSTATUS SetBinary(HKEY key, const char* valueName, const void* data, DWORD size);
// The value when it exists and has the type asked for; otherwise nothing.
std::optional<std::string> QueryString(HKEY key, const char* valueName);
std::optional<DWORD> QueryDword(HKEY key, const char* valueName);

// The directory that holds the file, and the file's full path.
std::string ConfigDirectory();
std::string FilePath();
// Makes dir the configuration directory of the whole process (it sets QUILLBOX_CONFIG_DIR, which
// every library copy reads); empty goes back to the default. Not safe while other threads read
// the environment.
void SetConfigDirectory(const std::string& dir);

// Fault injection for tests of the writer: the hook is called at each stage of replacing the
// file; returning false makes the change fail there (the file is left as it was). A test may
// also end its process inside the hook to stand for a crash.
enum class WriteStage {
  kTempOpened,   // temporary file created, nothing written
  kHalfWritten,  // half of the new contents written to the temporary file
  kTempWritten,  // all written and flushed, not yet renamed
  kRenamed,      // renamed over the old file, directory not yet flushed
};
using WriteHook = bool (*)(WriteStage stage);
void SetWriteHookForTesting(WriteHook hook);

}  // namespace qb::registry
