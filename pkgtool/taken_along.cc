#include "pkgtool/taken_along.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "pkgtool/child_process.h"
#include "pkgtool/heap.h"
#include "pkgtool/tool_messages.h"
#include "pkgtool/tool_path.h"
#include "pkgtool/tool_text.h"

namespace {

enum class link_answer { read, unknown_key, failed };

// The first fields - 1 tab-separated fields of line and the rest as the
// last one, or nothing when the line has fewer.
bool split_fields(const std::string& line, size_t fields, std::vector<std::string>* parts) {
  parts->clear();
  size_t start = 0;
  for (size_t i = 0; i + 1 < fields; ++i) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos)
      return false;
    parts->push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  parts->push_back(line.substr(start));
  return true;
}

// Runs "query -e CONDITION FORMAT" over every installed package that
// CONDITION, its having a link of the kind, lets through: loading every
// package's links is most of the cost of a query over all, and most have
// none. Each line "KEY<TAB>..." has fields fields; take gets them.
link_answer query_links(const char* condition, const char* format, size_t fields,
                        const std::function<void(const std::vector<std::string>&)>& take) {
  const char* const argv[] = {pkg_tool_path, alias_guard[0], alias_guard[1], "query", "-e", condition, format, nullptr};
  tool_answer answer = run_query(argv, true);
  std::unique_ptr<char, free_deleter> text(answer.output.text);
  if (answer.output.error != 0) {
    keep_tool_words(answer.errors);
    return link_answer::failed;
  }
  // A release that has not got a key says so before it opens the database.
  if (text == nullptr && answer.status != -1 && WIFEXITED(answer.status) && WEXITSTATUS(answer.status) == 1 &&
      answer.errors.find("Unknown query format key") != std::string::npos)
    return link_answer::unknown_key;
  keep_tool_words(answer.errors);
  if (!exited_cleanly(answer.status) || (text != nullptr && strlen(text.get()) != answer.output.length))
    return link_answer::failed;
  if (text == nullptr)
    return link_answer::read;
  std::vector<std::string> parts;
  for (const std::string& line : lines_of(text.get())) {
    if (split_fields(line, fields, &parts) && !parts[0].empty() && !parts.back().empty())
      take(parts);
  }
  return link_answer::read;
}

bool contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// Whether every one of keys goes: a capability or a library is lost then.
bool all_removed(const std::vector<std::string>& keys, const std::set<std::string>& removed) {
  return std::all_of(keys.begin(), keys.end(), [&](const std::string& key) { return removed.count(key) != 0; });
}

}  // namespace

bool package_links::read() {
  *this = package_links();
  auto note_lock = [this](const std::vector<std::string>& line) {
    if (line[1] == "1")
      packages_[line[0]].locked = true;
  };
  auto requirements = [&](provided* things) {
    return [things, note_lock](const std::vector<std::string>& line) {
      note_lock(line);
      things->requirers[line[2]].push_back(line[0]);
    };
  };
  auto provisions = [this](provided* things, std::vector<std::string> package::*list) {
    return [this, things, list](const std::vector<std::string>& line) {
      (packages_[line[0]].*list).push_back(line[1]);
      things->providers[line[1]].push_back(line[0]);
    };
  };
  auto dependencies = [this, note_lock](const std::vector<std::string>& line) {
    note_lock(line);
    dependents_[line[2]].push_back(line[0]);
  };
  // Once one query has failed the links are of no use: the rest are not
  // asked.
  return query_links("%#d > 0", "%n-%v\\t%k\\t%dn", 3, dependencies) != link_answer::failed &&
         query_links("%#Y > 0", "%n-%v\\t%k\\t%Y", 3, requirements(&capabilities_)) != link_answer::failed &&
         query_links("%#y > 0", "%n-%v\\t%y", 2, provisions(&capabilities_, &package::capabilities)) !=
             link_answer::failed &&
         query_links("%#B > 0", "%n-%v\\t%k\\t%B", 3, requirements(&libraries_)) != link_answer::failed &&
         query_links("%#b > 0", "%n-%v\\t%b", 2, provisions(&libraries_, &package::libraries)) != link_answer::failed;
}

std::string package_links::name_of(const std::string& key) const {
  auto named = names_.find(key);
  if (named != names_.end())
    return named->second;
  // pkg's keys are NAME-VERSION, and a version holds no "-".
  return key.substr(0, key.rfind('-'));
}

