#ifndef LEAFSWEEP_RUN_TERMINAL_TYPE_H
#define LEAFSWEEP_RUN_TERMINAL_TYPE_H

#include <string>

// Why the terminal type in TERM cannot show the dialogs, as the line to
// write to standard error; empty when it can. It can when it is set, the
// system's terminfo knows it and it can address the cursor. Without this
// check, an unknown type ends the process inside curses, and a type that
// cannot address the cursor draws the checklist as one unreadable line
// while its keys still work.
std::string terminal_type_fault();

#endif
