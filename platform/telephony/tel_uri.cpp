#include "platform/telephony/tel_uri.h"

namespace qb::telephony {

namespace {

bool KeptAsIs(unsigned char c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  switch (c) {
    case '-':
    case '.':
    case '(':
    case ')':
    case '+':
    case '*':
    case '_':
    case '~':
    case ';':  // parameters such as ";ext="
    case '=':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string TelUri(std::string_view number) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string body;
  for (unsigned char c : number) {
    if (c == ' ' || c == '\t') continue;
    if (KeptAsIs(c)) {
      body += static_cast<char>(c);
    } else {
      body += '%';
      body += kHex[c >> 4];
      body += kHex[c & 0x0F];
    }
  }
  return body.empty() ? std::string() : "tel:" + body;
}

}  // namespace qb::telephony
