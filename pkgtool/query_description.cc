#include "pkgtool/query_description.h"

#include <cstdio>

#include "pkgtool/tool_path.h"

tool_text query_description(const char* name) {
  (void)fflush(stdout);
  // The name is one word of the tool's command line, whatever it holds.
  const char* const argv[] = {pkg_tool_path, alias_guard[0], alias_guard[1], "query", match_case, "%e", name, nullptr};
  return run_query(argv).output;
}
