// The delete command's words, how its end is judged, and how children start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pkgtool/child_process.h"
#include "pkgtool/delete_command.h"
#include "pkgtool/delete_selected.h"
#include "pkgtool/leaf_list.h"
#include "pkgtool/tool_path.h"

namespace {

struct argv_case {
  const char* label;
  std::vector<int> ticks;  // one state per record
  std::vector<std::string> names;  // expected names after "--"
};

// Failure reports name the case, not its bytes.
void PrintTo(const argv_case& c, std::ostream* out) { *out << c.label; }

class delete_argv : public testing::TestWithParam<argv_case> {
 protected:
  void TearDown() override { free_leaf_list(); }
};

TEST_P(delete_argv, holds_the_ticked_names_in_list_order_after_the_options_then_null) {
  const argv_case& c = GetParam();
  for (size_t i = 0; i < c.ticks.size(); ++i) {
    // Names that read as options must stay names.
    std::string name = (i % 2 == 0 ? "-a" : "p") + std::to_string(i) + "-1";
    ASSERT_TRUE(append_leaf(name.c_str(), "comment"));
    leaf_items[i].state = c.ticks[i];
  }
  std::vector<const char*> names = ticked_names();
  ASSERT_EQ(names.size(), c.names.size());
  for (bool dry_run : {false, true}) {
    const char** words = build_delete_argv(names, dry_run);
    ASSERT_NE(words, nullptr);
    std::vector<std::string> expected{pkg_tool_path, "-o", "ALIAS=x=x", "-o", "AUTOREMOVE=false", "delete", "-C"};
    if (dry_run)
      expected.emplace_back("-n");
    expected.insert(expected.end(), {"-y", "--"});
    expected.insert(expected.end(), c.names.begin(), c.names.end());
    std::vector<std::string> got;
    for (size_t i = 0; i < expected.size() && words[i] != nullptr; ++i)
      got.emplace_back(words[i]);
    EXPECT_EQ(got, expected) << (dry_run ? "dry run" : "delete");
    EXPECT_EQ(words[expected.size()], nullptr);
    // The names are the list's own strings, not copies.
    for (size_t i = 0, w = expected.size() - c.names.size(); i < c.ticks.size(); ++i) {
      if (c.ticks[i] != 0) {
        EXPECT_EQ(words[w++], leaf_items[i].name);
      }
    }
    free(words);
  }
}

INSTANTIATE_TEST_SUITE_P(
    cases, delete_argv,
    testing::Values(argv_case{"empty_list", {}, {}},
                    argv_case{"nothing_ticked", {0, 0, 0}, {}},
                    argv_case{"all_ticked", {1, 1, 1}, {"-a0-1", "p1-1", "-a2-1"}},
                    argv_case{"middle_only", {0, 1, 0}, {"p1-1"}},
                    argv_case{"any_non_zero_state_is_a_tick", {-1, 0, 7}, {"-a0-1", "-a2-1"}}),
    [](const testing::TestParamInfo<argv_case>& info) { return info.param.label; });

// A "*" in one name would make pkg read every name as a glob; then each name
// is an anchored regular expression that matches only the package itself.
TEST(delete_argv, matches_every_name_exactly_when_one_holds_a_star) {
  const std::vector<const char*> names{"lib*compat-1.0", "font[misc]-1.0", "a.b+c?-(1){2}|^$\\", "-a-1"};
  for (bool dry_run : {false, true}) {
    const char** words = build_delete_argv(names, dry_run);
    ASSERT_NE(words, nullptr);
    std::vector<std::string> got;
    for (size_t i = 0; words[i] != nullptr; ++i)
      got.emplace_back(words[i]);
    std::vector<std::string> expected{pkg_tool_path, "-o", "ALIAS=x=x", "-o", "AUTOREMOVE=false", "delete", "-C"};
    if (dry_run)
      expected.emplace_back("-n");
    expected.insert(expected.end(), {"-y", "-x", "--", "^lib\\*compat-1\\.0$", "^font\\[misc\\]-1\\.0$",
                                     "^a\\.b\\+c\\?-\\(1\\)\\{2\\}\\|\\^\\$\\\\$", "^-a-1$"});
    EXPECT_EQ(got, expected);
    free(words);
  }
}

// Real wait statuses, made by real children.
int status_of_exit(int code) {
  pid_t pid = fork();
  if (pid == 0)
    _exit(code);
  int status;
  waitpid(pid, &status, 0);
  return status;
}

int status_of_signal(int number) {
  pid_t pid = fork();
  if (pid == 0) {
    (void)signal(number, SIG_DFL);
    (void)raise(number);
    _exit(0);
  }
  int status;
  waitpid(pid, &status, 0);
  return status;
}

TEST(enter_prompt, follows_failure_and_death_but_not_success_stop_or_continue) {
  EXPECT_FALSE(needs_enter_prompt(status_of_exit(0)));
  EXPECT_TRUE(needs_enter_prompt(status_of_exit(1)));
  EXPECT_TRUE(needs_enter_prompt(status_of_exit(255)));
  EXPECT_TRUE(needs_enter_prompt(status_of_signal(SIGTERM)));
  EXPECT_TRUE(needs_enter_prompt(status_of_signal(SIGKILL)));
  EXPECT_TRUE(needs_enter_prompt(-1));

  // This child stays alive until killed, so that the wait reports the
  // continue and not its end.
  pid_t pid = fork();
  if (pid == 0) {
    (void)raise(SIGSTOP);
    for (;;)
      pause();
  }
  int stopped;
  ASSERT_EQ(waitpid(pid, &stopped, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(stopped));
  EXPECT_FALSE(needs_enter_prompt(stopped));
  kill(pid, SIGCONT);
  int continued;
  ASSERT_EQ(waitpid(pid, &continued, WCONTINUED), pid);
  ASSERT_TRUE(WIFCONTINUED(continued));
  EXPECT_FALSE(needs_enter_prompt(continued));
  kill(pid, SIGKILL);
  waitpid(pid, &continued, 0);
}

// Runs start_child with standard error sent to a pipe; returns what it wrote.
std::string child_stderr(const char* const argv[], int* status) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  int saved = dup(STDERR_FILENO);
  dup2(ends[1], STDERR_FILENO);
  close(ends[1]);
  pid_t pid = start_child(argv, -1, -1, -1);
  dup2(saved, STDERR_FILENO);
  close(saved);
  *status = pid == -1 ? -1 : wait_for_child(pid);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(ends[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  close(ends[0]);
  return text;
}

TEST(start_child, a_tool_that_cannot_start_says_errno_and_exits_1) {
  const char* const missing[] = {"/nonexistent/leafsweep/pkg", "delete", "-y", "x-1", nullptr};
  int status;
  EXPECT_EQ(child_stderr(missing, &status), "ERROR: 2!\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);

  const char* const not_a_program[] = {"/", nullptr};
  EXPECT_EQ(child_stderr(not_a_program, &status), "ERROR: 13!\n");
}

// Everything a query through tool_pipe wrote; its wait status goes to status.
std::string query_output(const char* const argv[], int* status) {
  tool_pipe query;
  EXPECT_TRUE(query.open(argv));
  std::string out;
  char buffer[256];
  size_t n;
  while (query.stream() != nullptr && (n = fread(buffer, 1, sizeof buffer, query.stream())) > 0)
    out.append(buffer, n);
  *status = query.close();
  return out;
}

TEST(tool_pipe, passes_every_word_unchanged_and_returns_the_exit_status) {
  const char* const argv[] = {"/bin/sh", "-c", "printf '%s|' \"$@\"; exit 3", "sh",
                              "a b", "$(touch /tmp/leafsweep-owned)", "\"quoted\\\"", "`x`;y", nullptr};
  int status = -1;
  EXPECT_EQ(query_output(argv, &status), "a b|$(touch /tmp/leafsweep-owned)|\"quoted\\\"|`x`;y|");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST(tool_pipe, gives_the_child_the_system_path_and_nothing_else) {
  ASSERT_EQ(setenv("PKG_DBDIR", "/elsewhere", 1), 0);
  const char* const argv[] = {"/usr/bin/env", nullptr};
  int status = -1;
  EXPECT_EQ(query_output(argv, &status), "PATH=/sbin:/bin:/usr/sbin:/usr/bin:/usr/local/sbin:/usr/local/bin\n");
  EXPECT_TRUE(exited_cleanly(status));
  (void)unsetenv("PKG_DBDIR");
}

}  // namespace
