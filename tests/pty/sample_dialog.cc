// A small program for the pty harness's own tests: each mode shows one kind
// of screen or behaviour that leafsweep's end-to-end tests rely on.
//
//   msgbox              a 5x9 message box saying Hello; after it closes, a
//                       plain line "msgbox returned N"
//   checklist           a checklist with item help and a Help button; then a
//                       plain line "checklist returned N: TAGS..."
//   stderr STATUS       writes stderr_payload() to fd 2 and a line to the
//                       screen, then exits with STATUS
//   close-pty STATUS    closes every pty descriptor, then exits with STATUS
//                       when SIGUSR1 arrives
//   print TEXT          writes TEXT to the screen as it is
//   env                 prints its directory and environment, then echoes
//                       one line read from stdin
//   fds                 writes to /dev/tty which of descriptors 0, 1 and 2
//                       it started with open, e.g. "fds: 0 closed, 1 open,
//                       2 open"
#include <dialog.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sample_payload.h"

extern char** environ;

namespace {

void start_dialog() {
  init_dialog(stdin, stdout);
  dialog_state.use_shadow = FALSE;
}

int show_msgbox() {
  start_dialog();
  int result = dialog_msgbox(nullptr, "Hello", 5, 9, 1);
  end_dialog();
  std::printf("msgbox returned %d\n", result);
  return 0;
}

int show_checklist() {
  // More items than the list shows, so that scroll markers are written over
  // the list's border.
  static const char* const rows[][3] = {
      {"alpha", "first letter", "help for alpha"},   {"beta", "second letter", "help for beta"},
      {"gamma", "third letter", "help for gamma"},   {"delta", "fourth letter", "help for delta"},
      {"epsilon", "fifth letter", "help for epsilon"}, {"zeta", "sixth letter", "help for zeta"},
  };
  constexpr int count = sizeof rows / sizeof rows[0];
  DIALOG_LISTITEM items[count];
  for (int i = 0; i < count; ++i) {
    items[i].name = const_cast<char*>(rows[i][0]);
    items[i].text = const_cast<char*>(rows[i][1]);
    items[i].help = const_cast<char*>(rows[i][2]);
    items[i].state = 0;
  }
  start_dialog();
  dialog_vars.item_help = TRUE;
  dialog_vars.help_button = TRUE;
  int current = 0;
  int result = dlg_checklist("Letters", "Pick some letters", 14, 50, 4, count, items, " X", FLAG_CHECK, &current);
  end_dialog();
  std::printf("checklist returned %d:", result);
  for (const DIALOG_LISTITEM& item : items) {
    if (item.state) std::printf(" %s", item.name);
  }
  std::printf("\n");
  return 0;
}

int write_stderr(int status) {
  std::string payload = stderr_payload();
  size_t done = 0;
  while (done < payload.size()) {
    ssize_t w = write(2, payload.data() + done, payload.size() - done);
    if (w <= 0) return 1;
    done += static_cast<size_t>(w);
  }
  std::printf("stderr written\n");
  return status;
}

int close_pty(int status) {
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigprocmask(SIG_BLOCK, &usr1, nullptr);
  std::printf("closing the pty\n");
  (void)std::fflush(stdout);
  close(0);
  close(1);
  (void)std::fprintf(stderr, "pty closed\n");
  int sig = 0;
  sigwait(&usr1, &sig);
  return status;
}

int print_env() {
  char cwd[4096];
  std::printf("cwd %s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
  for (char** e = environ; *e; ++e) std::printf("env %s\n", *e);
  std::printf("ready>");
  (void)std::fflush(stdout);
  char line[256];
  if (!std::fgets(line, sizeof line, stdin)) return 1;
  line[std::strcspn(line, "\n")] = '\0';
  std::printf("got [%s]\n", line);
  return 0;
}

// Written to the controlling terminal, since any standard stream may be
// closed.
int show_descriptors() {
  std::string line = "fds:";
  for (int fd = 0; fd <= 2; ++fd) {
    bool open = fcntl(fd, F_GETFD) != -1;
    line += std::string(fd == 0 ? " " : ", ") + std::to_string(fd) + (open ? " open" : " closed");
  }
  line += "\n";
  int tty = open("/dev/tty", O_WRONLY | O_NOCTTY);
  if (tty < 0) return 1;
  bool written = write(tty, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(tty);
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  (void)std::setlocale(LC_ALL, "");
  std::string mode = argc > 1 ? argv[1] : "";
  int number = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 10)) : 0;
  if (mode == "msgbox") return show_msgbox();
  if (mode == "checklist") return show_checklist();
  if (mode == "stderr") return write_stderr(number);
  if (mode == "close-pty") return close_pty(number);
  if (mode == "print" && argc > 2) {
    (void)std::fputs(argv[2], stdout);
    return 0;
  }
  if (mode == "env") return print_env();
  if (mode == "fds") return show_descriptors();
  (void)std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
