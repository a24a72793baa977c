// Times leafsweep from its start until its checklist is fully drawn, next
// to the floor it cannot go below: the package tool's leaf query alone into
// a pipe, plus a minimal program that draws the same checklist over the
// same prebuilt items. Prints the medians, their ratio and the program's
// peak resident memory for each number of leaves.
//
// With the real package tool configured, a last row times leafsweep-real
// over a real package database of 2 000 packages against the tool's own
// leaf query plus the same checklist.
//
// Usage: startup_bench [LEAVES...] [real]   (default: 100 1000 10000 50000 real)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "leaf_output.h"
#include "pkgtool/child_process.h"
#include "pkgtool/tool_path.h"
#include "terminal.h"
#include "timing.h"
#ifdef LEAFSWEEP_REAL
#include "big_system.h"
#endif

namespace {

// The biggest list takes seconds to draw on a loaded machine; nothing here
// should give up on it.
constexpr double timeout_s = 600;
// The targets hold up to the seen-name table's design size.
constexpr int table_size = 10000;
constexpr double ratio_target = 1.2;
constexpr double memory_factor = 4;

// Thrown rather than exiting, so that the terminals on the way out kill
// and reap their programs.
[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

// The process's peak resident set so far, in KiB, or -1.
long peak_rss_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0)
      return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush())
    fail("cannot write " + path);
}

// What a checklist must show: its first entry and that entry's comment,
// and, after End, its last entry.
struct expected_list {
  std::string first_name, first_comment, last_name;
};

// The generated leaves from the first on, count of them.
expected_list generated_list(int count) { return {leaf_name(0), leaf_comment(0), leaf_name(count - 1)}; }

// A checklist is fully drawn once its title, its buttons, its first entry
// and that entry's comment on the bottom line are all on the screen.
bool checklist_drawn(const terminal& t, const expected_list& list) {
  return t.contains("Welcome to leafsweep.") && t.contains("< Help >") && t.contains(list.first_name) &&
         t.row(t.rows() - 1).find(list.first_comment) != std::string::npos;
}

struct checklist_run {
  double ms;
  long peak_kib;
};

// Starts program in a pseudo-terminal in the current directory and times it
// until its checklist is drawn; then ends it with Escape. When check_last is
// set it first checks that the list ends with the expected last entry, so
// that a program that lost leaves on the way cannot pass for a fast one.
checklist_run time_checklist(const std::string& program, const std::vector<std::string>& args,
                             const expected_list& list, bool check_last) {
  run_options options;
  options.program = program;
  options.args = args;
  steady::time_point start = steady::now();
  terminal screen(options);
  if (!screen.wait_for([&](const terminal& t) { return checklist_drawn(t, list); }, timeout_s))
    fail(program + " did not draw its checklist");
  checklist_run run{ms_since(start), peak_rss_kib(screen.pid())};
  if (check_last) {
    const std::string& last_name = list.last_name;
    screen.key(VTERM_KEY_END);
    if (!screen.wait_for([&](const terminal& t) { return t.contains(last_name); }, timeout_s))
      fail(program + " does not list " + last_name + " last");
  }
  screen.key(VTERM_KEY_ESCAPE);
  int status = screen.wait_exit(timeout_s);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    fail(program + " did not end normally after Escape");
  return run;
}

// Runs argv as the program runs its queries (vfork and execve, no shell,
// the program's own tool_pipe), reads its output to the end and throws it
// away; returns the time that took. Fails unless the tool exits with 0 and
// writes expected_bytes, where that is not 0.
double time_tool(const std::vector<const char*>& argv, size_t expected_bytes) {
  std::vector<const char*> words = argv;
  words.push_back(nullptr);
  steady::time_point start = steady::now();
  tool_pipe query;
  if (!query.open(words.data()))
    fail(std::string("cannot start ") + argv[0]);
  char buffer[65536];
  size_t total = 0;
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, query.stream())) > 0)
    total += count;
  int status = query.close();
  double ms = ms_since(start);
  if (!exited_cleanly(status) || (expected_bytes != 0 && total != expected_bytes))
    fail(std::string("running ") + argv[0] + " " + argv[1] + " failed");
  return ms;
}

// The leaf query of tool into a pipe, the program's own command line, its
// alias guard included: the stand-in refuses a command line without it.
double time_tool_query(const char* tool, size_t expected_bytes) {
  return time_tool({tool, alias_guard[0], alias_guard[1], "query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c"},
                   expected_bytes);
}

struct size_result {
  int leaves;
  size_t bytes;
  double program_ms, tool_ms, checklist_ms;
  long peak_kib, floor_peak_kib;
  double floor_ms() const { return tool_ms + checklist_ms; }
  double ratio() const { return program_ms / floor_ms(); }
};

// Few runs for the big lists, which take longest and vary least.
int runs_for(int leaves) { return leaves < table_size ? 31 : leaves == table_size ? 15 : 5; }

