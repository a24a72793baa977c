#ifndef LEAFSWEEP_PKGTOOL_DIALOG_SCREEN_H
#define LEAFSWEEP_PKGTOOL_DIALOG_SCREEN_H

#include <dialog.h>

// One dialog screen: the dialog library owns the terminal from construction
// until close() or destruction. Screens never nest.
class dialog_screen {
 public:
  dialog_screen() {
    init_dialog(stdin, stdout);
    dialog_state.use_shadow = FALSE;
  }
  ~dialog_screen() { close(); }
  dialog_screen(const dialog_screen&) = delete;
  dialog_screen& operator=(const dialog_screen&) = delete;

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
