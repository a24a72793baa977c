#ifndef LEAFSWEEP_PKGTOOL_DRY_RUN_H
#define LEAFSWEEP_PKGTOOL_DRY_RUN_H

#include <string>
#include <vector>

// pkg delete removes the packages it is given and, without asking, every
// installed package that needs one of them, whether through a dependency or
// a capability that only they provide. Its dry run (-n) tells which packages
// a delete command would remove; nothing else does.

enum class dry_run_outcome {
  answered,        // removed holds the answer
  not_started,     // error: why the tool could not be started
  not_read,        // error: why its output could not be read whole
  tool_failed,     // it exited with another status than its answers have, or died
  not_understood,  // it exited with 0, but its answer has another shape
};

struct dry_run {
  dry_run_outcome outcome;
  int error;
  // Every package that the delete command would remove, in the tool's order
  // and words: "NAME: VERSION", perhaps followed by " (REASON)".
  std::vector<std::string> removed;
};

// Whether a package of removed is the one with the name and version key
// ("NAME-VERSION"). A name may hold ": " and a version blanks, so every
// reading of the words is tried.
bool removes(const std::string& removal, const std::string& key);

// A package of removed as "NAME-VERSION", for the user to read.
std::string removal_key(const std::string& removal);

// Reads a dry run from the tool's output and wait status. pkg lists the
// packages that it would remove under a header that counts them and ends
// the list with the count again; when it would remove nothing because every
// package named is locked, vital or gone, it says so in one line and exits
// with 7 or 1. Only those two answers are understood: a tool that words its
// answer otherwise, or whose output holds a NUL byte, stops the deletion
// rather than let it through unchecked.
dry_run read_dry_run(const std::string& output, int wait_status);

// Asks the tool what "delete -y -- names" would remove (delete_command).
dry_run run_dry_run(const std::vector<const char*>& names);

// Writes to standard error what the tool wrote there, then why a dry run
// gave no answer.
void report_dry_run_failure(const dry_run& run);

#endif
