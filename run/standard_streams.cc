#include "run/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool open_closed_standard_streams() {
  // A closed standard stream is an accident of how the program was started,
  // and the user is still at the terminal: the checklist reads its keys
  // there, the package tool writes its progress there, and the Enter prompt
  // must be seen there. open() takes the lowest free descriptor, so going
  // from 0 upwards fills each closed one in turn.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    int opened = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (opened == -1)
      opened = open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened != -1)
        (void)close(opened);
      return false;
    }
  }
  return true;
}
