#ifndef LEAFSWEEP_PKGTOOL_TOOL_TEXT_H
#define LEAFSWEEP_PKGTOOL_TOOL_TEXT_H

#include <cstdio>
#include <string>
#include <vector>

// The whole output of a package tool query, as the tool printed it.
struct tool_text {
  // The output and a NUL, owned by the caller, who releases it with free();
  // null when there is nothing to show.
  char* text;
  // The number of bytes before the closing NUL; the output may hold NULs
  // of its own.
  size_t length;
  // 0, or the errno value of what failed: starting the query, reading its
  // output or storing it. The output was then not read whole, and text is
  // null.
  int error;
};

// Reads a stream to its end into one NUL-terminated heap text.
tool_text read_tool_text(FILE* in);

// A query run to its end.
struct tool_answer {
  // Whether the query could be started; output.error says why not.
  bool started;
  tool_text output;
  int status;         // its wait status, or -1
  bool wrote_errors;  // whether it wrote on standard error
  // What it wrote there, for a query run to hold its messages.
  std::string errors;
};

// Runs the query argv (tool_pipe) and reads its output whole.
tool_answer run_query(const char* const argv[], bool hold_messages = false);

// The lines of an output, without their line feeds; a last line may lack
// its line feed.
std::vector<std::string> lines_of(const char* text);

#endif
