// Times the last look before a delete command over the real package tool,
// and counts the tool's calls it makes, with many packages ticked: in a
// root of 2 000 installed packages, 480 of them leaves, 300 leaves are
// ticked and OK pressed, in two cases:
//
//   nothing kept  none of the ticked packages takes another along, so the
//                 delete command follows the last look at once;
//   one kept      one ticked package provides a capability that an
//                 unticked leaf requires, so pkg would delete that leaf
//                 too: the last look must find the one package among the
//                 300 that brings it along, and show a notice.
//
// The time runs from pressing OK until the delete command starts (nothing
// kept) or until the notice of kept packages is on the screen (one kept).
// The calls are those from OK until the delete command. Each run also
// checks what the run did: the notice names the provider and the leaf it
// would take along, and the delete command names exactly the ticked
// packages that were not kept, so that a program that lets too much or too
// little through cannot pass for a fast one.
//
// The program is leafsweep built to run the file "tool" in its working
// directory (leafsweep-cwd-tool), here a script that logs every call and
// then runs the real pkg through the real-tool tests' wrapper, as
// leafsweep-real does. The script logs the delete command but does not run
// it, so that the root stays as it was made for every later run.
//
// Usage: last_look_bench [RUNS]   (default 5)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "big_system.h"
#include "terminal.h"
#include "timing.h"

namespace {

constexpr int installed = 2000;
constexpr int leaves = 480;
constexpr int ticked_count = 300;
constexpr double timeout_s = 600;
const char capability[] = "big-system-capability";
const char notice_heading[] = "These ticked packages are not deleted:";
const char question[] = "Do you want to process the new leaves packages?";

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush())
    fail("cannot write " + path);
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word)
    words.push_back(word);
  return words;
}

// One call of the tool as the script logged it: its arguments joined by
// blanks (the generated names hold none).
struct call {
  enum kind_t { leaf_query, dry_run, delete_command, other_query, other } kind;
  std::vector<std::string> names;  // a delete's or dry run's, after "--"
};

call read_call(const std::string& line) {
  const std::vector<std::string> words = words_of(line);
  call c{call::other, {}};
  bool delete_word = false, dry = false, query = false;
  size_t i = 0;
  for (; i < words.size() && words[i] != "--"; ++i) {
    const std::string& w = words[i];
    if (w == "delete")
      delete_word = true;
    else if (w == "query")
      query = true;
    else if (delete_word && w.size() > 1 && w[0] == '-' && w[1] != '-' && w.find('n') != std::string::npos)
      dry = true;
  }
  if (delete_word) {
    c.kind = dry ? call::dry_run : call::delete_command;
    if (i < words.size())
      c.names.assign(words.begin() + static_cast<long>(i) + 1, words.end());
  } else if (query) {
    c.kind = line.find("%#r=0") != std::string::npos ? call::leaf_query : call::other_query;
  }
  return c;
}

