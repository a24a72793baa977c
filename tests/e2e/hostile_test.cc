// Hostile output from the package tool and a hostile terminal: binary
// garbage and NUL bytes, line ends of another system, a flood of leaves, a
// huge description, escape sequences, names full of shell syntax, a tiny
// terminal and resizes. Whatever comes, the program neither crashes nor
// hangs, the delete command gets exactly the names the user ticked on the
// screen, and the terminal is left in its ordinary mode.
#include <termios.h>
#include <unistd.h>

#include <cstdint>

#include "fixture.h"

namespace {

// Waits for the big inputs: generous, for a loaded machine.
constexpr double slow_s = 90;

// Where the last of the given sequences stands in the output, or -1.
long last_of(const std::string& output, const std::string& sequence) {
  size_t at = output.rfind(sequence);
  return at == std::string::npos ? -1 : static_cast<long>(at);
}

// After the program has gone: the pty's modes are those of a fresh pty (as
// the shell would have them), and the program switched off the alternate
// screen, the keypad mode and the hidden cursor after it last switched them
// on (xterm's sequences, TERM being xterm).
testing::AssertionResult terminal_restored(const terminal& t) {
  const termios fresh = fresh_pty_modes();
  termios now = t.tty_mode();
  const tcflag_t local = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  if ((now.c_lflag & local) != (fresh.c_lflag & local) || (now.c_iflag & ICRNL) != (fresh.c_iflag & ICRNL) ||
      (now.c_oflag & OPOST) != (fresh.c_oflag & OPOST))
    return testing::AssertionFailure() << "the pty was left with lflag " << std::oct << now.c_lflag << ", iflag "
                                       << now.c_iflag << ", oflag " << now.c_oflag << "; a fresh one has "
                                       << fresh.c_lflag << ", " << fresh.c_iflag << ", " << fresh.c_oflag;
  const std::string output = t.output_log();
  const struct {
    const char *what, *on, *off;
  } modes[] = {{"alternate screen", "\x1b[?1049h", "\x1b[?1049l"},
               {"keypad mode", "\x1b[?1h", "\x1b[?1l"},
               {"hidden cursor", "\x1b[?25l", "\x1b[?25h"}};
  for (const auto& mode : modes) {
    if (last_of(output, mode.on) > last_of(output, mode.off))
      return testing::AssertionFailure() << "the " << mode.what << " was left on";
  }
  return testing::AssertionSuccess();
}

// Ticks every entry from the highlighted one down, one per name, checking
// that each is the name expected there.
void tick_down(terminal& t, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    t.type(" ");
    ASSERT_TRUE(t.wait_for_text("[X] " + name)) << name;
    t.key(VTERM_KEY_DOWN);
  }
}

// Packages that stand in the database beside small_system(), so that their
// deletion succeeds when a test names them in its leaf output.
std::vector<package> with_extra(const std::vector<std::string>& keys) {
  std::vector<package> system = small_system();
  for (const std::string& key : keys) {
    size_t dash = key.rfind('-');
    system.push_back(package{key.substr(0, dash), key.substr(dash + 1), "Extra", {}, {"Extra."}});
  }
  return system;
}

struct leaf_output {
  const char* label;
  std::string bytes;
  std::vector<std::string> offered;  // the checklist's entries, in order
};

// Failure reports name the case, not its bytes.
void PrintTo(const leaf_output& c, std::ostream* out) { *out << c.label; }

// Bytes of every value but printable ASCII and the line feed, with a line
// feed now and then: every line they make has a key that is not printable.
// They come from a fixed xorshift sequence, the same in every run.
std::string binary_garbage(size_t size) {
  uint32_t state = 2463534242u;
  std::string garbage;
  while (garbage.size() < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    unsigned b = state & 0xffu;
    if (b % 61 == 0)
      garbage += '\n';
    else if ((b < 0x20 || b > 0x7e) && b != '\n')
      garbage += static_cast<char>(b);
  }
  return garbage + "\n";
}

