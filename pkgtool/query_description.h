#ifndef LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H
#define LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H

#include <cstdio>

// A package's long description as the tool printed it.
struct description {
  // The whole output and a NUL, owned by the caller, who releases it with
  // free(); null when there is nothing to show.
  char* text;
  // 0, or the errno value of what failed: starting the query, reading its
  // output or storing it. The output was then not read whole, and text is
  // null.
  int error;
};

// Asks the package tool for the long description of the package name. The
// text is null when the tool prints nothing (a tool that cannot be executed
// prints nothing on its standard output) or when error is set.
description query_description(const char* name);

// Reads a stream to its end into one NUL-terminated heap text.
description read_description(FILE* in);

#endif
