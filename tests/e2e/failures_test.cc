// When the package tool or the system fails: what the user is told, what the
// program's exit status says, and that nothing is deleted by mistake.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "fixture.h"

namespace {

struct delete_outcome {
  const char* label;
  const char* directive;
  // The line before the Enter prompt, which names what the delete command
  // left; none when there is no prompt.
  std::string still_installed;
};

// Failure reports name the case, not its bytes.
void PrintTo(const delete_outcome& c, std::ostream* out) { *out << c.label; }

class delete_outcomes : public leafsweep_run, public testing::WithParamInterface<delete_outcome> {};

TEST_P(delete_outcomes, a_failed_or_killed_delete_holds_the_terminal_until_enter) {
  const delete_outcome& c = GetParam();
  install(small_system());
  control(c.directive);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  press_ok();
  const bool prompt = !c.still_installed.empty();
  if (prompt) {
    ASSERT_TRUE(t.wait_for_stderr(enter_prompt));
    // The tool's own output stays readable in the plain terminal.
    EXPECT_TRUE(t.contains("Deinstalling tmux-3.3a...")) << t.describe();
    EXPECT_FALSE(t.contains(next_pass_question));
    t.type("\r");
  }
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), (prompt ? c.still_installed + enter_prompt : "") + closing_line);
  // The line comes from one state query, of the package deleted.
  std::vector<pkg_call> states = calls_of(pkg_call_kind::state_query);
  ASSERT_EQ(states.size(), prompt ? 1u : 0u);
  if (prompt) {
    EXPECT_EQ(state_query_packages(states[0]), std::vector<std::string>{"tmux-3.3a"});
  }
}

INSTANTIATE_TEST_SUITE_P(
    outcomes, delete_outcomes,
    testing::Values(delete_outcome{"succeeds", "", ""},
                    delete_outcome{"exits_1", "delete_exit 1\n", "Still installed: none.\n"},
                    delete_outcome{"exits_70", "delete_exit 70\n", "Still installed: none.\n"},
                    delete_outcome{"killed", "delete_signal 15\n", "Still installed: none.\n"},
                    delete_outcome{"fails_having_deleted_nothing", "delete_noop\ndelete_exit 1\n",
                                   "Still installed: tmux-3.3a.\n"},
                    delete_outcome{"fails_and_so_does_the_query_after_it", "delete_noop\ndelete_exit 1\nstate_exit 3\n",
                                   "Could not tell which ticked packages are still installed.\n"}),
    [](const testing::TestParamInfo<delete_outcome>& info) { return info.param.label; });

// ^C while pkg deletes stops pkg, not the program: the line names what
// pkg left, and the run goes on to the Enter prompt and the question.
TEST_F(leafsweep_run, interrupting_the_delete_stops_the_tool_and_names_what_stayed) {
  install(small_system());
  make_fifo("delete.fifo");
  // The delete removes curl, the first of its order, then waits.
  control("delete_pause delete.fifo\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  for (const char* key : {"curl-8.4.0", "nano-7.2", "tmux-3.3a"})
    tick(key);
  press_ok();
  const int writer = tool_waiting_at("delete.fifo");
  ASSERT_NE(writer, -1);
  t.send_raw("\x03");
  ASSERT_TRUE(t.wait_for_stderr(enter_prompt));
  close(writer);
  EXPECT_FALSE(t.exited());
  EXPECT_EQ(t.stderr_text(), "Still installed: nano-7.2, tmux-3.3a.\n" + enter_prompt);
  t.type("\r");
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), "Still installed: nano-7.2, tmux-3.3a.\n" + enter_prompt + closing_line);
  EXPECT_EQ(installed(), (std::vector<std::string>{"libnghttp2-1.58.0", "nano-7.2", "tmux-3.3a", "libevent-2.1.12",
                                                   "pkg-1.20.9"}));
}

