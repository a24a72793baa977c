// Deleting, pass after pass: what reaches the package tool, and what each
// later pass offers.
#include <unistd.h>

#include "fixture.h"

namespace {

bool has(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

TEST_F(leafsweep_run, each_pass_offers_only_the_leaves_never_offered_before) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  tick("tmux-3.3a");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  // The question fills the screen, as large as it fits.
  EXPECT_TRUE(box_around(next_pass_question, 24, 80));
  EXPECT_EQ(t.stderr_text(), "");

  // nano is still a leaf but was offered already; the freed libraries are new.
  answer_yes(t);
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    return s.contains("libnghttp2-1.58.0") && s.contains("libevent-2.1.12") && s.contains(checklist_title);
  }));
  EXPECT_FALSE(t.contains("nano-7.2"));
  EXPECT_FALSE(t.contains("curl-8.4.0"));
  tick("libevent-2.1.12");
  press_ok();
  ASSERT_TRUE(wait_for_question());

  // Only libnghttp2 (offered in the second pass) and nano remain leaves.
  // The notice stands alone, where the question was.
  answer_yes(t);
  ASSERT_TRUE(box_around("No new leaves found", 5, 23));
  EXPECT_TRUE(alone_on_screen("No new leaves found"));
  press_ok();
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);

  auto deletes = calls_of(pkg_call_kind::delete_packages);
  ASSERT_EQ(deletes.size(), 2u);
  EXPECT_EQ(deleted_packages(deletes[0]), (std::vector<std::string>{"curl-8.4.0", "tmux-3.3a"}));
  EXPECT_EQ(deleted_packages(deletes[1]), std::vector<std::string>{"libevent-2.1.12"});
  // One for each pass, and one more before each of the two deletes.
  EXPECT_EQ(calls_of(pkg_call_kind::leaf_query).size(), 5u);
  EXPECT_EQ(installed(), (std::vector<std::string>{"libnghttp2-1.58.0", "nano-7.2", "pkg-1.20.9"}));
}

TEST_F(leafsweep_run, no_to_the_next_pass_ends_the_run) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  // The pass's and the last look's.
  EXPECT_EQ(calls_of(pkg_call_kind::leaf_query).size(), 2u);
  EXPECT_FALSE(has(installed(), "nano-7.2"));
}

TEST_F(leafsweep_run, the_tool_runs_in_the_plain_terminal_after_a_last_look) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_NE(t.output_log().find("Deinstalling tmux-3.3a..."), std::string::npos);

  // The leaf query again and a dry run, right before the delete command,
  // which gets exactly these words.
  auto all = calls();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_TRUE(is_leaf_query(all[0]));
  EXPECT_FALSE(asks_vital(all[0]));
  EXPECT_TRUE(is_leaf_query(all[1]));
  EXPECT_TRUE(asks_vital(all[1]));
  EXPECT_EQ(all[2].args, (std::vector<std::string>{PKG_STANDIN, "-o", "ALIAS=x=x", "-o", "AUTOREMOVE=false", "delete", "-C",
                                                   "-n", "-y", "--", "tmux-3.3a"}));
  EXPECT_EQ(all[3].args, (std::vector<std::string>{PKG_STANDIN, "-o", "ALIAS=x=x", "-o", "AUTOREMOVE=false", "delete", "-C",
                                                   "-y", "--", "tmux-3.3a"}));
  // No child gets anything of the program's environment but the system's
  // PATH, and each runs in its working directory.
  for (const pkg_call& c : all) {
    EXPECT_EQ(c.env, std::vector<std::string>{pkg_child_path}) << c.args[3];
    EXPECT_EQ(c.cwd, all[0].cwd);
  }
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
}

TEST_F(leafsweep_run, names_with_shell_metacharacters_reach_the_tool_unchanged) {
  // No "*", which makes pkg read every name as a pattern (last_look_test).
  const std::string odd = "odd \"$(touch owned)\" 'q' `touch owned2`;x|y&z<>?!#\\";
  install({package{odd, "1.0", "A package with an awkward name", {}, {"Described, not executed."}},
           package{"plain", "2.0", "A plain package", {}, {"Plain."}}});
  terminal& t = start(24, 100);
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_TRUE(t.wait_for_text("A package with an awkward name"));
  // Help on the awkward name, then delete it.
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("Described, not executed."));
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  t.type(" ");
  ASSERT_TRUE(t.wait_for_text("[X]"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);

  auto described = calls_of(pkg_call_kind::description_query);
  ASSERT_EQ(described.size(), 1u);
  EXPECT_EQ(described_package(described[0]), odd + "-1.0");
  EXPECT_EQ(only_delete(), std::vector<std::string>{odd + "-1.0"});
  EXPECT_EQ(installed(), std::vector<std::string>{"plain-2.0"});
  EXPECT_NE(access(path("owned").c_str(), F_OK), 0);
  EXPECT_NE(access(path("owned2").c_str(), F_OK), 0);
}

TEST_F(leafsweep_run, a_long_comment_line_is_one_entry_never_several) {
  install(small_system());
  std::string comment(3000, 'x');
  comment.replace(1023 - 7, 12, "evil-6.6\tbad");  // where a 1023-byte read would cut
  write_file("leaves.txt", "long-1.0\t" + comment + "\nshort-1.0\tShort\n");
  control("leaves_file leaves.txt\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[ ] long-1.0"));
  EXPECT_TRUE(t.contains("[ ] short-1.0"));
  EXPECT_FALSE(t.contains("evil")) << t.describe();
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
}

}  // namespace
