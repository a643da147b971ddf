#include "main/vcard.h"

#include <sys/random.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <set>

#include "main/book_format.h"
#include "main/edit_support.h"
#include "main/element_name.h"
#include "main/exchange.h"
#include "main/heap.h"
#include "main/message_numbers.h"
#include "main/messages.h"
#include "main/plugin_state.h"
#include "main/vcard_syntax.h"
#include "platform/codepage/codepage.h"
#include "sdk/services.h"
#include "shared/dialog/text_cut.h"

namespace qb::main {

namespace {

constexpr int kSilent = OPM_SILENT;
constexpr char kProductId[] = "-//Quillbox//Quillbox contact book//EN";
// The compound-file format's names hold 31 UTF-16 code units.
constexpr std::size_t kNameUnits = 31;
// A UID longer than this is not kept (they are usually a UUID of 45 bytes).
constexpr std::size_t kMaxUid = 255;
// What a field type may hand to the writer for one property.
constexpr uint32_t kMaxWrittenParts = 64;

// ---- UIDs ----

// A folder's UIDs: one line per record, the UID, a tab and the record's name.
using UidMap = std::map<std::string, std::string>;

UidMap ReadUids(storage::Storage& folder) {
  UidMap uids;
  storage::Stream stream;
  if (storage::Failed(folder.OpenStream(kVCardUidStream, kBookOpenMode, &stream))) return uids;
  storage::ElementStat stat;
  if (storage::Failed(stream.Stat(&stat)) || stat.size > kMaxRecordBytes) return uids;
  std::string text(static_cast<std::size_t>(stat.size), '\0');
  uint32_t read = 0;
  if (storage::Failed(stream.Read(text.data(), static_cast<uint32_t>(text.size()), &read))) {
    return uids;
  }
  text.resize(read);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos && tab > 0) uids[line.substr(tab + 1)] = line.substr(0, tab);
    pos = end + 1;
  }
  return uids;
}

storage::HRESULT WriteUids(storage::Storage& folder, const UidMap& uids) {
  std::string text;
  for (const auto& [name, uid] : uids) text += uid + "\t" + name + "\n";
  storage::Stream stream;
  storage::HRESULT hr = folder.CreateStream(kVCardUidStream, kBookReplaceMode, &stream);
  if (storage::Failed(hr)) return hr;
  uint32_t written = 0;
  return stream.Write(text.data(), static_cast<uint32_t>(text.size()), &written);
}