TEST_F(leafsweep_run, end_of_input_at_the_enter_prompt_goes_on) {
  install(small_system());
  control("delete_exit 1\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  press_ok();
  ASSERT_TRUE(t.wait_for_stderr(enter_prompt));
  t.send_raw("\x04");  // ^D: end of input on a terminal
  ASSERT_TRUE(wait_for_question());
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
}

// The tool can be run at the start, and is gone by the time OK is pressed:
// the last look before the delete command cannot be taken.
TEST_F(leafsweep_run, a_tool_gone_before_the_delete_command_deletes_nothing) {
  std::filesystem::path link = LINKED_TOOL_PATH;
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::remove(link);
  std::filesystem::create_symlink(PKG_STANDIN, link);
  install(small_system());
  terminal& t = start(24, 80, LEAFSWEEP_LINKED_TOOL);
  ASSERT_TRUE(wait_for_checklist());
  std::filesystem::remove(link);
  tick("nano-7.2");
  press_ok();
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), "ERROR: 2!\npkg returned an error.\nThe ticked packages were not deleted.\n");
  EXPECT_EQ(installed().size(), small_system().size());
}

TEST_F(leafsweep_run, a_missing_tool_fails_the_run_before_anything_is_drawn) {
  install(small_system());
  terminal& t = start(24, 80, LEAFSWEEP_MISSING_TOOL);
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), std::string("leafsweep cannot run the package tool ") + MISSING_TOOL_PATH +
                                 ": No such file or directory.\n");
  EXPECT_EQ(t.output_log(), "");
}

struct query_failure {
  const char* label;
  const char* directive;
};

void PrintTo(const query_failure& c, std::ostream* out) { *out << c.label; }

class leaf_query_failures : public leafsweep_run, public testing::WithParamInterface<query_failure> {};

TEST_P(leaf_query_failures, without_output_end_the_run_as_a_failure) {
  install(small_system());
  write_file("empty.txt", "");
  control(GetParam().directive);
  terminal& t = start();
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), "pkg returned an error.\n");
  EXPECT_FALSE(t.contains("No leaves found"));
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
}

INSTANTIATE_TEST_SUITE_P(
    failures, leaf_query_failures,
    testing::Values(query_failure{"exits_3", "leaves_file empty.txt\nleaves_exit 3\n"},
                    query_failure{"killed", "leaves_file empty.txt\nleaves_signal 9\n"}),
    [](const testing::TestParamInfo<query_failure>& info) { return info.param.label; });

TEST_F(leafsweep_run, a_failing_leaf_query_that_printed_leaves_still_offers_them) {
  install(small_system());
  control("leaves_exit 3\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[ ] curl-8.4.0"));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

TEST_F(leafsweep_run, no_seen_name_table_means_status_69_and_nothing_else) {
  install(small_system());
  terminal& t = start(24, 80, LEAFSWEEP_DEMO, {std::string("LD_PRELOAD=") + FAIL_HCREATE_LIBRARY});
  EXPECT_EQ(exit_code(), 69);
  EXPECT_EQ(t.stderr_text(), "Cannot create hash table.\n");
  EXPECT_TRUE(calls().empty());
}

// The leaf query is the first child, the leaf query of the last look the
// second, the dry run the third and the delete command the fourth.
struct no_child {
  const char* label;
  const char* failing_vfork;
  const char* box;  // the box that says so, or null
  const char* errors;
};

void PrintTo(const no_child& c, std::ostream* out) { *out << c.label; }

class no_children : public leafsweep_run, public testing::WithParamInterface<no_child> {};

TEST_P(no_children, for_the_last_look_or_the_delete_command_are_a_failure) {
  const no_child& c = GetParam();
  install(small_system());
  terminal& t = start(24, 80, LEAFSWEEP_DEMO,
                      {std::string("LD_PRELOAD=") + FAIL_VFORK_LIBRARY,
                       std::string("LEAFSWEEP_TEST_FAIL_VFORK_AT=") + c.failing_vfork});
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  if (c.box != nullptr) {
    ASSERT_TRUE(box_around(c.box, 5, 18));
    press_ok();
  }
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), c.errors);
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
}

INSTANTIATE_TEST_SUITE_P(
    children, no_children,
    testing::Values(no_child{"the_leaf_query", "2", nullptr, "Error executing pkg.\nThe ticked packages were not deleted.\n"},
                    no_child{"the_dry_run", "3", nullptr, "Error executing pkg.\nThe ticked packages were not deleted.\n"},
                    no_child{"the_delete_command", "4", "Can not fork()", ""}),
    [](const testing::TestParamInfo<no_child>& info) { return info.param.label; });

struct detached_run {
  int status = -1;
  std::string error_text;
};

