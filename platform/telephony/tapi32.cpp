// TAPI32.so: a call request handed to the desktop's dialler as "xdg-open tel:NUMBER". The program
// is started from an argument vector (never through a shell) by the process layer, which does not
// block the host and leaves no zombie behind.
#include "platform/telephony/tapi32.h"

#include <string>

#include "platform/process/process.h"
#include "platform/telephony/tel_uri.h"

namespace {

constexpr int kShowNormal = 1;

}  // namespace

extern "C" __attribute__((visibility("default"))) long tapiRequestMakeCallA(
    const char* destination, const char* /*application*/, const char* /*called_party*/,
    const char* /*comment*/) {
  if (destination == nullptr) return TAPIERR_INVALDESTADDRESS;
  const std::string uri = qb::telephony::TelUri(destination);
  if (uri.empty()) return TAPIERR_INVALDESTADDRESS;
  // Above 32 the opener took the URI; anything else means no dialler is there or it failed.
  return qb::process::ShellExecute(uri.c_str(), nullptr, nullptr, kShowNormal) > 32
             ? 0
             : TAPIERR_NOREQUESTRECIPIENT;
}
