#include "run/terminal_check.h"

#include <fcntl.h>
#include <unistd.h>

bool has_terminal() {
  // The dialog library draws on standard output when it is a terminal, and
  // otherwise opens whichever standard stream is one, or /dev/tty. Only when
  // all of these fail does it give up, with its own message and status 255.
  if (isatty(STDIN_FILENO) || isatty(STDOUT_FILENO) || isatty(STDERR_FILENO))
    return true;
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (fd < 0)
    return false;
  (void)close(fd);
  return true;
}
