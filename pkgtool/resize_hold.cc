#include "pkgtool/resize_hold.h"

resize_hold::resize_hold() {
  sigset_t resize;
  sigemptyset(&resize);
  sigaddset(&resize, SIGWINCH);
  held_ = sigprocmask(SIG_BLOCK, &resize, &previous_) == 0;
}

resize_hold::~resize_hold() {
  if (held_)
    (void)sigprocmask(SIG_SETMASK, &previous_, nullptr);
}
