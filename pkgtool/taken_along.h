#ifndef LEAFSWEEP_PKGTOOL_TAKEN_ALONG_H
#define LEAFSWEEP_PKGTOOL_TAKEN_ALONG_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "pkgtool/dry_run.h"

// Why pkg's delete takes other packages along with those it is given. With
// each package that goes it removes:
//   - every installed package that depends on it;
//   - every installed package that requires a capability it provides, once
//     no package that stays provides that capability;
//   - every installed package that requires a shared library it provides,
//     once no package that stays provides that library, unless the base
//     system does;
// and it refuses the whole command when a package so reached is locked.
// pkg's dry run tells what goes, not why, so finding which of many ticked
// packages brings an unticked one along would take a dry run for each. The
// links themselves are in pkg's database: read once, they tell it in
// memory. What they tell is only as good as what the queries show, so the
// last look takes it as a guess that a dry run then confirms.
class package_links {
 public:
  // Reads every package's links with a few queries over the whole database.
  // False when the tool gave no usable answer. A release whose queries know
  // no capabilities (before 2.8) gives none: the guesses then miss what
  // goes along through a capability, and the dry runs find it.
  bool read();

  // Takes in pkg's dry run of names, which the links must explain: the names
  // of the packages it lists, and the libraries and capabilities that pkg
  // did not follow although every package that provides them went, which
  // the base system must provide. False when the links do not give what
  // the dry run gives: then they cannot be trusted for any part of it.
  bool agree_with(const std::vector<const char*>& names, const dry_run& run);

  // What goes with start: the packages removed, start among them, and the
  // locked packages reached, by name, for which pkg refuses the command.
  struct reach {
    std::set<std::string> removed;
    std::vector<std::string> lockers;
  };
  reach closure(const std::vector<std::string>& start) const;

 private:
  // A package's own links to others.
  struct package {
    bool locked = false;
    std::vector<std::string> capabilities, libraries;  // that it provides
  };
  // Capabilities, or shared libraries: who provides and who requires each.
  struct provided {
    std::map<std::string, std::vector<std::string>> providers, requirers;
    // Those that pkg leaves alone however many providers go: the base
    // system has them.
    std::set<std::string> spared;
  };

  std::string name_of(const std::string& key) const;
  void learn_spared(provided& things, const std::set<std::string>& removed);
  void follow(const provided& things, const std::vector<std::string>& provides, const std::set<std::string>& removed,
              std::vector<std::string>* reached) const;

  std::map<std::string, package> packages_;
  // The packages that depend on each package name.
  std::map<std::string, std::vector<std::string>> dependents_;
  provided capabilities_, libraries_;
  // Names by key, as pkg's dry run lists them.
  std::map<std::string, std::string> names_;
};

// A ticked package that the links show to take others along, and whom.
struct link_keep {
  const char* key;
  // A locked package, by name, that needs it, for which pkg would refuse
  // the command; empty when there is none.
  std::string locker;
  // What deleting it alone would take along beyond the candidates in play,
  // in the order of their keys...
  std::vector<std::string> alone;
  // ...and, when that is nothing, what deleting it with the packages that go
  // before it would.
  std::vector<std::string> with_others;
};

// The candidates split, in their order, into those that go together and
// take nothing else along, and those kept. A candidate goes unless, with the
// ones that go before it, it would take along what is not a candidate in
// play; a candidate that goes may take along another one that comes later,
// which then goes as well. in_play holds the candidates' keys.
struct link_split {
  std::vector<const char*> go;
  std::vector<link_keep> kept;
};
link_split split_by_links(const package_links& links, const std::vector<const char*>& candidates,
                          std::set<std::string> in_play);

#endif
