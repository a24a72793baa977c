// The harness checked against sample_dialog, a small program built on the
// same dialog library as leafsweep.
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sample_payload.h"
#include "terminal.h"

namespace {

run_options sample(std::vector<std::string> args) {
  run_options options;
  options.program = SAMPLE_DIALOG_PATH;
  options.args = std::move(args);
  return options;
}

bool exited_with(int status, int code) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code; }

// The row on which text is shown, or -1.
int row_of(const terminal& t, const std::string& text) {
  auto at = t.find(text);
  return at ? at->row : -1;
}

TEST(dialog_screens, msgbox_is_measured_exactly_and_plain_output_follows_it) {
  terminal t(sample({"msgbox"}));
  // The message box is 5 by 9, centred on 24 by 80.
  const box expected{9, 35, 5, 9};
  ASSERT_TRUE(t.wait_for([&](const terminal& s) { return s.box_containing("Hello") == expected; }));
  EXPECT_EQ(t.boxes(), std::vector<box>{expected});

  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(t.wait_for_text("msgbox returned 0"));
  EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
}

TEST(dialog_screens, resize_reaches_the_program) {
  terminal t(sample({"msgbox"}));
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.box_containing("Hello") == box{9, 35, 5, 9}; }));
  t.resize(30, 100);
  EXPECT_EQ(t.rows(), 30);
  EXPECT_EQ(t.cols(), 100);
  // Only a program that learnt the new size centres its box there.
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.box_containing("Hello") == box{12, 45, 5, 9}; }));
}

TEST(dialog_screens, checklist_follows_arrow_keys_and_space) {
  terminal t(sample({"checklist"}));
  const int bottom_row = t.rows() - 1;
  ASSERT_TRUE(t.wait_for([&](const terminal& s) {
    return s.contains("zeta") && s.contains("< Help >") && row_of(s, "help for alpha") == bottom_row &&
           s.boxes().size() == 2;
  }));

  // The list is a box inside the dialog's box, whose title is on its top
  // border.
  auto list = t.box_containing("alpha");
  auto dialog = t.box_containing("Pick some letters");
  ASSERT_TRUE(list && dialog) << t.describe();
  EXPECT_EQ(t.box_containing("Letters"), dialog);
  EXPECT_GT(list->top, dialog->top);
  EXPECT_GT(list->left, dialog->left);
  EXPECT_LT(list->bottom(), dialog->bottom());
  EXPECT_LT(list->right(), dialog->right());

  t.key(VTERM_KEY_DOWN);
  ASSERT_TRUE(t.wait_for([&](const terminal& s) { return row_of(s, "help for beta") == bottom_row; }));
  t.type(" ");
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    int beta = row_of(s, "beta");
    return beta >= 0 && s.row(beta).find("[X]") != std::string::npos;
  }));
  EXPECT_EQ(t.screen().find("[X]"), t.screen().rfind("[X]")) << "only beta is ticked\n" << t.describe();

  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(t.wait_for_text("checklist returned 0: beta"));
  EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
}

TEST(child_process, stderr_is_captured_apart_from_the_screen_byte_for_byte) {
  terminal t(sample({"stderr", "3"}));
  // The payload is larger than a pipe holds: the child only gets to exit
  // if the harness reads it while waiting.
  EXPECT_TRUE(exited_with(t.wait_exit(), 3)) << t.describe();
  EXPECT_TRUE(t.stderr_text() == stderr_payload())
      << "got " << t.stderr_text().size() << " bytes, expected " << stderr_payload().size();
  EXPECT_TRUE(t.contains("stderr written")) << t.describe();
  EXPECT_EQ(t.output_log(), "stderr written\r\n");
}

TEST(child_process, exit_is_reaped_after_the_pty_closes) {
  terminal t(sample({"close-pty", "3"}));
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    return s.output_closed() && s.stderr_text() == "pty closed\n";
  }));
  EXPECT_TRUE(t.contains("closing the pty"));
  // The child closed every pty descriptor but waits for a signal: the end
  // of the output is not its exit.
  EXPECT_FALSE(t.exited());
  ASSERT_EQ(kill(t.pid(), SIGUSR1), 0);
  EXPECT_TRUE(exited_with(t.wait_exit(), 3)) << t.describe();
}

TEST(child_process, a_program_that_cannot_run_exits_127) {
  run_options options;
  options.program = "/nonexistent/program";
  terminal t(options);
  EXPECT_TRUE(exited_with(t.wait_exit(), 127));
  EXPECT_EQ(t.stderr_text(), "cannot execute /nonexistent/program\n");
}

