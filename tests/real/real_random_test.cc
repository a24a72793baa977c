// Random systems against the real package tool: each case makes a small
// system from a seed (dependencies, capabilities with one or two
// providers, locked, vital and automatic packages, pkg itself, a name with
// "*", twins whose names differ only in case, sometimes AUTOREMOVE or
// matching without case in pkg.conf), shows its checklist, changes the
// system while the checklist is open (a package that needs a shown leaf is
// installed, a leaf is locked or deleted), ticks a few leaves and presses
// OK. Whatever follows, two things must hold afterwards: nothing but
// ticked packages went, and every ticked package still installed is named
// in the notice of kept packages with a reason that is true.
//
// The cases run a fixed list of seeds, each over a fresh root, and a
// failure names its seed. LEAFSWEEP_RANDOM_SEED=N makes this test run
// the one case seed_N instead, which prints what it did even when nothing
// was wrong and keeps its scratch directory when something was: a replay.
#include <fnmatch.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "real_fixture.h"

namespace {

// Tall and wide, so that the checklist and a notice of up to eight lines
// fit on one screen without scrolling or wrapping.
constexpr int screen_rows = 50;
constexpr int screen_cols = 160;
constexpr size_t most_ticked = 8;
// 10 cases of 16 seeds each. A seed takes 0.3 to 0.6 s on 2 cores, about a
// second more on the first run, which makes its packages; with the rest of
// the real-tool suite under ctest -j2 that is 30 to 60 s, 100 s on the
// first run, and each case stays far below its time limit.
constexpr unsigned seeds_per_case = 16;
constexpr unsigned case_count = 10;

// Each release of pkg gets seeds of its own, so that the runs against all
// of them see more systems than one run does.
unsigned first_seed() {
  const std::map<std::string, unsigned> by_release{
      {"2.8.4", 1001}, {"2.0.6", 2001}, {"1.21.3", 3001}, {"1.19.2", 4001}};
  auto found = by_release.find(REAL_PKG_VERSION);
  return found != by_release.end() ? found->second : 5001;
}

const char* replay_seed() {
  const char* seed = std::getenv("LEAFSWEEP_RANDOM_SEED");
  return seed != nullptr && *seed != '\0' ? seed : nullptr;
}

// The seeds of each case: the fixed list, or the one seed to replay.
std::vector<std::vector<unsigned>> seed_cases() {
  if (const char* seed = replay_seed())
    return {{static_cast<unsigned>(std::strtoul(seed, nullptr, 10))}};
  std::vector<std::vector<unsigned>> cases(case_count);
  for (unsigned i = 0; i < case_count * seeds_per_case; ++i)
    cases[i / seeds_per_case].push_back(first_seed() + i);
  return cases;
}

std::string case_name(const testing::TestParamInfo<std::vector<unsigned>>& info) {
  const std::vector<unsigned>& seeds = info.param;
  if (seeds.size() == 1)
    return "seed_" + std::to_string(seeds.front());
  return "seeds_" + std::to_string(seeds.front()) + "_to_" + std::to_string(seeds.back());
}

// A package added while the checklist is open, which needs a shown leaf
// through a dependency or a capability, and is perhaps locked then.
struct later_package {
  package p;
  std::string needs;  // the name of the package it needs
  bool lock;
};

struct change {
  enum { add, lock, remove } kind;
  size_t later;      // add: the index in later
  std::string name;  // lock, remove: a shown leaf's name
};

struct random_system {
  std::vector<package> installed;  // in an order pkg add takes
  std::vector<std::string> automatic;
  std::vector<later_package> later;
  std::vector<change> changes;
  bool autoremove = false;
  // pkg.conf says to match names without case, as releases before 2.8 do
  // by default.
  bool without_case = false;
};

bool is_glob(const std::string& name) { return name.find_first_of("*?[") != std::string::npos; }
bool is_tool_itself(const std::string& name) { return name == "pkg" || name == "pkg-devel"; }

// Random numbers from a seed that mean the same on every system: the
// engine is standard, but what the standard library's distributions and
// shuffle make of it is not, and a failure seen on one system must replay
// on another.
class dice {
 public:
  explicit dice(unsigned seed) : engine_(seed) {}
  // From low to high, both included; the slight bias does no harm here.
  int between(int low, int high) {
    return low + static_cast<int>(engine_() % static_cast<unsigned long>(high - low + 1));
  }
  bool chance(int in, int of) { return between(1, of) <= in; }
  template <typename T>
  const T& pick(const std::vector<T>& from) {
    return from[static_cast<size_t>(between(0, static_cast<int>(from.size()) - 1))];
  }
  template <typename T>
  void shuffle(std::vector<T>& items) {
    for (size_t i = items.size(); i > 1; --i)
      std::swap(items[i - 1], items[static_cast<size_t>(between(0, static_cast<int>(i) - 1))]);
  }

