#ifndef LEAFSWEEP_RUN_HELP_TEXT_H
#define LEAFSWEEP_RUN_HELP_TEXT_H

#include <cstddef>

// The longest description the Help box shows. The dialog library lays a
// message out in time that grows with the square of its length, so a huge
// description would stall the box; only its beginning is shown.
constexpr size_t description_limit = 8192;

// Turns every character that the current locale cannot print, and every
// byte that starts no character at all, into '?', in place; line feeds and
// tabs stay. The dialog library hides everything after a byte it cannot
// decode, and a carriage return, a backspace or an escape sequence would
// write over the screen.
void make_printable(char* text);

// Cuts a description to description_limit bytes and makes it printable.
void prepare_description(char* text);

#endif