TEST(child_process, destroying_the_terminal_kills_and_reaps_the_child) {
  pid_t pid;
  {
    terminal t(sample({"env"}));
    ASSERT_TRUE(t.wait_for_text("ready>"));
    pid = t.pid();
  }
  // Reaped, so not even a zombie is left under that id.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

struct environment_case {
  const char* name;
  std::vector<std::string> given;
  std::set<std::string> expected;
};

TEST(child_process, environment_is_exactly_the_given_one_plus_defaults) {
  const environment_case cases[] = {
      {"nothing given", {}, {"TERM=xterm", "ESCDELAY=25"}},
      {"defaults added", {"HOME=/nowhere", "A=b c"}, {"HOME=/nowhere", "A=b c", "TERM=xterm", "ESCDELAY=25"}},
      {"defaults overridden", {"TERM=vt100", "ESCDELAY=100"}, {"TERM=vt100", "ESCDELAY=100"}},
  };
  ASSERT_EQ(setenv("LEAKED_FROM_THE_TEST", "1", 1), 0);
  for (const environment_case& c : cases) {
    SCOPED_TRACE(c.name);
    run_options options = sample({"env"});
    options.env = c.given;
    options.cwd = "/usr/share";
    terminal t(options);
    ASSERT_TRUE(t.wait_for_text("ready>"));
    std::set<std::string> seen;
    std::istringstream screen(t.screen());
    for (std::string line; std::getline(screen, line);) {
      if (line.compare(0, 4, "env ") == 0) seen.insert(line.substr(4));
    }
    EXPECT_EQ(seen, c.expected) << t.describe();
    EXPECT_TRUE(t.contains("cwd /usr/share")) << t.describe();

    // Typed text arrives as UTF-8, and the line discipline echoes it.
    t.type("héllo wörld");
    t.key(VTERM_KEY_ENTER);
    EXPECT_TRUE(t.wait_for_text("got [héllo wörld]"));
    EXPECT_TRUE(t.contains("ready>héllo wörld"));
    EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
  }
  unsetenv("LEAKED_FROM_THE_TEST");
}

TEST(child_process, stdin_can_be_kept_off_the_pty) {
  run_options options = sample({"env"});
  options.stdin_from_pty = false;
  terminal t(options);
  // Standard input is /dev/null: the read ends at once, with nothing got.
  EXPECT_TRUE(exited_with(t.wait_exit(), 1)) << t.describe();
  EXPECT_TRUE(t.contains("ready>"));
  EXPECT_FALSE(t.contains("got ["));
}

struct closing_case {
  std::vector<int> closed;
  const char* seen;
};

TEST(child_process, standard_streams_can_be_closed) {
  const closing_case cases[] = {
      {{}, "fds: 0 open, 1 open, 2 open"},
      {{0}, "fds: 0 closed, 1 open, 2 open"},
      {{1}, "fds: 0 open, 1 closed, 2 open"},
      {{2}, "fds: 0 open, 1 open, 2 closed"},
      {{0, 2}, "fds: 0 closed, 1 open, 2 closed"},
  };
  for (const closing_case& c : cases) {
    SCOPED_TRACE(c.seen);
    run_options options = sample({"fds"});
    options.closed_fds = c.closed;
    terminal t(options);
    EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
    EXPECT_EQ(t.row(0), c.seen) << t.describe();
  }
}

TEST(screen_reading, an_8_bit_console_shows_bytes_in_code_page_437) {
  // syscons draws boxes with these bytes; the other two are letters.
  run_options options = sample({"print", "\xDA\xC4\xBF\n\xB3\x82\xB3\n\xC0\xC4\xD9\n\x9A"});
  options.cp437 = true;
  terminal t(options);
  EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
  EXPECT_EQ(t.screen().substr(0, t.screen().find("\n\n")), "┌─┐\n│é│\n└─┘\nÜ") << t.describe();
  EXPECT_EQ(t.boxes(), (std::vector<box>{{0, 0, 3, 3}}));
  EXPECT_EQ(t.output_log().substr(0, 3), "\xDA\xC4\xBF");
}

struct drawing_case {
  const char* name;
  const char* text;  // written to the screen from its top left corner
  std::vector<box> expected;
};

TEST(screen_reading, boxes_are_found_in_drawings) {
  const drawing_case cases[] = {
      {"plain", "┌──┐\n│ab│\n└──┘", {{0, 0, 3, 4}}},
      {"title, separator and a button over the right edge",
       "┌─ Title ─┐\n│ text    │\n├─────────┤\n│ <  OK  >>\n└─────────┘",
       {{0, 0, 5, 11}}},
      {"marker over the bottom edge", "┌─────┐\n│     │\n└─(+)─┘", {{0, 0, 3, 7}}},
      {"nested and side by side",
       "┌──────┐┌─┐\n│┌──┐  ││ │\n│└──┘  │└─┘\n└──────┘",
       {{0, 0, 4, 8}, {0, 8, 3, 3}, {1, 1, 2, 4}}},
      {"line drawing set", "\x1b(0lqqk\nx  x\nmqqj\x1b(B", {{0, 0, 3, 4}}},
      {"away from the corner", "\n\n   ┌┐\n   └┘", {{2, 3, 2, 2}}},
      {"a side crossed by a line", "┌──┐\n─  │\n└──┘", {}},
      {"a corner missing", "┌──┐\n│  │\n└── ", {}},
      {"corners only", "┌  ┐\n    \n└  ┘", {}},
  };
  for (const drawing_case& c : cases) {
    SCOPED_TRACE(c.name);
    terminal t(sample({"print", c.text}));
    EXPECT_TRUE(exited_with(t.wait_exit(), 0)) << t.describe();
    EXPECT_EQ(t.boxes(), c.expected) << t.describe();
  }
}

}  // namespace
