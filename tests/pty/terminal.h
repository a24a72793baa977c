// A program under test, run in a pseudo-terminal whose screen is read
// through libvterm. Its standard error goes to a pipe of its own, so that the
// screen and the error text can be checked apart, and its exit status is
// taken from waitpid alone.
#ifndef LEAFSWEEP_TESTS_PTY_TERMINAL_H
#define LEAFSWEEP_TESTS_PTY_TERMINAL_H

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <vterm.h>

struct run_options {
  std::string program;            // absolute path
  std::vector<std::string> args;  // argv[1..]
  // The child's whole environment ("K=V"). TERM=xterm and ESCDELAY=25 are
  // added unless given; nothing else is, LINES and COLUMNS least of all,
  // since they would hide the pty's size from curses.
  std::vector<std::string> env;
  // When false, TERM is not added: the child has one only if env gives it.
  bool default_term = true;
  std::string cwd;  // the child's working directory; empty keeps ours
  int rows = 24, cols = 80;
  // When false, the child's standard input is /dev/null; its output still
  // goes to the pty, which stays its controlling terminal (/dev/tty).
  bool stdin_from_pty = true;
  // When true, the child's standard output is /dev/null; the pty stays its
  // controlling terminal.
  bool stdout_to_null = false;
  // Descriptors closed in the child just before it executes the program,
  // after the redirections above: 0, 1 or 2 to start it with that standard
  // stream closed. The child's messages about a failed chdir or execve are
  // lost when 2 is among them.
  std::vector<int> closed_fds;
  // When true, the screen shows each byte the program writes as one
  // character, bytes from 0x80 up as the glyphs of code page 437, as an
  // 8-bit PC console with its built-in font (syscons) does, instead of
  // decoding UTF-8.
  bool cp437 = false;
};

// A rectangle drawn with line-drawing characters: the rows and columns of
// its outer border, the size counting both borders.
struct box {
  int top, left, height, width;
  int bottom() const { return top + height - 1; }
  int right() const { return left + width - 1; }
  bool operator==(const box& o) const {
    return top == o.top && left == o.left && height == o.height && width == o.width;
  }
  bool operator!=(const box& o) const { return !(*this == o); }
};

std::ostream& operator<<(std::ostream& out, const box& b);  // for test messages

struct position {
  int row, col;
  bool operator==(const position& o) const { return row == o.row && col == o.col; }
};

class terminal {
 public:
  // Starts the program; throws std::runtime_error if the pty or the pipe
  // cannot be made. A program that cannot be executed exits with 127 after
  // writing the reason to its standard error.
  explicit terminal(const run_options& options);
  ~terminal();  // kills (SIGKILL) and reaps a child still running
  terminal(const terminal&) = delete;
  terminal& operator=(const terminal&) = delete;

  // Reads the pty and the error pipe until done(*this) holds, checking it
  // only after all output available at that moment has been taken in.
  // Returns false once the timeout passes, or at once when nothing can
  // change any more (the child reaped, both channels closed); in both cases
  // it prints describe() to std::cerr.
  bool wait_for(const std::function<bool(const terminal&)>& done, double timeout_s = 30);
  bool wait_for_text(const std::string& text, double timeout_s = 30);  // anywhere on screen
  bool wait_for_stderr(const std::string& text, double timeout_s = 30);

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  std::string row(int r) const;  // UTF-8 text of row r, trailing blanks removed
  std::string screen() const;    // all rows joined with '\n'
  bool contains(const std::string& text) const;
  // Where text starts (row, column in cells), first in reading order.
  std::optional<position> find(const std::string& text) const;
  position cursor() const;
  std::vector<box> boxes() const;  // every rectangle drawn with line-drawing characters
  // The smallest box whose inside, or top or bottom border (where titles
  // and markers are written), holds text; the first occurrence inside any
  // box counts.
  std::optional<box> box_containing(const std::string& text) const;

  void type(const std::string& utf8);  // characters through vterm_keyboard_unichar
  // Keys through vterm_keyboard_key, so that arrows follow the keypad mode
  // the program switched on.
  void key(VTermKey k, VTermModifier mod = VTERM_MOD_NONE);
  void send_raw(const std::string& bytes);  // straight to the pty master
  // Resizes libvterm's screen, then the pty; the kernel sends SIGWINCH.
  // First waits (up to 30 s) until the child sleeps in a system call, since
  // ncurses misses a SIGWINCH that comes just before it blocks for a key.
  void resize(int rows, int cols);
  // Waits until the child has taken in the SIGWINCH of a resize: it holds
  // the signal blocked, or it has handled it and sleeps again (or has
  // exited), its output drained. What it did about the resize is then on
  // the screen.
  bool wait_resize_taken(double timeout_s = 30);
  // Whether the child sleeps reading its standard input, where both the
  // dialog library and a plain line reader wait for the user, with every
  // byte of input sent so far read.
  bool waits_for_input() const;
  // How many read calls the child has completed, from any descriptor. A
  // read that still waits is not counted, so a count that has grown since
  // a key was sent tells that the key has been taken.
  long read_calls() const;
  // Reads the pty and the error pipe for ms milliseconds; true when nothing
  // came in that time.
  bool quiet_for(int ms);

  std::string stderr_text() const { return stderr_; }  // every byte written to fd 2 so far
  std::string output_log() const { return output_; }   // every byte written to the pty so far
  // Keeps draining the pty and the error pipe until waitpid reaps the child;
  // returns the raw wait status, or -1 on timeout.
  int wait_exit(double timeout_s = 30);
  // These three tell the state as of the last wait or key; nothing is read
  // in between.
  bool exited() const { return exited_; }
  // The pty master reported end of output: no process holds the pty any
  // more. That says nothing about whether the child has exited.
  bool output_closed() const { return master_eof_; }
  int exit_status() const { return exited_ ? status_ : -1; }  // raw wait status
  // The pty's terminal modes as they are now, read through the master.
  termios tty_mode() const;
  pid_t pid() const { return pid_; }

  // The screen with row numbers, the cursor, the child's state and the
  // tail of its standard error: for failure messages.
  std::string describe() const;

 private:
  static void on_output(const char* bytes, size_t len, void* self);
  // One round of poll(): writes pending input, reads what is readable, reaps
  // the child if it has exited. Returns true if anything was read.
  bool pump(int timeout_ms);
  void drain();          // pumps without waiting until nothing more is read (or 250 ms pass)
  void send_pending();   // pumps until the pending input has been written
  bool settled() const;  // nothing more can arrive
  void reap(int flags);
  std::vector<std::vector<uint32_t>> grid() const;  // first code point of every cell

  VTerm* vt_ = nullptr;
  VTermScreen* vt_screen_ = nullptr;
  int rows_, cols_;
  int master_ = -1;
  bool master_eof_ = false;  // the pty master reported end of output (EOF or EIO)
  int err_ = -1;        // read end of the stderr pipe, -1 after EOF
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string pending_;  // keyboard bytes not yet written to the master
  std::string stderr_;
  std::string output_;
  bool cp437_;
};

#endif
