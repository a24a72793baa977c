#include "pkgtool/delete_selected.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "pkgtool/child_process.h"
#include "pkgtool/dialog_screen.h"
#include "pkgtool/leaf_list.h"
#include "pkgtool/resize_hold.h"
#include "pkgtool/run_result.h"
#include "pkgtool/tool_path.h"

const char** build_delete_argv(int* ticked) {
  int count = leaf_count > 0 ? leaf_count : 0;
  auto words = static_cast<const char**>(malloc(sizeof(char*) * (static_cast<size_t>(count) + 4)));
  if (words == nullptr)
    return nullptr;
  words[0] = pkg_tool_path;
  words[1] = "delete";
  words[2] = "-y";
  int used = 0;
  for (int i = 0; i < count; ++i) {
    if (leaf_items[i].state != 0)
      words[3 + used++] = leaf_items[i].name;
  }
  words[3 + used] = nullptr;
  *ticked = used;
  return words;
}

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

struct free_deleter {
  void operator()(const char** block) const { free(block); }
};

int delete_selected() {
  int ticked = 0;
  std::unique_ptr<const char*[], free_deleter> argv(build_delete_argv(&ticked));
  if (argv == nullptr) {
    show_notice("ERROR", "Can not allocate memory for package list!", 5, 45);
    return run_failed;
  }
  if (ticked == 0) {
    show_notice(nullptr, "No packages selected", 5, 24);
    return stop_run;
  }

  // The tool talks to the user on the plain terminal.
  if (!isendwin())
    endwin();
  // The tool gets nothing of our environment.
  static const char* const empty_environment[] = {nullptr};
  pid_t pid = start_child(argv.get(), empty_environment, -1);
  argv.reset();
  if (pid == -1) {
    show_notice(nullptr, "Can not fork()", 5, 18);
    return run_failed;
  }
  if (needs_enter_prompt(wait_for_child(pid)))
    wait_for_enter();
  return go_on;
}
