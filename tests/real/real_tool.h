// The real package tool over scratch roots: packages made from manifests,
// added to a fresh root, and the tool's own answers about that root. Every
// call that touches a root goes through the wrapper (REAL_PKG_WRAPPER),
// which runs pkg over DIR/root for the working directory DIR.
#ifndef LEAFSWEEP_TESTS_REAL_REAL_TOOL_H
#define LEAFSWEEP_TESTS_REAL_REAL_TOOL_H

#include <string>
#include <vector>

#include "package.h"

struct tool_result {
  int status;          // raw wait status
  std::string output;  // standard output
  std::string errors;  // standard error
  bool ok() const;     // exited with 0
};

// Runs argv (argv[0] an absolute path) in dir with an empty environment and
// standard input /dev/null. Throws std::runtime_error if that cannot be done.
tool_result run_in(const std::string& dir, const std::vector<std::string>& argv);

// The wrapper with args in dir, that is over dir/root.
tool_result run_real_tool(const std::string& dir, const std::vector<std::string>& args);

// The file a package installs, relative to a root.
std::string package_file(const package& p);

// The packages' .pkg files, made once for a set of manifests: they stay in
// a directory of cache_dir named after a digest of the manifests and the
// tool's path, and a later call reuses them. Returns that directory.
std::string made_packages(const std::vector<package>& packages, const std::string& cache_dir);

// Makes dir/root a new system holding the packages (their dependencies
// first) and locks those marked locked. Throws std::runtime_error, with the
// tool's output, on any failure.
void add_to_new_root(const std::string& dir, const std::vector<package>& packages, const std::string& cache_dir);

// The lines of a tool's output, without their line feeds.
std::vector<std::string> lines_of(const std::string& output);

// The keys pkg's own leaf query lists over dir/root, in its order. Throws
// if the query fails.
std::vector<std::string> tool_leaves(const std::string& dir);

#endif