 private:
  std::mt19937 engine_;
};

class name_maker : public dice {
 public:
  explicit name_maker(unsigned seed) : dice(seed) {}
  std::string fresh() {
    static const std::vector<std::string> syllables = {"ab",  "bel", "cor", "dun", "ex",  "fir", "gol", "hex", "iv",
                                                       "jun", "kel", "lum", "mar", "nox", "opa", "pir", "qua", "rho",
                                                       "sel", "tor", "umb", "vex", "wyn", "xan", "yor", "zed"};
    for (;;) {
      std::string name = pick(syllables) + pick(syllables);
      if (chance(1, 4))
        name = (chance(1, 2) ? "lib" : "py311-") + name;
      if (chance(1, 5))
        name += "-" + pick(syllables);
      if (take(name))
        return name;
    }
  }
  bool take(const std::string& name) { return used_.insert(name).second; }

 private:
  std::set<std::string> used_;
};

std::string random_version(name_maker& names) {
  std::string version = std::to_string(names.between(0, 9)) + "." + std::to_string(names.between(0, 20));
  if (names.chance(1, 3))
    version += "." + std::to_string(names.between(0, 9));
  if (names.chance(1, 4))
    version += "_" + std::to_string(names.between(1, 3));
  if (names.chance(1, 6))
    version += "," + std::to_string(names.between(1, 2));
  return version;
}

package make_package(const std::string& name, const std::string& version, unsigned seed) {
  // The comments differ, so that the fixture can tell which entry is
  // highlighted.
  return {name, version, "The package " + name, {}, {name + ", made for seed " + std::to_string(seed) + "."}};
}

// The names of the packages that no other one depends on and that are not
// locked: what the leaf query lists.
std::vector<std::string> model_leaves(const std::vector<package>& system) {
  std::set<std::string> needed;
  for (const package& p : system)
    needed.insert(p.depends.begin(), p.depends.end());
  std::vector<std::string> leaves;
  for (const package& p : system) {
    if (needed.count(p.name) == 0 && !p.locked)
      leaves.push_back(p.name);
  }
  return leaves;
}

random_system make_random_system(unsigned seed) {
  name_maker names(seed);
  random_system s;
  const int count = names.between(8, 16);
  for (int i = 0; i < count; ++i)
    s.installed.push_back(make_package(names.fresh(), random_version(names), seed));
  // pkg itself, as on every system, or its development version.
  if (names.chance(1, 3)) {
    const std::string name = names.chance(1, 4) ? "pkg-devel" : "pkg";
    names.take(name);
    package& tool = s.installed[static_cast<size_t>(names.between(0, count - 1))];
    tool = make_package(name, tool.version, seed);
  }
  // Dependencies only on packages earlier in the list: no cycles, and the
  // list is an order in which pkg add takes them.
  for (size_t i = 1; i < s.installed.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (names.chance(1, 7))
        s.installed[i].depends.push_back(s.installed[j].name);
    }
  }
  // Capabilities: each required by a later package than its providers,
  // since pkg add refuses a package whose requirement nothing installed
  // provides.
  const int capabilities = names.between(0, 2);
  for (int c = 0; c < capabilities; ++c) {
    const std::string capability = "capability-" + std::to_string(c);
    const int requirer = names.between(2, count - 1);
    const int first = names.between(0, requirer - 1);
    s.installed[static_cast<size_t>(first)].provides.push_back(capability);
    if (names.chance(1, 2)) {
      const int second = names.between(0, requirer - 1);
      if (second != first)
        s.installed[static_cast<size_t>(second)].provides.push_back(capability);
    }
    s.installed[static_cast<size_t>(requirer)].requires.push_back(capability);
  }
  // The last package, which nothing can depend on, stays an unlocked leaf,
  // so that the checklist is never empty.
  for (size_t i = 0; i + 1 < s.installed.size(); ++i) {
    package& p = s.installed[i];
    p.locked = names.chance(1, 10);
    p.vital = names.chance(1, 10);
    if (names.chance(1, 4))
      s.automatic.push_back(p.name);
  }
  // A name with "*", which pkg delete reads as a glob that also matches its
  // twin without the "*". Nothing depends on either, and the test's own
  // commands never name the one with "*", since pkg would read it as a glob
  // there too.
  if (names.chance(1, 5)) {
    std::string stem, tail;
    do {
      stem = names.fresh();
      tail = names.fresh();
    } while (!names.take(stem + tail));
    const std::string version = random_version(names);
    s.installed.push_back(make_package(stem + tail, version, seed));
    s.installed.push_back(make_package(stem + "*" + tail, version, seed));
  }
  // A capability that two leaves provide, which pkg deletes its requirer
  // with only when both go.
  const std::vector<std::string> before_shared = model_leaves(s.installed);
  if (before_shared.size() >= 2 && names.chance(1, 3)) {
    const std::string& first = names.pick(before_shared);
    const std::string& second = names.pick(before_shared);
    if (first != second && !is_glob(first) && !is_glob(second)) {
      for (package& p : s.installed) {
        if (p.name == first || p.name == second)
          p.provides.push_back("capability-shared");
      }
      s.installed.push_back(make_package(names.fresh(), random_version(names), seed));
      s.installed.back().requires.push_back("capability-shared");
    }
  }
  s.autoremove = names.chance(1, 3);

