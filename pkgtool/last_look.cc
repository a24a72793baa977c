#include "pkgtool/last_look.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <set>

#include "pkgtool/child_process.h"
#include "pkgtool/dry_run.h"
#include "pkgtool/heap.h"
#include "pkgtool/leaf_query.h"
#include "pkgtool/run_result.h"
#include "pkgtool/tool_path.h"
#include "pkgtool/tool_text.h"

namespace {

const char not_deleted[] = "The ticked packages were not deleted.\n";

int collect_name(const leaf_line& line, void* names) {
  try {
    static_cast<std::set<std::string>*>(names)->insert(package_name(line.key));
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  return 0;
}

// The packages of removed that are none of names, as keys.
std::vector<std::string> beyond(const std::vector<std::string>& removed, const std::vector<const char*>& names) {
  std::vector<std::string> others;
  for (const std::string& removal : removed) {
    if (std::none_of(names.begin(), names.end(), [&](const char* name) { return removes(removal, name); }))
      others.push_back(removal_key(removal));
  }
  return others;
}

std::string also_deletes(const std::vector<std::string>& others) {
  const size_t most_named = 3;
  std::string reason = "deleting it would also delete ";
  for (size_t i = 0; i < others.size() && i < most_named; ++i)
    reason += (i == 0 ? "" : ", ") + others[i];
  if (others.size() > most_named)
    reason += " and " + std::to_string(others.size() - most_named) + " more";
  return reason;
}

// Whether each of names is installed, and locked: "name-version<TAB>0 or 1"
// for each installed one. False when the tool gave no answer.
bool query_states(const std::vector<const char*>& names, std::map<std::string, bool>* locked) {
  std::vector<const char*> argv{pkg_tool_path, "query", "%n-%v\\t%k"};
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
    size_t tab = row.rfind('\t');
    if (tab != std::string::npos)
      (*locked)[row.substr(0, tab)] = row.substr(tab + 1) == "1";
  }
  return true;
}

// Why each of names, ticked but no longer a leaf, is kept.
void explain_no_longer_leaves(const std::vector<const char*>& names, std::vector<kept_package>* kept) {
  if (names.empty())
    return;
  std::map<std::string, bool> locked;
  bool answered = query_states(names, &locked);
  for (const char* name : names) {
    std::string reason = "it is no longer a leaf";
    auto state = locked.find(name);
    if (answered && state == locked.end()) {
      reason = "it is no longer installed";
    } else if (answered && state->second) {
      reason = "it has been locked";
    } else if (answered) {
      // Something needs it now; pkg's dry run names what.
      dry_run alone = run_dry_run({name});
      std::vector<std::string> others = beyond(alone.removed, {name});
      if (alone.outcome == dry_run_outcome::answered && !others.empty())
        reason = also_deletes(others);
    }
    kept->push_back({name, reason});
  }
}

last_look failed(const dry_run& run) {
  report_dry_run_failure(run);
  (void)fputs(not_deleted, stderr);
  return {run_failed, {}, {}};
}

}  // namespace

last_look look_before_deleting(const std::vector<const char*>& ticked) {
  std::set<std::string> leaves;
  leaf_query_result query = run_leaf_query(collect_name, &leaves);
  if (query.start_error != 0 || query.read_error != 0 || query.tool_failed) {
    report_leaf_query_failure(query);
    (void)fputs(not_deleted, stderr);
    return {run_failed, {}, {}};
  }

  last_look look{go_on, {}, {}};
  std::vector<const char*> no_longer_leaves;
  for (const char* name : ticked)
    (leaves.count(name) != 0 ? look.deletable : no_longer_leaves).push_back(name);
  explain_no_longer_leaves(no_longer_leaves, &look.kept);

  // Each round keeps at least one package, until pkg would remove nothing
  // but the deletable ones.
  while (!look.deletable.empty()) {
    dry_run all = run_dry_run(look.deletable);
    if (all.outcome != dry_run_outcome::answered)
      return failed(all);
    std::vector<std::string> others = beyond(all.removed, look.deletable);
    if (others.empty())
      break;
    // Which of them bring the others along, each on its own?
    std::vector<const char*> rest;
    for (const char* name : look.deletable) {
      dry_run alone = run_dry_run({name});
      if (alone.outcome != dry_run_outcome::answered)
        return failed(alone);
      std::vector<std::string> brought = beyond(alone.removed, look.deletable);
      if (brought.empty())
        rest.push_back(name);
      else
        look.kept.push_back({name, also_deletes(brought)});
    }
    // Only together, then: none of them goes.
    if (rest.size() == look.deletable.size()) {
      for (const char* name : look.deletable)
        look.kept.push_back({name, also_deletes(others)});
      rest.clear();
    }
    look.deletable = rest;
  }

  // The notice lists the kept packages in the order of the checklist.
  auto position = [&](const std::string& name) { return std::find(ticked.begin(), ticked.end(), name) - ticked.begin(); };
  std::stable_sort(look.kept.begin(), look.kept.end(),
                   [&](const kept_package& a, const kept_package& b) { return position(a.name) < position(b.name); });
  return look;
}
