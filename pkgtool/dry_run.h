#ifndef LEAFSWEEP_PKGTOOL_DRY_RUN_H
#define LEAFSWEEP_PKGTOOL_DRY_RUN_H

#include <string>
#include <vector>

// pkg delete removes the packages it is given and, without asking, every
// installed package that needs one of them, whether through a dependency or
// a capability that only they provide. Its dry run (-n) tells which packages
// a delete command would remove; nothing else does.

enum class dry_run_outcome {
  answered,        // listed and others hold the answer
  refused,         // a locked package needs one of them: lockers say which
  not_started,     // error: why the tool could not be started
  not_read,        // error: why its output could not be read whole
  tool_failed,     // it exited with another status than its answers have, or died
  not_understood,  // it exited with 0, but its answer has another shape
};

struct dry_run {
  dry_run_outcome outcome;
  int error;
  // For each name the dry run was asked about, in order: the package's name
  // as pkg lists it, the NAME of "NAME: VERSION", or empty when pkg would
  // not remove that package.
  std::vector<std::string> listed;
  // Every other package that pkg would remove, as "NAME-VERSION", in the
  // tool's order.
  std::vector<std::string> others;
  // The NAME of each of others, as pkg lists it.
  std::vector<std::string> other_names;
  // The locked packages that pkg named when it refused, in its words.
  std::vector<std::string> lockers;
};

// Reads a dry run of "delete names" from the tool's output, what it wrote on
// standard error and its wait status, and matches what it lists against the
// names once. pkg lists the packages that it would remove under a header
// that counts them and ends the list with the count again; when it would
// remove nothing because every package named is locked, vital or gone, it
// says so in one line and exits with 7 or 1; when a locked package needs one
// of them, it refuses on standard error and exits with 1. Only those answers
// are understood: a tool that words its answer otherwise, or whose output
// holds a NUL byte, stops the deletion rather than let it through unchecked.
dry_run read_dry_run(const std::string& output, const std::string& errors, int wait_status,
                     const std::vector<const char*>& names);

// Asks the tool what the delete command of names would remove
// (delete_command).
dry_run run_dry_run(const std::vector<const char*>& names);

// Whether every name is listed and nothing else: the delete command of the
// names would remove exactly them.
bool removes_exactly(const dry_run& run);

// The line that tells why a dry run gave no answer, for standard error once
// no screen is up, after what the tool wrote there (tool_messages).
std::string dry_run_failure_line(const dry_run& run);

#endif
