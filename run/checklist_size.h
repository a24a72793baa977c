#ifndef LEAFSWEEP_RUN_CHECKLIST_SIZE_H
#define LEAFSWEEP_RUN_CHECKLIST_SIZE_H

struct screen_size {
  int rows, columns;
};

// The smallest terminal that shows a checklist with this prompt whole, at
// the given width or at the width its three buttons need side by side if
// that is more. In a smaller one the dialog library ends the whole process
// when the list does not fit, or draws the buttons over the list.
screen_size checklist_needs(const char* prompt, int columns);

#endif