  // The changes while the checklist is open, to shown leaves other than
  // those whose name is a glob. The test's own commands match names with
  // case, as the program's do.
  std::vector<std::string> leaves;
  for (const std::string& name : model_leaves(s.installed)) {
    if (!is_glob(name))
      leaves.push_back(name);
  }
  const int changes = leaves.empty() ? 0 : names.between(0, 3);
  for (int c = 0; c < changes; ++c) {
    const std::string target = names.pick(leaves);
    const int kind = names.between(0, 2);
    if (kind == 0) {
      later_package l{make_package(names.fresh(), random_version(names), seed), target, names.chance(1, 3)};
      const package& needed = *std::find_if(s.installed.begin(), s.installed.end(),
                                            [&](const package& p) { return p.name == target; });
      // Through a capability the leaf provides, sometimes.
      if (!needed.provides.empty() && names.chance(1, 2))
        l.p.requires.push_back(needed.provides.front());
      else
        l.p.depends.push_back(target);
      s.changes.push_back({change::add, s.later.size(), ""});
      s.later.push_back(l);
    } else {
      s.changes.push_back({kind == 1 ? change::lock : change::remove, 0, target});
    }
  }
  // A twin of a leaf whose name differs only in case, which a name that
  // matched without case would name too.
  if (!leaves.empty() && names.chance(1, 4)) {
    const std::string& leaf = names.pick(leaves);
    std::string twin = leaf;
    twin[0] = static_cast<char>(twin[0] - 'a' + 'A');
    if (names.take(twin)) {
      const package& original = *std::find_if(s.installed.begin(), s.installed.end(),
                                              [&](const package& p) { return p.name == leaf; });
      s.installed.push_back(make_package(twin, names.chance(1, 2) ? original.version : random_version(names), seed));
    }
  }
  s.without_case = names.chance(1, 3);
  return s;
}

// A package as the database holds it.
struct db_package {
  std::string name;
  bool locked = false, vital = false;
  std::vector<std::string> depends;  // names
  std::vector<std::string> provides, requires;
};

