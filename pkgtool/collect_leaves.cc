#include "pkgtool/collect_leaves.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "pkgtool/child_process.h"
#include "pkgtool/dialog_screen.h"
#include "pkgtool/leaf_line.h"
#include "pkgtool/leaf_list.h"
#include "pkgtool/run_result.h"
#include "pkgtool/tool_path.h"

int collect_leaves(int pass) {
  dialog_screen screen;
  dialog_msgbox(nullptr, "Searching for leaves", 5, 23, 0);
  (void)fflush(stdout);

  // Leaves are the packages that nothing depends on and that are not locked.
  // The tool itself turns the two characters \t into a tab.
  const char* const argv[] = {pkg_tool_path, "query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c", nullptr};
  tool_pipe query;
  if (!query.open(argv)) {
    screen.close();
    (void)fputs("Error executing pkg.\n", stderr);
    return run_failed;
  }
  int error = read_leaf_lines(query.stream());
  int status = query.close();
  // A list that lacks leaves is never shown as if it were the whole one.
  if (error != 0) {
    screen.close();
    (void)fprintf(stderr, "Could not read the whole list of leaf packages: %s.\n", strerror(error));
    return run_failed;
  }

  // A tool that dies from a signal has failed as surely as one that exits
  // with an error; either way an empty answer is not "no leaves".
  bool failed = status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  if (failed && leaf_count == 0) {
    screen.close();
    (void)fputs("pkg returned an error.\n", stderr);
    return run_failed;
  }

  dlg_clear();
  if (leaf_count != 0)
    return go_on;
  if (pass != 0)
    dialog_msgbox(nullptr, "No new leaves found", 5, 23, 1);
  else
    dialog_msgbox(nullptr, "No leaves found", 5, 19, 1);
  return stop_run;
}
