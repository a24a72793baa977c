#include "terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

using steady = std::chrono::steady_clock;

// How long one poll() may block: short enough that a child which exits
// while something else still holds the pty is reaped promptly.
constexpr int poll_slice_ms = 20;
constexpr int drain_limit_ms = 250;

steady::time_point after(double seconds) {
  return steady::now() + std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(seconds));
}

constexpr uint32_t corner_top_left = 0x250C;
constexpr uint32_t corner_top_right = 0x2510;
constexpr uint32_t corner_bottom_left = 0x2514;
constexpr uint32_t corner_bottom_right = 0x2518;
constexpr uint32_t line_horizontal = 0x2500;
constexpr uint32_t line_vertical = 0x2502;
constexpr uint32_t tee_left = 0x251C;   // ├
constexpr uint32_t tee_right = 0x2524;  // ┤
constexpr uint32_t tee_down = 0x252C;   // ┬
constexpr uint32_t tee_up = 0x2534;     // ┴
constexpr uint32_t cross = 0x253C;      // ┼

bool is_corner(uint32_t c) {
  return c == corner_top_left || c == corner_top_right || c == corner_bottom_left || c == corner_bottom_right;
}
// Pieces of a line running down (the sides of a box) and across (its top
// and bottom); a cross belongs to both.
bool is_down(uint32_t c) { return c == line_vertical || c == tee_left || c == tee_right || c == cross; }
bool is_across(uint32_t c) { return c == line_horizontal || c == tee_down || c == tee_up || c == cross; }

void append_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Invalid bytes become U+FFFD, so that a typo in a test shows on screen
// instead of vanishing.
std::vector<uint32_t> decode_utf8(const std::string& s) {
  std::vector<uint32_t> out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char n = static_cast<unsigned char>(s[i + k]);
      if ((n & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(c);
    i += extra + 1;
  }
  return out;
}

bool has_key(const std::vector<std::string>& env, const std::string& key) {
  return std::any_of(env.begin(), env.end(),
                     [&](const std::string& e) { return e.compare(0, key.size() + 1, key + "=") == 0; });
}

void set_flag(int fd, int cmd_get, int cmd_set, int flag) {
  int flags = fcntl(fd, cmd_get);
  if (flags >= 0) fcntl(fd, cmd_set, flags | flag);
}

// Where the code points of needle start in haystack, or -1.
int find_cells(const std::vector<uint32_t>& haystack, const std::vector<uint32_t>& needle, size_t from) {
  if (needle.empty()) return static_cast<int>(from);
  if (needle.size() > haystack.size()) return -1;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<std::ptrdiff_t>(i))) return static_cast<int>(i);
  }
  return -1;
}

// The kernel's one-letter state of a process (R running, S sleeping in a
// system call, ...), or 0 if it cannot be read.
char process_state(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The command name in parentheses may itself hold spaces and parentheses.
  size_t name_end = line.rfind(')');
  if (name_end == std::string::npos || name_end + 2 >= line.size()) return 0;
  return line[name_end + 2];
}

// Whether signal sig is pending for the process (for it alone or for its
// group) and whether the process blocks it, read from /proc.
struct signal_state {
  bool pending = false, blocked = false;
};

signal_state read_signal_state(pid_t pid, int sig) {
  signal_state state;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const unsigned long long bit = 1ULL << (sig - 1);
  std::string line;
  while (std::getline(status, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string field = line.substr(0, colon);
    if (field != "SigPnd" && field != "ShdPnd" && field != "SigBlk") continue;
    unsigned long long mask = std::stoull(line.substr(colon + 1), nullptr, 16);
    if (field == "SigBlk") state.blocked = (mask & bit) != 0;
    else state.pending = state.pending || (mask & bit) != 0;
  }
  return state;
}

// The characters of code page 437 for the bytes 0x80 to 0xFF.
constexpr uint32_t cp437_upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Bytes as an 8-bit console with the PC's font shows them, in UTF-8 for the
// emulator. Control sequences are all ASCII and pass unchanged.
std::string from_cp437(const char* bytes, size_t len) {
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) out += static_cast<char>(b);
    else append_utf8(out, cp437_upper[b - 0x80]);
  }
  return out;
}

