#include "pkgtool/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "pkgtool/tool_messages.h"

// The system's default search path, which cron and service(8) give their
// children too: package scripts run commands by name.
const char* const child_environment[] = {"PATH=/sbin:/bin:/usr/sbin:/usr/bin:/usr/local/sbin:/usr/local/bin", nullptr};

// Formats "ERROR: <number>!\n" into buffer without any library call, so that
// a child of vfork may use it. Returns the message's length.
static size_t format_exec_error(char* buffer, int number) {
  static const char head[] = "ERROR: ";
  char digits[16];
  size_t count = 0;
  unsigned value = number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  size_t length = 0;
  for (size_t i = 0; head[i] != '\0'; ++i)
    buffer[length++] = head[i];
  if (number < 0)
    buffer[length++] = '-';
  while (count > 0)
    buffer[length++] = digits[--count];
  buffer[length++] = '!';
  buffer[length++] = '\n';
  return length;
}

// The child's end when it cannot become the program: the reason, then an
// immediate exit that runs no handler of ours and flushes no stream.
[[noreturn]] static void child_failed(char* message) {
  ssize_t ignored = write(STDERR_FILENO, message, format_exec_error(message, errno));
  (void)ignored;
  _exit(1);
}

// Makes the descriptor from the child's standard stream. A query whose
// output went to the terminal instead of the pipe would look like one that
// found nothing, so a failure ends the child. The descriptors handed in are
// close-on-exec, so none of them stays open in the tool under a second
// number.
static void set_stream(int from, int stream, char* message) {
  if (from == -1 || from == stream)
    return;
  if (dup2(from, stream) == -1)
    child_failed(message);
}

// The actions a child takes back before it executes, or null.
struct child_signals {
  const struct sigaction* interrupt;
  const struct sigaction* quit;
};

static pid_t spawn_child(const char* const argv[], int stdin_fd, int stdout_fd, int stderr_fd,
                         const child_signals* signals) {
  // The child shares our memory until it executes, so its message buffer is
  // set aside here and it touches nothing else of ours.
  char message[32];
  pid_t pid = vfork();
  if (pid == 0) {
    // A child of vfork has signal actions of its own.
    if (signals != nullptr) {
      (void)sigaction(SIGINT, signals->interrupt, nullptr);
      (void)sigaction(SIGQUIT, signals->quit, nullptr);
    }
    set_stream(stdin_fd, STDIN_FILENO, message);
    set_stream(stdout_fd, STDOUT_FILENO, message);
    set_stream(stderr_fd, STDERR_FILENO, message);
    execve(argv[0], const_cast<char* const*>(argv), const_cast<char* const*>(child_environment));
    child_failed(message);
  }
  return pid;
}

pid_t start_child(const char* const argv[], int stdin_fd, int stdout_fd, int stderr_fd) {
  return spawn_child(argv, stdin_fd, stdout_fd, stderr_fd, nullptr);
}

int run_on_terminal(const char* const argv[], bool* started) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  (void)sigemptyset(&ignore.sa_mask);
  struct sigaction interrupt {};
  struct sigaction quit {};
  // Ignored before the child exists, so that no ^C falls between its start
  // and the wait.
  (void)sigaction(SIGINT, &ignore, &interrupt);
  (void)sigaction(SIGQUIT, &ignore, &quit);
  const child_signals usual{&interrupt, &quit};
  pid_t pid = spawn_child(argv, -1, -1, -1, &usual);
  *started = pid != -1;
  int status = pid != -1 ? wait_for_child(pid) : -1;
  (void)sigaction(SIGINT, &interrupt, nullptr);
  (void)sigaction(SIGQUIT, &quit, nullptr);
  return status;
}

int wait_for_child(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR)
      return -1;
  }
  return status;
}

// An unlinked file for a query's standard error, close-on-exec, or -1.
static int open_errors_file() {
  char name[] = "/tmp/leafsweep.XXXXXX";
  int fd = mkstemp(name);
  if (fd == -1)
    return -1;
  (void)unlink(name);
  (void)fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

bool tool_pipe::open(const char* const argv[], bool hold_messages) {
  hold_messages_ = hold_messages;
  int no_input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (no_input == -1)
    return false;
  errors_ = open_errors_file();
  int ends[2];
  if (errors_ == -1 || pipe(ends) == -1) {
    int error = errno;
    ::close(no_input);
    close();
    errno = error;
    return false;
  }
  // Only the child's standard output may hold the write end; the read end
  // must not reach the tool, or it would never see its reader go away.
  fcntl(ends[0], F_SETFD, FD_CLOEXEC);
  fcntl(ends[1], F_SETFD, FD_CLOEXEC);
  pid_t pid = start_child(argv, no_input, ends[1], errors_);
  int error = errno;
  ::close(no_input);
  ::close(ends[1]);
  if (pid == -1) {
    ::close(ends[0]);
    close();
    errno = error;
    return false;
  }
  hold_.emplace();
  stream_ = fdopen(ends[0], "r");
  pid_ = pid;
  if (stream_ == nullptr) {
    error = errno;
    ::close(ends[0]);
    close();
    errno = error;
    return false;
  }
  return true;
}

int tool_pipe::close() {
  if (stream_ != nullptr) {
    // Nothing read is lost when closing fails; the child's status tells
    // how the query went.
    (void)fclose(stream_);
    stream_ = nullptr;
  }
  int status = -1;
  if (pid_ != -1)
    status = wait_for_child(pid_);
  pid_ = -1;
  hold_.reset();
  if (errors_ != -1) {
    if (hold_messages_) {
      char text[tool_message_buffer];
      size_t length = read_tool_messages(errors_, text);
      wrote_errors_ = length != 0;
      try {
        errors_text_.assign(text, length);
      } catch (const std::bad_alloc&) {
        // Unheld, they still reach the user.
        (void)keep_tool_messages(errors_);
      }
    } else {
      wrote_errors_ = keep_tool_messages(errors_);
    }
    ::close(errors_);
    errors_ = -1;
  }
  return status;
}

bool exited_cleanly(int wait_status) {
  return wait_status != -1 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}
