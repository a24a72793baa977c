// The terminal type the program is started with: a type it cannot draw on
// is refused before anything else happens, and every common type carries a
// whole run.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "fixture.h"

namespace {

struct unusable_type {
  const char* label;
  std::vector<std::string> env;  // TERM as the child gets it, if at all
  std::string line;              // all of standard error
};

void PrintTo(const unusable_type& c, std::ostream* out) { *out << c.label; }

class unusable_types : public leafsweep_run, public testing::WithParamInterface<unusable_type> {};

TEST_P(unusable_types, are_refused_with_one_line_before_any_query) {
  install(small_system());
  run_options options = options_for();
  options.default_term = false;
  options.env.insert(options.env.end(), GetParam().env.begin(), GetParam().env.end());
  terminal& t = start_with(options);
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), GetParam().line);
  // Nothing was drawn, and the package tool never ran.
  EXPECT_EQ(t.output_log(), "");
  EXPECT_TRUE(calls().empty());
}

const char not_set[] =
    "leafsweep needs a terminal type, and TERM is not set: run it with TERM set to a type this system knows.\n";

INSTANTIATE_TEST_SUITE_P(
    types, unusable_types,
    testing::Values(
        unusable_type{"unset", {}, not_set}, unusable_type{"empty", {"TERM="}, not_set},
        unusable_type{"unknown",
                      {"TERM=no-such-terminal-here"},
                      "leafsweep does not know the terminal type \"no-such-terminal-here\": run it with TERM set to a "
                      "type this system knows.\n"},
        // terminfo's "unknown" is a generic type, too vague for curses.
        unusable_type{"generic",
                      {"TERM=unknown"},
                      "leafsweep does not know the terminal type \"unknown\": run it with TERM set to a type this "
                      "system knows.\n"},
        // Control bytes, a backslash and a quote are shown, never sent.
        unusable_type{"control_bytes",
                      {"TERM=x\033[2J\\\"\t\x80y"},
                      "leafsweep does not know the terminal type \"x\\033[2J\\134\\042\\011\\200y\": run it with TERM "
                      "set to a type this system knows.\n"},
        unusable_type{"long",
                      {"TERM=" + std::string(200, 'v')},
                      "leafsweep does not know the terminal type \"" + std::string(64, 'v') +
                          "...\": run it with TERM set to a type this system knows.\n"},
        unusable_type{"dumb",
                      {"TERM=dumb"},
                      "leafsweep cannot move the cursor on the terminal type \"dumb\": run it with TERM set to a "
                      "type that can.\n"},
        // A teletype, hardcopy in terminfo (from ncurses-term).
        unusable_type{"hardcopy",
                      {"TERM=tty33"},
                      "leafsweep cannot move the cursor on the terminal type \"tty33\": run it with TERM set to a "
                      "type that can.\n"}),
    [](const testing::TestParamInfo<unusable_type>& info) { return info.param.label; });

// A type the program draws on, and the console it stands for.
struct usable_type {
  const char* term;
  // DragonFly's syscons console: 8 bits a character and the PC's font
  // (code page 437), in the C locale a console session has by default.
  bool pc_console;
};

void PrintTo(const usable_type& c, std::ostream* out) { *out << c.term; }

// What the user reads at each step of a whole run.
struct run_screens {
  std::string checklist, ticked, question, second_checklist;
};

// Every row that differs, as "-" expected and "+" shown.
std::string row_diff(const std::string& expected, const std::string& shown) {
  std::istringstream was(expected), is(shown);
  std::ostringstream out;
  std::string a, b;
  for (int row = 0; std::getline(was, a) && std::getline(is, b); ++row) {
    if (a != b)
      out << "row " << row << "\n- " << a << "\n+ " << b << "\n";
  }
  return out.str();
}

bool bottom_row_shows(const terminal& t, const std::string& text) {
  return t.row(t.rows() - 1).find(text) != std::string::npos;
}

class usable_types : public leafsweep_run, public testing::WithParamInterface<usable_type> {
 protected:
  // Waits until the screen is complete, and exactly like the one expected
  // when there is one, and keeps it.
  void take(std::string& taken, const std::function<bool(const terminal&)>& complete, const std::string* expected) {
    bool done = term().wait_for(
        [&](const terminal& t) { return complete(t) && (expected == nullptr || t.screen() == *expected); });
    taken = term().screen();
    ASSERT_TRUE(done) << (expected != nullptr ? row_diff(*expected, taken) : "");
  }

