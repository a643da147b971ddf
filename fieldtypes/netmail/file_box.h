// File boxes: directories, one per node, whose files the mailer sends to that node as they are.
#pragma once

#include <string>

namespace qb::netmail {

// Copies the file at source into the directory box under the file's own name (the part of the
// path after its last "/"). The box is made when missing, but not the directories above it. The
// copy goes to a temporary file of the box first and takes the file's name only once it is whole,
// so a failing disk leaves neither a half file for the mailer nor a lost older one. False when
// anything fails.
bool CopyIntoBox(const std::string& box, const std::string& source);

}  // namespace qb::netmail
