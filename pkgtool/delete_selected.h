#ifndef LEAFSWEEP_PKGTOOL_DELETE_SELECTED_H
#define LEAFSWEEP_PKGTOOL_DELETE_SELECTED_H

// Deletes the ticked packages of the leaf list that are still leaves, and
// for which pkg's own dry run removes nothing else, with
// "pkg -o AUTOREMOVE=false delete -y -- NAME...", run in the plain terminal,
// and waits for it. A notice first names the ticked packages that are kept,
// and why. Returns go_on once that is done, also when the command failed or
// nothing was left to delete; otherwise the user has been told why nothing
// ran, and the result says how the run ends.
int delete_selected();

// Whether the user should read the tool's output before the screen returns:
// after a failure or a death by signal, and when the outcome is unknown (-1).
bool needs_enter_prompt(int wait_status);

#endif