// Runs the program as cron would: in a session of its own with no
// controlling terminal, standard input and output on /dev/null and standard
// error on a pipe.
detached_run run_without_terminal(const std::string& dir, std::vector<std::string> env) {
  detached_run result;
  int err_pipe[2];
  if (pipe(err_pipe) != 0) {
    ADD_FAILURE() << "pipe: " << strerror(errno);
    return result;
  }
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = LEAFSWEEP_DEMO;
  pid_t pid = fork();
  if (pid == 0) {
    char* argv[] = {program.data(), nullptr};
    int null_fd = open("/dev/null", O_RDWR);
    if (setsid() < 0 || null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(null_fd, 1) < 0 || dup2(err_pipe[1], 2) < 0 ||
        chdir(dir.c_str()) != 0)
      _exit(126);
    close(err_pipe[0]);
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  close(err_pipe[1]);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << strerror(errno);
    close(err_pipe[0]);
    return result;
  }
  char buffer[4096];
  ssize_t n;
  while ((n = read(err_pipe[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0)
      result.error_text.append(buffer, static_cast<size_t>(n));
  }
  close(err_pipe[0]);
  int wait_status;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return result;
}

TEST_F(leafsweep_run, without_a_terminal_it_says_so_and_runs_no_query) {
  install(small_system());
  detached_run run = run_without_terminal(path(""), env_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.error_text, "leafsweep needs a terminal: run it from a terminal or the console.\n");
  EXPECT_TRUE(calls().empty());
}

// With its standard streams redirected the program still finds its
// controlling terminal and draws there. (Standard error is the harness's
// pipe, so one stream always stays on the pty: with none left there, the pty
// would close as no shell's terminal does.)
struct redirection {
  const char* label;
  bool stdin_from_null, stdout_to_null;
};

void PrintTo(const redirection& c, std::ostream* out) { *out << c.label; }

class redirected_streams : public leafsweep_run, public testing::WithParamInterface<redirection> {};

TEST_P(redirected_streams, still_use_the_controlling_terminal) {
  install(small_system());
  terminal& t = start_redirected(GetParam().stdin_from_null, GetParam().stdout_to_null);
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
}

INSTANTIATE_TEST_SUITE_P(streams, redirected_streams,
                         testing::Values(redirection{"stdin_from_dev_null", true, false},
                                         redirection{"stdout_to_dev_null", false, true}),
                         [](const testing::TestParamInfo<redirection>& info) { return info.param.label; });

// A standard stream closed at start is opened on the terminal: the rest of
// the run cannot take its descriptor, the checklist reads the keys, the
// tool's progress and the Enter prompt show on the screen, and the prompt
// waits for Enter there.
struct closed_stream {
  const char* label;
  int fd;
};

void PrintTo(const closed_stream& c, std::ostream* out) { *out << c.label; }

class closed_streams : public leafsweep_run, public testing::WithParamInterface<closed_stream> {};

TEST_P(closed_streams, are_opened_on_the_terminal_and_the_whole_run_works) {
  install(small_system());
  // The delete does its work, then fails.
  control("delete_exit 1\n");
  const std::string all_deleted = "Still installed: none.\n";
  run_options options = options_for();
  options.closed_fds = {GetParam().fd};
  terminal& t = start_with(options);
  bool errors_on_screen = GetParam().fd == 2;
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(t.wait_for([&](const terminal& s) {
    return s.contains("Deinstalling nano-7.2...") &&
           (errors_on_screen ? s.contains("Press ENTER to continue...") : s.stderr_text() == all_deleted + enter_prompt);
  }));
  EXPECT_FALSE(t.contains(next_pass_question));
  t.type("\r");
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  if (errors_on_screen) {
    EXPECT_EQ(t.stderr_text(), "");
    auto prompt = t.find("Press ENTER to continue...");
    auto closing = t.find("Program Terminated Successfully");
    EXPECT_TRUE(prompt && closing && closing->row > prompt->row) << t.describe();
  } else {
    EXPECT_EQ(t.stderr_text(), all_deleted + enter_prompt + closing_line);
  }
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
}

INSTANTIATE_TEST_SUITE_P(streams, closed_streams,
                         testing::Values(closed_stream{"stdin", 0}, closed_stream{"stdout", 1},
                                         closed_stream{"stderr", 2}),
                         [](const testing::TestParamInfo<closed_stream>& info) { return info.param.label; });

}  // namespace
