// The stand-in package tool itself: its deletes and dry runs against pkg
// 2.8.4's answers, its queries, the command lines it refuses, its call log,
// and the call log's reading of the program's command lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "call_log.h"

namespace {

// The test system: each package's block under its name, in database order,
// between a head and a tail that a rewrite must keep.
const std::string db_head = "# before the first package\n\n";
const std::vector<std::pair<std::string, std::string>> db_blocks = {
    {"tool", "package\ttool\t1\ncomment\tA plain leaf\n"},
    {"lib", "# a comment line goes with the package below it\npackage\tlib\t1.0\n"},
    {"app", "package\tapp\t2.0\ndepends\tlib\n"},
    {"ssl", "package\tssl\t3.0\nprovides\tlibssl.so\n"},
    {"curl", "package\tcurl\t4.0\nrequires\tlibssl.so\ndescription\tFetches.\n"},
    {"mta1", "package\tmta1\t5.0\nprovides\tmail\n"},
    {"mta2", "package\tmta2\t6.0\nprovides\tmail\n"},
    {"mutt", "package\tmutt\t7.0\nrequires\tmail\n"},
    {"base", "package\tbase\t1\n"},
    {"pinned", "package\tpinned\t1\ndepends\tbase\nlocked\n"},
    {"boot", "package\tboot\t1\nrequires\tlibz\nvital\n"},
    {"libz", "package\tlibz\t1\nprovides\tlibz\n"},
    {"held", "package\theld\t1\nlocked\n"},
    {"core", "package\tcore\t1\nvital\n"},
    {"root", "package\troot\t1\nvital\nlocked\n"},
    {"a*b", "package\ta*b\t1\n"},
    {"font[misc]", "package\tfont[misc]\t1.0\n"},
    {"xterm", "package\txterm\t1\ndepends\tfont[misc]\n"},
    {"pkg", "package\tpkg\t2.8.4\n"},
    {"pkg-devel", "package\tpkg-devel\t2.9\n"},
    {"cy1", "package\tcy1\t1\ndepends\tcy2\n"},
    {"cy2", "package\tcy2\t1\ndepends\tcy1\n"},
    {"foolib", "package\tfoolib\t1\nshlib_provides\tlibfoo.so.1\n"},
    {"foouser", "package\tfoouser\t1\nshlib_requires\tlibfoo.so.1\n"},
    {"fooplug", "package\tfooplug\t1\ndepends\tfoouser\n"},
    // A capability of a library's name, and a library of a capability's
    // name: neither is met by the other kind, so these two never go along.
    {"foocap", "package\tfoocap\t1\nrequires\tlibfoo.so.1\n"},
    {"mailer", "package\tmailer\t1\nshlib_requires\tmail\n"},
    {"bar1", "package\tbar1\t1\nshlib_provides\tlibbar.so.2\n"},
    {"bar2", "package\tbar2\t1\nshlib_provides\tlibbar.so.2\n"},
    {"baruser", "package\tbaruser\t1\nshlib_requires\tlibbar.so.2\n"},
    {"libq", "package\tlibq\t1\nshlib_provides\tlibq.so\n"},
    {"qpinned", "package\tqpinned\t1\nshlib_requires\tlibq.so\nlocked\n"},
};
const std::string db_tail = "\n# after the last package\n";

// The database without the blocks of the packages named in removed.
std::string database_without(const std::vector<std::string>& removed) {
  std::string text = db_head;
  for (const auto& [name, block] : db_blocks) {
    if (std::find(removed.begin(), removed.end(), name) == removed.end())
      text += block;
  }
  return text + db_tail;
}

const std::string checked = "Checking integrity... done (0 conflicting)\n";

// pkg's list of the named packages it keeps; lines are "NAME (WHY)".
std::string held_back(const std::vector<std::string>& lines) {
  std::string text = "The following package(s) are locked or vital and may not be removed:\n\n";
  for (const std::string& line : lines)
    text += "\t" + line + "\n";
  return text + "\n";
}

// pkg's answer when it removes something; lines are "NAME: VERSION".
std::string to_remove(const std::vector<std::string>& lines, const std::vector<std::string>& held = {}) {
  const std::string n = std::to_string(lines.size());
  std::string text = checked + (held.empty() ? "" : held_back(held)) +
                     "Deinstallation has been requested for the following " + n +
                     " packages (of 0 packages in the universe):\n\nInstalled packages to be REMOVED:\n";
  for (const std::string& line : lines)
    text += "\t" + line + "\n";
  return text + "\nNumber of packages to be removed: " + n + "\n";
}

// pkg's progress lines for the packages in keys, of all packages in its jobs
// (keys.size() when of is 0).
std::string deinstalling(const std::vector<std::string>& keys, size_t of = 0) {
  std::string text;
  const std::string n = std::to_string(of != 0 ? of : keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    const std::string tag = "[" + std::to_string(k + 1) + "/" + n + "] ";
    text += tag + "Deinstalling " + keys[k] + "...\n" + tag + "Deleting files for " + keys[k] + ": done\n";
  }
  return text;
}

std::string unmatched(const std::string& word) { return "No packages matched for pattern '" + word + "'\n\n"; }

const std::string pkg_itself = "pkg: Cannot delete pkg itself without force flag\n";

// pkg's words, with the C library's reason, for a word that is not a regular
// expression; the file is named by its path within pkg's source tree.
std::string invalid_regex(const std::string& word, const std::string& why) {
  std::string text;
  for (const char* line : {"1205", "1139"})
    text += std::string("pkg: sqlite error while executing iterator in file libpkg/pkgdb_iterator.c:") + line +
            ": Invalid regex '" + word + "': " + why + "\nUse -e for exact match or -g for glob\n";
  return text;
}

// The program's query command line with words after the command word.
std::vector<std::string> query(const std::vector<std::string>& words) {
  std::vector<std::string> args{"-o", pkg_alias_guard, "query"};
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

struct outcome {
  int status = -1;  // the exit status; -1 if the tool did not exit
  int signal = 0;   // the signal that ended the tool, if one did
  std::string out, err;
};

class standin : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/leafsweep-standin-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    write("pkgdb", database_without({}));
  }

