#include "run/run_driver.h"

#include <search.h>
#include <sysexits.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pkgtool/collect_leaves.h"
#include "pkgtool/delete_selected.h"
#include "pkgtool/dialog_screen.h"
#include "pkgtool/heap.h"
#include "pkgtool/leaf_list.h"
#include "pkgtool/query_description.h"
#include "pkgtool/run_result.h"
#include "pkgtool/tool_check.h"
#include "pkgtool/tool_messages.h"
#include "pkgtool/tool_path.h"
#include "run/checklist_size.h"
#include "run/help_text.h"
#include "run/standard_streams.h"
#include "run/terminal_check.h"
#include "run/terminal_type.h"

namespace {

// Shows the long description of the highlighted package in a box of the
// open checklist screen, or why it could not be read.
void show_description(int current, int rows, int columns) {
  if (current < 0 || current >= leaf_count)
    return;
  const DIALOG_LISTITEM& item = leaf_items[current];
  tool_text found = query_description(item.name);
  std::unique_ptr<char, free_deleter> text(found.text);
  // Part of a description must not pass for the whole of it.
  char failure[160];
  if (found.error != 0) {
    (void)snprintf(failure, sizeof failure, "Could not read the package's description: %s.", strerror(found.error));
  } else if (text == nullptr) {
    return;
  } else {
    prepare_description(text.get());
  }
  dialog_vars.help_button = FALSE;
  dialog_msgbox(item.help, found.error != 0 ? failure : text.get(), rows - 4, columns - 4, 1);
  dialog_vars.help_button = TRUE;
}

const char checklist_prompt[] =
    "These are the leaf packages installed on your system\n"
    "Chose the packages to deinstall. Help will display the package description.";

// Lets the user tick the packages to delete. go_on on OK, stop_run on any
// other way out of the checklist, run_failed when the terminal is too small
// for it.
int choose_leaves() {
  dialog_screen screen;
  // The size is taken once a pass; a resize shows from the next pass on.
  int rows = getmaxy(stdscr);
  int columns = getmaxx(stdscr);
  dialog_vars.help_button = TRUE;
  dialog_vars.item_help = TRUE;
  int current = 0;
  int outcome;
  for (;;) {
    // In a smaller terminal the dialog library ends the whole process when
    // the list does not fit, and draws the buttons over the list where the
    // ticks cannot be read when it barely fits. The library fits the box
    // into a terminal made smaller during Help, so that size counts too.
    int shown_rows = std::min(rows, getmaxy(stdscr));
    int shown_columns = std::min(columns, getmaxx(stdscr));
    screen_size needed = checklist_needs(checklist_prompt, shown_columns);
    if (shown_rows < needed.rows || shown_columns < needed.columns) {
      screen.close();
      (void)fprintf(stderr,
                    "The terminal is too small for the checklist: it needs at least %d rows and %d columns.\n",
                    needed.rows, needed.columns);
      outcome = run_failed;
      break;
    }
    int result = dlg_checklist("Welcome to leafsweep.", checklist_prompt, rows - 1, columns, rows - 9, leaf_count,
                               leaf_items, " X", FLAG_CHECK, &current);
    if (result != DLG_EXIT_HELP) {
      outcome = result == DLG_EXIT_OK ? go_on : stop_run;
      break;
    }
    show_description(current, rows, columns);
  }
  dialog_vars.help_button = FALSE;
  dialog_vars.item_help = FALSE;
  return outcome;
}

bool wants_next_pass() {
  dialog_screen screen;
  return dialog_yesno(nullptr, "Do you want to process the new leaves packages?", -1, -1) == DLG_EXIT_OK;
}

// Runs passes until the user stops or an operation ends the run.
int run_passes() {
  for (int pass = 0;; ++pass) {
    int result = collect_leaves(pass);
    if (result == go_on)
      result = choose_leaves();
    if (result == go_on)
      result = delete_selected();
    if (result != go_on)
      return result;
    free_leaf_list();
    if (!wants_next_pass())
      return stop_run;
  }
}

}  // namespace

int run_leafsweep() {
  static const char no_table[] = "Cannot create hash table.\n";
  static const char closing[] = "\nProgram Terminated Successfully\n";
  static const char no_terminal[] = "leafsweep needs a terminal: run it from a terminal or the console.\n";
  static const char closed_stream[] =
      "leafsweep has a closed standard stream and cannot open /dev/null in its place: "
      "run it with standard input, output and error open.\n";
  if (!open_closed_standard_streams()) {
    (void)fwrite(closed_stream, 1, sizeof closed_stream - 1, stderr);
    return EXIT_FAILURE;
  }
  if (!has_terminal()) {
    (void)fwrite(no_terminal, 1, sizeof no_terminal - 1, stderr);
    return EXIT_FAILURE;
  }
  std::string type_fault = terminal_type_fault();
  if (!type_fault.empty()) {
    (void)fwrite(type_fault.data(), 1, type_fault.size(), stderr);
    return EXIT_FAILURE;
  }
  // Found missing once the first screen is up, the tool would give a
  // progress box and then a number.
  if (int fault = tool_fault()) {
    (void)fprintf(stderr, "leafsweep cannot run the package tool %s: %s.\n", pkg_tool_path, strerror(fault));
    return EXIT_FAILURE;
  }
  // Every key the leaf query reports in this run goes into this table, so
  // that no package is offered twice.
  if (hcreate(10000) == 0) {
    (void)fwrite(no_table, 1, sizeof no_table - 1, stderr);
    return EX_UNAVAILABLE;
  }
  int result = run_passes();
  hdestroy();
  // No screen is up any more: what the tool wrote during the run is read
  // now, before the last line.
  write_tool_messages();
  if (result == run_failed)
    return EXIT_FAILURE;
  (void)fwrite(closing, 1, sizeof closing - 1, stderr);
  return EXIT_SUCCESS;
}
