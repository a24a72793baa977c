#ifndef LEAFSWEEP_RUN_HELP_TEXT_H
#define LEAFSWEEP_RUN_HELP_TEXT_H

#include <cstddef>

#include "pkgtool/printable_text.h"

// The longest description the Help box shows. The dialog library lays a
// message out in time that grows with the square of its length, so a huge
// description would stall the box; only its beginning is shown.
constexpr size_t description_limit = 8192;

// Cuts a description to description_limit bytes and makes it printable.
void prepare_description(char* text);

#endif