  void TearDown() override {
    std::error_code ignored;
    if (!HasFailure())
      std::filesystem::remove_all(dir_, ignored);
    else
      std::cerr << "scratch directory kept: " << dir_ << "\n";
  }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream out(dir_ + "/" + name, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.flush()) << name;
  }

  std::string read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs the tool in the scratch directory with args after argv[0], the
  // program's environment for its children, and its output in files there.
  outcome run(const std::vector<std::string>& args) const { return wait_for(start(args)); }

  // Starts the tool as run does; -1 if it cannot.
  pid_t start(const std::vector<std::string>& args) const {
    std::vector<std::string> words{PKG_STANDIN};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
      int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(dir_.c_str()) != 0)
        _exit(126);
      std::string path = pkg_child_path;
      char* environment[] = {path.data(), nullptr};
      execve(argv[0], argv.data(), environment);
      _exit(127);
    }
    return pid;
  }

  // Waits for the tool started as pid to end, and gathers what it did.
  outcome wait_for(pid_t pid) const {
    outcome result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
      ADD_FAILURE() << "cannot run " << PKG_STANDIN;
      return result;
    }
    if (WIFEXITED(status))
      result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
      result.signal = WTERMSIG(status);
    result.out = read("stdout");
    result.err = read("stderr");
    return result;
  }

  std::string dir_;
};

