#include "pkgtool/collect_leaves.h"

#include <cstdio>

#include "pkgtool/dialog_screen.h"
#include "pkgtool/leaf_list.h"
#include "pkgtool/leaf_query.h"
#include "pkgtool/run_result.h"

int collect_leaves(int pass) {
  dialog_screen screen;
  dialog_msgbox(nullptr, "Searching for leaves", 5, 23, 0);
  (void)fflush(stdout);

  leaf_query_result query = run_leaf_query(offer_leaf, nullptr);
  // A list that lacks leaves is never shown as if it were the whole one,
  // and an empty answer from a tool that failed is not "no leaves".
  if (query.start_error != 0 || query.read_error != 0 || (query.tool_failed && leaf_count == 0)) {
    screen.close();
    report_leaf_query_failure(query);
    return run_failed;
  }

  screen.blank();
  if (leaf_count != 0)
    return go_on;
  if (pass != 0)
    dialog_msgbox(nullptr, "No new leaves found", 5, 23, 1);
  else
    dialog_msgbox(nullptr, "No leaves found", 5, 19, 1);
  return stop_run;
}
