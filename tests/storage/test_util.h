// Helpers shared by the storage engine's tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

namespace qb::storage::testing {

inline constexpr uint32_t kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

inline std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

// Every element below `st`, with stream contents, one line each, in enumeration order.
inline std::string Dump(Storage& st, const std::string& prefix = "") {
  std::string out;
  Enumerator en;
  HRESULT hr = st.Enumerate(&en);
  if (Failed(hr)) return "<enumerate failed>";
  ElementStat e;
  while (en.Next(&e) == S_OK) {
    std::string path = prefix + "/" + Narrow(e.name);
    if (e.type == STGTY_STORAGE) {
      Storage sub;
      if (Failed(st.OpenStorage(e.name, kRW, &sub))) return out + "<open failed " + path + ">";
      out += "D " + path + "\n" + Dump(sub, path);
    } else {
      Stream s;
      if (Failed(st.OpenStream(e.name, kRW, &s))) return out + "<open failed " + path + ">";
      std::string data(e.size, '\0');
      uint32_t got = 0;
      if (Failed(s.Read(data.data(), static_cast<uint32_t>(data.size()), &got)) || got != e.size)
        return out + "<read failed " + path + ">";
      uint64_t h = 1469598103934665603ull;
      for (unsigned char c : data) h = (h ^ c) * 1099511628211ull;
      out += "S " + path + " " + std::to_string(e.size) + " " + std::to_string(h) + "\n";
    }
  }
  return out;
}

inline HRESULT WriteStream(Storage& st, std::u16string_view name, const std::string& data,
                           uint32_t mode = kRW | STGM_CREATE) {
  Stream s;
  HRESULT hr = st.CreateStream(name, mode, &s);
  if (Failed(hr)) return hr;
  return s.Write(data.data(), static_cast<uint32_t>(data.size()), nullptr);
}

inline std::string ReadStream(Storage& st, std::u16string_view name) {
  Stream s;
  if (Failed(st.OpenStream(name, kRW, &s))) return "<missing>";
  ElementStat e;
  s.Stat(&e);
  std::string data(e.size, '\0');
  uint32_t got = 0;
  s.Read(data.data(), static_cast<uint32_t>(data.size()), &got);
  data.resize(got);
  return data;
}

inline std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qbstorage-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    path_ = mkdtemp(buf.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qb::storage::testing