// The program's delete or dry run; without case_flag, its old form without -C.
std::vector<std::string> delete_words(bool dry, const std::vector<std::string>& words, bool regex = false,
                                      bool case_flag = true) {
  std::vector<std::string> args{"-o", pkg_alias_guard, "-o", "AUTOREMOVE=false", "delete"};
  if (case_flag)
    args.emplace_back("-C");
  if (dry)
    args.emplace_back("-n");
  args.emplace_back("-y");
  if (regex)
    args.emplace_back("-x");
  args.emplace_back("--");
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

struct removal_case {
  const char* label;
  bool dry;
  std::vector<std::string> words;
  std::string out, err;
  int status;
  std::vector<std::string> removed;  // names of the packages gone afterwards
  bool regex = false;                // the words are regular expressions (-x)
};

void PrintTo(const removal_case& c, std::ostream* out) { *out << c.label; }

class standin_delete : public standin, public testing::WithParamInterface<removal_case> {};

TEST_P(standin_delete, answers_as_pkg_and_leaves_the_database_as_pkg_would) {
  const removal_case& c = GetParam();
  outcome got = run(delete_words(c.dry, c.words, c.regex));
  EXPECT_EQ(got.out, c.out);
  EXPECT_EQ(got.err, c.err);
  EXPECT_EQ(got.status, c.status);
  EXPECT_EQ(read("pkgdb"), database_without(c.removed));
}

INSTANTIATE_TEST_SUITE_P(
    cases, standin_delete,
    testing::Values(
        removal_case{"dry_run_by_name", true, {"tool"}, to_remove({"tool: 1"}), "", 0, {}},
        removal_case{"by_name_and_version", false, {"tool-1"}, to_remove({"tool: 1"}) + deinstalling({"tool-1"}), "",
                     0, {"tool"}},
        removal_case{"cascade_through_depends_sorted_by_name", false, {"lib-1.0"},
                     to_remove({"app: 2.0", "lib: 1.0"}) + deinstalling({"app-2.0", "lib-1.0"}), "", 0, {"lib", "app"}},
        removal_case{"dry_run_cascade_through_a_capability", true, {"ssl"}, to_remove({"curl: 4.0", "ssl: 3.0"}), "", 0,
                     {}},
        removal_case{"cascade_through_a_capability", false, {"ssl"},
                     to_remove({"curl: 4.0", "ssl: 3.0"}) + deinstalling({"curl-4.0", "ssl-3.0"}), "", 0,
                     {"ssl", "curl"}},
        removal_case{"a_second_provider_stays", false, {"mta1"}, to_remove({"mta1: 5.0"}) + deinstalling({"mta1-5.0"}),
                     "", 0, {"mta1"}},
        removal_case{"the_last_providers_go_together", true, {"mta2", "mta1"},
                     to_remove({"mta1: 5.0", "mta2: 6.0", "mutt: 7.0"}), "", 0, {}},
        removal_case{"unmatched_words_each_time_they_come", true, {"nosuch", "tool", "nosuch"},
                     unmatched("nosuch") + unmatched("nosuch") + to_remove({"tool: 1"}), "", 0, {}},
        removal_case{"locked_and_vital_stay_the_rest_goes", false, {"held", "tool", "core-1", "root"},
                     to_remove({"tool: 1"}, {"held (locked)", "core (vital)", "root (vital and locked)"}) +
                         deinstalling({"tool-1"}),
                     "", 0, {"tool"}},
        removal_case{"cascade_reaching_a_locked_package", false, {"nosuch", "tool", "base"}, unmatched("nosuch"),
                     "pkg: pinned is locked cannot delete base\nCannot perform request\n", 1, {}},
        removal_case{"cascade_reaching_a_vital_package", true, {"libz"}, "",
                     "pkg: boot is locked cannot delete libz\nCannot perform request\n", 1, {}},
        removal_case{"nothing_to_remove_but_locked", true, {"held", "nosuch"},
                     unmatched("nosuch") + checked + held_back({"held (locked)"}) +
                         "2 packages requested for removal: 1 locked, 1 missing\n",
                     "", 7, {}},
        removal_case{"nothing_to_remove_at_all", false, {"nosuch"},
                     unmatched("nosuch") + checked + "1 packages requested for removal: 0 locked, 1 missing\n", "", 1,
                     {}},
        removal_case{"a_star_makes_every_word_a_glob", false, {"mta*", "tool-?", "zz*"},
                     unmatched("zz*") + to_remove({"mta1: 5.0", "mta2: 6.0", "mutt: 7.0", "tool: 1"}) +
                         deinstalling({"mta1-5.0", "mta2-6.0", "mutt-7.0", "tool-1"}),
                     "", 0, {"tool", "mta1", "mta2", "mutt"}},
        removal_case{"without_a_star_no_glob", true, {"tool-?"},
                     unmatched("tool-?") + checked + "1 packages requested for removal: 0 locked, 1 missing\n", "", 1,
                     {}},
        removal_case{"dependents_go_first_then_by_name", false, {"font[misc]", "tool"},
                     to_remove({"font[misc]: 1.0", "tool: 1", "xterm: 1"}) +
                         deinstalling({"tool-1", "xterm-1", "font[misc]-1.0"}),
                     "", 0, {"font[misc]", "tool", "xterm"}},
        removal_case{"dry_run_lists_pkg_itself", true, {"pkg"}, to_remove({"pkg: 2.8.4"}), "", 0, {}},
        removal_case{"pkg_itself_stops_the_delete_after_what_came_before", false, {"tool", "pkg", "lib"},
                     to_remove({"app: 2.0", "lib: 1.0", "pkg: 2.8.4", "tool: 1"}) +
                         deinstalling({"app-2.0", "lib-1.0"}, 4),
                     pkg_itself, 3, {"app", "lib"}},
        removal_case{"pkg_itself_before_a_dependent_stops_it_all", false, {"font[misc]", "pkg"},
                     to_remove({"font[misc]: 1.0", "pkg: 2.8.4", "xterm: 1"}), pkg_itself, 3, {}},
        removal_case{"pkg_devel_is_pkg_itself_too", false, {"pkg-devel"}, to_remove({"pkg-devel: 2.9"}), pkg_itself, 3,
                     {}},
        removal_case{"a_dependency_cycle_is_listed_but_not_deleted", false, {"cy1"}, to_remove({"cy1: 1", "cy2: 1"}),
                     "pkg: failed to break job scheduling cycle\n", 3, {}}),
    [](const testing::TestParamInfo<removal_case>& info) { return info.param.label; });

// With -x each word is an extended regular expression, searched for in NAME
// and in NAME-VERSION; a '*' does not make it a glob.
INSTANTIATE_TEST_SUITE_P(
    regex, standin_delete,
    testing::Values(
        removal_case{"anchored_name_leaves_a_longer_one", true, {"^lib$"}, to_remove({"app: 2.0", "lib: 1.0"}), "", 0,
                     {}, true},
        removal_case{"unanchored_is_found_anywhere", true, {"ta"}, to_remove({"mta1: 5.0", "mta2: 6.0", "mutt: 7.0"}),
                     "", 0, {}, true},
        removal_case{"escaped_star_and_brackets", false, {"^a\\*b$", "^font\\[misc\\]-1\\.0$"},
                     to_remove({"a*b: 1", "font[misc]: 1.0", "xterm: 1"}) +
                         deinstalling({"a*b-1", "xterm-1", "font[misc]-1.0"}),
                     "", 0, {"a*b", "font[misc]", "xterm"}, true},
        removal_case{"case_counts_and_locked_stays", true, {"^held$", "^TOOL$"},
                     unmatched("^TOOL$") + checked + held_back({"held (locked)"}) +
                         "2 packages requested for removal: 1 locked, 1 missing\n",
                     "", 7, {}, true},
        removal_case{"one_that_does_not_compile_names_nothing_unsaid", true, {"(", "^tool$"}, to_remove({"tool: 1"}),
                     invalid_regex("(", "Unmatched ( or \\("), 0, {}, true},
        removal_case{"only_one_that_does_not_compile", false, {"a{"},
                     checked + "1 packages requested for removal: 0 locked, 1 missing\n",
                     invalid_regex("a{", "Unmatched \\{"), 1, {}, true},
        removal_case{"cascade_reaching_a_locked_package", true, {"^base$"}, "",
                     "pkg: pinned is locked cannot delete base\nCannot perform request\n", 1, {}, true},
        removal_case{"pkg_itself_stops_the_delete", false, {"^app$", "^pkg$"},
                     to_remove({"app: 2.0", "pkg: 2.8.4"}) + deinstalling({"app-2.0"}, 2), pkg_itself, 3, {"app"},
                     true}),
    [](const testing::TestParamInfo<removal_case>& info) { return info.param.label; });

// shlib_requires and shlib_provides take packages along as requires and
// provides do, each kind on its own; only depends lines order the jobs.
INSTANTIATE_TEST_SUITE_P(
    libraries, standin_delete,
    testing::Values(
        removal_case{"dry_run_cascade_through_a_library_then_a_dependency", true, {"foolib"},
                     to_remove({"foolib: 1", "fooplug: 1", "foouser: 1"}), "", 0, {}},
        removal_case{"the_library_goes_first_as_it_has_no_dependents", false, {"foolib-1"},
                     to_remove({"foolib: 1", "fooplug: 1", "foouser: 1"}) +
                         deinstalling({"foolib-1", "fooplug-1", "foouser-1"}),
                     "", 0, {"foolib", "fooplug", "foouser"}},
        removal_case{"a_second_provider_of_the_library_stays", false, {"bar2"},
                     to_remove({"bar2: 1"}) + deinstalling({"bar2-1"}), "", 0, {"bar2"}},
        removal_case{"the_last_providers_of_the_library_go_together", true, {"bar1", "bar2"},
                     to_remove({"bar1: 1", "bar2: 1", "baruser: 1"}), "", 0, {}},
        removal_case{"cascade_through_a_library_reaching_a_locked_package", false, {"libq"}, "",
                     "pkg: qpinned is locked cannot delete libq\nCannot perform request\n", 1, {}}),
    [](const testing::TestParamInfo<removal_case>& info) { return info.param.label; });

// Opens the FIFO at path for writing as soon as the tool has it open for
// reading, polling for a minute at most; -1 if it never does.
int open_when_read(const std::string& path) {
  const struct timespec one_ms = {0, 1000000};
  for (int waited_ms = 0; waited_ms < 60000; ++waited_ms) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO)
      return fd;
    nanosleep(&one_ms, nullptr);
  }
  return -1;
}