// The whole database by key, read with SQLite.
using database = std::map<std::string, db_package>;

class random_run : public real_tool_run, public testing::WithParamInterface<std::vector<unsigned>> {
 protected:
  // One seed's run, over a fresh root in the scratch directory.
  void run_seed(unsigned seed);
  database read_database() const;
  bool installed_now(const std::string& name) const;
  // The lines "KEY: REASON" of the notice of kept packages on the screen,
  // each KEY one of ticked.
  std::vector<std::string> notice_lines(const std::vector<std::string>& ticked) const;
  // Follows what comes after OK: the notice, the Enter prompt, the
  // question, until the program exits; ended is a failure when the run
  // got stuck.
  struct after_ok {
    testing::AssertionResult ended;
    std::vector<std::string> notice;  // its lines
  };
  after_ok follow_to_the_end(const std::vector<std::string>& ticked);
};

database random_run::read_database() const {
  database packages;
  sqlite3* db = nullptr;
  const std::string file = path("root/var/db/pkg/local.sqlite");
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return packages;
  }
  std::map<long long, std::string> keys;
  auto each = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& take) {
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &select, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
      return;
    }
    while (sqlite3_step(select) == SQLITE_ROW)
      take(select);
    sqlite3_finalize(select);
  };
  auto text = [](sqlite3_stmt* s, int column) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, column))); };
  each("SELECT id, name, version, locked, vital FROM packages", [&](sqlite3_stmt* s) {
    const std::string key = text(s, 1) + "-" + text(s, 2);
    keys[sqlite3_column_int64(s, 0)] = key;
    db_package& r = packages[key];
    r.name = text(s, 1);
    r.locked = sqlite3_column_int(s, 3) != 0;
    r.vital = sqlite3_column_int(s, 4) != 0;
  });
  each("SELECT package_id, name FROM deps", [&](sqlite3_stmt* s) {
    packages[keys[sqlite3_column_int64(s, 0)]].depends.push_back(text(s, 1));
  });
  each("SELECT pp.package_id, p.provide FROM pkg_provides pp JOIN provides p ON p.id = pp.provide_id",
       [&](sqlite3_stmt* s) { packages[keys[sqlite3_column_int64(s, 0)]].provides.push_back(text(s, 1)); });
  each("SELECT pr.package_id, r.require FROM pkg_requires pr JOIN requires r ON r.id = pr.require_id",
       [&](sqlite3_stmt* s) { packages[keys[sqlite3_column_int64(s, 0)]].requires.push_back(text(s, 1)); });
  sqlite3_close(db);
  return packages;
}

bool random_run::installed_now(const std::string& name) const {
  const database now = read_database();
  return std::any_of(now.begin(), now.end(), [&](const auto& entry) { return entry.second.name == name; });
}

std::vector<std::string> random_run::notice_lines(const std::vector<std::string>& ticked) const {
  std::vector<std::string> lines;
  std::optional<box> b = term().box_containing(kept_heading);
  if (!b)
    return lines;
  bool past_heading = false;
  for (const std::string& line : text_in(*b)) {
    const bool starts_entry = std::any_of(ticked.begin(), ticked.end(), [&](const std::string& key) {
      return line.compare(0, key.size() + 2, key + ": ") == 0;
    });
    // The dialog library wraps a line too long for the box at a blank.
    if (past_heading && !line.empty() && !starts_entry && !lines.empty())
      lines.back() += " " + line;
    else if (past_heading && !line.empty())
      lines.push_back(line);
    past_heading = past_heading || line == kept_heading;
  }
  return lines;
}

