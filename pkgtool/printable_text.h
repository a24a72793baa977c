#ifndef LEAFSWEEP_PKGTOOL_PRINTABLE_TEXT_H
#define LEAFSWEEP_PKGTOOL_PRINTABLE_TEXT_H

// Turns every character that the current locale cannot print, and every
// byte that starts no character at all, into '?', in place; line feeds and
// tabs stay. The dialog library hides everything after a byte it cannot
// decode, and a carriage return, a backspace or an escape sequence would
// write over the screen; on a plain terminal they would be obeyed too.
void make_printable(char* text);

#endif
