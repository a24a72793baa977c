/*
 * Fault points for the sweep build of leafsweep. The build renames, in the
 * program's own object files only, each call named in redefined_calls.txt
 * from NAME to sweep_NAME, so that these wrappers see the program's own
 * calls and none of the dialog library's, which is linked into the same
 * executable. Each wrapper counts its call and, when the count is the one
 * asked for, fails it with a fitting errno instead of making it.
 *
 * LEAFSWEEP_FAULT_LOG=FILE  appends "N NAME" for every counted call.
 * LEAFSWEEP_FAULT_AT=N      makes call N fail (counted from 1).
 *
 * The count lives in shared memory: the child of a process creation counts
 * on in the same sequence, as it would with a real vfork.
 */
#include <errno.h>
#include <fcntl.h>
#include <search.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

static long *call_count;
static long fail_at;
static int log_fd = -1;

__attribute__((constructor)) static void sweep_init(void) {
  const char *at = getenv("LEAFSWEEP_FAULT_AT");
  const char *log = getenv("LEAFSWEEP_FAULT_LOG");
  fail_at = at != NULL ? strtol(at, NULL, 10) : 0;
  if (log != NULL)
    log_fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  void *shared = mmap(NULL, sizeof *call_count, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED)
    abort();
  call_count = shared;
}

/* Counts a call; true when this is the one to fail. Only write(2) is used,
 * as the child of a process creation may come here before it executes. */
static int fails(const char *name) {
  long n = ++*call_count;
  if (log_fd != -1) {
    char line[64];
    char digits[24];
    int d = 0;
    long v = n;
    do {
      digits[d++] = (char)('0' + v % 10);
      v /= 10;
    } while (v != 0);
    size_t length = 0;
    while (d > 0)
      line[length++] = digits[--d];
    line[length++] = ' ';
    for (const char *c = name; *c != '\0' && length < sizeof line - 1; ++c)
      line[length++] = *c;
    line[length++] = '\n';
    ssize_t ignored = write(log_fd, line, length);
    (void)ignored;
  }
  return n == fail_at;
}

void *sweep_malloc(size_t size) {
  if (fails("malloc")) {
    errno = ENOMEM;
    return NULL;
  }
  return malloc(size);
}

void *sweep_realloc(void *block, size_t size) {
  if (fails("realloc")) {
    errno = ENOMEM;
    return NULL;
  }
  return realloc(block, size);
}

char *sweep_strdup(const char *text) {
  if (fails("strdup")) {
    errno = ENOMEM;
    return NULL;
  }
  return strdup(text);
}

ssize_t sweep_getline(char **line, size_t *capacity, FILE *in) {
  if (fails("getline")) {
    errno = EIO;
    return -1;
  }
  return getline(line, capacity, in);
}

/* What glibc's getline becomes when the compiler inlines it. */
ssize_t sweep___getdelim(char **line, size_t *capacity, int delimiter, FILE *in) {
  if (fails("getline")) {
    errno = EIO;
    return -1;
  }
  return __getdelim(line, capacity, delimiter, in);
}

size_t sweep_fread(void *buffer, size_t size, size_t count, FILE *in) {
  if (fails("fread")) {
    errno = EIO;
    return 0;
  }
  return fread(buffer, size, count, in);
}

int sweep_getchar(void) {
  if (fails("getchar")) {
    errno = EIO;
    return EOF;
  }
  return getchar();
}

/* What getchar becomes when the compiler inlines it. */
int sweep_getc(FILE *in) {
  if (fails("getchar")) {
    errno = EIO;
    return EOF;
  }
  return getc(in);
}

FILE *sweep_fdopen(int fd, const char *mode) {
  if (fails("fdopen")) {
    errno = ENOMEM;
    return NULL;
  }
  return fdopen(fd, mode);
}

int sweep_pipe(int ends[2]) {
  if (fails("pipe")) {
    errno = EMFILE;
    return -1;
  }
  return pipe(ends);
}

int sweep_dup2(int from, int to) {
  if (fails("dup2")) {
    errno = EMFILE;
    return -1;
  }
  return dup2(from, to);
}

int sweep_open(const char *path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list rest;
    va_start(rest, flags);
    mode = (mode_t)va_arg(rest, int);
    va_end(rest);
  }
  if (fails("open")) {
    errno = EMFILE;
    return -1;
  }
  return open(path, flags, mode);
}

int sweep_execve(const char *path, char *const argv[], char *const envp[]) {
  if (fails("execve")) {
    errno = EACCES;
    return -1;
  }
  return execve(path, argv, envp);
}

/* A failed wait as the system gives it when children are reaped on their
 * own: the child has ended, and there is no status to be had. */
pid_t sweep_waitpid(pid_t pid, int *status, int options) {
  if (fails("waitpid")) {
    int ignored;
    while (waitpid(pid, &ignored, options) == -1 && errno == EINTR) {
    }
    errno = ECHILD;
    return -1;
  }
  return waitpid(pid, status, options);
}

/* A vfork cannot be wrapped by a function that returns in the child, so the
 * child is made with fork, and the parent waits, as after vfork, until the
 * child has executed another program or ended: the end of a close-on-exec
 * pipe tells it. The count is shared, so the child counts on in order. */
pid_t sweep_vfork(void) {
  if (fails("vfork")) {
    errno = EAGAIN;
    return -1;
  }
  int gate[2];
  if (pipe2(gate, O_CLOEXEC) == -1)
    return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(gate[0]);
    return 0;
  }
  int error = errno;
  close(gate[1]);
  char byte;
  while (pid > 0 && read(gate[0], &byte, 1) == -1 && errno == EINTR) {
  }
  close(gate[0]);
  errno = error;
  return pid;
}

int sweep_hcreate(size_t size) {
  if (fails("hcreate")) {
    errno = ENOMEM;
    return 0;
  }
  return hcreate(size);
}

ENTRY *sweep_hsearch(ENTRY item, ACTION action) {
  if (fails("hsearch")) {
    errno = ENOMEM;
    return NULL;
  }
  return hsearch(item, action);
}

int sweep_mkstemp(char *name) {
  if (fails("mkstemp")) {
    errno = ENOSPC;
    return -1;
  }
  return mkstemp(name);
}

ssize_t sweep_pread(int fd, void *buffer, size_t count, off_t offset) {
  if (fails("pread")) {
    errno = EIO;
    return -1;
  }
  return pread(fd, buffer, count, offset);
}

int sweep_stat(const char *path, struct stat *info) {
  if (fails("stat")) {
    errno = EACCES;
    return -1;
  }
  return stat(path, info);
}
