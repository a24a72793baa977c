#include "pkgtool/last_look.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>

#include "pkgtool/child_process.h"
#include "pkgtool/dry_run.h"
#include "pkgtool/heap.h"
#include "pkgtool/leaf_query.h"
#include "pkgtool/run_result.h"
#include "pkgtool/state_query.h"
#include "pkgtool/taken_along.h"
#include "pkgtool/tool_path.h"
#include "pkgtool/tool_text.h"

namespace {

// The leaves, by key: whether each is vital.
using leaf_states = std::map<std::string, bool>;

int collect_leaf(const leaf_line& line, void* leaves) {
  try {
    (*static_cast<leaf_states*>(leaves))[package_name(line.key)] = strcmp(line.comment, "1") == 0;
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  }
  return 0;
}

// "A, B, C and 2 more".
std::string listing(const std::vector<std::string>& others) {
  const size_t most_named = 3;
  std::string text;
  for (size_t i = 0; i < others.size() && i < most_named; ++i)
    text += (i == 0 ? "" : ", ") + others[i];
  if (others.size() > most_named)
    text += " and " + std::to_string(others.size() - most_named) + " more";
  return text;
}

std::string locked_and_needs_it(const dry_run& refusal) { return refusal.lockers[0] + " is locked and needs it"; }

// Why each of names, ticked but no longer a leaf, is kept. What it would
// take along is told beyond the candidates, which may go anyway.
void explain_no_longer_leaves(const std::vector<const char*>& names, const std::vector<const char*>& candidates,
                              std::vector<kept_package>* kept) {
  if (names.empty())
    return;
  package_states states;
  bool answered = query_states(names, &states);
  for (const char* name : names) {
    std::string reason = "it is no longer a leaf";
    if (answered && states.installed.count(name) == 0) {
      reason = "it is no longer installed";
    } else if (answered && states.locked.count(name) != 0) {
      reason = "it has been locked";
    } else if (answered) {
      // Something needs it now; pkg's dry run names what.
      dry_run alone = run_dry_run({name});
      std::vector<std::string> beyond;
      for (const std::string& other : alone.others) {
        if (std::find(candidates.begin(), candidates.end(), other) == candidates.end())
          beyond.push_back(other);
      }
      if (alone.outcome == dry_run_outcome::refused)
        reason = locked_and_needs_it(alone);
      else if (alone.outcome == dry_run_outcome::answered && !beyond.empty())
        reason = "deleting it would also delete " + listing(beyond);
    }
    kept->push_back({name, reason});
  }
}

// pkg refuses to delete a vital package, yet before 2.0 its dry run lists
// one like any other; so the leaf query tells which are vital, and those
// never reach a dry run.
std::string vital_reason(const char* name) {
  return std::string("it is vital (pkg set -v 0 ") + name + " would allow deleting it)";
}

bool is_pkg_itself(const std::string& name) { return name == "pkg" || name == "pkg-devel"; }

// Grows the set of packages to delete from the candidates, in their order,
// a chunk at a time: a chunk joins when pkg's dry run of the set with it
// removes nothing but candidates, and a chunk that would take others along
// is halved, down to the single packages that do; those are kept. A dry
// run that removes nothing beyond, as it should, costs one call for the
// whole chunk, so the calls grow with the number of packages kept, times
// the logarithm of the number of candidates.
//
// A candidate may take another one along that is still to come: that is no
// reason to keep it, as the two may well go together. Should the other one
// be kept after all, the set's own dry run, which comes last, shows it.
class set_grower {
 public:
  explicit set_grower(std::vector<kept_package>* kept) : kept_(kept) {}

  // False when the tool gave no answer; failure() says why.
  bool grow(const std::vector<const char*>& candidates) {
    in_play_.clear();
    in_play_.insert(candidates.begin(), candidates.end());
    std::vector<pending> chunks{{candidates, nullptr, 0}};
    while (!chunks.empty() && failure_.empty()) {
      pending next = std::move(chunks.back());
      chunks.pop_back();
      if (next.chunk.empty())
        continue;
      std::vector<const char*> names = set_;
      names.insert(names.end(), next.chunk.begin(), next.chunk.end());
      dry_run run = next.known != nullptr && set_.size() == next.known_size ? *next.known : ask(names);
      if (!failure_.empty())
        break;
      if (run.outcome == dry_run_outcome::answered && beyond_play(run.others).empty()) {
        join(names, run);
      } else if (first_search(next.chunk) && sort_out_by_links(next.chunk, run, &chunks)) {
        continue;
      } else if (next.chunk.size() == 1) {
        keep(next.chunk[0], run);
        // The rest of the list most likely joins whole now: one dry run of
        // it is cheaper than one for each of the halves left on the way.
        std::vector<const char*> rest;
        for (auto chunk = chunks.rbegin(); chunk != chunks.rend(); ++chunk)
          rest.insert(rest.end(), chunk->chunk.begin(), chunk->chunk.end());
        chunks.clear();
        chunks.push_back({rest, nullptr, 0});
      } else {
        const auto middle = next.chunk.begin() + static_cast<long>(next.chunk.size() / 2);
        const size_t joined_size = set_.size() + static_cast<size_t>(middle - next.chunk.begin());
        chunks.push_back({std::vector<const char*>(middle, next.chunk.end()), std::make_shared<const dry_run>(run), joined_size});
        chunks.push_back({std::vector<const char*>(next.chunk.begin(), middle), nullptr, 0});
      }
    }
    return failure_.empty();
  }

