#ifndef LEAFSWEEP_PKGTOOL_LAST_LOOK_H
#define LEAFSWEEP_PKGTOOL_LAST_LOOK_H

#include <string>
#include <vector>

// A ticked package that is not deleted after all, and why, in words that
// follow "name: ".
struct kept_package {
  std::string name;
  std::string reason;
};

struct last_look {
  // go_on, or run_failed when the tool could not answer: then nothing may
  // be deleted, and failure tells why.
  int outcome;
  // The ticked packages that the delete command may name, in list order:
  // the given strings. pkg's dry run of their delete command removes
  // exactly them.
  std::vector<const char*> deletable;
  // The others, in list order.
  std::vector<kept_package> kept;
  // The line for standard error when the tool could not answer, to follow
  // what it wrote there (tool_messages).
  std::string failure;
};

// The last look at the ticked packages, right before they are deleted. The
// system may have changed since the checklist was shown: a package may have
// been installed that needs a ticked one, one may have been locked or
// deleted. pkg deletes with a package everything that needs it, also
// through a capability that the leaf query does not see; it stops a whole
// delete command at pkg itself, and it leaves out what is vital or what it
// cannot match. So a package stays deletable only while the leaf query
// still lists it, and only as long as pkg's own dry run of the delete
// command removes exactly the deletable packages. Neither the seen-name
// table nor the leaf list is touched, and nothing is written: the caller
// shows what follows once its screen is closed.
last_look look_before_deleting(const std::vector<const char*>& ticked);

#endif
