#include "platform/registry/reg_tree.h"

namespace qb::registry {
namespace {

char FoldChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c == '\\') return '\x01';
  return c;
}

}  // namespace

std::string FoldPath(std::string_view path) {
  std::string fold(path);
  for (char& c : fold) c = FoldChar(c);
  return fold;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::string NormalizePath(std::string_view path) {
  std::string out;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t end = path.find('\\', i);
    if (end == std::string_view::npos) end = path.size();
    if (end > i) {
      if (!out.empty()) out += '\\';
      out.append(path.substr(i, end - i));
    }
    i = end + 1;
  }
  return out;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
  for (const RegValue& v : values) {
    if (NamesEqual(v.name, name)) return &v;
  }
  return nullptr;
}

RegValue* RegKey::FindValue(std::string_view name) {
  return const_cast<RegValue*>(static_cast<const RegKey*>(this)->FindValue(name));
}

RegTree::RegTree() {
  keys_.emplace("", RegKey{});
}

const RegKey* RegTree::Find(std::string_view path) const {
  auto it = keys_.find(FoldPath(path));
  return it == keys_.end() ? nullptr : &it->second;
}

RegKey* RegTree::Find(std::string_view path) {
  auto it = keys_.find(FoldPath(path));
  return it == keys_.end() ? nullptr : &it->second;
}

RegKey& RegTree::Create(std::string_view path, bool* created) {
  if (created) *created = false;
  // Create every ancestor first so that the tree never has a key without its parent.
  std::size_t pos = 0;
  RegKey* key = &keys_.at("");
  while (pos < path.size()) {
    std::size_t end = path.find('\\', pos);
    if (end == std::string_view::npos) end = path.size();
    std::string_view prefix = path.substr(0, end);
    auto [it, inserted] = keys_.try_emplace(FoldPath(prefix));
    if (inserted) {
      // Keep the case the parent already has and the child's as given.
      it->second.path = key->path.empty()
                            ? std::string(path.substr(pos, end - pos))
                            : key->path + '\\' + std::string(path.substr(pos, end - pos));
      if (created) *created = true;
    }
    key = &it->second;
    pos = end + 1;
  }
  return *key;
}

bool RegTree::Remove(std::string_view path) {
  std::string fold = FoldPath(path);
  if (fold.empty()) return false;
  auto it = keys_.find(fold);
  if (it == keys_.end()) return false;
  // The key and its sub-keys are one contiguous run in the map's order.
  std::string prefix = fold + '\x01';
  auto last = std::next(it);
  while (last != keys_.end() && last->first.compare(0, prefix.size(), prefix) == 0) ++last;
  keys_.erase(it, last);
  return true;
}

std::vector<std::string> RegTree::SubKeyNames(std::string_view path) const {
  std::vector<std::string> names;
  std::string fold = FoldPath(path);
  std::string prefix = fold.empty() ? std::string() : fold + '\x01';
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    const std::string& k = it->first;
    if (k.compare(0, prefix.size(), prefix) != 0) break;
    if (k.size() == prefix.size()) continue;  // the root itself when prefix is empty
    if (k.find('\x01', prefix.size()) != std::string::npos) continue;
    const std::string& full = it->second.path;
    std::size_t slash = full.rfind('\\');
    names.push_back(slash == std::string::npos ? full : full.substr(slash + 1));
  }
  return names;
}

bool RegTree::operator==(const RegTree& other) const {
  if (keys_.size() != other.keys_.size()) return false;
  for (auto a = keys_.begin(), b = other.keys_.begin(); a != keys_.end(); ++a, ++b) {
    if (a->first != b->first || a->second.values.size() != b->second.values.size()) return false;
    for (const RegValue& v : a->second.values) {
      const RegValue* w = b->second.FindValue(v.name);
      if (w == nullptr || w->type != v.type || w->data != v.data) return false;
    }
  }
  return true;
}

}  // namespace qb::registry
