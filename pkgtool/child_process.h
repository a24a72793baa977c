#ifndef LEAFSWEEP_PKGTOOL_CHILD_PROCESS_H
#define LEAFSWEEP_PKGTOOL_CHILD_PROCESS_H

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>

#include "pkgtool/resize_hold.h"

// Every child of the program is started here: argv[0] is the absolute path
// to execute, the words go to it unchanged, and no shell is involved.
//
// Every child gets one and the same environment, child_environment: PATH
// and nothing else. The package tool takes each setting of its
// configuration file from an environment variable of the same name as well,
// its database directory among them, so a query that saw the program's
// environment could look at another database than the delete command that
// follows it. PATH is none of its settings; the tool hands it on to the
// package scripts it runs, and the programs they start need it.
extern const char* const child_environment[];

// Starts argv[0] with the given words and child_environment. Each of
// stdin_fd, stdout_fd and stderr_fd that is not -1 becomes that standard
// stream of the child; the others are inherited. If a stream cannot be set
// up or the program cannot be executed, the child writes
// "ERROR: <errno>!" to standard error and exits with status 1. Returns the
// child's process id, or -1 when no child could be created.
pid_t start_child(const char* const argv[], int stdin_fd, int stdout_fd, int stderr_fd);

// Waits until the child has terminated and returns its wait status, or -1
// when there is none to be had.
int wait_for_child(pid_t pid);

// Runs argv with the program's own standard streams, the terminal, and
// waits until it has ended. Meanwhile ^C and ^\ are the child's alone: they
// stop the tool, as the user means them to, and the program lives on to
// tell what the tool left undone, as system(3) does. The child starts with
// the actions the program had for them. Returns the wait status, or -1 when
// there is none; started tells whether a child was created.
int run_on_terminal(const char* const argv[], bool* started);

// The standard output of a package tool query, read through a pipe. While
// the pipe is open a resize does not interrupt its reads (resize_hold): a
// query's output is read whole or not at all.
//
// The query reads nothing: its standard input is /dev/null, never the
// terminal that the dialog library holds, so a tool that wants to ask a
// question learns that it cannot. What it writes on standard error goes to
// an unlinked file of the program's, and on to tool_messages once the query
// has ended, or, for a query opened to hold them, to errors() for its
// caller to look at first. A second pipe would stall a tool that fills it
// while the program waits on the first.
class tool_pipe {
 public:
  tool_pipe() = default;
  ~tool_pipe() { close(); }
  tool_pipe(const tool_pipe&) = delete;
  tool_pipe& operator=(const tool_pipe&) = delete;

  // Starts the query. False, with errno set, when no pipe, file or child
  // could be had.
  bool open(const char* const argv[], bool hold_messages = false);
  FILE* stream() const { return stream_; }
  // Closes the pipe, waits for the child and keeps what it wrote on
  // standard error; returns its wait status, or -1.
  int close();
  // Whether the tool wrote anything on standard error; known once closed.
  bool wrote_errors() const { return wrote_errors_; }
  // What a query opened to hold its messages wrote on standard error, at
  // most tool_message_limit + 1 bytes of it; known once closed.
  const std::string& errors() const { return errors_text_; }

 private:
  FILE* stream_ = nullptr;
  int errors_ = -1;
  pid_t pid_ = -1;
  bool wrote_errors_ = false;
  bool hold_messages_ = false;
  std::string errors_text_;
  // Taken once the child has started, so that it never inherits the hold.
  std::optional<resize_hold> hold_;
};

// Whether a wait status is that of a child that exited with status 0.
bool exited_cleanly(int wait_status);

#endif
