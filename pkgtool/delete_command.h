#ifndef LEAFSWEEP_PKGTOOL_DELETE_COMMAND_H
#define LEAFSWEEP_PKGTOOL_DELETE_COMMAND_H

#include <vector>

// The names of the ticked records of the leaf list, in list order: the
// list's own strings.
std::vector<const char*> ticked_names();

// The delete command's words: the tool, the alias guard, "-o",
// "AUTOREMOVE=false", "delete", "-C" (match_case), "-n" for a dry run, "-y",
// "--", the names,
// and a null pointer. The names are the given strings, not copies, unless
// one of them holds a "*", which would make pkg match every name as a glob
// (and "font[misc]-1.0" then no longer matches itself): then "-x" comes
// before "--", and each name is an anchored regular expression, "^NAME$"
// with every special character escaped, that matches the package exactly
// as the name would; those words live in the same block. Null when memory runs out; release it with free().
//
// pkg's AUTOREMOVE setting would make every delete also remove, afterwards,
// the packages that were installed only as dependencies and are needed no
// more; those are the next pass's leaves, for the user to decide on. The
// "--" keeps a name such as "-a-1" from being read as options ("-a" deletes
// every package).
const char** build_delete_argv(const std::vector<const char*>& names, bool dry_run);

#endif
