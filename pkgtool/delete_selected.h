#ifndef LEAFSWEEP_PKGTOOL_DELETE_SELECTED_H
#define LEAFSWEEP_PKGTOOL_DELETE_SELECTED_H

// Deletes the ticked packages of the leaf list with "pkg delete -y NAME...",
// run in the plain terminal with an empty environment, and waits for it.
// Returns go_on once the command has run, whatever its outcome; otherwise a
// box has told the user why nothing ran.
int delete_selected();

// The delete command's words: the tool, "delete", "-y" and the name of every
// ticked record in list order, then a null pointer. The names are the list's
// own strings. Null when memory runs out; release it with free().
const char** build_delete_argv(int* ticked);

// Whether the user should read the tool's output before the screen returns:
// after a failure or a death by signal, and when the outcome is unknown (-1).
bool needs_enter_prompt(int wait_status);

#endif