// Whether the notice is drawn whole: its box holds the heading and, on a
// row of its own inside, the OK button.
bool notice_drawn(const terminal& t) {
  std::optional<box> b = t.box_containing(kept_heading);
  if (!b)
    return false;
  for (int r = b->top + 1; r < b->bottom(); ++r) {
    std::vector<std::string> row = cells(t.row(r));
    std::string inside;
    for (int c = b->left + 1; c < b->right() && c < static_cast<int>(row.size()); ++c)
      inside += row[static_cast<size_t>(c)];
    if (inside.find("<  OK  >") != std::string::npos)
      return true;
  }
  return false;
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

random_run::after_ok random_run::follow_to_the_end(const std::vector<std::string>& ticked) {
  after_ok result{testing::AssertionSuccess(), {}};
  bool noticed = false, asked = false;
  size_t prompts = 0;
  for (int step = 0; step < 10; ++step) {
    auto question_up = [&](const terminal& t) {
      return !asked && t.contains(next_pass_question) && t.contains("< Yes >") && t.contains("< No  >");
    };
    auto prompt_up = [&](const terminal& t) { return count_of(t.stderr_text(), enter_prompt) > prompts; };
    auto notice_up = [&](const terminal& t) { return !noticed && notice_drawn(t); };
    // The delete command may take a while on a loaded machine.
    if (!term().wait_for(
            [&](const terminal& t) { return t.exited() || question_up(t) || prompt_up(t) || notice_up(t); }, 120)) {
      result.ended = testing::AssertionFailure() << "the run got stuck after OK";
      return result;
    }
    if (term().exited())
      return result;
    if (question_up(term())) {
      answer_no(term());
      asked = true;
    } else if (prompt_up(term())) {
      term().key(VTERM_KEY_ENTER);
      ++prompts;
    } else {
      result.notice = notice_lines(ticked);
      term().key(VTERM_KEY_ENTER);
      noticed = true;
    }
  }
  result.ended = testing::AssertionFailure() << "the run did not end after OK";
  return result;
}

// Every package that pkg would delete together with start: those that
// depend on one of them, or require a capability that only they provide,
// and so on; and, when a name holds "*", every package whose name or key
// that name matches as a glob, as pkg delete then matches every name.
std::set<std::string> taken_along(const database& db, const std::set<std::string>& start) {
  std::set<std::string> reached = start;
  const bool glob = std::any_of(start.begin(), start.end(), [](const std::string& k) { return is_glob(k); });
  if (glob) {
    for (const auto& [key, p] : db) {
      for (const std::string& pattern : start) {
        if (fnmatch(pattern.c_str(), key.c_str(), 0) == 0 || fnmatch(pattern.c_str(), p.name.c_str(), 0) == 0)
          reached.insert(key);
      }
    }
  }
  auto provides = [](const db_package& p, const std::string& c) {
    return std::find(p.provides.begin(), p.provides.end(), c) != p.provides.end();
  };
  // pkg cascades through a capability only when no package that stays
  // provides it.
  auto lost = [&](const std::string& c) {
    bool provided = false;
    for (const auto& [key, p] : db) {
      if (provides(p, c)) {
        if (reached.count(key) == 0)
          return false;
        provided = true;
      }
    }
    return provided;
  };
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [key, p] : db) {
      if (reached.count(key) != 0)
        continue;
      const bool needs = std::any_of(p.depends.begin(), p.depends.end(),
                                     [&](const std::string& name) {
                                       return std::any_of(reached.begin(), reached.end(), [&](const std::string& k) {
                                         auto found = db.find(k);
                                         return found != db.end() && found->second.name == name;
                                       });
                                     }) ||
                         std::any_of(p.requires.begin(), p.requires.end(), lost);
      if (needs) {
        reached.insert(key);
        grew = true;
      }
    }
  }
  return reached;
}

std::set<std::string> still_installed(const std::set<std::string>& keys, const database& db) {
  std::set<std::string> installed;
  for (const std::string& key : keys) {
    if (db.count(key) != 0)
      installed.insert(key);
  }
  return installed;
}

bool starts_with(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// The keys of "A, B, C and N more" (or "A and B", or "A").
std::vector<std::string> listed_keys(std::string list) {
  size_t and_more = list.rfind(" and ");
  if (and_more != std::string::npos && list.size() > 5 && list.compare(list.size() - 5, 5, " more") == 0) {
    const std::string number = list.substr(and_more + 5, list.size() - 5 - and_more - 5);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number == "0")
      return {};
    list.erase(and_more);
  } else if (and_more != std::string::npos) {
    list.replace(and_more, 5, ", ");
  }
  std::vector<std::string> keys;
  for (size_t start = 0; start <= list.size();) {
    size_t end = std::min(list.find(", ", start), list.size());
    keys.push_back(list.substr(start, end - start));
    start = end + 2;
  }
  return keys;
}

