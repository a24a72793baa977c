// The dialog library's own cost: opens a dialog screen and draws the
// checklist leafsweep draws, with the same sizes, over prebuilt items, then
// ends as leafsweep does on Escape. The items are the lines of a file of
// leaf output, taken in with one read and cut in place: the least time and
// memory in which the items can be had at all.
// Usage: checklist_floor FILE
#include <dialog.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2)
    return 64;
  int fd = open(argv[1], O_RDONLY);
  struct stat info;
  if (fd == -1 || fstat(fd, &info) == -1)
    return 66;
  std::vector<char> text(static_cast<size_t>(info.st_size) + 1);
  if (read(fd, text.data(), text.size() - 1) != info.st_size)
    return 66;
  close(fd);

  std::vector<DIALOG_LISTITEM> items(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
  static char empty[] = "";
  char* next = text.data();
  for (DIALOG_LISTITEM& item : items) {
    item.name = next;
    next = std::strchr(next, '\t');
    *next++ = '\0';
    item.help = next;
    next = std::strchr(next, '\n');
    *next++ = '\0';
    item.text = empty;
    item.state = 0;
  }

  init_dialog(stdin, stdout);
  dialog_state.use_shadow = FALSE;
  int rows = getmaxy(stdscr);
  int columns = getmaxx(stdscr);
  dialog_vars.help_button = TRUE;
  dialog_vars.item_help = TRUE;
  int current = 0;
  dlg_checklist("Welcome to leafsweep.",
                "These are the leaf packages installed on your system\n"
                "Chose the packages to deinstall. Help will display the package description.",
                rows - 1, columns, rows - 9, static_cast<int>(items.size()), items.data(), " X", FLAG_CHECK, &current);
  end_dialog();
  return 0;
}
