#ifndef LEAFSWEEP_PKGTOOL_TOOL_TEXT_H
#define LEAFSWEEP_PKGTOOL_TOOL_TEXT_H

#include <cstdio>

// The whole output of a package tool query, as the tool printed it.
struct tool_text {
  // The output and a NUL, owned by the caller, who releases it with free();
  // null when there is nothing to show.
  char* text;
  // 0, or the errno value of what failed: starting the query, reading its
  // output or storing it. The output was then not read whole, and text is
  // null.
  int error;
};

// Reads a stream to its end into one NUL-terminated heap text.
tool_text read_tool_text(FILE* in);

#endif
