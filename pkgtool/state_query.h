#ifndef LEAFSWEEP_PKGTOOL_STATE_QUERY_H
#define LEAFSWEEP_PKGTOOL_STATE_QUERY_H

#include <set>
#include <string>
#include <vector>

// Which packages are installed, and of those which are locked or vital, by
// key.
struct package_states {
  std::set<std::string> installed;
  std::set<std::string> locked;
  std::set<std::string> vital;
};

// Asks the tool whether each of names is installed, locked and vital:
// "name-version<TAB>0 or 1<TAB>0 or 1" for each installed one. False when
// the tool gave no answer.
bool query_states(const std::vector<const char*>& names, package_states* states);

#endif
