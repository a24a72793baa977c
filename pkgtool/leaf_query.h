#ifndef LEAFSWEEP_PKGTOOL_LEAF_QUERY_H
#define LEAFSWEEP_PKGTOOL_LEAF_QUERY_H

#include <cstddef>

#include "pkgtool/leaf_line.h"

// How a run of the leaf query went.
struct leaf_query_result {
  int start_error;   // the errno value when it could not be started, or 0
  int read_error;    // the errno value when its output was not read whole, or 0
  bool tool_failed;  // it exited with a status other than 0, or died
};

// What follows the key on each line of the leaf query: the package's
// one-line comment for the checklist, or, for the last look before a delete
// command, "1" for a vital package and "0" for any other.
enum class leaf_column { comment, vital };

// Runs the leaf query, the packages that nothing depends on and that are not
// locked, and hands each line of its output to take.
leaf_query_result run_leaf_query(leaf_line_taker take, void* context, leaf_column column = leaf_column::comment);

// The line that tells why a run of the leaf query failed: it could not be
// started, its output was not read whole, or it failed. It may be written
// into buffer, of size bytes; leaf_query_failure_size is enough.
constexpr size_t leaf_query_failure_size = 256;
const char* leaf_query_failure_line(const leaf_query_result& result, char* buffer, size_t size);

// Writes to standard error why a run of the leaf query failed: what the
// tool wrote there, then whether it could not be started, its output was
// not read whole, or it failed.
void report_leaf_query_failure(const leaf_query_result& result);

#endif