// Shows each line of the table as soon as it is known, even through a pipe.
void flush_table() {
  if (std::fflush(stdout) != 0)
    fail("cannot write the table");
}

// Times program, the leaf query of tool and the checklist program over
// leaves_file, runs times in turns, so that a change in the machine's load
// hits all three alike. The first run checks that both lists end with the
// last entry.
size_result measure_runs(const char* program, const char* tool, const std::string& leaves_file,
                         const std::string& output, const expected_list& list, int leaves, int runs) {
  size_result result{leaves, output.size(), 0, 0, 0, 0, 0};
  std::vector<double> program_ms, tool_ms, checklist_ms;
  long peak = 0, floor_peak = 0;
  for (int run = 0; run < runs; ++run) {
    // The stand-in's call log would grow by a record on every call.
    unlink("pkg-calls.log");
    checklist_run timed = time_checklist(program, {}, list, run == 0);
    program_ms.push_back(timed.ms);
    peak = std::max(peak, timed.peak_kib);
    tool_ms.push_back(time_tool_query(tool, output.size()));
    timed = time_checklist(CHECKLIST_FLOOR_PATH, {leaves_file}, list, run == 0);
    checklist_ms.push_back(timed.ms);
    floor_peak = std::max(floor_peak, timed.peak_kib);
  }
  result.program_ms = median(program_ms);
  result.tool_ms = median(tool_ms);
  result.checklist_ms = median(checklist_ms);
  result.peak_kib = peak;
  result.floor_peak_kib = floor_peak;
  return result;
}

// Measures one size of generated leaves in the scratch directory, the
// stand-in tool printing them.
size_result measure(int leaves) {
  std::string output = leaf_output(leaves);
  write_file("leaves", output);
  write_file("pkgctl", "leaves_file leaves\n");
  return measure_runs(PROGRAM_PATH, STANDIN_PATH, "leaves", output, generated_list(leaves), leaves,
                      runs_for(leaves));
}

#ifdef LEAFSWEEP_REAL
// The real tool's row: leafsweep-real over a root holding real_installed
// packages, real_leaves of them leaves, made once and kept in
// REAL_SYSTEM_CACHE. The floor's tool is the same wrapper around pkg that
// the program runs.
constexpr int real_installed = 2000;
constexpr int real_leaves = 480;
constexpr double real_ratio_target = 1.05;

// What the last look before a delete command adds, in the root's directory:
// the leaf query again, which the row's tool column times already, and the
// dry run of the delete command, here with real_ticked leaves ticked; and,
// only when pkg would delete more than them, a dry run of each alone.
constexpr size_t real_ticked = 10;

struct last_look_ms {
  double dry_run, alone;
};

last_look_ms measure_last_look(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (size_t i = 0; i < real_ticked && i < lines.size(); ++i)
    names.push_back(lines[i].substr(0, lines[i].find('\t')));
  std::vector<const char*> all{REAL_PKG_WRAPPER, alias_guard[0], alias_guard[1], "-o", "AUTOREMOVE=false",
                               "delete", match_case, "-n", "-y", "--"};
  std::vector<const char*> alone = all;
  for (const std::string& name : names)
    all.push_back(name.c_str());
  alone.push_back(names.front().c_str());
  std::vector<double> all_ms, alone_ms;
  for (int run = 0; run < 31; ++run) {
    all_ms.push_back(time_tool(all, 0));
    alone_ms.push_back(time_tool(alone, 0));
  }
  return {median(all_ms), median(alone_ms)};
}

size_result measure_real(const std::string& scratch, last_look_ms* look) {
  const std::string dir = big_system_dir(big_system(real_installed, real_leaves), REAL_SYSTEM_CACHE);
  tool_result query = run_real_tool(dir, {"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c"});
  const std::string& output = query.output;
  if (!query.ok() || output.empty())
    fail("the real tool's leaf query failed: " + query.errors);
  const std::vector<std::string> lines = lines_of(output);
  const std::string& first = lines.front();
  const std::string& last = lines.back();
  const expected_list list{first.substr(0, first.find('\t')), first.substr(first.find('\t') + 1),
                           last.substr(0, last.find('\t'))};
  const std::string leaves_file = scratch + "/leaves";
  write_file(leaves_file, output);
  if (chdir(dir.c_str()) != 0)
    fail("cannot change to " + dir);
  size_result result = measure_runs(LEAFSWEEP_REAL, REAL_PKG_WRAPPER, leaves_file, output, list,
                                    static_cast<int>(lines.size()), 31);
  *look = measure_last_look(lines);
  if (chdir(scratch.c_str()) != 0)
    fail("cannot change to " + scratch);
  return result;
}
#endif

// How much the peak grew over the base, in bytes of leaf output.
double growth(long peak_kib, long base_kib, size_t bytes) {
  return static_cast<double>(peak_kib - base_kib) * 1024 / static_cast<double>(bytes);
}