  // Whether the last dry run was that of the set, and removed exactly it.
  bool checked() const { return set_.empty() || checked_at_ == runs_; }
  const std::vector<const char*>& set() const { return set_; }
  // Takes the set for another round.
  std::vector<const char*> take_set() {
    std::vector<const char*> taken;
    taken.swap(set_);
    return taken;
  }
  // Candidates that a dry run did not list.
  const std::vector<const char*>& unlisted() const { return unlisted_; }
  const std::string& failure() const { return failure_; }

 private:
  // A chunk still to join. A half may come with the answer for the set with
  // it: that of the whole chunk, which holds once the other half has joined
  // whole, and the set has grown by just that.
  struct pending {
    std::vector<const char*> chunk;
    std::shared_ptr<const dry_run> known;
    size_t known_size;
  };

  // Whether the set is about to be searched for the first time in the look:
  // the links are read then, once, to tell at once which candidates bring
  // others along. Later searches, after the system changed under the look,
  // halve.
  bool first_search(const std::vector<const char*>& chunk) {
    if (links_tried_ || !set_.empty() || chunk.size() < 2)
      return false;
    links_tried_ = true;
    return true;
  }

  dry_run ask(const std::vector<const char*>& names) {
    ++runs_;
    dry_run run = run_dry_run(names);
    if (run.outcome != dry_run_outcome::answered && run.outcome != dry_run_outcome::refused)
      failure_ = dry_run_failure_line(run);
    return run;
  }

  // Makes names the set, since run, their dry run, removes nothing beyond
  // them. pkg leaves out what it cannot match or will not remove, and stops
  // a whole delete command at pkg itself, which its dry run lists: those
  // stay out.
  void join(const std::vector<const char*>& names, const dry_run& run) {
    std::vector<const char*> joined;
    for (size_t i = 0; i < names.size(); ++i) {
      if (run.listed[i].empty()) {
        unlisted_.push_back(names[i]);
        in_play_.erase(names[i]);
      } else if (is_pkg_itself(run.listed[i])) {
        keep_as(names[i], "pkg does not delete itself");
      } else {
        joined.push_back(names[i]);
      }
    }
    if (removes_exactly(run) && joined.size() == names.size())
      checked_at_ = runs_;
    set_.swap(joined);
  }

  // Keeps the candidates of chunk, all of them in play, that the links show
  // to take others along, and leaves the rest to join next. run is chunk's
  // own dry run, which the links must explain. False, and nothing changed,
  // when they do not.
  bool sort_out_by_links(const std::vector<const char*>& chunk, const dry_run& run, std::vector<pending>* chunks) {
    package_links links;
    if (!links.read() || !links.agree_with(chunk, run))
      return false;
    std::vector<const char*> candidates;
    for (size_t i = 0; i < chunk.size(); ++i) {
      // What pkg did not list, or will not delete, is out of play as when
      // a chunk joins.
      if (run.outcome == dry_run_outcome::answered && run.listed[i].empty()) {
        unlisted_.push_back(chunk[i]);
        in_play_.erase(chunk[i]);
      } else if (run.outcome == dry_run_outcome::answered && is_pkg_itself(run.listed[i])) {
        keep_as(chunk[i], "pkg does not delete itself");
      } else {
        candidates.push_back(chunk[i]);
      }
    }
    link_split split = split_by_links(links, candidates, in_play_);
    for (const link_keep& k : split.kept) {
      if (!k.locker.empty())
        keep_as(k.key, k.locker + " is locked and needs it");
      else if (!k.alone.empty())
        keep_as(k.key, "deleting it would also delete " + listing(k.alone));
      else
        keep_as(k.key, "deleting it with the others would also delete " + listing(k.with_others));
    }
    chunks->push_back({split.go, nullptr, 0});
    return true;
  }