// Puts /dev/null, opened with flags, in place of descriptor fd, in the
// child before it executes the program.
void redirect_to_null(int fd, int flags) {
  int null_fd = open("/dev/null", flags);
  if (null_fd >= 0) {
    dup2(null_fd, fd);
    close(null_fd);
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const box& b) {
  return out << "box{top " << b.top << ", left " << b.left << ", height " << b.height << ", width " << b.width << "}";
}

terminal::terminal(const run_options& options) : rows_(options.rows), cols_(options.cols), cp437_(options.cp437) {
  // Everything the child needs is built before fork, so that the child only
  // makes system calls.
  std::vector<std::string> env = options.env;
  if (options.default_term && !has_key(env, "TERM")) env.push_back("TERM=xterm");
  if (!has_key(env, "ESCDELAY")) env.push_back("ESCDELAY=25");
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args;
  args.push_back(options.program);
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string exec_failure = "cannot execute " + options.program + "\n";
  std::string chdir_failure = "cannot change directory to " + options.cwd + "\n";

  int err_pipe[2];
  if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe2: ") + strerror(errno));

  struct winsize ws {};
  ws.ws_row = static_cast<unsigned short>(rows_);
  ws.ws_col = static_cast<unsigned short>(cols_);
  pid_ = forkpty(&master_, nullptr, nullptr, &ws);
  if (pid_ < 0) {
    int e = errno;
    close(err_pipe[0]);
    close(err_pipe[1]);
    throw std::runtime_error(std::string("forkpty: ") + strerror(e));
  }
  if (pid_ == 0) {
    // Ignored signals and the blocked mask survive execve; the program
    // should start as it would from a shell.
    for (int sig = 1; sig < NSIG; ++sig) {
      if (sig != SIGKILL && sig != SIGSTOP) (void)signal(sig, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(err_pipe[1], 2);  // dup2 clears close-on-exec on the copy
    if (!options.stdin_from_pty) redirect_to_null(0, O_RDONLY);
    if (options.stdout_to_null) redirect_to_null(1, O_WRONLY);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
      ssize_t ignored = write(2, chdir_failure.data(), chdir_failure.size());
      (void)ignored;
      _exit(127);
    }
    for (int fd : options.closed_fds) close(fd);
    execve(argv[0], argv.data(), envp.data());
    ssize_t ignored = write(2, exec_failure.data(), exec_failure.size());
    (void)ignored;
    _exit(127);
  }
  close(err_pipe[1]);
  err_ = err_pipe[0];
  // Close-on-exec keeps this master out of the children of other terminals
  // that the same test may start.
  set_flag(master_, F_GETFD, F_SETFD, FD_CLOEXEC);
  set_flag(master_, F_GETFL, F_SETFL, O_NONBLOCK);
  set_flag(err_, F_GETFL, F_SETFL, O_NONBLOCK);

  vt_ = vterm_new(rows_, cols_);
  vterm_set_utf8(vt_, 1);
  vterm_output_set_callback(vt_, &terminal::on_output, this);
  vt_screen_ = vterm_obtain_screen(vt_);
  vterm_screen_enable_altscreen(vt_screen_, 1);
  vterm_screen_reset(vt_screen_, 1);
}

terminal::~terminal() {
  if (!exited_) {
    // The child leads its own session and process group (forkpty), so the
    // group holds it and whatever it started.
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    reap(0);
  }
  if (master_ >= 0) close(master_);
  if (err_ >= 0) close(err_);
  if (vt_) vterm_free(vt_);
}

void terminal::on_output(const char* bytes, size_t len, void* self) {
  // Only queued here: writing may have to wait for the child to read, and
  // the child may be waiting for us to read, which libvterm cannot do while
  // it is inside a keyboard call.
  static_cast<terminal*>(self)->pending_.append(bytes, len);
}

void terminal::reap(int flags) {
  if (exited_) return;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, flags);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    exited_ = true;
    status_ = status;
  } else if (r < 0 && errno == ECHILD) {
    // Someone else reaped it (a SIGCHLD handler set to SIG_IGN, say); there
    // is no status to report.
    exited_ = true;
    status_ = -1;
  }
}