struct pause_case {
  const char* label;
  std::string pkgctl;
  bool interrupt;                     // ^C while the delete waits, else let it go on
  std::vector<std::string> held_db;   // the packages gone from pkgdb while it waits
  std::vector<std::string> final_db;  // and at the end
};

void PrintTo(const pause_case& c, std::ostream* out) { *out << c.label; }

class standin_delete_pause : public standin, public testing::WithParamInterface<pause_case> {};

// delete -y lib removes app and then lib; the pause comes after app.
TEST_P(standin_delete_pause, holds_the_delete_after_its_first_package) {
  const pause_case& c = GetParam();
  write("pkgctl", c.pkgctl);
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  const pid_t pid = start(delete_words(false, {"lib"}));
  const int fifo = open_when_read(dir_ + "/fifo");
  if (fifo < 0) {
    kill(pid, SIGKILL);
    wait_for(pid);
    FAIL() << "the delete never waited on its FIFO";
  }
  const std::string listed = to_remove({"app: 2.0", "lib: 1.0"});
  const std::string first = listed + deinstalling({"app-2.0"}, 2);
  EXPECT_EQ(read("stdout"), first);
  EXPECT_EQ(read("pkgdb"), database_without(c.held_db));
  if (c.interrupt)
    kill(pid, SIGINT);
  close(fifo);
  const outcome got = wait_for(pid);
  EXPECT_EQ(got.out, c.interrupt ? first : listed + deinstalling({"app-2.0", "lib-1.0"}));
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.status, c.interrupt ? -1 : 0);
  EXPECT_EQ(got.signal, c.interrupt ? SIGINT : 0);
  EXPECT_EQ(read("pkgdb"), database_without(c.final_db));
}

INSTANTIATE_TEST_SUITE_P(
    cases, standin_delete_pause,
    testing::Values(pause_case{"goes_on_when_released", "delete_pause fifo\n", false, {"app"}, {"app", "lib"}},
                    pause_case{"dies_of_sigint_half_done", "delete_pause fifo\n", true, {"app"}, {"app"}},
                    pause_case{"a_numbered_one_beats_a_plain_one", "delete_pause@1 fifo\ndelete_pause other\n", false,
                               {"app"}, {"app", "lib"}},
                    pause_case{"with_delete_noop_keeps_the_database", "delete_noop\ndelete_pause fifo\n", false, {},
                               {}}),
    [](const testing::TestParamInfo<pause_case>& info) { return info.param.label; });

TEST_F(standin, delete_noop_prints_the_delete_but_keeps_the_database) {
  write("pkgctl", "delete_noop\n");
  outcome got = run(delete_words(false, {"lib"}));
  EXPECT_EQ(got.out, to_remove({"app: 2.0", "lib: 1.0"}) + deinstalling({"app-2.0", "lib-1.0"}));
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(read("pkgdb"), database_without({}));
}

