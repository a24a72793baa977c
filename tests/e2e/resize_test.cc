// A resize of the terminal while the program reads cuts nothing short: the
// stand-in tool stops halfway through its output, the test resizes the pty
// (the kernel sends SIGWINCH) and waits until the program has taken the
// signal in, then lets the tool go on.
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "fixture.h"

namespace {

// Twelve leaves whose output is cut halfway through a name: "foxtro" and
// "t-1.0" would each pass for a package.
std::vector<package> twelve_leaves() {
  std::vector<package> packages;
  for (const char* name : {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
                           "juliett", "kilo", "lima"})
    packages.push_back({name, "1.0", std::string("The ") + name + " tool", {}, {"About " + std::string(name) + "."}});
  packages[0].comment = "The alpha tool, the first of twelve that are leaves";
  return packages;
}

class resize_while_reading : public leafsweep_run {
 protected:
  // Makes the FIFO the stand-in waits at, halfway through its output.
  void pause_at(const std::string& fifo) { make_fifo(fifo); }

  // Waits until the stand-in waits at the FIFO, resizes the terminal, waits
  // until the program has taken the resize in, and lets the tool go on.
  void resize_in_the_pause(const std::string& fifo) {
    const int writer = tool_waiting_at(fifo);
    ASSERT_NE(writer, -1);
    term().resize(term().rows() + 6, term().cols() + 20);
    bool taken = term().wait_resize_taken();
    close(writer);
    ASSERT_TRUE(taken);
  }

  // No child of the program starts with a signal blocked.
  void expect_no_child_blocks_signals() {
    for (const pkg_call& c : calls())
      EXPECT_TRUE(c.blocked.empty()) << c.args[1] << " started with signal " << c.blocked[0] << " blocked";
  }
};

TEST_F(resize_while_reading, the_leaf_query_keeps_every_leaf_and_no_fragment) {
  std::vector<package> leaves = twelve_leaves();
  install(leaves);
  std::string output;
  std::vector<std::string> keys;
  for (const package& p : leaves) {
    output += p.key() + "\t" + p.comment + "\n";
    keys.push_back(p.key());
  }
  // The pause falls inside a name, where a line cut in two would give a
  // name of its own.
  const size_t half = output.size() / 2;
  ASSERT_EQ(output.substr(half - 6, 11), "foxtrot-1.0");

  pause_at("leaves.fifo");
  // The first leaf query only: the last look before the delete runs it again.
  control("leaves_pause@1 leaves.fifo\n");
  terminal& t = start();
  resize_in_the_pause("leaves.fifo");
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_EQ(checklist_entries(t), keys) << t.describe();

  tick("lima-1.0");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"lima-1.0"});
  expect_no_child_blocks_signals();
}

TEST_F(resize_while_reading, help_shows_the_whole_description) {
  // 32 lines of 64 bytes: the pause comes after 1024 bytes, where one read
  // of the description ends, so that a read interrupted there has nothing
  // in hand and looks like the end. The terminal is large enough for the
  // Help box to show every line at once.
  package nano = small_system()[2];
  ASSERT_EQ(nano.name, "nano");
  nano.description.clear();
  for (int line = 1; line <= 32; ++line) {
    std::string text = "Line " + std::to_string(line) + " of the description of GNU nano";
    nano.description.push_back(text + std::string(63 - text.size(), '.'));
  }
  std::vector<package> packages = small_system();
  packages[2] = nano;
  install(packages);

  pause_at("describe.fifo");
  control("describe_pause describe.fifo\n");
  terminal& t = start(60, 160);
  ASSERT_TRUE(wait_for_checklist());
  highlight("nano-7.2");
  press_help(t);
  resize_in_the_pause("describe.fifo");
  // The box keeps the size of the pass, and every line stands in it.
  ASSERT_TRUE(box_around("Line 1 of the description", 60 - 4, 160 - 4));
  EXPECT_TRUE(t.wait_for([&](const terminal& s) {
    return std::all_of(nano.description.begin(), nano.description.end(),
                       [&](const std::string& line) { return s.contains(line); });
  }));

  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  expect_no_child_blocks_signals();
}

TEST_F(resize_while_reading, the_enter_prompt_still_waits_for_enter) {
  install(small_system());
  control("delete_exit 1\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  press_ok();
  ASSERT_TRUE(t.wait_for_stderr(enter_prompt));
  t.resize(30, 100);
  ASSERT_TRUE(t.wait_resize_taken());
  // The tool's messages are still there to be read, under the prompt.
  EXPECT_FALSE(t.exited());
  EXPECT_TRUE(t.contains("Deinstalling tmux-3.3a...")) << t.describe();
  EXPECT_FALSE(t.contains(next_pass_question));
  EXPECT_EQ(t.stderr_text(), "Still installed: none.\n" + enter_prompt);

  t.type("\r");
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), "Still installed: none.\n" + enter_prompt + closing_line);
  expect_no_child_blocks_signals();
}

}  // namespace
