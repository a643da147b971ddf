#include "main/main_text.h"

#if __has_include("main/messages.h")
#include "main/messages.h"
#define QB_HAVE_MESSAGES 1
#endif

namespace qb::main {

#ifndef QB_HAVE_MESSAGES
namespace {

// Used only while the language files are not yet part of the build: English for the numbers this
// part of the library asks for.
const char* BuiltInEnglish(int n) {
  switch (n) {
    case 0:
      return "OK";
    case 1:
      return "Cancel";
    case 13:
      return "Error";
    case 16:
      return "Name";
    case 17:
      return "Description";
    case 18:
      return "Rename";
    case 19:
      return "Descr";
    case 20:
      return "Passwd";
    case 21:
      return "Pack";
    case 22:
      return "New";
    case 23:
      return "Scan";
    case 24:
      return "View";
    case 25:
      return "Edit";
    case 26:
      return "Export";
    case 27:
      return "Field";
    case 38:
      return "Cannot open or create the book file";
    case 39:
      return "Cannot open the folder";
    case 40:
      return "Cannot open the record";
    case 41:
      return "No folder or record of this name";
    default:
      return "";
  }
}

}  // namespace
#endif

const char* MainText(int n) {
#ifdef QB_HAVE_MESSAGES
  if (const char* text = Msg(n)) return text;
  return "";
#else
  return BuiltInEnglish(n);
#endif
}

}  // namespace qb::main