std::vector<leaf_output> hostile_leaf_outputs() {
  using namespace std::string_literals;
  return {
      {"garbage",
       // A NUL byte would cut the key short to an installed package's.
       "nano-7.2\0-evil-1.0\tNUL in the name\n"s
       "nul-1.0\tNUL in the comment \0 cut\n"s
       // Backspaces and a carriage return would write another name over it.
       "evil-6.6\b\b\b\b\b\b\b\bnano-7.2\tBackspaces in the name\n"
       "evil-6.6\rtmux-3.3a\tCarriage return in the name\n"
       "esc\x1b[2J-1.0\tEscape sequence in the name\n"
       "csi\x9b" "2J-1.0\tC1 control in the name\n"
       // A byte above 0x7f would hide what follows it.
       "curl-8.4.0\xff\xfe-evil\tHigh bytes in the name\n"
       "del\x7f-1.0\tDEL in the name\n"
       "\tcurl-8.4.0\tA leading tab\n"
       "\n" +
           binary_garbage(size_t{64} * 1024) +
           "ok-1.0\tEscape \x1b[2J, bell \a, high \xff\xfe and backspace \b\b in the comment\n"
           "crlf-1.0\tA line ending in CR LF\r\n"
           "plain-2.0\tAn ordinary line after the garbage\n",
       {"ok-1.0", "crlf-1.0", "plain-2.0"}},
      // Lines ended by carriage returns alone are one line to the program:
      // its first key, with everything after the first tab as its comment.
      {"carriage_returns_only", "alpha-1.0\tFirst\rbeta-2.0\tSecond\rgamma-3.0\tThird\r", {"alpha-1.0"}},
  };
}

class hostile_leaves : public leafsweep_run, public testing::WithParamInterface<leaf_output> {};

TEST_P(hostile_leaves, offer_only_names_shown_as_they_are_and_delete_exactly_those) {
  const leaf_output& c = GetParam();
  install(with_extra(c.offered));
  write_file("leaves.out", c.bytes);
  control("leaves_file leaves.out\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_EQ(checklist_entries(t), c.offered) << t.describe();
  tick_down(t, c.offered);
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(terminal_restored(t));

  EXPECT_EQ(only_delete(), c.offered);
  EXPECT_EQ(installed(), (std::vector<std::string>{"curl-8.4.0", "libnghttp2-1.58.0", "nano-7.2", "tmux-3.3a",
                                                   "libevent-2.1.12", "pkg-1.20.9"}));
}

INSTANTIATE_TEST_SUITE_P(outputs, hostile_leaves, testing::ValuesIn(hostile_leaf_outputs()),
                         [](const testing::TestParamInfo<leaf_output>& info) { return info.param.label; });

// The number in a key p<N>-1.0, or -1.
long flood_index(const std::string& key) {
  if (key.size() < 6 || key[0] != 'p' || key.compare(key.size() - 4, 4, "-1.0") != 0)
    return -1;
  return std::stol(key.substr(1, key.size() - 5));
}

TEST_F(leafsweep_run, a_flood_of_leaves_hides_no_name_and_deletes_the_ticked_ones) {
  install(small_system());
  std::string output;
  for (int i = 0; i < 100000; ++i)
    output += "p" + std::to_string(i) + "-1.0\tLeaf number " + std::to_string(i) + "\n";
  // Repeated at the end: the first name, which the seen-name table holds,
  // and the last, which lies beyond what the table of fixed size can hold
  // and so comes again rather than being hidden.
  output += "p0-1.0\tAgain\np99999-1.0\tAgain\n";
  write_file("leaves.out", output);
  control("leaves_file leaves.out\n");
  terminal& t = start();
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.contains(checklist_title) && s.contains("< Help >"); },
                         slow_s));
  ASSERT_TRUE(t.wait_for_text("[ ] p0-1.0"));
  t.type(" ");
  ASSERT_TRUE(t.wait_for_text("[X] p0-1.0"));

  // The end of the list: every name is there, in order, and only the one
  // beyond the table's size comes twice.
  t.key(VTERM_KEY_END);
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return !s.contains("p0-1.0"); }, slow_s));
  std::vector<std::string> last = checklist_entries(t);
  ASSERT_GE(last.size(), 10u) << t.describe();
  EXPECT_EQ(last.back(), "p99999-1.0");
  EXPECT_EQ(last[last.size() - 2], "p99999-1.0") << t.describe();
  for (size_t i = 0; i + 2 < last.size(); ++i) {
    ASSERT_GE(flood_index(last[i]), 0) << last[i];
    EXPECT_EQ(flood_index(last[i]) + 1, flood_index(last[i + 1])) << t.describe();
  }
  t.type(" ");
  ASSERT_TRUE(t.wait_for_text("[X] " + last.back()));
  press_ok();

  // The stand-in has none of these packages installed, so its dry run lists
  // neither, and the last look says so.
  ASSERT_TRUE(t.wait_for_text("p0-1.0: it is no longer installed", slow_s)) << t.describe();
  EXPECT_TRUE(t.contains(last.back() + ": it is no longer installed")) << t.describe();
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_EQ(dry_run_packages(calls_of(pkg_call_kind::dry_run).at(0)), (std::vector<std::string>{"p0-1.0", last.back()}));
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
}

