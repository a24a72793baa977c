// The fault sweep: one whole run (Help on an entry, tick three, one of
// which pkg would delete only with an unticked package, OK, the notice that
// keeps it, Yes, the second pass, Cancel), made once per call of the
// program's own that can fail, with that one call failing. A first run with
// nothing failing counts the calls, so a new call site is swept without
// anyone listing it.
//
// Whatever fails, the program deletes nothing but the packages ticked on the
// screen that pkg's dry run lets go alone, never shows a checklist that lacks a leaf (nor says there are no
// leaves when there are), ends by itself with
// status 0, 1 or 69 (never by a signal), leaves the terminal's modes as it
// found them, and says "Program Terminated Successfully" when it ends with 0.
// The driver answers whatever screen comes up.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "fixture.h"

namespace {

struct fault_point {
  long number;
  std::string call;
};

// The calls a run made, in order, from the sweep build's log.
std::vector<fault_point> read_points(const std::string& log) {
  std::vector<fault_point> points;
  std::ifstream in(log);
  fault_point point;
  while (in >> point.number >> point.call)
    points.push_back(point);
  return points;
}

// The terminal's modes as "stty -g" would print them: all of them.
bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc)) && cfgetispeed(&a) == cfgetispeed(&b) &&
         cfgetospeed(&a) == cfgetospeed(&b);
}


class fault_sweep : public leafsweep_run {
 protected:
  // One whole run; the fault point, if any, fails call number fail_at.
  // Returns how it ended, for the sweep's report.
  std::string run_once(long fail_at, const std::string& log);

 private:
  // The leaves the tool would list now, in its order.
  std::vector<std::string> current_leaves() const;
  // The leaves the tool would list now that no earlier pass offered.
  std::vector<std::string> new_leaves(const std::map<size_t, std::vector<std::string>>& offered) const;
  void check_checklist(size_t pass, std::map<size_t, std::vector<std::string>>& offered);
  void check_no_leaves_notice(const std::map<size_t, std::vector<std::string>>& offered);
};

// The small system, with a provider that the leaf query lists, but which
// pkg would not delete without the package that requires what it provides:
// the last look halves the ticked packages to find it.
std::vector<package> swept_system() {
  std::vector<package> system = small_system();
  for (const package& p : provider_and_requirer())
    system.push_back(p);
  return system;
}

std::vector<std::string> fault_sweep::current_leaves() const {
  std::vector<std::string> now = installed();
  auto is_installed = [&](const package& p) { return std::find(now.begin(), now.end(), p.key()) != now.end(); };
  std::vector<package> system = swept_system();
  std::vector<std::string> leaves;
  for (const package& p : system) {
    if (!is_installed(p) || p.locked)
      continue;
    bool needed = std::any_of(system.begin(), system.end(), [&](const package& other) {
      return is_installed(other) && std::find(other.depends.begin(), other.depends.end(), p.name) != other.depends.end();
    });
    if (!needed)
      leaves.push_back(p.key());
  }
  return leaves;
}

std::vector<std::string> fault_sweep::new_leaves(const std::map<size_t, std::vector<std::string>>& offered) const {
  std::vector<std::string> fresh;
  for (const std::string& leaf : current_leaves()) {
    bool earlier = std::any_of(offered.begin(), offered.end(), [&](const auto& before) {
      return std::find(before.second.begin(), before.second.end(), leaf) != before.second.end();
    });
    if (!earlier)
      fresh.push_back(leaf);
  }
  return fresh;
}

// A checklist on the screen holds every leaf that no earlier pass offered,
// and nothing that is not a leaf. (A package may come twice when the table
// of offered packages could not take it.)
void fault_sweep::check_checklist(size_t pass, std::map<size_t, std::vector<std::string>>& offered) {
  offered.try_emplace(pass, new_leaves(offered));
  std::vector<std::string> shown = checklist_entries(term());
  std::vector<std::string> leaves = current_leaves();
  for (const std::string& leaf : offered[pass])
    EXPECT_NE(std::find(shown.begin(), shown.end(), leaf), shown.end())
        << "the checklist of pass " << pass << " lacks " << leaf << "\n" << term().describe();
  for (const std::string& entry : shown)
    EXPECT_NE(std::find(leaves.begin(), leaves.end(), entry), leaves.end())
        << "the checklist shows " << entry << ", which is no leaf\n" << term().describe();
}