// Why the reason the notice gives for key is not true afterwards, judged
// by the database then; "" when it is true.
std::string untrue(const std::string& key, const std::string& reason, const std::set<std::string>& ticked,
                   const database& after) {
  auto now = after.find(key);
  const bool installed = now != after.end();
  if (reason == "it is no longer installed")
    return installed ? "it is installed" : "";
  if (!installed)
    return "the notice says it is not deleted, yet it is gone";
  const db_package& r = now->second;
  if (reason == "it has been locked")
    return r.locked ? "" : "it is not locked";
  if (reason == "it is no longer a leaf") {
    const bool needed = std::any_of(after.begin(), after.end(), [&](const auto& entry) {
      return std::find(entry.second.depends.begin(), entry.second.depends.end(), r.name) != entry.second.depends.end();
    });
    return needed || r.locked ? "" : "nothing depends on it and it is not locked";
  }
  if (reason == "pkg does not delete itself")
    return is_tool_itself(r.name) ? "" : "its name is neither pkg nor pkg-devel";
  if (reason == "it is vital (pkg set -v 0 " + key + " would allow deleting it)")
    return r.vital ? "" : "it is not vital";
  if (reason == "pkg cannot match this name exactly")
    return is_glob(r.name) ? "" : "its name holds no glob character";
  const std::string alone = "deleting it would also delete ", together = "deleting it with the others would also delete ";
  if (starts_with(reason, alone) || starts_with(reason, together)) {
    const bool with_others = starts_with(reason, together);
    const std::vector<std::string> keys = listed_keys(reason.substr((with_others ? together : alone).size()));
    if (keys.empty())
      return "the list of packages cannot be read";
    const std::set<std::string> along = taken_along(after, with_others ? still_installed(ticked, after) : std::set<std::string>{key});
    for (const std::string& other : keys) {
      if (other == key)
        return "it names the package itself";
      if (after.count(other) == 0)
        return other + " is not installed";
      if (along.count(other) == 0)
        return other + " needs neither it" + std::string(with_others ? " nor the others" : "");
    }
    return "";
  }
  const std::string needs = " is locked and needs it";
  if (reason.size() > needs.size() && reason.compare(reason.size() - needs.size(), needs.size(), needs) == 0) {
    const std::string name = reason.substr(0, reason.size() - needs.size());
    const std::set<std::string> along = taken_along(after, still_installed(ticked, after));
    for (const auto& [other, o] : after) {
      if (o.name == name)
        return !o.locked ? name + " is not locked" : along.count(other) == 0 ? name + " does not need it" : "";
    }
    return name + " is not installed";
  }
  return "the reason is none the program gives";
}

std::string describe(const random_system& s) {
  std::ostringstream out;
  for (const package& p : s.installed) {
    out << "  " << p.key() << (p.locked ? " locked" : "") << (p.vital ? " vital" : "");
    if (std::find(s.automatic.begin(), s.automatic.end(), p.name) != s.automatic.end())
      out << " automatic";
    for (const std::string& d : p.depends)
      out << " depends:" << d;
    for (const std::string& c : p.provides)
      out << " provides:" << c;
    for (const std::string& c : p.requires)
      out << " requires:" << c;
    out << "\n";
  }
  out << "  AUTOREMOVE in pkg.conf: " << (s.autoremove ? "yes" : "no") << "\n";
  out << "  CASE_SENSITIVE_MATCH: false in pkg.conf: " << (s.without_case ? "yes" : "no") << "\n";
  return out.str();
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items)
    text += (text.empty() ? "" : ", ") + item;
  return text;
}