TEST_F(leafsweep_run, a_ten_megabyte_description_opens_and_scrolls_without_stalling) {
  install(small_system());
  std::string description;
  const size_t ten_megabytes = size_t{10} * 1024 * 1024;
  description.reserve(ten_megabytes + 100);
  for (int i = 1; description.size() < ten_megabytes; ++i)
    description += "Line " + std::to_string(i) + " of a description that never seems to end.\n";
  write_file("huge.txt", description);
  control("describe_file huge.txt\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  highlight("curl-8.4.0");
  press_help(t);
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.contains("Line 1 of a description"); }, slow_s));
  EXPECT_TRUE(box_around("Line 1 of a description", 24 - 4, 80 - 4));
  t.key(VTERM_KEY_END);
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.contains("100%"); }, slow_s));
  EXPECT_FALSE(t.contains("Line 1 of a description"));
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[X] nano-7.2"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
}

TEST_F(leafsweep_run, a_description_shows_as_plain_text_whatever_bytes_it_holds) {
  std::vector<package> system = small_system();
  system[0].comment = "Title \x1b]0;pwned\x07 with \x1b[2J escapes";  // curl's
  install(system);
  write_file("escapes.txt",
             "First line of the description.\n"
             "Clear \x1b[2J home \x1b[H title \x1b]0;pwned\x07 main screen \x1b[?1049l keypad \x1b[?1l\n"
             "Move \x1b[5;5H colours \x1b[31;42m reset \x1b[0m C1 \x9b" "2J bad \xff\xfe UTF-8 caf\xc3\xa9\n"
             "Carriage \r return and back\b\b space\n"
             "Last line of the description.\n");
  control("describe_file escapes.txt\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  size_t before = t.output_log().size();
  press_help(t);
  ASSERT_TRUE(box_around("First line of the description.", 24 - 4, 80 - 4));
  // Nothing is obeyed or hidden: each byte that is not a printable
  // character shows as '?', and the text goes on after it.
  for (const char* shown : {"Clear ?[2J home ?[H title ?]0;pwned? main", "C1 ?2J bad ?? UTF-8 café",
                            "Carriage ? return and back?? space", "Last line of the description."})
    EXPECT_TRUE(t.wait_for_text(shown)) << shown;
  // The checklist around the box was neither cleared nor moved.
  EXPECT_NE(t.row(0).find(checklist_title), std::string::npos) << t.describe();
  EXPECT_TRUE(t.contains("These are the leaf packages installed on your system"));
  std::string written = t.output_log().substr(before);
  for (const char* sequence : {"\x1b]0;", "\x1b[?1049l", "\x1b[?1l", "\x9b"})
    EXPECT_EQ(written.find(sequence), std::string::npos) << testing::PrintToString(std::string(sequence));

  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(box_around(checklist_title, 24 - 1, 80));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(terminal_restored(t));
}

// No name holds "*": pkg reads every name of a delete command as a pattern
// once one does (last_look_test).
TEST_F(leafsweep_run, every_shell_metacharacter_reaches_the_queries_and_the_delete_unchanged) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"pipe|amp&semi;", "1.0"},         {"redirect<in>out>>2>&1", "1.0"}, {"sub$(touch owned-1)", "1.0"},
      {"var$HOME${IFS}$1", "1.0"},       {"tick`touch owned-2`", "1.0"},  {"quote\"double'single", "1.0"},
      {"back\\slash\\n", "1.0"},         {"glob?[a-z]{x,y}", "1.0"},     {"hash#tilde~bang!", "1.0"},
      {"paren(eq=pct%caret^)", "1.0"},   {"two  spaces", "1.0"},          {"version", "1.0;touch owned-3"},
  };
  std::vector<package> system;
  std::vector<std::string> keys;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string n = std::to_string(i);
    system.push_back(package{names[i].first, names[i].second, "Awkward name " + n, {}, {"Described, not run " + n + "."}});
    keys.push_back(system.back().key());
  }
  system.push_back(package{"plain", "2.0", "A plain package", {}, {"Plain."}});
  install(system);
  terminal& t = start(24, 100);
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_EQ(checklist_entries(t).size(), keys.size() + 1) << t.describe();
  for (size_t i = 0; i < keys.size(); ++i) {
    highlight(keys[i]);
    press_help(t);
    ASSERT_TRUE(t.wait_for_text("Described, not run " + std::to_string(i) + "."));
    press_ok();
    ASSERT_TRUE(wait_for_checklist());
    tick(keys[i]);
    ASSERT_TRUE(t.wait_for_text("[X] " + keys[i]));
  }
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);

  std::vector<std::string> described;
  for (const pkg_call& c : calls_of(pkg_call_kind::description_query))
    described.push_back(described_package(c));
  EXPECT_EQ(described, keys);
  EXPECT_EQ(only_delete(), keys);
  EXPECT_EQ(installed(), std::vector<std::string>{"plain-2.0"});
  for (const char* file : {"owned-1", "owned-2", "owned-3"})
    EXPECT_NE(access(path(file).c_str(), F_OK), 0) << file;
}