TEST_F(standin, directives_count_dry_runs_and_deletes_apart) {
  write("answer", "as told\n");
  write("pkgctl", "dryrun_file@1 answer\ndryrun_exit@2 5\ndelete_exit@1 3\nstate_exit 4\n");
  outcome first = run(delete_words(true, {"tool"}));
  EXPECT_EQ(first.out, "as told\n");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(run(delete_words(true, {"tool"})).status, 5);
  EXPECT_EQ(run(delete_words(false, {"tool"})).status, 3);
  EXPECT_EQ(run(query({"-C", pkg_state_query_format, "tool"})).status, 4);
  EXPECT_EQ(read("pkgdb"), database_without({"tool"}));
}

TEST_F(standin, state_query_prints_each_match_of_each_word_with_its_lock_and_vital_flag) {
  outcome got = run(query({"-C", pkg_state_query_format, "held", "tool-1", "TOOL", "nosuch", "core", "root", "tool"}));
  EXPECT_EQ(got.out, "held-1\t1\t0\ntool-1\t0\t0\ncore-1\t0\t1\nroot-1\t1\t1\ntool-1\t0\t0\n");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.status, 0);

  got = run(query({"-C", pkg_state_query_format, "nosuch", "tool-"}));
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.status, 1);
}

TEST_F(standin, description_query_prints_the_description_or_nothing) {
  outcome got = run(query({"-C", "%e", "curl-4.0"}));
  EXPECT_EQ(got.out, "Fetches.\n");
  EXPECT_EQ(got.status, 0);

  for (const char* unknown : {"nosuch", "CURL"}) {
    got = run(query({"-C", "%e", unknown}));
    EXPECT_EQ(got.out, "") << unknown;
    EXPECT_EQ(got.err, "") << unknown;
    EXPECT_EQ(got.status, 1) << unknown;
  }
}

TEST_F(standin, leaf_query_lists_vital_packages_and_ignores_capabilities_and_libraries) {
  // The leaves in database order; only tool has a comment.
  const std::vector<std::string> leaves = {
      "tool-1", "app-2.0", "ssl-3.0", "curl-4.0", "mta1-5.0", "mta2-6.0", "mutt-7.0", "boot-1", "libz-1",
      "core-1", "a*b-1", "xterm-1", "pkg-2.8.4", "pkg-devel-2.9", "foolib-1", "fooplug-1", "foocap-1",
      "mailer-1", "bar1-1", "bar2-1", "baruser-1", "libq-1"};
  const std::vector<std::string> vital = {"boot-1", "core-1"};
  std::string with_comments, with_vital_flags;
  for (const std::string& key : leaves) {
    with_comments += key + "\t" + (key == "tool-1" ? "A plain leaf" : "") + "\n";
    with_vital_flags += key + "\t" + (std::count(vital.begin(), vital.end(), key) != 0 ? "1" : "0") + "\n";
  }
  for (const auto& [format, text] : {std::pair{pkg_leaf_query_format, with_comments},
                                     std::pair{pkg_leaf_query_vital_format, with_vital_flags}}) {
    outcome got = run(query({"-e", pkg_leaf_query_where, format}));
    EXPECT_EQ(got.out, text) << format;
    EXPECT_EQ(got.err, "") << format;
    EXPECT_EQ(got.status, 0) << format;
  }
}

// A small system for the link queries: a dependency, a capability and a
// library each, a locked package that needs them, and two packages with no
// links at all.
const std::string link_db =
    "package\tlib\t1.0\nprovides\tlibcap\nprovides\tother\nshlib_provides\tlibfoo.so.1\n"
    "package\tapp\t2.0\ndepends\tlib\nrequires\tlibcap\n"
    "package\tpinned\t1\ndepends\tlib\ndepends\tapp\nrequires\tother\nshlib_requires\tlibfoo.so.1\n"
    "shlib_requires\tlibbar.so\nlocked\n"
    "package\ttool\t1\ncomment\tA plain leaf\n"
    "package\tcore\t1\nvital\n";

struct link_case {
  const char* format;
  std::string out;
  const char* newer_key;  // the key pkg before 2.8 does not know, or nullptr
};

void PrintTo(const link_case& c, std::ostream* out) { *out << c.format; }

class standin_link_query : public standin, public testing::WithParamInterface<link_case> {};

TEST_P(standin_link_query, prints_a_line_for_each_link_in_database_order) {
  const link_case& c = GetParam();
  write("pkgdb", link_db);
  outcome got = run(query(link_query_words(c.format)));
  EXPECT_EQ(got.out, c.out);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.status, 0);

  // As releases before 2.8 answer.
  write("pkgctl", "old_query_keys\n");
  got = run(query(link_query_words(c.format)));
  EXPECT_EQ(got.out, c.newer_key != nullptr ? "" : c.out);
  EXPECT_EQ(got.err, c.newer_key != nullptr ? "Unknown query format key: '" + std::string(c.newer_key) + "'\n" : "");
  EXPECT_EQ(got.status, c.newer_key != nullptr ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    cases, standin_link_query,
    testing::Values(
        link_case{pkg_link_depends_format, "app-2.0\t0\tlib\npinned-1\t1\tlib\npinned-1\t1\tapp\n", nullptr},
        link_case{pkg_link_requires_format, "app-2.0\t0\tlibcap\npinned-1\t1\tother\n", "%Y"},
        link_case{pkg_link_provides_format, "lib-1.0\tlibcap\nlib-1.0\tother\n", "%y"},
        link_case{pkg_link_shlib_requires_format, "pinned-1\t1\tlibfoo.so.1\npinned-1\t1\tlibbar.so\n", nullptr},
        link_case{pkg_link_shlib_provides_format, "lib-1.0\tlibfoo.so.1\n", nullptr}));

