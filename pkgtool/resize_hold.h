#ifndef LEAFSWEEP_PKGTOOL_RESIZE_HOLD_H
#define LEAFSWEEP_PKGTOOL_RESIZE_HOLD_H

#include <signal.h>

// Holds SIGWINCH back for as long as it lives.
//
// curses catches SIGWINCH without SA_RESTART, also after its screen has
// ended, so a resize makes a blocking read fail with EINTR. A stdio reader
// that fails partway through a line has already consumed what it read: on
// some systems those bytes are lost, on others the line comes back cut in
// two. Held back, the signal waits, and curses sees the new size as soon as
// the hold ends.
//
// The signal mask is inherited by children: never start one while a hold
// lives.
class resize_hold {
 public:
  resize_hold();
  ~resize_hold();
  resize_hold(const resize_hold&) = delete;
  resize_hold& operator=(const resize_hold&) = delete;

 private:
  sigset_t previous_;
  bool held_;
};

#endif
