// The whole run under valgrind's memcheck: two passes, Help, and a failed
// delete with its Enter prompt, with no invalid read or write and no use of
// an uninitialised value anywhere on the way.
#include <fstream>
#include <sstream>

#include "fixture.h"

namespace {

// valgrind makes the program many times slower; every screen gets this long.
constexpr double slow_s = 120;
// The status valgrind exits with when it has reported an error.
constexpr int memcheck_failed = 97;

std::string read_text(const std::string& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The count of every "ERROR SUMMARY: N errors" line in a valgrind log, one
// for each process that ended under valgrind.
std::vector<std::string> error_summaries(const std::string& log) {
  std::vector<std::string> counts;
  static const std::string head = "ERROR SUMMARY: ";
  for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
    size_t start = at + head.size();
    counts.push_back(log.substr(start, log.find(' ', start) - start));
  }
  return counts;
}

class under_valgrind : public leafsweep_run {
 protected:
  bool wait_for_screen(const std::vector<std::string>& texts) {
    return term().wait_for(
        [&](const terminal& t) {
          for (const std::string& text : texts) {
            if (!t.contains(text))
              return false;
          }
          return true;
        },
        slow_s);
  }
  bool wait_for_checklist_with(const std::string& key) {
    return wait_for_screen({checklist_title, "<  OK  >", "<Cancel>", "< Help >", "] " + key});
  }
  bool wait_for_question() { return wait_for_screen({next_pass_question, "< Yes >", "< No  >"}); }
};

TEST_F(under_valgrind, two_passes_with_help_and_a_failed_delete_make_no_memory_error) {
  if (!std::string(VALGRIND_SKIP_REASON).empty())
    GTEST_SKIP() << VALGRIND_SKIP_REASON;

  install(small_system());
  control("delete_exit@1 1\n");
  // Only the program is checked: the package tool it starts runs natively.
  terminal& t = start(24, 80, VALGRIND_PROGRAM, {},
                      {"--error-exitcode=" + std::to_string(memcheck_failed), "--log-file=" + path("valgrind.log"),
                       "--track-origins=yes", "--leak-check=no", "--trace-children=no", LEAFSWEEP_DEMO});

  ASSERT_TRUE(wait_for_checklist_with("tmux-3.3a"));
  tick("curl-8.4.0");
  tick("tmux-3.3a");
  // Help on a ticked entry.
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("tmux lets you switch between programs.", slow_s));
  press_ok();
  ASSERT_TRUE(wait_for_checklist_with("tmux-3.3a"));
  ASSERT_TRUE(t.wait_for_text("[X] tmux-3.3a", slow_s));
  press_ok();

  ASSERT_TRUE(t.wait_for_stderr(enter_prompt, slow_s));
  t.type("\r");
  ASSERT_TRUE(wait_for_question());
  t.key(VTERM_KEY_ENTER);  // Yes

  ASSERT_TRUE(wait_for_checklist_with("libevent-2.1.12"));
  tick("libevent-2.1.12");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);

  int status = t.wait_exit(slow_s);
  ASSERT_TRUE(status != -1 && WIFEXITED(status)) << t.describe();
  std::string log = read_text(path("valgrind.log"));
  EXPECT_EQ(WEXITSTATUS(status), 0) << log;
  EXPECT_EQ(error_summaries(log), std::vector<std::string>{"0"}) << log;
  EXPECT_EQ(t.stderr_text(), "Still installed: none.\n" + enter_prompt + closing_line);

  auto deletes = calls_of(pkg_call_kind::delete_packages);
  ASSERT_EQ(deletes.size(), 2u);
  EXPECT_EQ(deleted_packages(deletes[0]), (std::vector<std::string>{"curl-8.4.0", "tmux-3.3a"}));
  EXPECT_EQ(deleted_packages(deletes[1]), std::vector<std::string>{"libevent-2.1.12"});
  auto described = calls_of(pkg_call_kind::description_query);
  ASSERT_EQ(described.size(), 1u);
  EXPECT_EQ(described_package(described[0]), "tmux-3.3a");
}

}  // namespace
