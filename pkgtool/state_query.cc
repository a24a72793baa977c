#include "pkgtool/state_query.h"

#include <sys/wait.h>

#include <memory>

#include "pkgtool/child_process.h"
#include "pkgtool/heap.h"
#include "pkgtool/tool_path.h"
#include "pkgtool/tool_text.h"

bool query_states(const std::vector<const char*>& names, package_states* states) {
  std::vector<const char*> argv{pkg_tool_path, alias_guard[0], alias_guard[1], "query", match_case, "%n-%v\\t%k\\t%V"};
  argv.insert(argv.end(), names.begin(), names.end());
  argv.push_back(nullptr);
  tool_answer answer = run_query(argv.data());
  std::unique_ptr<char, free_deleter> text(answer.output.text);
  const int status = answer.status;
  if (answer.output.error != 0)
    return false;
  // The tool exits with 1, and says nothing, when it found none of them.
  if (text == nullptr)
    return !answer.wrote_errors && status != -1 && WIFEXITED(status) &&
           (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
  if (!exited_cleanly(status))
    return false;
  for (const std::string& row : lines_of(text.get())) {
    size_t vital = row.rfind('\t');
    size_t locked = vital == std::string::npos || vital == 0 ? std::string::npos : row.rfind('\t', vital - 1);
    if (locked == std::string::npos)
      continue;
    const std::string key = row.substr(0, locked);
    states->installed.insert(key);
    if (row.compare(locked + 1, vital - locked - 1, "1") == 0)
      states->locked.insert(key);
    if (row.compare(vital + 1, std::string::npos, "1") == 0)
      states->vital.insert(key);
  }
  return true;
}
