// Times the last look before a delete command over the real package tool,
// and counts the tool's calls it makes, with many packages ticked: in one
// root of 2 000 installed packages, 480 of them leaves, 300 leaves are
// ticked and OK pressed. Twenty of the leaves each provide a capability of
// their own that another leaf, never ticked, requires, so pkg would delete
// that leaf along with its provider. The cases tick K = 0, 1, 5 and 20 of
// the providers among the 300:
//
//   K = 0   none of the ticked packages takes another along, so the delete
//           command follows the last look at once;
//   K > 0   the last look must find the K packages among the 300 that bring
//           an unticked leaf along, keep them and show a notice.
//
// The time runs from pressing OK until the delete command starts (K = 0)
// or until the notice of kept packages is on the screen (K > 0). The calls
// are those from OK until the delete command. Each run also checks what
// the run did: the notice names exactly the K ticked providers, each with
// the leaf it would take along, and the delete command names exactly the
// other ticked packages, so that a program that lets too much or too little
// through cannot pass for a fast one.
//
// The program is leafsweep built to run the file "tool" in its working
// directory (leafsweep-cwd-tool), here a script that logs every call and
// then runs the real pkg through the real-tool tests' wrapper, as
// leafsweep-real does. The script logs the delete command but does not run
// it, so that the root stays as it was made for every later run.
//
// Usage: last_look_bench [RUNS]   (runs a case, default 3)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
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
constexpr int pairs = 20;  // providers, each with a requirer of its own
constexpr double timeout_s = 600;
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

// The big system, with twenty pairs among its leaves: a provider of a
// capability of its own, and another leaf that requires it. pkg lists
// leaves in the order of their names; in that order the providers stand at
// every 24th entry from the first on, and each requirer halfway between its
// provider and the next, so that both are spread through the whole list.
struct bench_system {
  std::vector<package> packages;
  std::vector<std::string> listed;               // the leaves' keys, in the order of their names
  std::vector<size_t> provider_at, requirer_at;  // pair i's entries in listed
};

constexpr size_t spacing = static_cast<size_t>(leaves / pairs);

bench_system make_system() {
  bench_system s{big_system(installed, leaves), {}, {}, {}};
  std::vector<size_t> by_name(static_cast<size_t>(leaves));
  std::iota(by_name.begin(), by_name.end(), size_t{0});
  std::sort(by_name.begin(), by_name.end(),
            [&](size_t a, size_t b) { return s.packages[a].name < s.packages[b].name; });
  for (size_t i : by_name)
    s.listed.push_back(s.packages[i].key());
  for (size_t pair = 0; pair < static_cast<size_t>(pairs); ++pair) {
    const std::string capability = "big-system-capability-" + std::to_string(pair + 1);
    s.provider_at.push_back(pair * spacing);
    s.requirer_at.push_back(pair * spacing + spacing / 2);
    s.packages[by_name[s.provider_at.back()]].provides = {capability};
    s.packages[by_name[s.requirer_at.back()]].requires = {capability};
  }
  // pkg add refuses a package whose required capability no installed
  // package provides yet: the requirers come last.
  std::stable_partition(s.packages.begin(), s.packages.end(), [](const package& p) { return p.requires.empty(); });
  return s;
}

// Where the j-th of n things stands when they are spread evenly over the
// places 0 to last, the first and the last included (the first alone when
// n is 1), rounded to the nearer place.
size_t spread(int j, int n, int last) {
  if (n == 1)
    return 0;
  return static_cast<size_t>((2 * j * last + n - 1) / (2 * (n - 1)));
}

// What one case ticks, and what the program must then keep and delete.
struct tick_plan {
  std::vector<bool> tick;                    // for each entry of the list
  std::vector<std::string> kept, requirers;  // the ticked providers, and what each would take along
  std::vector<std::string> deleted;          // the other ticked packages
};

// K providers are ticked, those of pairs spread evenly from the first pair
// to the last, and they stand spread the same way through the ticked list:
// first, last and evenly between. Leaves that bring nothing along fill the
// ticked list up to each provider's place in it: those after a provider
// are ticked until the next provider's place is reached, and the rest of
// them up to that provider are skipped. The other providers and every
// requirer are never ticked. With K = 0 the first 300 leaves that bring
// nothing along are ticked.
tick_plan plan_ticks(const bench_system& s, int kept_count) {
  tick_plan plan{std::vector<bool>(s.listed.size(), false), {}, {}, {}};
  std::vector<int> pair_of(s.listed.size(), -1);
  std::vector<bool> requirer(s.listed.size(), false);
  for (size_t pair = 0; pair < static_cast<size_t>(pairs); ++pair) {
    pair_of[s.provider_at[pair]] = static_cast<int>(pair);
    requirer[s.requirer_at[pair]] = true;
  }
  std::vector<int> chosen;      // the pairs whose providers are ticked
  std::vector<size_t> targets;  // their places in the ticked list
  for (int j = 0; j < kept_count; ++j) {
    chosen.push_back(static_cast<int>(spread(j, kept_count, pairs - 1)));
    targets.push_back(spread(j, kept_count, ticked_count - 1));
  }
  size_t next = 0, ticked = 0;
  for (size_t i = 0; i < s.listed.size() && ticked < static_cast<size_t>(ticked_count); ++i) {
    const int pair = pair_of[i];
    if (requirer[i] || (pair >= 0 && (next == chosen.size() || pair != chosen[next])))
      continue;
    if (pair >= 0) {
      if (ticked != targets[next])
        fail("too few leaves between the providers to tick for " + std::to_string(kept_count) + " kept");
      plan.kept.push_back(s.listed[i]);
      plan.requirers.push_back(s.listed[s.requirer_at[static_cast<size_t>(pair)]]);
      ++next;
    } else if (next < chosen.size() && ticked >= targets[next]) {
      continue;
    } else {
      plan.deleted.push_back(s.listed[i]);
    }
    plan.tick[i] = true;
    ++ticked;
  }
  if (ticked != static_cast<size_t>(ticked_count) || next != chosen.size())
    fail("the list has no room for " + std::to_string(ticked_count) + " ticked with " +
         std::to_string(kept_count) + " kept");
  return plan;
}

