// A loaded shared library. Loading binds every symbol at once (a library with a missing
// dependency fails to load rather than failing at its first call) and keeps the library's own
// symbols local to it, so two libraries that compile the same code never share it by accident.
#pragma once

#include <string>

namespace qb {

class Module {
 public:
  Module() = default;
  // Loads the library at path; check loaded() and error().
  explicit Module(const std::string& path);
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why the last load failed (the dynamic loader's message); empty after success.
  const std::string& error() const { return error_; }

  // The entry point of exactly this name, or null when the library has none (or none is loaded).
  void* Find(const char* name) const;
  template <class Fn>
  Fn FindAs(const char* name) const {
    return reinterpret_cast<Fn>(Find(name));
  }

  // Unloads now; the object is then empty. Entry points taken from it must no longer be called.
  void Free();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace qb
