/* Preloaded into the program: the call of vfork numbered
   LEAFSWEEP_TEST_FAIL_VFORK_AT (from 1) fails as if the process table were
   full; the others create a child with fork, which behaves the same for the
   program and is safe to call from this wrapper. */
#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

pid_t vfork(void) {
  static int calls;
  const char* at = getenv("LEAFSWEEP_TEST_FAIL_VFORK_AT");
  if (at != NULL && ++calls == strtol(at, NULL, 10)) {
    errno = EAGAIN;
    return -1;
  }
  return fork();
}
