// Joining and taking apart paths. Disk paths are separated by "/"; the paths of registry keys by
// "\". Every part of the system that puts a path together from pieces does it here, so that a
// directory given with or without its trailing separator gives the same path.
//
// Header-only: the libraries that join paths (registry, language store, module loader, main
// library) need nothing linked for it.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// dir joined with name by exactly one "/"; an empty dir gives name (a name in the current
// directory).
inline std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

// The directory part of path with its trailing "/" ("/a/b" gives "/a/"); empty when path holds
// no "/" (a bare name in the current directory), so that JoinPath(DirectoryPart(p), name) names
// name beside p.
inline std::string DirectoryPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// The folder above dir; "/" above the root.
inline std::string ParentDir(std::string_view dir) {
  if (dir == "/" || dir.empty()) return "/";
  const std::size_t cut = dir.find_last_of('/');
  return cut == 0 || cut == std::string_view::npos ? "/" : std::string(dir.substr(0, cut));
}

// The last part of a path of the disk or of a plug-in panel ("\" separates there too), trailing
// separators ignored.
inline std::string LastComponent(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  const std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// parent\child for registry key paths; either may be empty (then the other is the path).
inline std::string JoinKeyPath(std::string_view parent, std::string_view child) {
  if (parent.empty()) return std::string(child);
  if (child.empty()) return std::string(parent);
  std::string path(parent);
  path += '\\';
  path += child;
  return path;
}

}  // namespace qb
