// The desktop's mail composer as the mail library reaches it: a Simple MAPI message turned into
// the words of one xdg-email call, and xdg-email's answer turned back into a Simple MAPI result.
//
// What xdg-email can carry: recipients (to, cc, bcc) with their names, the subject, the note text
// as the body, and attached files by path. What it cannot: the sender (the composer always writes
// as the account the user set up in it), an attachment's own file name (the composer shows the
// file's name on disk), the message type, a date or a conversation.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process/process.h"
#include "sdk/mapi.h"

namespace qb::mapi {

// The program the composer is reached through, looked up on PATH.
inline constexpr const char* kComposerProgram = "xdg-email";

// How long a composer call may take to give its verdict: a composer that is still starting after
// this has taken the mail (xdg-email waits for some mail programs until they are closed).
inline constexpr std::chrono::milliseconds kComposerVerdictWait{3000};

// A text as one line: cut at its first line feed or carriage return.
std::string_view FirstLine(std::string_view text);

// One recipient as the composer takes it: "Name <address>". A name that holds characters with a
// meaning in an address header (",", "<", quotes and the like) or that begins with "-" is quoted
// as an address header quotes it ("\"Smith, Ann\" <ann@example.org>"), so it stays one name and
// never reads as an option. Without a name: the address alone, or "<address>" when it begins
// with "-". Name and address are cut at a line break and their outer blanks dropped; an empty
// address gives the empty text. An address written "SMTP:ann@example.org", as Simple MAPI callers
// often write it, loses its "SMTP:".
std::string Mailbox(std::string_view name, std::string_view address);

struct ComposerCall {
  uint32_t result = SUCCESS_SUCCESS;  // not SUCCESS_SUCCESS: nothing is to be started
  std::vector<std::string> argv;      // xdg-email and its words
};

// The xdg-email call for a message, or the Simple MAPI failure that keeps it from being made:
//  - MAPI_E_NOT_SUPPORTED without MAPI_DIALOG: the mail can only be written in the composer,
//    never sent by itself;
//  - MAPI_E_BAD_RECIPTYPE for a recipient class other than to, cc, bcc and originator;
//  - MAPI_E_INVALID_RECIPS for an address without "@" (xdg-email takes only such addresses);
//  - MAPI_E_ATTACHMENT_NOT_FOUND for a file that is not there or no regular file,
//    MAPI_E_ATTACHMENT_OPEN_FAILURE for one that cannot be read or whose path holds a line break;
//  - MAPI_E_FAILURE for a message that is not there or counts entries it does not hold.
// Recipients without an address are left out (the user adds them in the composer), as is the
// originator. Texts are UTF-8 and go as such ("--utf8" first). The subject is cut at its first line
// break and left out when empty; the note text keeps its lines. A relative attachment path gets
// "./" in front, so that no word after an option can read as one.
ComposerCall ComposerArguments(const MapiMessage* message, uint32_t flags);

// The Simple MAPI result of a composer call: success when xdg-email ended with 0 or is still busy
// after the wait; MAPI_E_LOGON_FAILURE when it could not be started (not installed) or found no
// composer (its status 3); the attachment failures for its statuses 2 and 5; MAPI_E_FAILURE for
// anything else.
uint32_t ResultOf(const qb::process::Outcome& outcome);

}  // namespace qb::mapi