TEST_F(standin, link_queries_print_nothing_and_exit_0_without_links) {
  write("pkgdb", "package\ttool\t1\nlocked\n");
  for (const char* format : pkg_link_query_formats) {
    outcome got = run(query(link_query_words(format)));
    EXPECT_EQ(got.out, "") << format;
    EXPECT_EQ(got.err, "") << format;
    EXPECT_EQ(got.status, 0) << format;
  }
}

struct numbered_step {
  std::vector<std::string> args;  // after argv[0]
  std::string out, err;
  int status;
};

struct numbered_case {
  const char* label;
  std::string pkgctl;
  std::vector<numbered_step> steps;
};

void PrintTo(const numbered_case& c, std::ostream* out) { *out << c.label; }

class standin_numbered : public standin, public testing::WithParamInterface<numbered_case> {};

TEST_P(standin_numbered, counts_the_forms_of_a_kind_together) {
  const numbered_case& c = GetParam();
  write("pkgdb", link_db);
  write("answer", "as told\n");
  write("pkgctl", c.pkgctl);
  for (size_t k = 0; k < c.steps.size(); ++k) {
    const numbered_step& step = c.steps[k];
    outcome got = run(step.args);
    EXPECT_EQ(got.out, step.out) << "call " << k + 1;
    EXPECT_EQ(got.err, step.err) << "call " << k + 1;
    EXPECT_EQ(got.status, step.status) << "call " << k + 1;
  }
}

const std::vector<std::string> leaves_listed = query({"-e", pkg_leaf_query_where, pkg_leaf_query_format});
const std::vector<std::string> leaves_vital = query({"-e", pkg_leaf_query_where, pkg_leaf_query_vital_format});
const std::string unknown_provides_key = "Unknown query format key: '%y'\n";

INSTANTIATE_TEST_SUITE_P(
    cases, standin_numbered,
    testing::Values(
        numbered_case{"leaf_query_forms",
                      "leaves_exit@2 5\nleaves_file@3 answer\n",
                      {{leaves_listed, "tool-1\tA plain leaf\ncore-1\t\n", "", 0},
                       {leaves_vital, "tool-1\t0\ncore-1\t1\n", "", 5},
                       {leaves_vital, "as told\n", "", 0},
                       {leaves_listed, "tool-1\tA plain leaf\ncore-1\t\n", "", 0}}},
        numbered_case{"link_query_formats",
                      "old_query_keys@1\nlinks_exit@2 9\nlinks_file@3 answer\n",
                      {{query(link_query_words(pkg_link_provides_format)), "", unknown_provides_key, 1},
                       {query(link_query_words(pkg_link_shlib_provides_format)), "lib-1.0\tlibfoo.so.1\n", "", 9},
                       {query(link_query_words(pkg_link_depends_format)), "as told\n", "", 0},
                       {query(link_query_words(pkg_link_provides_format)), "lib-1.0\tlibcap\nlib-1.0\tother\n", "", 0}}},
        numbered_case{"a_links_file_beats_old_query_keys",
                      "old_query_keys\nlinks_file@2 answer\n",
                      {{query(link_query_words(pkg_link_provides_format)), "", unknown_provides_key, 1},
                       {query(link_query_words(pkg_link_provides_format)), "as told\n", "", 0}}}),
    [](const testing::TestParamInfo<numbered_case>& info) { return info.param.label; });

TEST_F(standin, logs_each_call_with_its_environment) {
  const std::vector<std::string> args = query({"-C", "%e", "tool"});
  run(args);
  run({"delete", "-y", "tool"});
  const std::vector<pkg_call> calls = read_call_log(dir_ + "/pkg-calls.log");
  ASSERT_EQ(calls.size(), 2u);
  std::vector<std::string> words{PKG_STANDIN};
  words.insert(words.end(), args.begin(), args.end());
  EXPECT_EQ(calls[0].args, words);
  for (const pkg_call& c : calls) {
    EXPECT_EQ(c.env, std::vector<std::string>{pkg_child_path});
    EXPECT_EQ(c.cwd, dir_);
  }
}