bool terminal::pump(int timeout_ms) {
  if (master_eof_) pending_.clear();  // no reader is left for keyboard input
  struct pollfd fds[2];
  int n = 0;
  int master_slot = -1, err_slot = -1;
  if (!master_eof_) {
    master_slot = n;
    fds[n++] = {master_, static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT)), 0};
  }
  if (err_ >= 0) {
    err_slot = n;
    fds[n++] = {err_, POLLIN, 0};
  }
  bool got = false;
  int ready = poll(fds, n, n == 0 ? std::min(timeout_ms, poll_slice_ms) : timeout_ms);
  if (ready > 0) {
    char buf[65536];
    if (master_slot >= 0) {
      short re = fds[master_slot].revents;
      if ((re & POLLOUT) && !pending_.empty()) {
        ssize_t w = write(master_, pending_.data(), pending_.size());
        if (w > 0) pending_.erase(0, static_cast<size_t>(w));
        else if (w < 0 && errno != EAGAIN && errno != EINTR) pending_.clear();
      }
      if (re & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t r = read(master_, buf, sizeof buf);
        if (r > 0) {
          output_.append(buf, static_cast<size_t>(r));
          if (cp437_) {
            std::string shown = from_cp437(buf, static_cast<size_t>(r));
            vterm_input_write(vt_, shown.data(), shown.size());
          } else {
            vterm_input_write(vt_, buf, static_cast<size_t>(r));
          }
          got = true;
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
          // Linux says EIO once no descriptor of the slave side is open.
          // That is the end of the screen's output, not of the child.
          master_eof_ = true;
        }
      }
    }
    if (err_slot >= 0 && (fds[err_slot].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t r = read(err_, buf, sizeof buf);
      if (r > 0) {
        stderr_.append(buf, static_cast<size_t>(r));
        got = true;
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        close(err_);
        err_ = -1;
      }
    }
  }
  reap(WNOHANG);
  return got;
}

void terminal::drain() {
  // A child that never stops writing must not keep a wait from checking its
  // condition and its deadline.
  auto until = steady::now() + std::chrono::milliseconds(drain_limit_ms);
  while (pump(0) && steady::now() < until) {
  }
}

bool terminal::settled() const { return exited_ && master_eof_ && err_ < 0; }

void terminal::send_pending() {
  auto deadline = steady::now() + std::chrono::seconds(30);
  while (!pending_.empty() && !master_eof_ && steady::now() < deadline) pump(poll_slice_ms);
  if (!pending_.empty() && !master_eof_) {
    std::cerr << "pty harness: the child read none of " << pending_.size() << " bytes of input in 30 s\n";
  }
  pending_.clear();
}

bool terminal::wait_for(const std::function<bool(const terminal&)>& done, double timeout_s) {
  auto deadline = after(timeout_s);
  for (;;) {
    drain();
    if (done(*this)) return true;
    if (settled()) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
    if (left <= 0) break;
    pump(static_cast<int>(std::min<long long>(left, poll_slice_ms)));
  }
  std::cerr << "pty harness: ";
  if (settled()) std::cerr << "the child is gone and the awaited state never came\n";
  else std::cerr << "the awaited state did not come within " << timeout_s << " s\n";
  std::cerr << describe();
  return false;
}

bool terminal::wait_for_text(const std::string& text, double timeout_s) {
  return wait_for([&](const terminal& t) { return t.contains(text); }, timeout_s);
}

bool terminal::wait_for_stderr(const std::string& text, double timeout_s) {
  return wait_for([&](const terminal& t) { return t.stderr_.find(text) != std::string::npos; }, timeout_s);
}

int terminal::wait_exit(double timeout_s) {
  auto deadline = after(timeout_s);
  while (!exited_ && steady::now() < deadline) pump(poll_slice_ms);
  if (!exited_) {
    std::cerr << "pty harness: the child did not exit within " << timeout_s << " s\n" << describe();
    return -1;
  }
  // What the child wrote before it died is still buffered in the pty and
  // the pipe; a grandchild holding either open must not keep us here.
  drain();
  return status_;
}