// The calls logged so far; reread only when the log has grown.
class call_log {
 public:
  explicit call_log(std::string path) : path_(std::move(path)) {}
  const std::vector<std::string>& lines() {
    struct stat info;
    if (stat(path_.c_str(), &info) != 0 || info.st_size == size_)
      return lines_;
    std::ifstream in(path_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A line still being written waits for the next look.
    lines_ = lines_of(text.substr(0, text.rfind('\n') + 1));
    size_ = static_cast<off_t>(text.rfind('\n') + 1);
    return lines_;
  }
  // The index of the first delete command from line from on, or -1.
  long delete_line(size_t from) {
    const std::vector<std::string>& all = lines();
    for (size_t i = from; i < all.size(); ++i) {
      if (read_call(all[i]).kind == call::delete_command)
        return static_cast<long>(i);
    }
    return -1;
  }

 private:
  std::string path_;
  off_t size_ = -1;
  std::vector<std::string> lines_;
};

// The tool the program runs: logs each call, runs every other call of pkg
// through the tests' wrapper, and stops at the delete command itself.
std::string counting_tool() {
  return std::string(
             "#!/bin/sh\n"
             "# Written by last_look_bench: logs each call, then runs the real pkg\n"
             "# through the real-tool tests' wrapper; the delete command itself is\n"
             "# only logged, so that the root stays as it was made.\n"
             "printf '%s\\n' \"$*\" >>\"$PWD/calls.log\"\n"
             "delete=no\n"
             "dry=no\n"
             "for word in \"$@\"; do\n"
             "  case $word in\n"
             "    --) break ;;\n"
             "    --*) ;;\n"
             "    delete) delete=yes ;;\n"
             "    -*n*) [ $delete = yes ] && dry=yes ;;\n"
             "  esac\n"
             "done\n"
             "if [ $delete = yes ] && [ $dry = no ]; then\n"
             "  exit 0\n"
             "fi\n"
             "exec ") +
         REAL_PKG_WRAPPER + " \"$@\"\n";
}

// The big system, with the leaf whose name sorts first (pkg lists leaves
// in the order of their names) providing a capability that the leaf whose
// name sorts last requires.
struct bench_system {
  std::vector<package> packages;
  std::string provider, requirer;  // keys
};

bench_system make_system() {
  bench_system s{big_system(installed, leaves), "", ""};
  size_t first = 0, last = 0;
  for (size_t i = 1; i < static_cast<size_t>(leaves); ++i) {
    if (s.packages[i].name < s.packages[first].name)
      first = i;
    if (s.packages[i].name > s.packages[last].name)
      last = i;
  }
  s.packages[first].provides = {capability};
  s.packages[last].requires = {capability};
  s.provider = s.packages[first].key();
  s.requirer = s.packages[last].key();
  // pkg add refuses a package whose required capability no installed
  // package provides yet: the requirer comes last.
  std::rotate(s.packages.begin() + static_cast<long>(last), s.packages.begin() + static_cast<long>(last) + 1,
              s.packages.end());
  return s;
}

struct one_case {
  const char* name;
  const char* until;
  bool tick_provider;  // else the ticks start one entry lower
};

struct run_result {
  double ms;
  std::vector<call> calls;  // from OK until the delete command
};

bool checklist_drawn(const terminal& t, const std::string& first_key) {
  return t.contains("Welcome to leafsweep.") && t.contains("< Help >") && t.contains(first_key);
}

run_result run_once(const std::string& dir, const bench_system& s, const std::vector<std::string>& listed,
                    const one_case& c) {
  const std::string log_path = dir + "/calls.log";
  unlink(log_path.c_str());
  call_log log(log_path);
  std::vector<std::string> ticked(listed.begin() + (c.tick_provider ? 0 : 1),
                                  listed.begin() + (c.tick_provider ? 0 : 1) + ticked_count);
  std::vector<std::string> deleted = ticked;
  if (c.tick_provider)
    deleted.erase(std::remove(deleted.begin(), deleted.end(), s.provider), deleted.end());

  run_options options;
  options.program = LEAFSWEEP_CWD_TOOL;
  options.cwd = dir;
  options.env = {"PATH=/usr/bin:/bin", "HOME=" + dir, "LANG=C.UTF-8"};
  // Wide enough for a notice line of two generated keys.
  options.rows = 30;
  options.cols = 160;
  terminal t(options);
  if (!t.wait_for([&](const terminal& screen) { return checklist_drawn(screen, listed.front()); }, timeout_s))
    fail("no checklist");
  if (!c.tick_provider)
    t.key(VTERM_KEY_DOWN);
  for (int i = 0; i < ticked_count; ++i) {
    t.type(" ");
    t.key(VTERM_KEY_DOWN);
  }
  if (!t.wait_for([](const terminal& screen) { return screen.waits_for_input(); }, timeout_s))
    fail("the ticks were not all taken");

  const size_t before_ok = log.lines().size();
  steady::time_point start = steady::now();
  t.key(VTERM_KEY_ENTER);
  double ms = -1;
  long delete_at = -1;
  // Polled every 2 ms: the span is far longer.
  while (ms < 0) {
    t.quiet_for(2);
    if (c.tick_provider ? t.contains(notice_heading) : (delete_at = log.delete_line(before_ok)) >= 0)
      ms = ms_since(start);
    else if (t.exited() || ms_since(start) > timeout_s * 1000)
      fail(std::string("the run ended before ") + c.until + ":\n" + t.describe());
  }
  if (c.tick_provider) {
    if (!t.wait_for_text(s.requirer) || !t.contains(s.provider + ": "))
      fail("the notice does not name " + s.provider + " and " + s.requirer + ":\n" + t.describe());
    if (t.contains(listed[1] + ": "))
      fail("the notice keeps " + listed[1] + ", which brings nothing along:\n" + t.describe());
    t.key(VTERM_KEY_ENTER);
    if (!t.wait_for([&](const terminal&) { return (delete_at = log.delete_line(before_ok)) >= 0; }, timeout_s))
      fail("no delete command after the notice");
  }

  run_result result{ms, {}};
  const std::vector<std::string>& lines = log.lines();
  for (size_t i = before_ok; i < static_cast<size_t>(delete_at); ++i)
    result.calls.push_back(read_call(lines[i]));
  std::vector<std::string> names = read_call(lines[static_cast<size_t>(delete_at)]).names;
  std::sort(names.begin(), names.end());
  std::sort(deleted.begin(), deleted.end());
  if (names != deleted)
    fail("the delete command names " + std::to_string(names.size()) + " packages, not the " +
         std::to_string(deleted.size()) + " expected");

  if (!t.wait_for_text(question, timeout_s))
    fail("no question after the delete command");
  t.key(VTERM_KEY_TAB);
  t.key(VTERM_KEY_ENTER);
  int status = t.wait_exit(timeout_s);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    fail("the program did not end normally:\n" + t.describe());
  return result;
}

int count(const std::vector<call>& calls, call::kind_t kind) {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const call& c) { return c.kind == kind; }));
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return in ? one + " " + five : "unknown";
}

