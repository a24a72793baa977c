#ifndef LEAFSWEEP_PKGTOOL_RUN_RESULT_H
#define LEAFSWEEP_PKGTOOL_RUN_RESULT_H

// What an operation tells the run driver. Every operation that stops the run
// has already told the user why; the driver only decides how the run ends.
enum run_result : int {
  go_on = 0,
  // The run ends normally: the user declined, or there is nothing to do.
  stop_run = -1,
  // The run ends because something failed; the program must not claim success.
  run_failed = -2,
};

#endif
