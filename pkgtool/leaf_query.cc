#include "pkgtool/leaf_query.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pkgtool/child_process.h"
#include "pkgtool/tool_messages.h"
#include "pkgtool/tool_path.h"

leaf_query_result run_leaf_query(leaf_line_taker take, void* context, leaf_column column) {
  // The tool itself turns the two characters \t into a tab.
  const char* format = column == leaf_column::vital ? "%n-%v\\t%V" : "%n-%v\\t%c";
  const char* const argv[] = {pkg_tool_path, alias_guard[0], alias_guard[1], "query", "-e", "%#r=0 && %k=0", format, nullptr};
  leaf_query_result result{0, 0, false};
  tool_pipe query;
  if (!query.open(argv)) {
    result.start_error = errno;
    return result;
  }
  result.read_error = read_leaf_output(query.stream(), take, context);
  // A tool that dies from a signal has failed as surely as one that exits
  // with an error.
  result.tool_failed = !exited_cleanly(query.close());
  return result;
}

const char* leaf_query_failure_line(const leaf_query_result& result, char* buffer, size_t size) {
  if (result.start_error != 0)
    return "Error executing pkg.\n";
  if (result.read_error == 0)
    return "pkg returned an error.\n";
  (void)snprintf(buffer, size, "Could not read the whole list of leaf packages: %s.\n", strerror(result.read_error));
  return buffer;
}

void report_leaf_query_failure(const leaf_query_result& result) {
  // The tool's own words come first: they tell why. No memory is needed to
  // say so, whatever has run out.
  write_tool_messages();
  char line[leaf_query_failure_size];
  (void)fputs(leaf_query_failure_line(result, line, sizeof line), stderr);
}