std::vector<std::vector<uint32_t>> terminal::grid() const {
  std::vector<std::vector<uint32_t>> g(rows_, std::vector<uint32_t>(cols_, ' '));
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < cols_; ++c) {
      VTermScreenCell cell;
      if (!vterm_screen_get_cell(vt_screen_, VTermPos{r, c}, &cell)) continue;
      uint32_t ch = cell.chars[0];
      g[r][c] = ch == 0 ? ' ' : ch;
    }
  }
  return g;
}

std::string terminal::row(int r) const {
  std::string out;
  if (r < 0 || r >= rows_) return out;
  for (int c = 0; c < cols_; ++c) {
    VTermScreenCell cell;
    if (!vterm_screen_get_cell(vt_screen_, VTermPos{r, c}, &cell)) continue;
    if (cell.chars[0] == 0) {
      out += ' ';
      continue;
    }
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i) append_utf8(out, cell.chars[i]);
    if (cell.width == 2) ++c;  // the next cell is the right half of this character
  }
  out.erase(out.find_last_not_of(' ') + 1);
  return out;
}

std::string terminal::screen() const {
  std::string out;
  for (int r = 0; r < rows_; ++r) {
    if (r) out += '\n';
    out += row(r);
  }
  return out;
}

bool terminal::contains(const std::string& text) const { return find(text).has_value(); }

std::optional<position> terminal::find(const std::string& text) const {
  std::vector<uint32_t> needle = decode_utf8(text);
  auto g = grid();
  for (int r = 0; r < rows_; ++r) {
    int c = find_cells(g[r], needle, 0);
    if (c >= 0) return position{r, c};
  }
  return std::nullopt;
}

position terminal::cursor() const {
  VTermPos pos;
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return position{pos.row, pos.col};
}

std::vector<box> terminal::boxes() const {
  auto g = grid();
  std::vector<box> found;
  // Only the corners must be whole. Titles and scroll markers are written
  // over the top and bottom edges, and dialog lets a button wider than a
  // narrow box overwrite its right edge; so an edge may hold text, but no
  // line running the other way and no corner. Each edge longer than its
  // corners must still show at least one line piece of its own.
  auto side_ok = [&](int r0, int r1, int c) {
    int lines = 0;
    for (int r = r0; r <= r1; ++r) {
      if (is_corner(g[r][c]) || is_across(g[r][c])) return false;
      lines += is_down(g[r][c]);
    }
    return r1 < r0 || lines > 0;
  };
  auto across_ok = [&](int r, int c0, int c1) {
    int lines = 0;
    for (int c = c0; c <= c1; ++c) {
      if (is_corner(g[r][c]) || is_down(g[r][c])) return false;
      lines += is_across(g[r][c]);
    }
    return c1 < c0 || lines > 0;
  };
  for (int top = 0; top < rows_; ++top) {
    for (int left = 0; left < cols_; ++left) {
      if (g[top][left] != corner_top_left) continue;
      // The first corner below is this box's bottom left corner; the first
      // corner to the right on the top row is its top right corner.
      int bottom = top + 1;
      while (bottom < rows_ && !is_corner(g[bottom][left])) ++bottom;
      if (bottom >= rows_ || g[bottom][left] != corner_bottom_left) continue;
      int right = left + 1;
      while (right < cols_ && !is_corner(g[top][right])) ++right;
      if (right >= cols_ || g[top][right] != corner_top_right || g[bottom][right] != corner_bottom_right) continue;
      if (side_ok(top + 1, bottom - 1, left) && side_ok(top + 1, bottom - 1, right) &&
          across_ok(top, left + 1, right - 1) && across_ok(bottom, left + 1, right - 1)) {
        found.push_back(box{top, left, bottom - top + 1, right - left + 1});
      }
    }
  }
  return found;
}

std::optional<box> terminal::box_containing(const std::string& text) const {
  std::vector<uint32_t> needle = decode_utf8(text);
  auto g = grid();
  std::vector<box> all = boxes();
  for (int r = 0; r < rows_; ++r) {
    for (int c = find_cells(g[r], needle, 0); c >= 0; c = find_cells(g[r], needle, c + 1)) {
      int end = c + static_cast<int>(needle.size()) - 1;
      std::optional<box> best;
      for (const box& b : all) {
        if (r < b.top || r > b.bottom() || c <= b.left || end >= b.right()) continue;
        if (!best || b.height * b.width < best->height * best->width) best = b;
      }
      if (best) return best;
    }
  }
  return std::nullopt;
}