  // The packages of others that are no candidates still in play.
  std::vector<std::string> beyond_play(const std::vector<std::string>& others) const {
    std::vector<std::string> beyond;
    for (const std::string& other : others) {
      if (in_play_.count(other) == 0)
        beyond.push_back(other);
    }
    return beyond;
  }

  void keep_as(const char* name, const std::string& reason) {
    kept_->push_back({name, reason});
    in_play_.erase(name);
  }

  // Keeps name, which run, the answer for the set with it, showed to take
  // others along.
  void keep(const char* name, const dry_run& run) {
    if (run.outcome == dry_run_outcome::refused) {
      keep_as(name, locked_and_needs_it(run));
      return;
    }
    const std::vector<std::string> along = beyond_play(run.others);
    if (set_.empty()) {
      keep_as(name, "deleting it would also delete " + listing(along));
      return;
    }
    // Alone, it may take nothing along: then it is the set with it that
    // would.
    dry_run alone = ask({name});
    if (!failure_.empty())
      return;
    const std::vector<std::string> beyond = beyond_play(alone.others);
    if (alone.outcome == dry_run_outcome::refused)
      keep_as(name, locked_and_needs_it(alone));
    else if (!beyond.empty())
      keep_as(name, "deleting it would also delete " + listing(beyond));
    else
      keep_as(name, "deleting it with the others would also delete " + listing(along));
  }

  std::vector<kept_package>* kept_;
  std::vector<const char*> set_;
  std::vector<const char*> unlisted_;
  // The candidates neither kept nor left out yet.
  std::set<std::string> in_play_;
  std::string failure_;
  long runs_ = 0;
  long checked_at_ = -1;
  bool links_tried_ = false;
};

// Why each of names, which pkg's dry run did not list, is kept. False when
// the tool gave no answer.
bool explain_unlisted(const std::vector<const char*>& names, std::vector<kept_package>* kept) {
  if (names.empty())
    return true;
  package_states states;
  if (!query_states(names, &states))
    return false;
  for (const char* name : names) {
    if (states.installed.count(name) == 0)
      kept->push_back({name, "it is no longer installed"});
    else if (states.locked.count(name) != 0)
      kept->push_back({name, "it has been locked"});
    else if (states.vital.count(name) != 0)
      kept->push_back({name, vital_reason(name)});
    else
      kept->push_back({name, "pkg cannot match this name exactly"});
  }
  return true;
}

last_look failed(const std::string& why) { return {run_failed, {}, {}, why}; }

}  // namespace

last_look look_before_deleting(const std::vector<const char*>& ticked) {
  leaf_states leaves;
  leaf_query_result query = run_leaf_query(collect_leaf, &leaves, leaf_column::vital);
  if (query.start_error != 0 || query.read_error != 0 || query.tool_failed) {
    char line[leaf_query_failure_size];
    return failed(leaf_query_failure_line(query, line, sizeof line));
  }

  last_look look{go_on, {}, {}, {}};
  std::vector<const char*> candidates;
  std::vector<const char*> no_longer_leaves;
  for (const char* name : ticked) {
    auto leaf = leaves.find(name);
    if (leaf == leaves.end())
      no_longer_leaves.push_back(name);
    else if (leaf->second)
      look.kept.push_back({name, vital_reason(name)});
    else
      candidates.push_back(name);
  }
  explain_no_longer_leaves(no_longer_leaves, candidates, &look.kept);

  // The set's own dry run comes last. When it takes along a candidate that
  // was kept after all, or the system changed under the look, the set found
  // is looked at again: each such round keeps at least one more package,
  // unless the system goes on changing.
  set_grower grower(&look.kept);
  const size_t most_rounds = ticked.size() + 2;
  for (size_t round = 0;; ++round) {
    if (!grower.grow(candidates))
      return failed(grower.failure());
    if (grower.checked())
      break;
    if (round + 1 == most_rounds)
      return failed("pkg's answers kept changing.\n");
    candidates = grower.take_set();
  }
  if (!explain_unlisted(grower.unlisted(), &look.kept))
    return failed("pkg returned an error.\n");
  look.deletable = grower.set();

  // The notice lists the kept packages in the order of the checklist.
  auto position = [&](const std::string& name) { return std::find(ticked.begin(), ticked.end(), name) - ticked.begin(); };
  std::stable_sort(look.kept.begin(), look.kept.end(),
                   [&](const kept_package& a, const kept_package& b) { return position(a.name) < position(b.name); });
  return look;
}
