#ifndef LEAFSWEEP_PKGTOOL_CHILD_PROCESS_H
#define LEAFSWEEP_PKGTOOL_CHILD_PROCESS_H

#include <sys/types.h>

#include <cstdio>
#include <optional>

#include "pkgtool/resize_hold.h"

// Every child of the program is started here: argv[0] is the absolute path
// to execute, the words go to it unchanged, and no shell is involved.

// Starts argv[0] with the given words and environment. When stdout_fd is not
// -1 it becomes the child's standard output; everything else is inherited.
// If that output cannot be set up or the program cannot be executed, the
// child writes "ERROR: <errno>!" to standard error and exits with status 1.
// Returns the child's process id, or -1 when no child could be created.
pid_t start_child(const char* const argv[], const char* const envp[], int stdout_fd);

// Waits until the child has terminated and returns its wait status, or -1
// when there is none to be had.
int wait_for_child(pid_t pid);

// The standard output of a package tool query, read through a pipe. While
// the pipe is open a resize does not interrupt its reads (resize_hold): a
// query's output is read whole or not at all.
class tool_pipe {
 public:
  tool_pipe() = default;
  ~tool_pipe() { close(); }
  tool_pipe(const tool_pipe&) = delete;
  tool_pipe& operator=(const tool_pipe&) = delete;

  // Starts the query with the program's own environment. False, with errno
  // set, when no pipe or no child could be had.
  bool open(const char* const argv[]);
  FILE* stream() const { return stream_; }
  // Closes the pipe and waits for the child; returns its wait status, or -1.
  int close();

 private:
  FILE* stream_ = nullptr;
  pid_t pid_ = -1;
  // Taken once the child has started, so that it never inherits the hold.
  std::optional<resize_hold> hold_;
};

#endif
