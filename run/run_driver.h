#ifndef LEAFSWEEP_RUN_RUN_DRIVER_H
#define LEAFSWEEP_RUN_RUN_DRIVER_H

// One whole run, from the seen-name table to the closing line. Returns the
// process's exit status: 0, 1 when there is no terminal or a failure ended
// the run, or 69 when the seen-name table cannot be created.
int run_leafsweep();

#endif
