// A scratch system for one end-to-end run: its own directory holding the
// stand-in tool's database, control file and call log, and the program
// started there in a pseudo-terminal.
#ifndef LEAFSWEEP_TESTS_E2E_FIXTURE_H
#define LEAFSWEEP_TESTS_E2E_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "call_log.h"
#include "package.h"
#include "terminal.h"

// A small system: the leaves are curl, nano and tmux (pkg is locked);
// deleting curl frees libnghttp2, deleting tmux frees libevent.
inline std::vector<package> small_system() {
  package curl{"curl", "8.4.0", "Command line tool for transferring data", {"libnghttp2"},
               {"curl transfers data with URL syntax.", "", "WWW: https://curl.se/"}};
  package nghttp2{"libnghttp2", "1.58.0", "HTTP/2 C library", {}, {"An HTTP/2 library.", "WWW: https://nghttp2.org/"}};
  package nano{"nano", "7.2", "Nano's ANOther editor", {},
               {"GNU nano is a small and friendly text editor.", "It has syntax highlighting.",
                "WWW: https://www.nano-editor.org/"}};
  package tmux{"tmux", "3.3a", "Terminal Multiplexer", {"libevent"}, {"tmux lets you switch between programs.", "WWW: https://tmux.github.io/"}};
  package libevent{"libevent", "2.1.12", "API for executing callback functions on events", {}, {"libevent runs callbacks on events."}};
  package pkg{"pkg", "1.20.9", "Package manager", {}, {"The package manager."}};
  pkg.locked = true;
  return {curl, nghttp2, nano, tmux, libevent, pkg};
}

// The texts the program shows.
inline const std::string checklist_title = "Welcome to leafsweep.";
inline const std::string next_pass_question = "Do you want to process the new leaves packages?";
inline const std::string closing_line = "\nProgram Terminated Successfully\n";
inline const std::string enter_prompt = "\n\nPress ENTER to continue... ";
// The first line of the notice of ticked packages that the last look keeps.
inline const std::string kept_heading = "These ticked packages are not deleted:";

// The entries of the checklist on the screen, top to bottom, without their
// tick boxes.
std::vector<std::string> checklist_entries(const terminal& t);

// The characters of a screen row, one string each, so that a column is an
// index; the tests show no double-width characters.
std::vector<std::string> cells(const std::string& row);

// The modes of a pseudo-terminal as the system makes it, which are those
// the program's pty started with: what the program must leave behind.
termios fresh_pty_modes();

// The checklist's buttons are OK, Cancel and Help; the question's Yes and
// No. Tab moves to the next button and Enter presses it.
inline void press_help(terminal& t) {
  t.key(VTERM_KEY_TAB);
  t.key(VTERM_KEY_TAB);
  t.key(VTERM_KEY_ENTER);
}
inline void answer_yes(terminal& t) { t.key(VTERM_KEY_ENTER); }
inline void answer_no(terminal& t) {
  t.key(VTERM_KEY_TAB);
  t.key(VTERM_KEY_ENTER);
}

class leafsweep_run : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The database the stand-in tool serves, in this order.
  void install(const std::vector<package>& packages);
  // Tells highlight() and tick() the comments of the packages a tool serves.
  void remember_comments(const std::vector<package>& packages);
  // Directives for the stand-in tool (see tests/standin/README.md).
  void control(const std::string& directives);
  void write_file(const std::string& name, const std::string& bytes);
  // Makes "tool" in the scratch directory, the package tool of
  // LEAFSWEEP_CWD_TOOL, an executable script.
  void write_tool(const std::string& script);
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Makes the FIFO name in the scratch directory, for a stand-in's _pause
  // directive.
  void make_fifo(const std::string& name);
  // Waits until the stand-in waits at the FIFO name, and returns the end it
  // waits for: closing it lets the tool go on. -1 when it never came.
  int tool_waiting_at(const std::string& name);

  // Starts a program (by default the one wired to the stand-in tool) with
  // args in the scratch directory, with a small ordinary environment plus
  // extra.
  terminal& start(int rows = 24, int cols = 80, const std::string& program = LEAFSWEEP_DEMO,
                  const std::vector<std::string>& extra_env = {}, const std::vector<std::string>& args = {});
  // Starts the program wired to the stand-in tool at 24x80 with standard
  // input and output taken from /dev/null where asked; the pty stays its
  // controlling terminal.
  terminal& start_redirected(bool stdin_from_null, bool stdout_to_null);
  // Starts the program as options say; they start as options_for() makes
  // them.
  terminal& start_with(const run_options& options);

  std::vector<pkg_call> calls() const { return read_call_log(path("pkg-calls.log")); }
  std::vector<pkg_call> calls_of(pkg_call_kind kind) const;
  // The packages named by the run's one delete command; a failure, and
  // nothing, when there was not exactly one.
  std::vector<std::string> only_delete() const;
  // Keys of the packages still in the stand-in's database.
  std::vector<std::string> installed() const;

  // Screen helpers on the running program.
  bool wait_for_checklist();
  bool wait_for_question();
  // Waits until the innermost box around text measures height x width; a
  // box still being drawn may measure otherwise for a moment.
  testing::AssertionResult box_around(const std::string& text, int height, int width);
  // Waits until the box around text is the only thing on the screen.
  testing::AssertionResult alone_on_screen(const std::string& text);
  // Moves the highlight to the installed package key, from the top.
  void highlight(const std::string& key);
  void tick(const std::string& key);
  // The key of the highlighted entry, "" while that cannot be told (the
  // comments of the entries on screen must differ).
  std::string highlighted() const;
  void press_ok() { term().key(VTERM_KEY_ENTER); }
  // Waits for the exit and returns the exit code (-1 if not a plain exit).
  int exit_code();

  terminal& term() { return *term_; }
  const terminal& term() const { return *term_; }
  std::vector<std::string> env_;
  // The program started in the scratch directory with the ordinary
  // environment.
  run_options options_for(const std::string& program = LEAFSWEEP_DEMO) const;

 private:

  std::string dir_;
  std::map<std::string, std::string> comments_;  // by key, from install()
  std::unique_ptr<terminal> term_;
};

#endif