void random_run::run_seed(unsigned seed) {
  SCOPED_TRACE("seed " + std::to_string(seed) + " with pkg " REAL_PKG_VERSION "; replay it with LEAFSWEEP_RANDOM_SEED=" +
               std::to_string(seed) + " " REAL_BUILD_DIR "/tests/real/real_random_test");
  const random_system s = make_random_system(seed);
  std::vector<package> every = s.installed;
  for (const later_package& l : s.later)
    every.push_back(l.p);
  std::string story = "the system:\n" + describe(s);

  // The root, made as add_to_new_root makes one, from packages made for
  // every package of the case, those added later included.
  write_file("pkg.conf", std::string(s.autoremove ? "AUTOREMOVE: true\n" : "") +
                             (s.without_case ? "CASE_SENSITIVE_MATCH: false\n" : ""));
  const std::string made = made_packages(every, REAL_PACKAGE_CACHE);
  std::filesystem::create_directories(path("root/var/db/pkg"));
  std::vector<std::string> add{"add"};
  for (const package& p : s.installed)
    add.push_back(made + "/" + p.key() + ".pkg");
  tool_result added = tool(add);
  ASSERT_TRUE(added.ok()) << added.output << added.errors << story;
  for (const package& p : s.installed) {
    if (p.locked) {
      tool_result locked = tool({"lock", "-C", "-y", p.name});
      ASSERT_TRUE(locked.ok()) << locked.output << locked.errors;
    }
  }
  for (const std::string& name : s.automatic) {
    tool_result marked = tool({"set", "-C", "-y", "-A", "1", name});
    ASSERT_TRUE(marked.ok()) << marked.output << marked.errors;
  }
  remember_comments(every);

  const std::vector<std::string> shown = tool_leaves_now();
  ASSERT_FALSE(shown.empty()) << story;
  terminal& t = start_real(screen_rows, screen_cols);
  ASSERT_TRUE(wait_for_listed(shown)) << story;

  // The ticks: often the leaves that are about to change and both
  // providers of a capability (pkg deletes its requirers only with the
  // last one), and others.
  dice random(seed ^ 0x9e3779b9u);
  std::vector<std::string> ticked;
  auto tick_shown = [&](const std::string& name) {
    for (const package& p : s.installed) {
      if (p.name == name && std::find(shown.begin(), shown.end(), p.key()) != shown.end() &&
          std::find(ticked.begin(), ticked.end(), p.key()) == ticked.end())
        ticked.push_back(p.key());
    }
  };
  for (const change& c : s.changes) {
    if (random.chance(3, 4))
      tick_shown(c.kind == change::add ? s.later[c.later].needs : c.name);
  }
  std::map<std::string, std::vector<std::string>> providers;
  for (const package& p : s.installed) {
    for (const std::string& capability : p.provides)
      providers[capability].push_back(p.name);
  }
  for (const auto& [capability, names] : providers) {
    if (names.size() > 1 && random.chance(2, 3)) {
      for (const std::string& name : names)
        tick_shown(name);
    }
  }
  std::vector<std::string> others = shown;
  random.shuffle(others);
  const size_t wanted = static_cast<size_t>(random.between(1, static_cast<int>(std::min(most_ticked, shown.size()))));
  for (const std::string& key : others) {
    if (ticked.size() >= wanted)
      break;
    if (std::find(ticked.begin(), ticked.end(), key) == ticked.end())
      ticked.push_back(key);
  }
  if (ticked.size() > most_ticked)
    ticked.resize(most_ticked);
  for (const std::string& key : ticked)
    tick(key);
  story += "ticked: " + joined(ticked) + "\n";

  // The changes meanwhile; one whose package is gone by now, or that pkg
  // would refuse, is left out.
  for (const change& c : s.changes) {
    std::vector<std::vector<std::string>> commands;
    if (c.kind == change::add) {
      const later_package& l = s.later[c.later];
      if (!installed_now(l.needs))
        continue;
      commands.push_back({"add", made + "/" + l.p.key() + ".pkg"});
      if (l.lock)
        commands.push_back({"lock", "-C", "-y", l.p.name});
    } else if (!installed_now(c.name)) {
      continue;
    } else if (c.kind == change::lock) {
      // pkg before 2.8 fails to lock a package that is locked already.
      const database now = read_database();
      if (std::none_of(now.begin(), now.end(), [&](const auto& e) { return e.second.name == c.name && e.second.locked; }))
        commands.push_back({"lock", "-C", "-y", c.name});
    } else {
      const database now = read_database();
      auto found = std::find_if(now.begin(), now.end(), [&](const auto& e) { return e.second.name == c.name; });
      // pkg refuses to delete itself, a vital package, a locked one and one
      // that a locked package needs.
      const std::set<std::string> along = taken_along(now, {found->first});
      if (is_tool_itself(c.name) || found->second.vital ||
          std::any_of(along.begin(), along.end(), [&](const std::string& key) { return now.at(key).locked; }))
        continue;
      commands.push_back({"delete", "-C", "-y", c.name});
    }
    for (const std::vector<std::string>& command : commands) {
      story += "meanwhile: pkg";
      for (const std::string& word : command)
        story += " " + (starts_with(word, made) ? word.substr(made.size() + 1) : word);
      story += "\n";
      tool_result changed = tool(command);
      ASSERT_TRUE(changed.ok()) << changed.output << changed.errors << story;
    }
  }

  const std::vector<std::string> before = database_rows();
  press_ok();
  const after_ok followed = follow_to_the_end(ticked);
  const testing::AssertionResult& ended = followed.ended;
  const std::vector<std::string>& notice = followed.notice;
  const int status = term().wait_exit(60);
  story += notice.empty() ? "notice: none\n" : "notice:\n";
  for (const std::string& line : notice)
    story += "  " + line + "\n";
  story += "exit status: " + std::to_string(status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
           "\nstandard error:\n" + t.stderr_text();
  const database after = read_database();
  const std::vector<std::string> rows = database_rows();
  const std::set<std::string> ticked_set(ticked.begin(), ticked.end());
  const std::vector<std::string> removed = without(before, rows);
  story += "\nremoved: " + joined(removed) + "\n";
  // What is wrong, all of it, so that one report tells the whole run.
  std::vector<std::string> faults;
  if (!ended)
    faults.push_back(ended.message());

  // Nothing but ticked packages went.
  for (const std::string& key : removed) {
    if (ticked_set.count(key) == 0)
      faults.push_back(key + " was deleted but not ticked");
  }

  // The notice names only ticked packages, each once, with a true reason.
  std::map<std::string, std::string> reasons;
  for (const std::string& line : notice) {
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) {
      faults.push_back("a line of the notice is not \"KEY: REASON\": " + line);
      continue;
    }
    const std::string key = line.substr(0, colon), reason = line.substr(colon + 2);
    if (ticked_set.count(key) == 0)
      faults.push_back("the notice names " + key + ", which was not ticked");
    if (!reasons.emplace(key, reason).second)
      faults.push_back("the notice names " + key + " twice");
    const std::string why = untrue(key, reason, ticked_set, after);
    if (!why.empty())
      faults.push_back("the notice says \"" + line + "\", but " + why);
  }

  // Every ticked package still installed is in the notice.
  for (const std::string& key : ticked) {
    if (after.count(key) != 0 && reasons.count(key) == 0)
      faults.push_back(key + " was ticked and is still installed, but the notice does not name it");
  }

  if (!faults.empty()) {
    std::string report;
    for (const std::string& fault : faults)
      report += "- " + fault + "\n";
    ADD_FAILURE() << "seed " << seed << ":\n" << report << story;
  } else if (replay_seed() != nullptr) {
    std::cout << "seed " << seed << ", no fault:\n" << story;
  }
}

TEST_P(random_run, only_ticked_packages_go_and_kept_ones_are_explained) {
  for (unsigned seed : GetParam()) {
    // Each seed starts from an empty scratch directory.
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
      std::filesystem::remove_all(entry.path());
    run_seed(seed);
  }
}

INSTANTIATE_TEST_SUITE_P(random, random_run, testing::ValuesIn(seed_cases()), case_name);

}  // namespace