struct run_result {
  double ms;
  std::vector<call> calls;  // from OK until the delete command
};

bool checklist_drawn(const terminal& t, const std::string& first_key) {
  return t.contains("Welcome to leafsweep.") && t.contains("< Help >") && t.contains(first_key);
}

// A row of the screen without the blanks and the box's borders around it.
std::string inside_box(std::string text) {
  static const std::string border = "\u2502";
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    if (!text.empty() && text.front() == ' ') {
      text.erase(0, 1);
      trimmed = true;
    } else if (text.compare(0, border.size(), border) == 0) {
      text.erase(0, border.size());
      trimmed = true;
    }
    if (!text.empty() && text.back() == ' ') {
      text.pop_back();
      trimmed = true;
    } else if (text.size() >= border.size() && text.compare(text.size() - border.size(), border.size(), border) == 0) {
      text.erase(text.size() - border.size());
      trimmed = true;
    }
  }
  return text;
}

// Checks the notice on the screen: its lines "KEY: REASON" (a word without
// blanks, then ": ") must name exactly the ticked providers, each once, and
// each reason the requirer that the provider would take along.
void check_notice(const terminal& t, const tick_plan& plan) {
  std::map<std::string, std::string> reasons;
  for (int r = 0; r < t.rows(); ++r) {
    const std::string text = inside_box(t.row(r));
    const size_t colon = text.find(": ");
    if (colon == std::string::npos || text.find(' ') < colon)
      continue;
    if (!reasons.emplace(text.substr(0, colon), text.substr(colon + 2)).second)
      fail("the notice names " + text.substr(0, colon) + " twice:\n" + t.describe());
  }
  if (reasons.size() != plan.kept.size())
    fail("the notice names " + std::to_string(reasons.size()) + " packages, not the " +
         std::to_string(plan.kept.size()) + " ticked providers:\n" + t.describe());
  for (size_t i = 0; i < plan.kept.size(); ++i) {
    auto found = reasons.find(plan.kept[i]);
    if (found == reasons.end())
      fail("the notice does not name " + plan.kept[i] + ":\n" + t.describe());
    std::string reason = found->second;
    std::replace(reason.begin(), reason.end(), ',', ' ');
    const std::vector<std::string> words = words_of(reason);
    if (std::find(words.begin(), words.end(), plan.requirers[i]) == words.end())
      fail("the notice does not say that " + plan.kept[i] + " would take " + plan.requirers[i] + " along:\n" +
           t.describe());
  }
}