  // A whole run under type over a fresh small system: curl and tmux ticked
  // and deleted, Yes to the question, Cancel in the second pass. Keeps each
  // screen in seen; with like, each must be exactly that screen.
  void whole_run(const usable_type& type, run_screens& seen, const run_screens* like) {
    install(small_system());
    std::filesystem::remove(path("pkg-calls.log"));
    run_options options = options_for();
    options.env.push_back(std::string("TERM=") + type.term);
    if (type.pc_console) {
      options.cp437 = true;
      std::replace(options.env.begin(), options.env.end(), std::string("LANG=C.UTF-8"), std::string("LANG=C"));
    }
    terminal& t = start_with(options);

    ASSERT_NO_FATAL_FAILURE(take(
        seen.checklist,
        [](const terminal& s) {
          return s.contains(checklist_title) && s.contains("<  OK  >") && s.contains("<Cancel>") &&
                 s.contains("< Help >") && s.contains("[ ] tmux-3.3a") &&
                 bottom_row_shows(s, "Command line tool for transferring data");
        },
        like ? &like->checklist : nullptr));
    EXPECT_EQ(checklist_entries(t), (std::vector<std::string>{"curl-8.4.0", "nano-7.2", "tmux-3.3a"}));
    EXPECT_TRUE(box_around(checklist_title, 23, 80));

    tick("curl-8.4.0");
    tick("tmux-3.3a");
    ASSERT_NO_FATAL_FAILURE(take(
        seen.ticked,
        [](const terminal& s) {
          return s.contains("[X] curl-8.4.0") && s.contains("[ ] nano-7.2") && s.contains("[X] tmux-3.3a") &&
                 bottom_row_shows(s, "Terminal Multiplexer");
        },
        like ? &like->ticked : nullptr));

    press_ok();
    ASSERT_NO_FATAL_FAILURE(take(
        seen.question,
        [](const terminal& s) {
          return s.contains(next_pass_question) && s.contains("< Yes >") && s.contains("< No  >");
        },
        like ? &like->question : nullptr));
    EXPECT_TRUE(box_around(next_pass_question, 24, 80));
    EXPECT_NE(t.output_log().find("Deinstalling tmux-3.3a..."), std::string::npos);

    answer_yes(t);
    ASSERT_NO_FATAL_FAILURE(take(
        seen.second_checklist,
        [](const terminal& s) {
          return s.contains(checklist_title) && s.contains("< Help >") && s.contains("[ ] libevent-2.1.12") &&
                 bottom_row_shows(s, "HTTP/2 C library");
        },
        like ? &like->second_checklist : nullptr));
    EXPECT_EQ(checklist_entries(t), (std::vector<std::string>{"libnghttp2-1.58.0", "libevent-2.1.12"}));

    // Cancel.
    t.key(VTERM_KEY_TAB);
    t.key(VTERM_KEY_ENTER);
    EXPECT_EQ(exit_code(), 0);
    EXPECT_EQ(t.stderr_text(), closing_line);
    EXPECT_EQ(only_delete(), (std::vector<std::string>{"curl-8.4.0", "tmux-3.3a"}));
    // Two passes, and the last look before the delete.
    EXPECT_EQ(calls_of(pkg_call_kind::leaf_query).size(), 3u);
  }
};

// Each type shows, step by step, exactly the screens xterm shows.
TEST_P(usable_types, carry_a_whole_run_as_xterm_does) {
  run_screens xterm_screens, seen;
  ASSERT_NO_FATAL_FAILURE(whole_run(usable_type{"xterm", false}, xterm_screens, nullptr));
  if (std::string(GetParam().term) != "xterm") {
    ASSERT_NO_FATAL_FAILURE(whole_run(GetParam(), seen, &xterm_screens));
  }
}

INSTANTIATE_TEST_SUITE_P(types, usable_types,
                         testing::Values(usable_type{"vt100", false}, usable_type{"xterm", false},
                                         usable_type{"xterm-256color", false}, usable_type{"linux", false},
                                         usable_type{"screen", false}, usable_type{"cons25", true}),
                         [](const testing::TestParamInfo<usable_type>& info) {
                           std::string name = info.param.term;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