// "No leaves found" and "No new leaves found" are true: the pass has no
// leaf that an earlier pass did not offer.
void fault_sweep::check_no_leaves_notice(const std::map<size_t, std::vector<std::string>>& offered) {
  if (!term().contains("No leaves found") && !term().contains("No new leaves found"))
    return;
  EXPECT_EQ(new_leaves(offered), std::vector<std::string>{}) << "the notice hides leaves\n" << term().describe();
}

std::string fault_sweep::run_once(long fail_at, const std::string& log) {
  install(swept_system());
  std::vector<std::string> env;
  if (fail_at > 0)
    env.push_back("LEAFSWEEP_FAULT_AT=" + std::to_string(fail_at));
  if (!log.empty())
    env.push_back("LEAFSWEEP_FAULT_LOG=" + log);
  terminal& t = start(24, 80, LEAFSWEEP_SWEEP, env);

  const std::vector<std::string> ticked = {"nano-7.2", "capprov-1.0", "tmux-3.3a"};
  // What may be deleted of them: the provider would take the requirer along.
  const std::vector<std::string> deletable = {"nano-7.2", "tmux-3.3a"};
  std::map<size_t, std::vector<std::string>> offered;  // by pass, from 1
  bool helped = false, deleting = false, answered_yes = false;
  size_t prompts_answered = 0;
  // Output and read calls up to the last key: the program has taken that
  // key once it has completed a read since, and has reacted once it has
  // written more.
  size_t output_seen = 0;
  long reads_seen = -1;
  auto mark = [&] {
    output_seen = t.output_log().size();
    reads_seen = t.read_calls();
  };
  // Moves the focus to the next button; the cursor stands on the button
  // that has it.
  auto next_button = [&] {
    position before = t.cursor();
    t.key(VTERM_KEY_TAB);
    EXPECT_TRUE(t.wait_for([&](const terminal& s) { return !(s.cursor() == before); }));
  };
  enum class screen { unknown, enter_prompt, question, checklist, help, notice };
  auto what_is_shown = [&](const terminal& s) {
    size_t prompts = 0;
    for (size_t at = 0; (at = s.stderr_text().find(enter_prompt, at)) != std::string::npos; at += enter_prompt.size())
      ++prompts;
    if (prompts > prompts_answered)
      return screen::enter_prompt;
    if (s.contains(checklist_title) && s.contains("<Cancel>") && s.contains("< Help >") && s.contains("<  OK  >") &&
        !checklist_entries(s).empty())
      return screen::checklist;
    if (s.contains(checklist_title) && !s.contains("<Cancel>") && s.contains("<  OK  >"))
      return screen::help;
    // A notice may stand over what is left of the question.
    if (s.contains("<  OK  >"))
      return screen::notice;
    if (s.contains(next_pass_question) && s.contains("< Yes >") && s.contains("< No  >"))
      return screen::question;
    return screen::unknown;
  };
  for (int step = 0; step < 40; ++step) {
    // The program has reacted to the last key, shows a screen the driver
    // knows and waits for the next key; or it has ended.
    // What the program wrote may still be on its way through the pty when
    // it already waits for input, so the screen must also stay as it is for
    // a moment before the driver trusts it.
    screen shown = screen::unknown;
    bool ready = false;
    for (int look = 0; look < 100 && !ready; ++look) {
      ready = t.wait_for(
          [&](const terminal& s) {
            if (s.exited())
              return true;
            if (s.output_log().size() == output_seen || s.read_calls() <= reads_seen || !s.waits_for_input())
              return false;
            shown = what_is_shown(s);
            return shown != screen::unknown;
          },
          60);
      if (!ready)
        break;
      ready = t.exited() || t.quiet_for(30);
    }
    if (!ready) {
      ADD_FAILURE() << "the run did not go on by itself, or shows a screen the driver does not know";
      return "stuck";
    }
    if (t.exited())
      break;
    switch (shown) {
      case screen::enter_prompt:
        ++prompts_answered;
        mark();
        t.type("\r");
        break;
      case screen::question:
        if (answered_yes) {
          next_button();
        } else {
          answered_yes = true;
        }
        mark();
        t.key(VTERM_KEY_ENTER);
        break;
      case screen::checklist:
        // The second pass follows the only Yes.
        check_checklist(answered_yes ? 2 : 1, offered);
        if (offered.size() > 1 || deleting) {
          mark();
          t.key(VTERM_KEY_ESCAPE);
        } else if (!helped) {
          helped = true;
          highlight("curl-8.4.0");
          next_button();
          next_button();
          mark();
          t.key(VTERM_KEY_ENTER);
        } else {
          for (const std::string& key : ticked) {
            tick(key);
            EXPECT_TRUE(t.wait_for_text("[X] " + key));
          }
          deleting = true;
          mark();
          press_ok();
        }
        break;
      case screen::help: {
        // Help shows curl's whole description, or says why it cannot.
        const std::vector<std::string> lines = small_system()[0].description;
        bool whole = std::all_of(lines.begin(), lines.end(), [&](const std::string& l) { return t.contains(l); });
        EXPECT_TRUE(whole || t.contains("Could not read the package's description: ")) << t.describe();
        mark();
        press_ok();
        break;
      }
      case screen::notice:
        check_no_leaves_notice(offered);
        mark();
        press_ok();
        break;
      case screen::unknown:
        mark();
        press_ok();
        break;
    }
  }

  int status = t.wait_exit(60);
  if (status == -1) {
    ADD_FAILURE() << "the run did not end\n" << t.describe();
    return "did not end";
  }
  if (!WIFEXITED(status)) {
    ADD_FAILURE() << "killed by signal " << WTERMSIG(status) << "\n" << t.describe();
    return "killed";
  }
  int code = WEXITSTATUS(status);
  EXPECT_TRUE(code == 0 || code == 1 || code == 69) << "exit status " << code << "\n" << t.describe();
  if (code == 0) {
    const std::string& errors = t.stderr_text();
    EXPECT_TRUE(errors.size() >= closing_line.size() &&
                errors.compare(errors.size() - closing_line.size(), closing_line.size(), closing_line) == 0)
        << errors;
  }
  EXPECT_TRUE(same_modes(t.tty_mode(), fresh_pty_modes())) << "the terminal's modes were changed";
  for (const pkg_call& c : calls_of(pkg_call_kind::delete_packages)) {
    for (const std::string& name : deleted_packages(c))
      EXPECT_NE(std::find(deletable.begin(), deletable.end(), name), deletable.end()) << name << " was deleted";
  }
  if (fail_at == 0) {
    EXPECT_EQ(calls_of(pkg_call_kind::delete_packages).size(), 1u);
  }
  EXPECT_LE(calls_of(pkg_call_kind::delete_packages).size(), 1u);
  for (const pkg_call& c : calls())
    EXPECT_TRUE(c.blocked.empty()) << c.args[3] << " started with a signal blocked";

  std::string errors = t.stderr_text();
  if (code == 0 && errors.size() >= closing_line.size())
    errors.erase(errors.size() - closing_line.size());
  std::replace(errors.begin(), errors.end(), '\n', ' ');
  return "status " + std::to_string(code) + ", " + std::to_string(offered.size()) + " pass(es) shown, " +
         std::to_string(calls_of(pkg_call_kind::delete_packages).size()) + " delete(s)" +
         (errors.find_first_not_of(' ') == std::string::npos ? "" : ", stderr: " + errors);
}