void package_links::learn_spared(provided& things, const std::set<std::string>& removed) {
  for (const auto& [thing, providers] : things.providers) {
    auto required = things.requirers.find(thing);
    if (required == things.requirers.end())
      continue;
    if (all_removed(providers, removed) && !all_removed(required->second, removed))
      things.spared.insert(thing);
  }
}

bool package_links::agree_with(const std::vector<const char*>& names, const dry_run& run) {
  if (run.outcome == dry_run_outcome::refused) {
    std::vector<std::string> start(names.begin(), names.end());
    const reach r = closure(start);
    return std::any_of(r.lockers.begin(), r.lockers.end(), [&](const std::string& l) { return contains(run.lockers, l); });
  }
  if (run.outcome != dry_run_outcome::answered || run.listed.size() != names.size() ||
      run.other_names.size() != run.others.size())
    return false;
  std::vector<std::string> start;
  std::set<std::string> removed;
  for (size_t i = 0; i < names.size(); ++i) {
    if (run.listed[i].empty())
      continue;
    names_[names[i]] = run.listed[i];
    start.emplace_back(names[i]);
    removed.insert(names[i]);
  }
  for (size_t i = 0; i < run.others.size(); ++i) {
    names_[run.others[i]] = run.other_names[i];
    removed.insert(run.others[i]);
  }
  learn_spared(capabilities_, removed);
  learn_spared(libraries_, removed);
  const reach r = closure(start);
  return r.lockers.empty() && r.removed == removed;
}

void package_links::follow(const provided& things, const std::vector<std::string>& provides,
                           const std::set<std::string>& removed, std::vector<std::string>* reached) const {
  for (const std::string& thing : provides) {
    if (things.spared.count(thing) != 0)
      continue;
    auto providers = things.providers.find(thing);
    auto required = things.requirers.find(thing);
    if (providers == things.providers.end() || required == things.requirers.end() ||
        !all_removed(providers->second, removed))
      continue;
    reached->insert(reached->end(), required->second.begin(), required->second.end());
  }
}

package_links::reach package_links::closure(const std::vector<std::string>& start) const {
  reach r;
  std::vector<std::string> pending;
  for (const std::string& key : start) {
    if (r.removed.insert(key).second)
      pending.push_back(key);
  }
  std::vector<std::string> reached;
  while (!pending.empty()) {
    const std::string key = pending.back();
    pending.pop_back();
    reached.clear();
    auto dependents = dependents_.find(name_of(key));
    if (dependents != dependents_.end())
      reached = dependents->second;
    auto own = packages_.find(key);
    if (own != packages_.end()) {
      // A capability goes once its last provider goes, whichever that is:
      // each provider looks again when it goes.
      follow(capabilities_, own->second.capabilities, r.removed, &reached);
      follow(libraries_, own->second.libraries, r.removed, &reached);
    }
    for (const std::string& other : reached) {
      auto found = packages_.find(other);
      if (found != packages_.end() && found->second.locked) {
        if (!contains(r.lockers, name_of(other)))
          r.lockers.push_back(name_of(other));
      } else if (r.removed.insert(other).second) {
        pending.push_back(other);
      }
    }
  }
  return r;
}

link_split split_by_links(const package_links& links, const std::vector<const char*>& candidates,
                          std::set<std::string> in_play) {
  link_split split;
  std::vector<std::string> going;
  auto beyond_play = [&](const package_links::reach& r) {
    std::vector<std::string> beyond;
    for (const std::string& key : r.removed) {
      if (in_play.count(key) == 0)
        beyond.push_back(key);
    }
    return beyond;
  };
  for (const char* candidate : candidates) {
    going.emplace_back(candidate);
    const package_links::reach with = links.closure(going);
    std::vector<std::string> beyond = beyond_play(with);
    if (with.lockers.empty() && beyond.empty()) {
      split.go.push_back(candidate);
      continue;
    }
    going.pop_back();
    link_keep keep{candidate, {}, {}, {}};
    if (!with.lockers.empty()) {
      keep.locker = with.lockers.front();
    } else {
      keep.alone = beyond_play(links.closure({candidate}));
      if (keep.alone.empty())
        keep.with_others = beyond;
    }
    in_play.erase(candidate);
    split.kept.push_back(keep);
  }
  return split;
}
