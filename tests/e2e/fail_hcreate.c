/* Preloaded into the program to make the seen-name table unobtainable. */
#include <errno.h>
#include <search.h>

int hcreate(size_t size) {
  (void)size;
  errno = ENOMEM;
  return 0;
}