run_result run_once(const std::string& dir, const bench_system& s, const tick_plan& plan) {
  const std::string log_path = dir + "/calls.log";
  unlink(log_path.c_str());
  call_log log(log_path);
  const bool keeps = !plan.kept.empty();

  run_options options;
  options.program = LEAFSWEEP_CWD_TOOL;
  options.cwd = dir;
  options.env = {"PATH=/usr/bin:/bin", "HOME=" + dir, "LANG=C.UTF-8"};
  // Tall enough for a notice of twenty lines, and wide enough for a line of
  // two generated keys.
  options.rows = 30;
  options.cols = 160;
  terminal t(options);
  if (!t.wait_for([&](const terminal& screen) { return checklist_drawn(screen, s.listed.front()); }, timeout_s))
    fail("no checklist");
  // Down from the first entry to the last one ticked, Space on each one
  // ticked on the way.
  size_t last_ticked = 0;
  for (size_t i = 0; i < plan.tick.size(); ++i) {
    if (plan.tick[i])
      last_ticked = i;
  }
  for (size_t i = 0; i <= last_ticked; ++i) {
    if (plan.tick[i])
      t.type(" ");
    if (i < last_ticked)
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
    const bool notice = t.contains(notice_heading);
    delete_at = log.delete_line(before_ok);
    if (keeps ? notice : delete_at >= 0)
      ms = ms_since(start);
    else if (notice)
      fail("a notice, though no ticked package takes another along:\n" + t.describe());
    else if (delete_at >= 0)
      fail("the delete command came without a notice");
    else if (t.exited() || ms_since(start) > timeout_s * 1000)
      fail(std::string("the run ended before ") + (keeps ? "the notice" : "the delete command") + ":\n" +
           t.describe());
  }
  if (keeps) {
    // The notice is whole once the program waits for its OK.
    if (!t.wait_for([](const terminal& screen) { return screen.waits_for_input(); }, timeout_s))
      fail("the notice was not drawn whole");
    check_notice(t, plan);
    t.key(VTERM_KEY_ENTER);
    if (!t.wait_for([&](const terminal&) { return (delete_at = log.delete_line(before_ok)) >= 0; }, timeout_s))
      fail("no delete command after the notice");
  }

  run_result result{ms, {}};
  const std::vector<std::string>& lines = log.lines();
  for (size_t i = before_ok; i < static_cast<size_t>(delete_at); ++i)
    result.calls.push_back(read_call(lines[i]));
  std::vector<std::string> names = read_call(lines[static_cast<size_t>(delete_at)]).names;
  std::vector<std::string> deleted = plan.deleted;
  std::sort(names.begin(), names.end());
  std::sort(deleted.begin(), deleted.end());
  if (names != deleted) {
    std::vector<std::string> extra, missing;
    std::set_difference(names.begin(), names.end(), deleted.begin(), deleted.end(), std::back_inserter(extra));
    std::set_difference(deleted.begin(), deleted.end(), names.begin(), names.end(), std::back_inserter(missing));
    fail("the delete command names " + std::to_string(names.size()) + " packages, not the " +
         std::to_string(deleted.size()) + " expected" + (extra.empty() ? "" : "; " + extra.front() + " among them") +
         (missing.empty() ? "" : "; not " + missing.front()));
  }

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
  const steady::time_point began = steady::now();
  // Three by default: with twenty kept, one run takes about a minute.
  int runs = 3;
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
  if (tool_leaves(dir) != s.listed)
    fail("pkg does not list the " + std::to_string(leaves) + " leaves in the order of their names");
  // The first dry run over a new database writes every package's digest
  // into it, once: that is no cost of the last look.
  if (!run_real_tool(dir, {"-o", "AUTOREMOVE=false", "delete", "-n", "-y", "--", s.listed[s.requirer_at[0]]}).ok())
    fail("the first dry run failed");
  write_file(dir + "/tool", counting_tool());
  if (chmod((dir + "/tool").c_str(), 0755) != 0)
    fail("cannot make " + dir + "/tool executable");

  std::printf(
      "The last look over the real pkg: %d packages installed, %d leaves, %d of them ticked;\n"
      "%d leaves each provide a capability that another leaf, never ticked, requires, and\n"
      "K of them are ticked, so that the last look must keep them.\n"
      "  calls  the package tool's calls from OK until the delete command\n"
      "         (leaf queries, dry runs, other queries and others)\n"
      "  ms     from OK until the delete command starts (K = 0), or until the notice of\n"
      "         kept packages is on the screen; median of %d runs, and the fastest and slowest\n"
      "  ratio  the median over that of K = 0\n"
      "Load average (1 and 5 minutes) at the start: %s\n\n",
      installed, leaves, ticked_count, pairs, runs, load_average().c_str());
  std::printf("%-7s %6s %6s %6s %6s %6s %10s %21s %6s  %-18s  %s\n", "case", "calls", "leaf", "dry", "query",
              "other", "ms", "fastest - slowest", "ratio", "until", "load at the end");
  (void)std::fflush(stdout);
  const int kept_counts[] = {0, 1, 5, 20};
  double none_kept_ms = 0;
  for (int kept_count : kept_counts) {
    const tick_plan plan = plan_ticks(s, kept_count);
    std::vector<double> ms;
    std::vector<call> calls;
    bool same_calls = true;
    for (int run = 0; run < runs; ++run) {
      run_result r = run_once(dir, s, plan);
      ms.push_back(r.ms);
      if (run > 0 && r.calls.size() != calls.size())
        same_calls = false;
      calls = r.calls;
    }
    const double median_ms = median(ms);
    if (kept_count == 0)
      none_kept_ms = median_ms;
    const auto [fastest, slowest] = std::minmax_element(ms.begin(), ms.end());
    std::printf("K = %-3d %6zu %6d %6d %6d %6d %10.1f %10.1f - %8.1f %6.2f  %-18s  %s%s\n", kept_count,
                calls.size(), count(calls, call::leaf_query), count(calls, call::dry_run),
                count(calls, call::other_query), count(calls, call::other), median_ms, *fastest, *slowest,
                median_ms / none_kept_ms, kept_count == 0 ? "the delete command" : "the notice",
                load_average().c_str(), same_calls ? "" : " (the number of calls varied between runs)");
    (void)std::fflush(stdout);
  }
  std::printf("\nThe benchmark took %.0f s.\n", ms_since(began) / 1000);
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
