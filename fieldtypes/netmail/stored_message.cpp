#include "fieldtypes/netmail/stored_message.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/codepage/codepage.h"
#include "platform/paths/paths.h"

namespace qb::netmail {
namespace {

// Offsets of the header's fields.
enum : size_t {
  kFrom = 0,
  kTo = 36,
  kSubject = 72,
  kDate = 144,
  kDestNode = 166,
  kOrigNode = 168,
  kOrigNet = 172,
  kDestNet = 174,
  kDestZone = 176,
  kOrigZone = 178,
  kDestPoint = 180,
  kOrigPoint = 182,
  kAttribute = 186,
};

// How many numbers a message may move on when the one chosen was taken in the meantime (a mailer
// writing into the same directory).
constexpr int kCreateAttempts = 64;

void PutText(Header& header, size_t offset, size_t field, std::string_view text) {
  // A line break or a zero would end the text for some readers and not for others.
  text = text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3)));
  const size_t n = codepage::Utf8CutPoint(text, field - 1);
  std::memcpy(header.data() + offset, text.data(), n);
}

void Put16(Header& header, size_t offset, uint16_t value) {
  header[offset] = static_cast<uint8_t>(value & 0xFF);
  header[offset + 1] = static_cast<uint8_t>(value >> 8);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool AttachPathFits(std::string_view path) {
  if (path.empty() || path.size() > kSubjectField - 1) return false;
  return std::none_of(path.begin(), path.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

Header BuildHeader(const MessageHead& head) {
  Header header{};
  PutText(header, kFrom, kNameField, head.from);
  PutText(header, kTo, kNameField, head.to);
  PutText(header, kSubject, kSubjectField, head.subject);
  PutText(header, kDate, kDateField, head.date);
  Put16(header, kDestNode, head.destination.node);
  Put16(header, kOrigNode, head.origin.node);
  Put16(header, kOrigNet, head.origin.net);
  Put16(header, kDestNet, head.destination.net);
  Put16(header, kDestZone, head.destination.zone);
  Put16(header, kOrigZone, head.origin.zone);
  Put16(header, kDestPoint, head.destination.point);
  Put16(header, kOrigPoint, head.origin.point);
  Put16(header, kAttribute, kAttributes);
  return header;
}

std::string DateText(const std::tm& local, std::string_view month_name) {
  size_t month_end = 0;
  for (int i = 0; i < 3 && month_end < month_name.size(); ++i)
    month_end += codepage::Utf8SequenceLength(month_name, month_end);
  const std::string month(month_name.substr(0, month_end));
  const int year = ((local.tm_year + 1900) % 100 + 100) % 100;
  char text[64];
  std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02d", local.tm_mday, month.c_str(),
                year, local.tm_hour, local.tm_min, local.tm_sec);
  std::string date(text);
  date.resize(codepage::Utf8CutPoint(date, kDateField - 1));
  return date;
}

std::string KludgeLines(const FidoAddress& origin, const FidoAddress& destination,
                        uint32_t serial) {
  char line[128];
  std::string lines;
  std::snprintf(line, sizeof line, "\x01INTL %u:%u/%u %u:%u/%u\r", destination.zone,
                destination.net, destination.node, origin.zone, origin.net, origin.node);
  lines += line;
  if (origin.point != 0) {
    std::snprintf(line, sizeof line,
                  "\x01"
                  "FMPT %u\r",
                  origin.point);
    lines += line;
  }
  if (destination.point != 0) {
    std::snprintf(line, sizeof line, "\x01TOPT %u\r", destination.point);
    lines += line;
  }
  std::snprintf(line, sizeof line, "\x01MSGID %u:%u/%u.%u %x\r", origin.zone, origin.net,
                origin.node, origin.point, serial);
  lines += line;
  return lines;
}

uint32_t TimeSerial(const std::tm& local) {
  uint32_t value = static_cast<uint32_t>(local.tm_year + 1900) * 365u +
                   static_cast<uint32_t>(local.tm_mon + 1) * 31u +
                   static_cast<uint32_t>(local.tm_mday);
  value = value * 24u + static_cast<uint32_t>(local.tm_hour);
  value = value * 60u + static_cast<uint32_t>(local.tm_min);
  value = value * 60u + static_cast<uint32_t>(local.tm_sec);
  return value - 0x76FE4F00u;
}

uint32_t SerialCounter::Next(const std::tm& local) {
  auto serial = static_cast<int32_t>(TimeSerial(local));
  if (serial <= last_) serial = static_cast<int32_t>(static_cast<uint32_t>(last_) + 1u);
  last_ = serial;
  return static_cast<uint32_t>(serial);
}

std::optional<uint32_t> LeadingNumber(std::string_view name) {
  uint64_t value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > kMaxMessageNumber) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

bool IsMessageName(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view end = name.substr(name.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'm' && (end[2] | 0x20) == 's' &&
         (end[3] | 0x20) == 'g';
}

void NextNumber::See(std::string_view name) {
  if (!IsMessageName(name)) return;
  if (const auto number = LeadingNumber(name)) largest_ = std::max(largest_, *number);
}

std::optional<uint32_t> NextNumber::Result() const {
  if (largest_ >= kMaxMessageNumber) return std::nullopt;
  return std::max<uint32_t>(largest_ + 1, 2);
}

std::optional<uint32_t> NextMessageNumber(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return std::nullopt;
  NextNumber next;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    next.See(entry->d_name);
  }
  const bool failed = errno != 0;
  ::closedir(dir);
  if (failed) return std::nullopt;
  return next.Result();
}

std::optional<std::string> WriteMessage(const std::string& directory, const Header& header,
                                        std::string_view kludges) {
  if (directory.empty()) return std::nullopt;
  auto number = NextMessageNumber(directory);
  if (!number) return std::nullopt;
  std::string bytes(reinterpret_cast<const char*>(header.data()), header.size());
  bytes += kludges;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string path = JoinPath(directory, std::to_string(*number) + ".msg");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno != EEXIST || *number >= kMaxMessageNumber) return std::nullopt;
      ++*number;
      continue;
    }
    bool written = WriteAll(fd, bytes);
    if (::close(fd) != 0) written = false;
    if (!written) {
      ::unlink(path.c_str());
      return std::nullopt;
    }
    return path;
  }
  return std::nullopt;
}

}  // namespace qb::netmail