int run_benchmark(int argc, char** argv) {
  int runs = 5;
  if (argc > 2)
    fail("usage: last_look_bench [RUNS]");
  if (argc == 2) {
    char* end = nullptr;
    long n = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || n < 1 || n > 99)
      fail(std::string("not a number of runs: ") + argv[1]);
    runs = static_cast<int>(n);
  }
  const bench_system s = make_system();
  const std::string dir = big_system_dir(s.packages, REAL_SYSTEM_CACHE);
  const std::vector<std::string> listed = tool_leaves(dir);
  if (listed.size() != static_cast<size_t>(leaves) || listed.front() != s.provider || listed.back() != s.requirer)
    fail("pkg does not list the leaves in the order of their names, from " + s.provider + " to " + s.requirer);
  // The first dry run over a new database writes every package's digest
  // into it, once: that is no cost of the last look.
  if (!run_real_tool(dir, {"-o", "AUTOREMOVE=false", "delete", "-n", "-y", "--", s.requirer}).ok())
    fail("the first dry run failed");
  write_file(dir + "/tool", counting_tool());
  if (chmod((dir + "/tool").c_str(), 0755) != 0)
    fail("cannot make " + dir + "/tool executable");

  std::printf(
      "The last look over the real pkg: %d packages installed, %d leaves, %d of them ticked.\n"
      "  calls  the package tool's calls from OK until the delete command\n"
      "         (leaf queries, dry runs, other queries and others)\n"
      "  ms     from OK until the delete command starts, or until the notice of kept\n"
      "         packages is on the screen; median of %d runs, and the fastest and slowest\n"
      "Load average (1 and 5 minutes) at the start: %s\n\n",
      installed, leaves, ticked_count, runs, load_average().c_str());
  std::printf("%-46s %6s %6s %6s %6s %6s %10s %21s  %s\n", "case", "calls", "leaf", "dry", "query", "other", "ms",
              "fastest - slowest", "until");
  (void)std::fflush(stdout);
  const one_case cases[] = {
      {"300 ticked, nothing kept", "the delete command", false},
      {"300 ticked, one takes an unticked leaf along", "the notice", true},
  };
  for (const one_case& c : cases) {
    std::vector<double> ms;
    std::vector<call> calls;
    bool same_calls = true;
    for (int run = 0; run < runs; ++run) {
      run_result r = run_once(dir, s, listed, c);
      ms.push_back(r.ms);
      if (run > 0 && r.calls.size() != calls.size())
        same_calls = false;
      calls = r.calls;
    }
    const auto [fastest, slowest] = std::minmax_element(ms.begin(), ms.end());
    std::printf("%-46s %6zu %6d %6d %6d %6d %10.1f %10.1f - %8.1f  %s%s\n", c.name, calls.size(),
                count(calls, call::leaf_query), count(calls, call::dry_run), count(calls, call::other_query),
                count(calls, call::other), median(ms), *fastest, *slowest, c.until,
                same_calls ? "" : " (the number of calls varied between runs)");
    (void)std::fflush(stdout);
  }
  std::printf("\nLoad average at the end: %s\n", load_average().c_str());
  unlink((dir + "/calls.log").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run_benchmark(argc, argv);
  } catch (const std::exception& e) {
    (void)std::fprintf(stderr, "last_look_bench: %s\n", e.what());
    return 1;
  }
}
