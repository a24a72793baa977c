// An end-to-end run against the real package tool: the scratch directory
// of leafsweep_run holds a root (root/) with a real package database, made
// fresh for each test from packages made once, and the program under test
// is leafsweep-real, which runs the tool over that root.
#ifndef LEAFSWEEP_TESTS_REAL_REAL_FIXTURE_H
#define LEAFSWEEP_TESTS_REAL_REAL_FIXTURE_H

#include <string>
#include <vector>

#include "fixture.h"
#include "real_tool.h"

class real_tool_run : public leafsweep_run {
 protected:
  // Makes root/ a system holding the packages.
  void add_packages(const std::vector<package>& packages);
  terminal& start_real(int rows = 24, int cols = 80) { return start(rows, cols, LEAFSWEEP_REAL); }

  std::string dir() const { return path("."); }
  tool_result tool(const std::vector<std::string>& args) const { return run_real_tool(dir(), args); }
  // What pkg's own leaf query lists now, in its order.
  std::vector<std::string> tool_leaves_now() const { return tool_leaves(dir()); }
  // NAME-VERSION of every row of the database's package table, read with
  // SQLite rather than through the tool.
  std::vector<std::string> database_rows() const;
  bool file_installed(const package& p) const;

  // Waits until the checklist is drawn and lists exactly keys.
  testing::AssertionResult wait_for_listed(const std::vector<std::string>& keys);
  // The lines of text inside a box, from below its top border down to its
  // bottom border or the line above its buttons, trailing blank lines left
  // out.
  std::vector<std::string> text_in(const box& b) const;
};

// keys without those in gone, in their order; keys sorted.
std::vector<std::string> without(std::vector<std::string> keys, const std::vector<std::string>& gone);
std::vector<std::string> sorted(std::vector<std::string> keys);

// The packages of the system by key.
const package& find_package(const std::vector<package>& system, const std::string& key);

#endif
