#ifndef LEAFSWEEP_PKGTOOL_DIALOG_SCREEN_H
#define LEAFSWEEP_PKGTOOL_DIALOG_SCREEN_H

#include <dialog.h>

// One dialog screen: the dialog library owns the terminal from construction
// until close() or destruction. Screens never nest, and each starts blank.
class dialog_screen {
 public:
  dialog_screen() {
    init_dialog(stdin, stdout);
    dialog_state.use_shadow = FALSE;
    blank();
  }
  ~dialog_screen() { close(); }
  dialog_screen(const dialog_screen&) = delete;
  dialog_screen& operator=(const dialog_screen&) = delete;

  // Blanks the whole terminal before the next box. The dialog library clears
  // only its own picture of the screen, and not what the terminal shows: a
  // box that is gone, an earlier screen, the package tool's output.
  void blank() {
    dlg_clear();
    clearok(stdscr, TRUE);
    wrefresh(stdscr);
  }

  // Gives the terminal back early, before a line goes to standard error.
  void close() {
    if (open_) {
      end_dialog();
      open_ = false;
    }
  }

 private:
  bool open_ = true;
};

// Shows a message box with an OK button in a screen of its own.
inline void show_notice(const char* title, const char* text, int height, int width) {
  dialog_screen screen;
  dialog_msgbox(title, text, height, width, 1);
}

#endif