struct small_terminal {
  int rows, cols;
  int needed_rows, needed_cols;
};

void PrintTo(const small_terminal& c, std::ostream* out) { *out << c.rows << "x" << c.cols; }

class too_small_terminals : public leafsweep_run, public testing::WithParamInterface<small_terminal> {};

TEST_P(too_small_terminals, end_the_run_with_a_message_before_the_checklist) {
  const small_terminal& c = GetParam();
  install(small_system());
  terminal& t = start(c.rows, c.cols);
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), "The terminal is too small for the checklist: it needs at least " +
                                 std::to_string(c.needed_rows) + " rows and " + std::to_string(c.needed_cols) +
                                 " columns.\n");
  EXPECT_EQ(t.output_log().find(checklist_title), std::string::npos);
  EXPECT_TRUE(terminal_restored(t));
  auto all = calls();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_TRUE(is_leaf_query(all[0]));
}

// The narrower the terminal, the more lines the prompt wraps to; below 28
// columns the buttons do not fit side by side.
INSTANTIATE_TEST_SUITE_P(sizes, too_small_terminals,
                         testing::Values(small_terminal{5, 20, 15, 28}, small_terminal{9, 80, 10, 80},
                                         small_terminal{10, 78, 11, 78}, small_terminal{12, 40, 13, 40},
                                         small_terminal{14, 30, 15, 30}, small_terminal{40, 27, 15, 28}),
                         [](const testing::TestParamInfo<small_terminal>& info) {
                           return std::to_string(info.param.rows) + "x" + std::to_string(info.param.cols);
                         });

struct screen_size {
  int rows, cols;
};

void PrintTo(const screen_size& s, std::ostream* out) { *out << s.rows << "x" << s.cols; }

class smallest_terminals : public leafsweep_run, public testing::WithParamInterface<screen_size> {};

