// Reading pkg's dry run of a delete command: the answers pkg 2.8.4 gives,
// and every other shape stopping the deletion.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pkgtool/dry_run.h"

namespace {

// A real wait status, made by a real child.
int exit_status(int code) {
  pid_t pid = fork();
  if (pid == 0)
    _exit(code);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

const char* const removes_two =
    "Checking integrity... done (0 conflicting)\n"
    "Deinstallation has been requested for the following 2 packages (of 0 packages in the universe):\n"
    "\n"
    "Installed packages to be REMOVED:\n"
    "\tgit-gui: 2.42.0\n"
    "\tgit: 2.42.0_1\n"
    "\n"
    "Number of packages to be removed: 2\n";

struct dry_run_case {
  const char* label;
  std::string output;
  int exit_code;
  dry_run_outcome outcome;
  std::vector<std::string> removed;  // as keys: none of them was asked about
};

void PrintTo(const dry_run_case& c, std::ostream* out) { *out << c.label; }

class dry_run_answers : public testing::TestWithParam<dry_run_case> {};

TEST_P(dry_run_answers, are_read_or_refused) {
  const dry_run_case& c = GetParam();
  dry_run read = read_dry_run(c.output, "", exit_status(c.exit_code), {});
  EXPECT_EQ(read.outcome, c.outcome);
  EXPECT_EQ(read.others, c.removed);
}

const dry_run_outcome answered = dry_run_outcome::answered;
const dry_run_outcome not_understood = dry_run_outcome::not_understood;
const dry_run_outcome tool_failed = dry_run_outcome::tool_failed;

INSTANTIATE_TEST_SUITE_P(
    cases, dry_run_answers,
    testing::Values(
        dry_run_case{"what_pkg_removes", removes_two, 0, answered, {"git-gui-2.42.0", "git-2.42.0_1"}},
        dry_run_case{"after_notices_and_the_locked_or_vital_ones",
                     "Updating database digests format: ......... done\n"
                     "No packages matched for pattern 'gone-1'\n\n"
                     "Checking integrity... done (0 conflicting)\n"
                     "The following package(s) are locked or vital and may not be removed:\n\n"
                     "\tdoas (vital)\n\n"
                     "Deinstallation has been requested for the following 2 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n"
                     "\t-a: 1\n"
                     "\tpkg: 2.8.4\n\n"
                     "Number of packages to be removed: 2\n\n"
                     "The operation will free 12 MiB.\n",
                     0, answered, {"-a-1", "pkg-2.8.4"}},
        dry_run_case{"with_a_reason_and_odd_names",
                     "Deinstallation has been requested for the following 2 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n"
                     "\tlib:x: 1.0,1 (vulnerability found)\n"
                     "\ttwo  spaces: 1.0;touch owned\n\n"
                     "Number of packages to be removed: 2\n",
                     0, answered, {"lib:x-1.0,1", "two  spaces-1.0;touch owned"}},
        dry_run_case{"nothing_because_all_are_locked_or_vital",
                     "Checking integrity... done (0 conflicting)\n"
                     "The following package(s) are locked or vital and may not be removed:\n\n\tdoas (vital)\n\n"
                     "1 packages requested for removal: 1 locked, 0 missing\n",
                     7, answered, {}},
        dry_run_case{"nothing_because_all_are_gone",
                     "No packages matched for pattern 'gone-1'\n\nChecking integrity... done (0 conflicting)\n"
                     "1 packages requested for removal: 0 locked, 1 missing\n",
                     1, answered, {}},
        dry_run_case{"a_failure_without_an_answer", "", 1, tool_failed, {}},
        dry_run_case{"the_nothing_line_with_another_status",
                     "1 packages requested for removal: 1 locked, 0 missing\n", 3, tool_failed, {}},
        dry_run_case{"an_answer_with_a_failing_status", removes_two, 1, tool_failed, {}},
        dry_run_case{"nothing_at_all", "", 0, not_understood, {}},
        dry_run_case{"the_nothing_line_with_status_0", "1 packages requested for removal: 0 locked, 1 missing\n", 0,
                     not_understood, {}},
        dry_run_case{"another_wording",
                     "Deinstallation was requested for the following 2 packages:\n\n"
                     "Installed packages to be REMOVED:\n\tgit-gui: 2.42.0\n\tgit: 2.42.0_1\n\n"
                     "Number of packages to be removed: 2\n",
                     0, not_understood, {}},
        dry_run_case{"fewer_lines_than_counted",
                     "Deinstallation has been requested for the following 3 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n\tgit-gui: 2.42.0\n\tgit: 2.42.0_1\n\n"
                     "Number of packages to be removed: 3\n",
                     0, not_understood, {}},
        dry_run_case{"another_section_after_the_list",
                     "Deinstallation has been requested for the following 3 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n\tgit: 2.42.0_1\n\n"
                     "Installed packages to be REMOVED as well:\n\tgit-gui: 2.42.0\n\tgitk: 2.42.0\n\n"
                     "Number of packages to be removed: 3\n",
                     0, not_understood, {}},
        dry_run_case{"the_list_under_another_heading",
                     "Deinstallation has been requested for the following 1 packages (of 0 packages in the universe):\n\n"
                     "Packages to be REMOVED:\n\tgit: 2.42.0_1\n\nNumber of packages to be removed: 1\n",
                     0, not_understood, {}},
        dry_run_case{"a_line_of_another_shape",
                     "Deinstallation has been requested for the following 2 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n\tgit-2.42.0_1\n\tgit: \n\nNumber of packages to be removed: 2\n",
                     0, not_understood, {}},
        dry_run_case{"no_count_at_the_end",
                     "Deinstallation has been requested for the following 2 packages (of 0 packages in the universe):\n\n"
                     "Installed packages to be REMOVED:\n\tgit-gui: 2.42.0\n\tgit: 2.42.0_1\n",
                     0, not_understood, {}},
        dry_run_case{"a_nul_byte", std::string(removes_two) + std::string(1, '\0') + "\tgitk: 2.42.0\n", 0,
                     not_understood, {}},
        dry_run_case{"two_answers",
                     std::string(removes_two) + removes_two, 0, not_understood, {}}),
    [](const testing::TestParamInfo<dry_run_case>& info) { return info.param.label; });

// What a line of the list names, however a name or version is made: the
// names asked about are told apart from the others once, by their keys.
TEST(dry_run_answer, names_a_package_by_any_reading_of_its_words) {
  struct reading {
    const char* removal;
    const char* key;
    const char* name;  // as pkg lists it, or empty: the key names another package
  };
  for (const reading& r : std::vector<reading>{
           {"git: 2.42.0_1", "git-2.42.0_1", "git"},
           {"git: 2.42.0_1", "git-2.42.0", ""},
           {"git: 2.42.0", "git-2.42.0_1", ""},
           {"git-gui: 2.42.0", "git-2.42.0", ""},
           {"lib: x: 1.0", "lib: x-1.0", "lib: x"},
           {"lib: x: 1.0", "lib-x: 1.0", "lib"},
           {"two  spaces: 1.0;touch owned", "two  spaces-1.0;touch owned", "two  spaces"},
           {"git: 2.42.0_1 (vulnerability found)", "git-2.42.0_1", "git"},
           {"git: 2.42.0_1 (vulnerability found)", "git-2.42.0_1 (vulnerability found)", "git"},
           {"git: 2.42.0_1 (x", "git-2.42.0_1", ""},
           {"-a: 1", "-a-1", "-a"},
           {"pkg: 2.8.4", "pkg-2.8.4", "pkg"},
       }) {
    const std::string output = std::string("Deinstallation has been requested for the following 1 packages (of 0 packages in the universe):\n\n"
                                           "Installed packages to be REMOVED:\n\t") +
                               r.removal + "\n\nNumber of packages to be removed: 1\n";
    dry_run read = read_dry_run(output, "", exit_status(0), {r.key});
    ASSERT_EQ(read.outcome, answered) << r.removal;
    EXPECT_EQ(read.listed, std::vector<std::string>{r.name}) << r.removal << " / " << r.key;
    EXPECT_EQ(read.others.size(), *r.name == '\0' ? 1u : 0u) << r.removal << " / " << r.key;
    EXPECT_EQ(removes_exactly(read), *r.name != '\0') << r.removal << " / " << r.key;
  }
  EXPECT_EQ(read_dry_run(removes_two, "", exit_status(0), {"git-2.42.0_1"}).others, std::vector<std::string>{"git-gui-2.42.0"});
  dry_run both = read_dry_run(removes_two, "", exit_status(0), {"git-2.42.0_1", "git-gui-2.42.0", "gitk-2.42.0"});
  EXPECT_EQ(both.listed, (std::vector<std::string>{"git", "git-gui", ""}));
  EXPECT_TRUE(both.others.empty());
  EXPECT_FALSE(removes_exactly(both));
}

// pkg refuses even the dry run when a locked package needs what it would
// remove: an answer, with the locked packages in pkg's words.
struct refusal_case {
  const char* label;
  std::string errors;
  int exit_code;
  dry_run_outcome outcome;
  std::vector<std::string> lockers;
};

void PrintTo(const refusal_case& c, std::ostream* out) { *out << c.label; }

class dry_run_refusals : public testing::TestWithParam<refusal_case> {};

TEST_P(dry_run_refusals, name_the_locked_packages_or_fail) {
  const refusal_case& c = GetParam();
  dry_run read = read_dry_run("", c.errors, exit_status(c.exit_code), {"capprov-1.0"});
  EXPECT_EQ(read.outcome, c.outcome);
  EXPECT_EQ(read.lockers, c.lockers);
  EXPECT_FALSE(removes_exactly(read));
}

INSTANTIATE_TEST_SUITE_P(
    cases, dry_run_refusals,
    testing::Values(
        refusal_case{"one_locked", "pkg: capreq is locked cannot delete capprov\nCannot perform request\n", 1,
                     dry_run_outcome::refused, {"capreq"}},
        refusal_case{"two_locked_once_each",
                     "pkg: a b is locked cannot delete capprov\npkg: c is locked cannot delete x\n"
                     "pkg: a b is locked cannot delete y\nCannot perform request\n",
                     1, dry_run_outcome::refused, {"a b", "c"}},
        refusal_case{"without_the_closing_line", "pkg: capreq is locked cannot delete capprov\n", 1, tool_failed, {}},
        refusal_case{"with_another_status", "pkg: capreq is locked cannot delete capprov\nCannot perform request\n", 3,
                     tool_failed, {}},
        refusal_case{"another_failure", "pkg: sqlite error\nCannot perform request\n", 1, tool_failed, {}},
        refusal_case{"a_nul_byte", std::string("pkg: capreq is locked cannot delete capprov\n\0Cannot perform request\n", 68), 1,
                     not_understood, {}}),
    [](const testing::TestParamInfo<refusal_case>& info) { return info.param.label; });

TEST(dry_run_answer, a_death_by_signal_is_a_failure) {
  pid_t pid = fork();
  if (pid == 0) {
    for (;;)
      pause();
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(read_dry_run(removes_two, "", status, {}).outcome, tool_failed);
  EXPECT_EQ(read_dry_run(removes_two, "", -1, {}).outcome, tool_failed);
}

}  // namespace
