#ifndef LEAFSWEEP_RUN_TERMINAL_CHECK_H
#define LEAFSWEEP_RUN_TERMINAL_CHECK_H

// Whether the dialog library will find a terminal to draw on and read keys
// from: one of the standard streams is a terminal, or the process has a
// controlling terminal. Started from cron or from a pipe in a session
// without one, it has none.
bool has_terminal();

#endif