TEST_P(smallest_terminals, show_the_whole_checklist_and_work) {
  const screen_size size = GetParam();
  install(small_system());
  terminal& t = start(size.rows, size.cols);
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_TRUE(box_around(checklist_title, size.rows - 1, size.cols));
  // The list's frame stands whole above the buttons.
  auto list = t.box_containing("[ ] curl-8.4.0");
  ASSERT_TRUE(list.has_value()) << t.describe();
  auto ok = t.find("<  OK  >");
  ASSERT_TRUE(ok.has_value()) << t.describe();
  EXPECT_LT(list->bottom(), ok->row) << t.describe();

  t.type(" ");
  ASSERT_TRUE(t.wait_for_text("[X] curl-8.4.0"));
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("curl transfers"));
  EXPECT_TRUE(t.box_containing("curl transfers").has_value()) << t.describe();
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[X] curl-8.4.0"));
  press_ok();
  // The question wraps in a narrow terminal.
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    return s.contains("Do you want to process") && s.contains("< Yes >") && s.contains("< No  >");
  }));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_EQ(only_delete(), std::vector<std::string>{"curl-8.4.0"});
}

INSTANTIATE_TEST_SUITE_P(sizes, smallest_terminals,
                         testing::Values(screen_size{10, 80}, screen_size{11, 78}, screen_size{13, 40},
                                         screen_size{15, 28}),
                         [](const testing::TestParamInfo<screen_size>& info) {
                           return std::to_string(info.param.rows) + "x" + std::to_string(info.param.cols);
                         });

TEST_F(leafsweep_run, resizes_during_the_checklist_and_help_keep_the_ticks) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  tick("tmux-3.3a");
  ASSERT_TRUE(t.wait_for_text("[X] tmux-3.3a"));
  auto ticks_kept = [&] {
    return t.wait_for([](const terminal& s) {
      return s.contains("[ ] curl-8.4.0") && s.contains("[X] nano-7.2") && s.contains("[X] tmux-3.3a") &&
             s.contains("<  OK  >");
    });
  };

  // The box keeps the size taken at the start of the pass in a larger
  // terminal, and fits itself into a smaller one.
  t.resize(30, 100);
  EXPECT_TRUE(box_around(checklist_title, 24 - 1, 80));
  EXPECT_TRUE(ticks_kept());
  t.resize(20, 72);
  EXPECT_TRUE(ticks_kept());
  EXPECT_TRUE(t.box_containing(checklist_title).has_value()) << t.describe();
  t.resize(24, 80);
  EXPECT_TRUE(box_around(checklist_title, 24 - 1, 80));

  highlight("curl-8.4.0");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("curl transfers data with URL syntax."));
  t.resize(30, 100);
  EXPECT_TRUE(box_around("curl transfers data with URL syntax.", 24 - 4, 80 - 4));
  t.resize(18, 60);
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.box_containing("curl transfers").has_value(); }));
  press_ok();
  EXPECT_TRUE(ticks_kept());
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_EQ(only_delete(), (std::vector<std::string>{"nano-7.2", "tmux-3.3a"}));
}

TEST_F(leafsweep_run, a_terminal_shrunk_during_help_ends_the_run_before_the_checklist_returns) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("GNU nano is a small and friendly text editor."));
  t.resize(8, 40);
  ASSERT_TRUE(t.wait_for_text("GNU nano is a small"));
  press_ok();
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), "The terminal is too small for the checklist: it needs at least 13 rows and 40 columns.\n");
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
}

TEST_F(leafsweep_run, a_terminal_shrunk_under_the_checklist_is_refused_by_the_dialog_library) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  // The library lays the checklist out anew and cannot: it says so and
  // ends the process itself, after giving the terminal back.
  t.resize(5, 20);
  int status = t.wait_exit();
  ASSERT_NE(status, -1);
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_NE(t.stderr_text(), "");
  EXPECT_EQ(t.stderr_text().find(closing_line), std::string::npos);
  EXPECT_TRUE(terminal_restored(t));
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
}

}  // namespace