// A UID as a card may carry it: without control characters, tabs or line breaks, not too long.
std::string CleanUid(const std::string& uid) {
  std::string out;
  for (char c : uid) {
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  if (out.size() > kMaxUid) out.clear();
  return out;
}

// A name the UID stream can keep: one without a tab or a line break.
bool UidKeepable(const std::string& name) {
  return name.find_first_of("\t\n") == std::string::npos;
}

std::string NewUid() {
  unsigned char b[16] = {};
  std::size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  char text[64];
  std::snprintf(text, sizeof text,
                "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                b[13], b[14], b[15]);
  return text;
}

// ---- What the field types write ----

struct WrittenProperty {
  std::string name;
  std::vector<vcard::Param> params;
  std::vector<std::string> components;
};

void AddWritten(void* context, const char* name, const VCardParam* params, uint32_t param_count,
                const char* const* components, uint32_t component_count) {
  auto* out = static_cast<std::vector<WrittenProperty>*>(context);
  if (!name || param_count > kMaxWrittenParts || component_count > kMaxWrittenParts ||
      (param_count && !params) || (component_count && !components)) {
    return;
  }
  WrittenProperty prop;
  prop.name = name;
  for (uint32_t i = 0; i < param_count; ++i) {
    if (!params[i].Name) return;
    prop.params.push_back({params[i].Name, params[i].Value ? params[i].Value : ""});
  }
  for (uint32_t i = 0; i < component_count; ++i) {
    prop.components.emplace_back(components[i] ? components[i] : "");
  }
  out->push_back(std::move(prop));
}

// The properties of the record's fields, in record order, each written by its field type; fields
// whose type does not write vCard are left out.
std::vector<WrittenProperty> FieldProperties(const Record& record) {
  const FieldTypeHost& types = State().field_types;
  std::vector<WrittenProperty> props;
  VCardWriter writer{&props, &AddWritten};
  for (const FieldEntry& field : record) {
    const int server = types.ServerOf(field.type);
    if (server < 0 || !types.slot(server).WriteVCard) continue;
    types.slot(server).WriteVCard(field.bytes(), field.size(), field.type, &writer);
  }
  return props;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// ---- Walking the book ----

// Calls visit(record name, its fields, the folder's UID for it) for every record of the items
// and below their folders; path holds the folder names from the walk's start.
class BookWalk {
 public:
  using Visit = std::function<void(const std::string& name, const std::string& uid,
                                   const std::vector<std::string>& path, const Record& record)>;
  BookWalk(BookPanel& panel, int op_mode, bool give_uids, Visit visit)
      : panel_(panel), op_mode_(op_mode), give_uids_(give_uids), visit_(std::move(visit)) {}

  // whole: items are the folder's whole list.
  void Items(const std::vector<const PluginPanelItem*>& items, bool whole) {
    std::vector<std::string> folders, records;
    for (const PluginPanelItem* item : items) {
      if (IsDotDot(*item)) continue;
      (IsRecordItem(*item) ? records : folders).push_back(ItemName(*item));
    }
    for (const std::string& folder : folders) Folder(folder);
    Records(records, whole);
  }

 private:
  void Folder(const std::string& name) {
    const int depth = panel_.depth();
    if (!panel_.SetDirectory(name.c_str(), op_mode_ | kSilent)) return;
    if (panel_.in_record() || panel_.depth() != depth + 1) {
      if (panel_.in_record() || panel_.depth() > depth) panel_.SetDirectory("..", kSilent);
      return;
    }
    path_.push_back(name);
    PluginPanelItem* list = nullptr;
    int n = 0;
    if (panel_.GetFindData(&list, &n, op_mode_ | kSilent)) {
      std::vector<const PluginPanelItem*> items;
      for (int i = 0; i < n; ++i) items.push_back(&list[i]);
      Items(items, true);
      panel_.FreeFindData(list, n);
    }
    path_.pop_back();
    panel_.SetDirectory("..", kSilent);
  }

  // whole: names are every record of the folder, so the UIDs of records gone since are dropped.
  void Records(const std::vector<std::string>& names, bool whole) {
    storage::Storage* folder = panel_.current_folder();
    if (!folder || (names.empty() && !whole)) return;
    UidMap uids = ReadUids(*folder);
    bool changed = false;
    if (whole && give_uids_) {
      const std::set<std::string> present(names.begin(), names.end());
      for (auto it = uids.begin(); it != uids.end();) {
        if (present.count(it->first)) {
          ++it;
        } else {
          it = uids.erase(it);
          changed = true;
        }
      }
    }
    for (const std::string& name : names) {
      char element[NM];
      dlg::CopyCut(element, sizeof element, name.c_str());
      SanitizeName(element, NM);
      storage::Stream stream;
      if (storage::Failed(folder->OpenStream(ElementName(element), kBookOpenMode, &stream))) {
        continue;
      }
      const Record record = panel_.ReadRecord(stream);
      stream.Release();
      std::string uid;
      if (const auto known = uids.find(name); known != uids.end()) uid = known->second;
      if (uid.empty() && give_uids_) {
        uid = NewUid();
        if (UidKeepable(name)) {
          uids[name] = uid;
          changed = true;
        }
      }
      visit_(name, uid, path_, record);
    }
    if (changed && !State().book_read_only) WriteUids(*folder, uids);
  }

  BookPanel& panel_;
  int op_mode_;
  bool give_uids_;
  Visit visit_;
  std::vector<std::string> path_;
};

// The family name and the rest of a record's name, for N.
void SplitName(const std::string& name, std::string* family, std::string* given) {
  const std::size_t blank = name.find_last_of(' ');
  if (blank == std::string::npos) {
    *family = name;
    given->clear();
    return;
  }
  *family = name.substr(blank + 1);
  *given = name.substr(0, name.find_last_not_of(' ', blank) + 1);
}

void WriteCard(vcard::CardWriter& out, const std::string& name, const std::string& uid,
               const std::vector<std::string>& path, const Record& record) {
  out.Begin();
  out.Add("PRODID", {}, {kProductId});
  if (!uid.empty()) out.Add("UID", {}, {uid});
  out.Add("FN", {}, {name});
  std::string family, given;
  SplitName(name, &family, &given);
  out.Add("N", {}, {family, given, "", "", ""});
  if (!path.empty()) {
    std::string joined;
    for (const std::string& part : path) joined += (joined.empty() ? "" : "/") + part;
    out.AddRaw("CATEGORIES", {}, vcard::EscapeText(vcard::ValidUtf8(joined)));
  }
  for (const WrittenProperty& prop : FieldProperties(record)) {
    out.Add(prop.name, prop.params, prop.components);
  }
  out.End();
}

// ---- Reading cards ----

// The properties that the record level reads itself; no field type is offered them.
bool RecordLevel(const std::string& name) {
  static const std::set<std::string> kNames = {"BEGIN", "END", "VERSION", "PRODID",    "REV",
                                               "FN",    "N",   "UID",     "CATEGORIES"};
  return kNames.count(name) != 0;
}

std::string Trimmed(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// The record's name of a card: its FN, else its N, else its ORG, else its first e-mail address.
std::string CardName(const vcard::Card& card) {
  auto first = [&](const char* name) -> const vcard::Property* {
    for (const vcard::Property& p : card.properties) {
      if (p.name == name) return &p;
    }
    return nullptr;
  };
  if (const vcard::Property* fn = first("FN"); fn && !Trimmed(fn->value).empty()) {
    return Trimmed(fn->value);
  }
  if (const vcard::Property* n = first("N")) {
    const auto part = [&](std::size_t i) {
      return i < n->components.size() ? Trimmed(n->components[i]) : std::string();
    };
    std::string name;
    for (std::size_t i : {3u, 1u, 2u, 0u, 4u}) {
      if (!part(i).empty()) name += (name.empty() ? "" : " ") + part(i);
    }
    if (!name.empty()) return name;
  }
  if (const vcard::Property* org = first("ORG"); org && !org->components.empty()) {
    if (!Trimmed(org->components[0]).empty()) return Trimmed(org->components[0]);
  }
  if (const vcard::Property* email = first("EMAIL")) return Trimmed(email->value);
  return {};
}

// A name cut to what the book format holds, at a whole character.
std::string FitName(const std::string& name) {
  bool cut = false;
  std::optional<std::u16string> wide = codepage::Utf8ToUtf16(name, kNameUnits, &cut);
  if (!wide || !cut) return name;
  if (!wide->empty() && wide->back() >= 0xD800 && wide->back() <= 0xDBFF) wide->pop_back();
  return codepage::Utf16ToUtf8(*wide).value_or(std::string());
}

// The folder path of a card: its first category, "/" between folders.
std::vector<std::string> CardFolders(const vcard::Card& card) {
  std::vector<std::string> path;
  for (const vcard::Property& p : card.properties) {
    if (p.name != "CATEGORIES") continue;
    const std::vector<std::string> values = p.ListValues();
    if (values.empty()) break;
    const std::string& first = values[0];
    std::size_t start = 0;
    while (start <= first.size() && path.size() < 16) {
      std::size_t end = first.find('/', start);
      if (end == std::string::npos) end = first.size();
      const std::string part = FitName(BookName(Trimmed(first.substr(start, end - start))));
      if (!part.empty() && part != "." && part != "..") path.push_back(part);
      start = end + 1;
    }
    break;
  }
  return path;
}

// The fields the loaded field types make of a card's properties, in card order; what none of them
// takes is counted as not kept.
std::vector<FieldBlock> CardFields(const vcard::Card& card, VCardImport* report) {
  const std::size_t n = card.properties.size();
  std::vector<std::vector<VCardParam>> params(n);
  std::vector<std::vector<const char*>> components(n);
  std::vector<VCardProperty> view(n);
  for (std::size_t i = 0; i < n; ++i) {
    const vcard::Property& p = card.properties[i];
    for (const vcard::Param& param : p.params) {
      params[i].push_back(VCardParam{param.name.c_str(), param.value.c_str()});
    }
    for (const std::string& c : p.components) components[i].push_back(c.c_str());
    view[i] = VCardProperty{p.group.c_str(),
                            p.name.c_str(),
                            params[i].data(),
                            static_cast<uint32_t>(params[i].size()),
                            p.value.c_str(),
                            components[i].data(),
                            static_cast<uint32_t>(components[i].size())};
  }
  const FieldTypeHost& types = State().field_types;
  std::vector<FieldBlock> blocks;
  for (std::size_t i = 0; i < n; ++i) {
    if (RecordLevel(card.properties[i].name)) continue;
    bool taken = false;
    for (int t = 0; t < types.count() && !taken; ++t) {
      const FieldTypeSlot& slot = types.slot(t);
      if (!slot.ReadVCard) continue;
      void* data = nullptr;
      uint32_t size = 0;
      FieldTypeId type = 0;
      const int r = slot.ReadVCard(view.data(), static_cast<uint32_t>(n), static_cast<uint32_t>(i),
                                   &data, &size, &type);
      if (r == VCARD_CONSUMED) taken = true;
      if (r == VCARD_FIELD) {
        taken = true;
        FieldBlock block;
        block.type = type;
        if (data && size > 0) {
          block.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        }
        blocks.push_back(std::move(block));
      }
      if (data) HeapFree(data);
    }
    if (!taken) ++report->not_kept[card.properties[i].name];
  }
  return blocks;
}

// Enters the folders of the path below the current one, making those that are missing; the number
// entered (the whole path, or up to the one that could not be made).
std::size_t EnterPath(BookPanel& panel, std::vector<std::string>& path, int op_mode) {
  std::size_t entered = 0;
  for (std::string& part : path) {
    if (!MakeAndEnterFolder(panel, part, op_mode)) break;
    ++entered;
  }
  return entered;
}

void LeaveLevels(BookPanel& panel, std::size_t levels) {
  for (std::size_t i = 0; i < levels; ++i) panel.SetDirectory("..", kSilent);
}

std::string FolderText(const std::vector<std::string>& path) {
  std::string text;
  for (const std::string& part : path) text += "\\" + part;
  return text.empty() ? "\\" : text;
}

}  // namespace

bool ReadVCardFile(std::FILE* file, std::string* out) {
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(file);
  if (size < 0 || static_cast<unsigned long>(size) > vcard::kMaxFileBytes) return false;
  std::rewind(file);
  out->assign(static_cast<std::size_t>(size), '\0');
  const std::size_t got = std::fread(out->data(), 1, out->size(), file);
  out->resize(got);
  return !std::ferror(file);
}

bool ImportVCard(BookPanel& panel, std::string_view bytes, int op_mode, VCardImport* report) {
  ++report->files;
  vcard::ReadReport read;
  // The UIDs of each folder, written once at the end rather than once per card.
  std::map<std::vector<std::string>, UidMap> uids;
  bool ok = true;
  vcard::ReadCards(bytes, &read, [&](const vcard::Card& card) {
    if (!ok) return;
    const std::string name = FitName(BookName(CardName(card)));
    if (name.empty()) {
      ++report->skipped;
      return;
    }
    std::vector<FieldBlock> blocks = CardFields(card, report);
    std::vector<std::string> path = CardFolders(card);
    const std::size_t entered = EnterPath(panel, path, op_mode);
    if (entered != path.size() || !MergeIntoNamedRecord(panel, name, blocks, true)) {
      LeaveLevels(panel, entered);
      ok = false;
      return;
    }
    LeaveLevels(panel, entered);
    ++report->imported;
    for (const vcard::Property& p : card.properties) {
      if (p.name != "UID") continue;
      const std::string uid = CleanUid(p.value);
      if (!uid.empty() && UidKeepable(name)) uids[path][name] = uid;
      break;
    }
  });
  report->skipped += read.skipped_cards;
  for (const auto& [name, count] : read.dropped) report->not_kept[name] += count;
  for (auto& [path, given] : uids) {
    std::vector<std::string> parts = path;
    const std::size_t entered = EnterPath(panel, parts, op_mode);
    if (entered == parts.size() && panel.current_folder()) {
      UidMap kept = ReadUids(*panel.current_folder());
      for (const auto& [record, uid] : given) kept[record] = uid;
      const storage::HRESULT hr = WriteUids(*panel.current_folder(), kept);
      if (storage::Failed(hr)) ReportStorageError(hr, msg::kErrorCreateRecord, FolderText(path));
    }
    LeaveLevels(panel, entered);
  }
  return ok;
}

std::vector<std::string> VCardImportLines(const VCardImport& report) {
  std::vector<std::string> lines;
  char line[256];
  std::snprintf(line, sizeof line, Msg(msg::kVCardImported), static_cast<int>(report.imported));
  lines.push_back(line);
  std::snprintf(line, sizeof line, Msg(msg::kVCardSkipped), static_cast<int>(report.skipped));
  lines.push_back(line);
  if (!report.not_kept.empty()) {
    lines.push_back(Msg(msg::kVCardNotKept));
    std::string text;
    for (const auto& [name, count] : report.not_kept) {
      std::snprintf(line, sizeof line, "%s (%zu)", name.c_str(), count);
      if (!text.empty() && text.size() + std::strlen(line) > 56) {
        lines.push_back(text);
        text.clear();
      }
      text += (text.empty() ? "" : ", ") + std::string(line);
    }
    lines.push_back(text);
  }
  return lines;
}

void ShowVCardImport(const VCardImport& report) {
  const PluginStartupInfo& host = State().info;
  if (!host.Message) return;
  const std::vector<std::string> lines = VCardImportLines(report);
  std::vector<const char*> items = {Msg(msg::kVCardImportTitle)};
  for (const std::string& line : lines) items.push_back(line.c_str());
  items.push_back(Msg(msg::kOk));
  host.Message(host.ModuleNumber, FMSG_LEFTALIGN, "VCardImportMsg", items.data(),
               static_cast<int>(items.size()), 1);
}

std::size_t ExportVCards(BookPanel& panel, const PluginPanelItem* items, int count, int op_mode,
                         bool whole, std::string* out) {
  vcard::CardWriter writer;
  std::size_t cards = 0;
  BookWalk walk(panel, op_mode, true,
                [&](const std::string& name, const std::string& uid,
                    const std::vector<std::string>& path, const Record& record) {
                  WriteCard(writer, name, uid, path, record);
                  ++cards;
                });
  std::vector<const PluginPanelItem*> list;
  for (int i = 0; i < count && items; ++i) list.push_back(&items[i]);
  walk.Items(list, whole);
  out->append(writer.text());
  return cards;
}

std::vector<VCardAddress> CollectAddresses(BookPanel& panel, int op_mode) {
  std::vector<VCardAddress> found;
  const std::string base = panel.path();
  BookWalk walk(panel, op_mode, false,
                [&](const std::string& name, const std::string&,
                    const std::vector<std::string>& path, const Record& record) {
                  for (const WrittenProperty& prop : FieldProperties(record)) {
                    if (Upper(prop.name) != "EMAIL" || prop.components.empty()) continue;
                    const std::string address = Trimmed(prop.components[0]);
                    if (address.empty()) continue;
                    std::string folder = path.empty() ? std::string() : FolderText(path);
                    if (base.size() > 1) folder = base + folder;
                    found.push_back({address, name, folder.empty() ? "\\" : folder});
                  }
                });
  PluginPanelItem* list = nullptr;
  int n = 0;
  if (panel.GetFindData(&list, &n, op_mode | kSilent)) {
    std::vector<const PluginPanelItem*> items;
    for (int i = 0; i < n; ++i) items.push_back(&list[i]);
    walk.Items(items, true);
    panel.FreeFindData(list, n);
  }
  return found;
}

}  // namespace qb::main

namespace qb::main {

void RenameVCardUid(storage::Storage& folder, const std::string& old_name,
                    const std::string& new_name) {
  UidMap uids = ReadUids(folder);
  const auto found = uids.find(old_name);
  if (found == uids.end()) return;
  const std::string uid = found->second;
  uids.erase(found);
  if (UidKeepable(new_name)) uids[new_name] = uid;
  WriteUids(folder, uids);
}

void ExportVCardKey(BookPanel& panel) {
  if (panel.in_record()) return;
  PanelInfo info;
  if (!ReadPanelInfo(panel, &info)) return;
  std::vector<PluginPanelItem> items;
  for (int i = 0; i < info.SelectedItemsNumber; ++i) {
    if (!IsDotDot(info.SelectedItems[i])) items.push_back(info.SelectedItems[i]);
  }
  if (items.empty()) return;
  const PluginStartupInfo& host = State().info;
  PanelInfo other{};
  std::string dir;
  if (host.Control(&panel, FCTL_GETANOTHERPANELINFO, &other) && !other.Plugin) {
    dir.assign(other.CurDir, strnlen(other.CurDir, sizeof other.CurDir));
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  const std::string base = items.size() == 1   ? ItemName(items[0])
                           : panel.depth() > 0 ? panel.levels().back().name
                                               : std::string(kTitle);
  char destination[NM] = {};
  dlg::CopyCut(destination, sizeof destination, (dir + base + ".vcf").c_str());
  if (!CopyDialog(destination, sizeof destination, 3)) return;
  std::string text;
  ExportVCards(panel, items.data(), static_cast<int>(items.size()), 0, false, &text);
  std::FILE* file = OpenTargetFile(destination);
  if (!file) return;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool flushed = std::fflush(file) == 0;
  if (std::fclose(file) != 0 || !written || !flushed) {
    ShowError(Msg(msg::kErrorCreateTarget), destination, "CreateFileError");
  }
  host.Control(&panel, FCTL_UPDATEANOTHERPANEL, nullptr);
  host.Control(&panel, FCTL_REDRAWANOTHERPANEL, nullptr);
}

}  // namespace qb::main
