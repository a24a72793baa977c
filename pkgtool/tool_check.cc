#include "pkgtool/tool_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pkgtool/tool_path.h"

int tool_fault() {
  struct stat info;
  if (stat(pkg_tool_path, &info) == -1)
    return errno;
  if (S_ISDIR(info.st_mode))
    return EISDIR;
  if (!S_ISREG(info.st_mode))
    return EACCES;
  if (access(pkg_tool_path, X_OK) == -1)
    return errno;
  // A file that may be executed without being read is taken as it is.
  int fd = open(pkg_tool_path, O_RDONLY | O_CLOEXEC);
  if (fd == -1)
    return 0;
  char start[4] = {};
  ssize_t got = read(fd, start, sizeof start);
  (void)close(fd);
  bool program = got == 4 && memcmp(start, "\177ELF", 4) == 0;
  bool script = got >= 2 && memcmp(start, "#!", 2) == 0;
  return program || script ? 0 : ENOEXEC;
}
