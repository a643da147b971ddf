// Helpers for the main library's tests: the main library started from a temporary plug-in
// directory against the kit's scripted host, and books built with the storage engine.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "main/record_io.h"
#include "platform/storage/storage.h"
#include "sdk/far.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_dir.h"

extern "C" {
void SetStartupInfo(const PluginStartupInfo* info);
void GetPluginInfo(PluginInfo* info);
HANDLE OpenPlugin(int open_from, intptr_t item);
void ClosePlugin(HANDLE h);
void GetOpenPluginInfo(HANDLE h, OpenPluginInfo* info);
int GetFindData(HANDLE h, PluginPanelItem** items, int* count, int op_mode);
void FreeFindData(HANDLE h, PluginPanelItem* items, int count);
int Compare(HANDLE h, const PluginPanelItem* a, const PluginPanelItem* b, unsigned int mode);
int SetDirectory(HANDLE h, const char* dir, int op_mode);
void ExitFAR(void);
}

namespace qb::test {

// The host the main library is started against: message boxes and panel control recorded, every
// message number answering "".
ScriptedHost& Host();

// Host()'s table with ModuleName dir + "Quillbox.so".
PluginStartupInfo MakeStartupInfo(const std::string& dir);

// Starts the main library as the host would, from dir, after emptying its process-wide state.
void StartMainLibrary(const std::string& dir);
// ExitFAR and a clean state for the next test.
void StopMainLibrary();

// Links each named test field type into dir.
void InstallFieldTypes(const std::string& dir, const std::vector<std::string>& names);

// A record stream's bytes.
std::vector<uint8_t> RecordBytes(const std::vector<std::pair<uint32_t, std::string>>& fields);

// Building books: element paths use "/" between folder names; the last part of a record path is
// the record.
class BookBuilder {
 public:
  explicit BookBuilder(const std::string& file);
  ~BookBuilder();
  BookBuilder& Folder(const std::string& path);
  BookBuilder& Record(const std::string& path, const std::vector<uint8_t>& bytes = {});
  // A stream of any name (hidden ones begin with a space) in a folder ("" for the root).
  BookBuilder& Stream(const std::u16string& name, const std::string& folder_path,
                      const std::vector<uint8_t>& bytes);
  storage::Storage& root() { return root_; }

 private:
  void InFolder(const std::string& folder_path, const std::function<void(storage::Storage&)>& fn);
  storage::Storage root_;
};

// Everything a book holds, opened for reading: "path" -> the stream's bytes for every stream
// (hidden ones too, their names as stored), "path/" -> "<storage>" plus its times for every
// folder. Paths use "/". Empty when the book does not open.
std::map<std::string, std::string> BookContents(const std::string& file);

// Whether another process can open the file read-write, share-exclusive, right now.
bool OtherProcessCanOpen(const std::string& file);

// Names shown by GetFindData in the panel, in the order given.
std::vector<std::string> ListNames(HANDLE panel, int op_mode = 0);

}  // namespace qb::test
