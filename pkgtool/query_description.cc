#include "pkgtool/query_description.h"

#include <cerrno>

#include "pkgtool/child_process.h"
#include "pkgtool/tool_path.h"

tool_text query_description(const char* name) {
  (void)fflush(stdout);
  // The name is one word of the tool's command line, whatever it holds.
  const char* const argv[] = {pkg_tool_path, "query", "%e", name, nullptr};
  tool_pipe query;
  if (!query.open(argv))
    return {nullptr, 0, errno};
  return read_tool_text(query.stream());
}
