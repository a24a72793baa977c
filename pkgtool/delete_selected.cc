#include "pkgtool/delete_selected.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "pkgtool/child_process.h"
#include "pkgtool/delete_command.h"
#include "pkgtool/dialog_screen.h"
#include "pkgtool/heap.h"
#include "pkgtool/last_look.h"
#include "pkgtool/resize_hold.h"
#include "pkgtool/run_result.h"
#include "pkgtool/state_query.h"
#include "pkgtool/tool_messages.h"

bool needs_enter_prompt(int wait_status) {
  if (wait_status == -1)
    return true;
  if (WIFSIGNALED(wait_status))
    return true;
  return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) != 0;
}

// Consumes one line of standard input, or whatever is left before its end.
// A resize is not an answer: it waits until the line is in.
static void wait_for_enter() {
  static const char prompt[] = "\n\nPress ENTER to continue... ";
  (void)fwrite(prompt, 1, sizeof prompt - 1, stderr);
  resize_hold hold;
  int c;
  do
    c = getchar();
  while (c != EOF && c != '\n');
}

// A name as the notice may show it: pkg's answer may hold any byte.
static std::string shown_name(const std::string& name) {
  std::string shown = name;
  for (char& c : shown) {
    if (c < 0x20 || c > 0x7e)
      c = '?';
  }
  return shown;
}

// Tells which ticked packages are kept, and why, before anything is
// deleted, and waits for OK.
static void show_kept(const std::vector<kept_package>& kept) {
  std::string text = "These ticked packages are not deleted:\n";
  for (const kept_package& k : kept)
    text += "\n" + shown_name(k.name) + ": " + shown_name(k.reason);
  dialog_screen screen;
  int widest = 0;
  int lines = 0;
  for (size_t start = 0; start <= text.size(); ++lines) {
    size_t end = std::min(text.find('\n', start), text.size());
    widest = std::max(widest, static_cast<int>(end - start));
    start = end + 1;
  }
  // The dialog library wraps what does not fit and lets a long notice
  // scroll.
  int width = std::min(widest + 4, getmaxx(stdscr));
  int height = std::min(lines + 4, getmaxy(stdscr));
  dialog_msgbox(nullptr, text.c_str(), height, width, 1);
}

// The last look, under a box of its own: it may take a while, and the
// screen would stand blank meanwhile. The box is gone when it returns.
static last_look look_under_box(const std::vector<const char*>& ticked) {
  dialog_screen screen;
  dialog_msgbox(nullptr, "Checking the ticked packages", 5, 32, 0);
  (void)fflush(stdout);
  return look_before_deleting(ticked);
}

// After a delete command that failed or was stopped: which of the packages
// it named are still installed, in one line before the Enter prompt, since
// pkg's own words may not tell, and stops at the first it cannot delete.
static void report_still_installed(const std::vector<const char*>& names) {
  try {
    package_states states;
    if (query_states(names, &states)) {
      std::string line;
      for (const char* name : names) {
        if (states.installed.count(name) != 0)
          line += (line.empty() ? "" : ", ") + shown_name(name);
      }
      line = "Still installed: " + (line.empty() ? std::string("none") : line) + ".\n";
      (void)fputs(line.c_str(), stderr);
      return;
    }
  } catch (const std::bad_alloc&) {
  }
  write_tool_messages();
  (void)fputs("Could not tell which ticked packages are still installed.\n", stderr);
}

int delete_selected() {
  std::unique_ptr<const char*[], free_deleter> argv;
  std::vector<const char*> deletable;
  try {
    std::vector<const char*> ticked = ticked_names();
    if (ticked.empty()) {
      show_notice(nullptr, "No packages selected", 5, 24);
      return stop_run;
    }
    last_look look = look_under_box(ticked);
    if (look.outcome != go_on) {
      write_tool_messages();
      (void)fputs(look.failure.c_str(), stderr);
      (void)fputs("The ticked packages were not deleted.\n", stderr);
      return look.outcome;
    }
    if (!look.kept.empty())
      show_kept(look.kept);
    if (look.deletable.empty())
      return go_on;
    argv.reset(build_delete_argv(look.deletable, false));
    deletable.swap(look.deletable);
  } catch (const std::bad_alloc&) {
  }
  if (argv == nullptr) {
    show_notice("ERROR", "Can not allocate memory for package list!", 5, 45);
    return run_failed;
  }

  // The tool talks to the user on the plain terminal.
  if (!isendwin())
    endwin();
  bool started = false;
  const int status = run_on_terminal(argv.get(), &started);
  argv.reset();
  if (!started) {
    show_notice(nullptr, "Can not fork()", 5, 18);
    return run_failed;
  }
  if (needs_enter_prompt(status)) {
    report_still_installed(deletable);
    wait_for_enter();
  }
  return go_on;
}