void terminal::type(const std::string& utf8) {
  for (uint32_t c : decode_utf8(utf8)) vterm_keyboard_unichar(vt_, c, VTERM_MOD_NONE);
  send_pending();
}

void terminal::key(VTermKey k, VTermModifier mod) {
  vterm_keyboard_key(vt_, k, mod);
  send_pending();
}

void terminal::send_raw(const std::string& bytes) {
  pending_ += bytes;
  send_pending();
}

void terminal::resize(int rows, int cols) {
  // ncurses looks for a size change and then blocks reading a key; a
  // SIGWINCH that comes between the two is only noticed after the next key.
  // So the size changes while the child sleeps, inside that read. The
  // drain also leaves output drawn for the old size on the old screen.
  auto deadline = after(30);
  for (;;) {
    drain();
    if (exited_ || process_state(pid_) == 'S' || steady::now() >= deadline) break;
    pump(1);
  }
  rows_ = rows;
  cols_ = cols;
  vterm_set_size(vt_, rows, cols);
  struct winsize ws {};
  ws.ws_row = static_cast<unsigned short>(rows);
  ws.ws_col = static_cast<unsigned short>(cols);
  ioctl(master_, TIOCSWINSZ, &ws);
}

bool terminal::wait_resize_taken(double timeout_s) {
  return wait_for(
      [](const terminal& t) {
        if (t.exited()) return true;
        signal_state winch = read_signal_state(t.pid(), SIGWINCH);
        return winch.pending ? winch.blocked : process_state(t.pid()) == 'S';
      },
      timeout_s);
}

bool terminal::waits_for_input() const {
  if (exited_ || process_state(pid_) != 'S') return false;
  std::ifstream syscall("/proc/" + std::to_string(pid_) + "/syscall");
  std::string number, fd;
  syscall >> number >> fd;
  if (number != std::to_string(SYS_read) || fd != "0x0") return false;
  // Input the child has not read yet waits on the terminal's side.
  int slave = open(ptsname(master_), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return false;
  int unread = -1;
  bool none_left = ioctl(slave, FIONREAD, &unread) == 0 && unread == 0;
  close(slave);
  return none_left;
}

bool terminal::quiet_for(int ms) {
  auto until = steady::now() + std::chrono::milliseconds(ms);
  bool quiet = true;
  for (auto now = steady::now(); now < until; now = steady::now()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    if (pump(static_cast<int>(std::max<long long>(left, 1))))
      quiet = false;
  }
  return quiet;
}

long terminal::read_calls() const {
  std::ifstream io("/proc/" + std::to_string(pid_) + "/io");
  std::string field;
  long count = -1;
  while (io >> field) {
    if (field == "syscr:") {
      io >> count;
      break;
    }
  }
  return count;
}

termios terminal::tty_mode() const {
  termios mode{};
  tcgetattr(master_, &mode);
  return mode;
}

std::string terminal::describe() const {
  std::ostringstream out;
  out << "---- screen " << rows_ << "x" << cols_ << ", cursor at " << cursor().row << "," << cursor().col << " ----\n";
  for (int r = 0; r < rows_; ++r) {
    out << (r < 10 ? " " : "") << r << "|" << row(r) << "\n";
  }
  out << "---- child " << pid_ << ": ";
  if (!exited_) out << "running";
  else if (status_ == -1) out << "reaped elsewhere";
  else if (WIFEXITED(status_)) out << "exited " << WEXITSTATUS(status_);
  else if (WIFSIGNALED(status_)) out << "killed by signal " << WTERMSIG(status_);
  out << (master_eof_ ? ", pty closed" : "") << "\n";
  constexpr size_t tail = 4000;
  out << "---- stderr (" << stderr_.size() << " bytes" << (stderr_.size() > tail ? ", the last 4000" : "") << ") ----\n"
      << (stderr_.size() > tail ? stderr_.substr(stderr_.size() - tail) : stderr_) << "\n---- end ----\n";
  return out.str();
}