void print_row(const size_result& r, const size_result& base, const char* note) {
  std::printf("%7d %10.1f %9.1f %7.1f %9.1f %7.1f %6.2f %9ld %9ld %7.2f %7.2f%s\n", r.leaves,
              static_cast<double>(r.bytes) / 1024, r.program_ms, r.tool_ms, r.checklist_ms, r.floor_ms(), r.ratio(),
              r.peak_kib, r.floor_peak_kib, growth(r.peak_kib, base.peak_kib, r.bytes),
              growth(r.floor_peak_kib, base.floor_peak_kib, r.bytes), note);
  flush_table();
}

int run_benchmark(int argc, char** argv) {
  std::vector<int> sizes;
  bool real = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "real") {
      real = true;
      continue;
    }
    char* end = nullptr;
    long leaves = std::strtol(argv[i], &end, 10);
    if (*end != '\0' || leaves < 1 || leaves > 1000000)
      fail(std::string("not a number of leaves: ") + argv[i]);
    sizes.push_back(static_cast<int>(leaves));
  }
  if (argc == 1) {
    sizes = {100, 1000, 10000, 50000};
    real = true;
  }
#ifndef LEAFSWEEP_REAL
  if (real && argc > 1)
    fail("this build has no real package tool (configure with -DLEAFSWEEP_REAL_PKG=...)");
  real = false;
#endif
  std::sort(sizes.begin(), sizes.end());

  char scratch[] = "/tmp/leafsweep-bench.XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0)
    fail("cannot make a scratch directory");

  std::printf(
      "From start until the checklist is fully drawn, median of several runs, in ms:\n"
      "  program    leafsweep over the stand-in package tool (real: over the real pkg)\n"
      "  tool       the leaf query alone into a pipe\n"
      "  checklist  a minimal dialog program drawing the same checklist\n"
      "  floor      tool + checklist; ratio = program / floor\n"
      "Peak resident memory in KiB, of the program and of the checklist program; growth =\n"
      "(peak - peak at the smallest size) / bytes of leaf output.\n\n");
  std::printf("%7s %10s %9s %7s %9s %7s %6s %9s %9s %7s %7s\n", "leaves", "output", "program", "tool", "checklist",
              "floor", "ratio", "peak", "checklist", "growth", "growth");
  std::printf("%7s %10s %9s %7s %9s %7s %6s %9s %9s %7s %7s\n", "", "KiB", "ms", "ms", "ms", "ms", "", "KiB", "peak KiB",
              "", "checkl.");
  flush_table();

  std::vector<size_result> results;
  for (int leaves : sizes) {
    results.push_back(measure(leaves));
    print_row(results.back(), results.front(), "");
  }
#ifdef LEAFSWEEP_REAL
  std::optional<size_result> real_result;
  if (real) {
    last_look_ms look{0, 0};
    real_result = measure_real(scratch, &look);
    std::string note = "  real pkg, " + std::to_string(real_installed) + " installed";
    print_row(*real_result, results.empty() ? *real_result : results.front(), note.c_str());
    std::printf("\nThe last look before each delete command over the real pkg, median of 31 runs:\n"
                "  the leaf query again %.1f ms (the tool column), the dry run of %zu ticked leaves %.1f ms;\n"
                "  only when pkg would delete more: a dry run of each alone, %.1f ms each.\n",
                real_result->tool_ms, real_ticked, look.dry_run, look.alone);
  }
#endif
  unlink("leaves");
  unlink("pkgctl");
  unlink("pkg-calls.log");
  if (chdir("/") == 0)
    rmdir(scratch);

#ifdef LEAFSWEEP_REAL
  if (real_result)
    std::printf("\nTarget with the real tool: ratio at most %.2f; %.2f (%s)\n", real_ratio_target,
                real_result->ratio(), real_result->ratio() <= real_ratio_target ? "met" : "MISSED");
#endif
  if (results.empty())
    return 0;
  std::printf("\nTargets up to %d leaves: ratio at most %.1f; peak memory below %.0f x the leaf output\n"
              "plus a fixed base (here: the peak at %d leaves, %ld KiB).\n",
              table_size, ratio_target, memory_factor, results.front().leaves, results.front().peak_kib);
  for (const size_result& r : results) {
    if (r.leaves > table_size)
      continue;
    std::printf("%7d leaves: ratio %.2f (%s)", r.leaves, r.ratio(), r.ratio() <= ratio_target ? "met" : "MISSED");
    double grown = growth(r.peak_kib, results.front().peak_kib, r.bytes);
    if (&r == &results.front())
      std::printf(", memory: the base\n");
    else
      std::printf(", memory %.2f x (%s)\n", grown, grown < memory_factor ? "met" : "MISSED");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run_benchmark(argc, argv);
  } catch (const std::exception& e) {
    (void)std::fprintf(stderr, "startup_bench: %s\n", e.what());
    return 1;
  }
}