TEST_F(standin, refuses_command_lines_without_the_alias_guard_and_old_ones) {
  const std::vector<std::vector<std::string>> refused = {
      {"query", "-e", pkg_leaf_query_where, pkg_leaf_query_format},
      {"query", "%e", "tool"},
      {"query", pkg_state_query_format, "tool"},
      query({"-C", "%n-%v\\t%k", "tool"}),
      // The queries and deletes without -C, as the program gave them before.
      query({"%e", "tool"}),
      query({pkg_state_query_format, "tool"}),
      delete_words(true, {"tool"}, false, false),
      delete_words(false, {"tool"}, true, false),
      // A link query takes no words, and no -C, and needs its condition.
      query({"-e", "%#y > 0", pkg_link_provides_format, "tool"}),
      query({"-C", "-e", "%#d > 0", pkg_link_depends_format}),
      query({pkg_link_depends_format}),
      query({"-e", "%#y > 0", pkg_link_depends_format}),
      {"-o", "AUTOREMOVE=false", "delete", "-y", "--", "tool"},
      {"-o", "AUTOREMOVE=false", "delete", "-n", "-y", "-x", "--", "tool"},
      {"-o", "AUTOREMOVE=false", "-o", pkg_alias_guard, "delete", "-y", "--", "tool"},
      {"delete", "-y", "tool-1"},
  };
  for (const std::vector<std::string>& args : refused) {
    std::string shown;
    for (const std::string& word : args)
      shown += " [" + escape_log_word(word) + "]";
    outcome got = run(args);
    EXPECT_EQ(got.status, 64) << shown;
    EXPECT_EQ(got.out, "") << shown;
    EXPECT_EQ(got.err, "pkg-standin: unexpected command line:" + shown + "\n");
  }
  EXPECT_EQ(read("pkgdb"), database_without({}));
}

struct kind_case {
  const char* label;
  std::vector<std::string> args;  // after argv[0]
  pkg_call_kind kind;
  std::vector<std::string> words;  // what the kind's helper returns; a link query's format
  bool regex = false;              // what uses_regex says
  bool vital = false;              // what asks_vital says
};

void PrintTo(const kind_case& c, std::ostream* out) { *out << c.label; }

class standin_call_kind : public testing::TestWithParam<kind_case> {};

TEST_P(standin_call_kind, names_the_command_and_its_words) {
  const kind_case& c = GetParam();
  pkg_call call;
  call.args = {"pkg"};
  call.args.insert(call.args.end(), c.args.begin(), c.args.end());
  EXPECT_EQ(call_kind(call), c.kind);
  EXPECT_EQ(described_package(call),
            c.kind == pkg_call_kind::description_query ? c.words.at(0) : std::string());
  EXPECT_EQ(state_query_packages(call), c.kind == pkg_call_kind::state_query ? c.words : std::vector<std::string>{});
  EXPECT_EQ(link_query_format(call), c.kind == pkg_call_kind::link_query ? c.words.at(0) : std::string());
  EXPECT_EQ(dry_run_packages(call), c.kind == pkg_call_kind::dry_run ? c.words : std::vector<std::string>{});
  EXPECT_EQ(deleted_packages(call), c.kind == pkg_call_kind::delete_packages ? c.words : std::vector<std::string>{});
  EXPECT_EQ(uses_regex(call), c.regex);
  EXPECT_EQ(asks_vital(call), c.vital);
}

const std::vector<std::string> guard{"-o", "ALIAS=x=x"};

std::vector<std::string> guarded(std::vector<std::string> words) {
  words.insert(words.begin(), guard.begin(), guard.end());
  return words;
}

// The head of the program's deletes and dry runs, before their flags.
std::vector<std::string> deleting(std::vector<std::string> words) {
  const std::vector<std::string> head{"-o", "ALIAS=x=x", "-o", "AUTOREMOVE=false", "delete"};
  words.insert(words.begin(), head.begin(), head.end());
  return words;
}