TEST_F(fault_sweep, no_failing_call_deletes_a_wrong_package_or_hides_a_leaf) {
  const std::string log = path("fault-points.log");
  std::cout << "without a fault: " << run_once(0, log) << "\n";
  ASSERT_FALSE(HasFailure()) << "the run without a fault failed";
  std::vector<fault_point> points = read_points(log);
  ASSERT_FALSE(points.empty()) << "the sweep build counted no call";
  std::set<std::string> kinds;
  for (const fault_point& point : points)
    kinds.insert(point.call);
  // Each kind of call the program is known to make must have been counted,
  // or the renaming of calls no longer reaches them.
  for (const char* call : {"malloc", "strdup", "getline", "pipe", "vfork", "execve", "waitpid", "fdopen", "fread",
                           "hcreate", "hsearch", "dup2", "open", "mkstemp", "pread", "stat"})
    EXPECT_EQ(kinds.count(call), 1u) << call << " was never counted";

  for (const fault_point& point : points) {
    SCOPED_TRACE("call " + std::to_string(point.number) + " (" + point.call + ") fails");
    // Each run starts from a fresh system of its own.
    TearDown();
    SetUp();
    std::cout << "call " << point.number << " (" << point.call << ") fails: " << run_once(point.number, "") << "\n";
  }
}

}  // namespace
