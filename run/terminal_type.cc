#include "run/terminal_type.h"

#include <curses.h>
#include <term.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The type as the user may read it on a terminal: control bytes, bytes
// outside ASCII, backslashes and quotes are written as octal escapes, so
// that nothing in TERM is ever obeyed by the terminal, and a long value is
// cut short so that the message stays one line.
std::string shown_type(const char* type) {
  constexpr size_t shown_bytes = 64;
  std::string shown;
  size_t count = 0;
  for (; count < shown_bytes && type[count] != '\0'; ++count) {
    auto byte = static_cast<unsigned char>(type[count]);
    if (byte < 0x20 || byte > 0x7e || byte == '\\' || byte == '"') {
      char escape[5];
      (void)snprintf(escape, sizeof escape, "\\%03o", byte);
      shown += escape;
    } else {
      shown += static_cast<char>(byte);
    }
  }
  if (type[count] != '\0')
    shown += "...";
  return shown;
}

// Looks the type up the way curses will, without letting curses end the
// process, and tells whether it can address the cursor. Whatever the lookup
// made is released, so that the dialog library starts from nothing.
enum class type_lookup { unknown, no_cursor_addressing, usable };

type_lookup look_up(const char* type) {
  int error = 0;
  int result = setupterm(type, STDOUT_FILENO, &error);
  type_lookup found = type_lookup::unknown;
  if (cur_term != nullptr) {
    // A hardcopy type is found, but setupterm still fails. cup is a string
    // capability, so tigetstr gives a null pointer for a type without it.
    char capability[] = "cup";
    bool addressable = tigetstr(capability) != nullptr;
    found = result == OK && addressable ? type_lookup::usable : type_lookup::no_cursor_addressing;
    (void)del_curterm(cur_term);
  }
  return found;
}

}  // namespace

std::string terminal_type_fault() {
  const char* type = getenv("TERM");
  if (type == nullptr || *type == '\0')
    return "leafsweep needs a terminal type, and TERM is not set: run it with TERM set to a type this system knows.\n";
  switch (look_up(type)) {
    case type_lookup::unknown:
      return "leafsweep does not know the terminal type \"" + shown_type(type) +
             "\": run it with TERM set to a type this system knows.\n";
    case type_lookup::no_cursor_addressing:
      return "leafsweep cannot move the cursor on the terminal type \"" + shown_type(type) +
             "\": run it with TERM set to a type that can.\n";
    case type_lookup::usable:
      break;
  }
  return std::string();
}