INSTANTIATE_TEST_SUITE_P(
    cases, standin_call_kind,
    testing::Values(
        kind_case{"leaf_query", guarded({"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c"}), pkg_call_kind::leaf_query, {}},
        kind_case{"leaf_query_with_vital_flags", guarded({"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%V"}),
                  pkg_call_kind::leaf_query, {}, false, true},
        kind_case{"leaf_query_without_the_guard", {"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c"},
                  pkg_call_kind::unexpected, {}},
        kind_case{"leaf_query_with_the_case_flag", guarded({"query", "-C", "-e", "%#r=0 && %k=0", "%n-%v\\t%V"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"leaf_query_with_a_word", guarded({"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%V", "a"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"description_query", guarded({"query", "-C", "%e", "tool"}), pkg_call_kind::description_query,
                  {"tool"}},
        kind_case{"description_query_without_the_case_flag", guarded({"query", "%e", "tool"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"description_query_without_the_guard", {"query", "-C", "%e", "tool"}, pkg_call_kind::unexpected, {}},
        kind_case{"state_query", guarded({"query", "-C", "%n-%v\\t%k\\t%V", "a", "--"}), pkg_call_kind::state_query,
                  {"a", "--"}},
        kind_case{"state_query_without_the_case_flag", guarded({"query", "%n-%v\\t%k\\t%V", "a"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"state_query_with_tabs", guarded({"query", "-C", "%n-%v\t%k\t%V", "a"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"state_query_of_two_columns", guarded({"query", "-C", "%n-%v\\t%k", "a"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"state_query_without_words", guarded({"query", "-C", "%n-%v\\t%k\\t%V"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"depends_query", guarded({"query", "-e", "%#d > 0", "%n-%v\\t%k\\t%dn"}), pkg_call_kind::link_query,
                  {"%n-%v\\t%k\\t%dn"}},
        kind_case{"requires_query", guarded({"query", "-e", "%#Y > 0", "%n-%v\\t%k\\t%Y"}), pkg_call_kind::link_query,
                  {"%n-%v\\t%k\\t%Y"}},
        kind_case{"provides_query", guarded({"query", "-e", "%#y > 0", "%n-%v\\t%y"}), pkg_call_kind::link_query, {"%n-%v\\t%y"}},
        kind_case{"shlib_requires_query", guarded({"query", "-e", "%#B > 0", "%n-%v\\t%k\\t%B"}), pkg_call_kind::link_query,
                  {"%n-%v\\t%k\\t%B"}},
        kind_case{"shlib_provides_query", guarded({"query", "-e", "%#b > 0", "%n-%v\\t%b"}), pkg_call_kind::link_query, {"%n-%v\\t%b"}},
        kind_case{"link_query_with_a_word", guarded({"query", "-e", "%#b > 0", "%n-%v\\t%b", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"link_query_with_the_case_flag", guarded({"query", "-C", "-e", "%#b > 0", "%n-%v\\t%b"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"link_query_without_the_lock_flag", guarded({"query", "%n-%v\\t%dn"}), pkg_call_kind::unexpected, {}},
        kind_case{"link_query_without_the_guard", {"query", "-e", "%#y > 0", "%n-%v\\t%y"}, pkg_call_kind::unexpected, {}},
        kind_case{"link_query_without_its_condition", guarded({"query", "%n-%v\\t%y"}), pkg_call_kind::unexpected, {}},
        kind_case{"dry_run", deleting({"-C", "-n", "-y", "--", "a-1", "-y"}), pkg_call_kind::dry_run, {"a-1", "-y"}},
        kind_case{"dry_run_by_regex", deleting({"-C", "-n", "-y", "-x", "--", "^a$", "-x"}), pkg_call_kind::dry_run,
                  {"^a$", "-x"}, true},
        kind_case{"dry_run_without_the_case_flag", deleting({"-n", "-y", "--", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"dry_run_case_flag_last", deleting({"-n", "-y", "-C", "--", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"dry_run_regex_flag_first", deleting({"-C", "-x", "-n", "-y", "--", "a"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"dry_run_flags_swapped", deleting({"-C", "-y", "-n", "--", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"delete", deleting({"-C", "-y", "--", "a-1", "b"}), pkg_call_kind::delete_packages, {"a-1", "b"}},
        kind_case{"delete_by_regex", deleting({"-C", "-y", "-x", "--", "^a\\+$"}), pkg_call_kind::delete_packages,
                  {"^a\\+$"}, true},
        kind_case{"delete_without_the_case_flag", deleting({"-y", "--", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"delete_by_regex_without_the_case_flag", deleting({"-y", "-x", "--", "a"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"delete_case_flag_twice", deleting({"-C", "-C", "-y", "--", "a"}), pkg_call_kind::unexpected, {}},
        kind_case{"delete_regex_flag_twice", deleting({"-C", "-y", "-x", "-x", "--", "a"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"delete_without_words", deleting({"-C", "-y", "--"}), pkg_call_kind::unexpected, {}},
        kind_case{"delete_by_regex_without_words", deleting({"-C", "-y", "-x", "--"}), pkg_call_kind::unexpected, {}},
        kind_case{"delete_without_the_guard", {"-o", "AUTOREMOVE=false", "delete", "-C", "-y", "--", "a"},
                  pkg_call_kind::unexpected, {}},
        kind_case{"delete_guard_second",
                  {"-o", "AUTOREMOVE=false", "-o", "ALIAS=x=x", "delete", "-C", "-y", "--", "a"},
                  pkg_call_kind::unexpected, {}},
        kind_case{"delete_without_the_option", guarded({"delete", "-C", "-y", "--", "a"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"delete_with_autoremove", guarded({"-o", "AUTOREMOVE=true", "delete", "-C", "-y", "--", "a"}),
                  pkg_call_kind::unexpected, {}},
        kind_case{"delete_without_the_end_of_options", deleting({"-C", "-y", "a", "b"}), pkg_call_kind::unexpected,
                  {}},
        kind_case{"old_delete", {"delete", "-y", "a"}, pkg_call_kind::unexpected, {}}),
    [](const testing::TestParamInfo<kind_case>& info) { return info.param.label; });

struct key_case {
  const char* word;
  const char* key;
};

class standin_regex_key : public testing::TestWithParam<key_case> {};

TEST_P(standin_regex_key, undoes_the_anchored_escaped_form_only) {
  EXPECT_EQ(regex_key(GetParam().word), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(cases, standin_regex_key,
                         testing::Values(key_case{"^tool$", "tool"}, key_case{"^tool-1\\.0$", "tool-1.0"},
                                         key_case{"^a\\*b\\+\\?\\|\\^\\$\\\\$", "a*b+?|^$\\"},
                                         key_case{"^font\\[misc\\]\\(x\\)\\{2\\}$", "font[misc](x){2}"},
                                         key_case{"tool", "tool"}, key_case{"^tool", "^tool"},
                                         key_case{"^a*b$", "^a*b$"}, key_case{"^a\\$", "^a\\$"},
                                         key_case{"^a\\qb$", "^a\\qb$"}));

}  // namespace
