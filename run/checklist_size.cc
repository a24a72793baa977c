#include "run/checklist_size.h"

#include <algorithm>
#include <cstring>

// The rows are the prompt's lines, wrapped at word boundaries inside the
// box's borders and margins, and eight more: the box, the frame of a
// one-line list, the buttons and the comment line. The wrap is one column
// narrower than the dialog library's, so that the count errs on the safe
// side.
screen_size checklist_needs(const char* prompt, int columns) {
  const int least_columns = 28;
  columns = std::max(columns, least_columns);
  const int width = columns - 4;
  int lines = 1;
  int used = 0;
  for (const char* c = prompt; *c != '\0';) {
    if (*c == '\n') {
      ++lines;
      used = 0;
    }
    if (*c == '\n' || *c == ' ') {
      ++c;
      continue;
    }
    int word = static_cast<int>(strcspn(c, " \n"));
    if (used != 0 && used + 1 + word > width) {
      ++lines;
      used = 0;
    }
    used += (used != 0 ? 1 : 0) + word;
    c += word;
  }
  return {lines + 8, columns};
}
