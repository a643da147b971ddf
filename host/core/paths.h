// Paths of the disk as the file panels use them: '/' separates, a trailing one is allowed.
#pragma once

#include <string>

namespace qb::host {

// dir + "/" + name, without doubling a '/' that dir ends in.
inline std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
}

// The folder above dir; "/" above the root.
inline std::string ParentDir(const std::string& dir) {
  if (dir == "/" || dir.empty()) return "/";
  size_t cut = dir.find_last_of('/');
  return cut == 0 || cut == std::string::npos ? "/" : dir.substr(0, cut);
}

// The last part of a path of the disk or of a plug-in ('\' separates there too), trailing
// separators ignored.
inline std::string LastComponent(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? p : p.substr(cut + 1);
}

}  // namespace qb::host
