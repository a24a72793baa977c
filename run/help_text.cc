#include "run/help_text.h"

#include <cstring>

void prepare_description(char* text) {
  if (strlen(text) > description_limit)
    text[description_limit] = '\0';
  make_printable(text);
}
