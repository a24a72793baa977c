// The last look before a delete command: the leaf query asked again, and
// pkg's own dry run of the command. A ticked package that is no longer a
// leaf, or that pkg would delete only together with others, stays; a notice
// says which and why; the rest is deleted. When the tool cannot answer,
// nothing is deleted. Every child sees the same, empty, environment.
#include <algorithm>
#include <set>

#include "fixture.h"

namespace {

const std::string kept_heading = "These ticked packages are not deleted:";

// small_system() with package key changed by change.
std::vector<package> changed_system(const std::string& key, void (*change)(std::vector<package>&, size_t)) {
  std::vector<package> system = small_system();
  for (size_t i = 0; i < system.size(); ++i) {
    if (system[i].key() == key) {
      change(system, i);
      break;
    }
  }
  return system;
}

struct change_case {
  const char* name;
  void (*change)(std::vector<package>&, size_t);
  std::string reason;
};

void PrintTo(const change_case& c, std::ostream* out) { *out << c.name; }

class changed_meanwhile : public leafsweep_run, public testing::WithParamInterface<std::tuple<change_case, bool>> {};

// Someone changes the system while the checklist is open.
TEST_P(changed_meanwhile, keeps_the_changed_package_and_deletes_the_rest) {
  const change_case& c = std::get<0>(GetParam());
  const bool with_nano = std::get<1>(GetParam());
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  if (with_nano)
    tick("nano-7.2");
  std::vector<package> changed = changed_system("tmux-3.3a", c.change);
  install(changed);
  press_ok();
  ASSERT_TRUE(alone_on_screen(kept_heading));
  EXPECT_TRUE(t.contains("tmux-3.3a: " + c.reason)) << t.describe();
  EXPECT_FALSE(t.contains("nano-7.2:"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);

  // tmux never reaches a delete command; nano does, alone.
  std::vector<pkg_call> deletes = calls_of(pkg_call_kind::delete_packages);
  EXPECT_EQ(deletes.size(), with_nano ? 1u : 0u);
  for (const pkg_call& d : deletes)
    EXPECT_EQ(deleted_packages(d), std::vector<std::string>{"nano-7.2"});
  std::vector<std::string> keys;
  for (const package& p : changed) {
    if (!(with_nano && p.name == "nano"))
      keys.push_back(p.key());
  }
  EXPECT_EQ(installed(), keys);
}

INSTANTIATE_TEST_SUITE_P(
    changes, changed_meanwhile,
    testing::Combine(
        testing::Values(change_case{"something_needs_it",
                                    [](std::vector<package>& s, size_t) {
                                      s.push_back({"tmux-plugins", "1.0", "Plugins for tmux", {"tmux"}, {}});
                                    },
                                    "deleting it would also delete tmux-plugins-1.0"},
                        change_case{"it_is_locked", [](std::vector<package>& s, size_t i) { s[i].locked = true; },
                                    "it has been locked"},
                        change_case{"it_is_deleted",
                                    [](std::vector<package>& s, size_t i) { s.erase(s.begin() + static_cast<long>(i)); },
                                    "it is no longer installed"}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<change_case, bool>>& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_with_another" : "_alone");
    });

// The leaf query does not see capabilities: a package whose capability
// another one requires is a leaf, yet pkg would delete the other with it.
struct capability_case {
  const char* name;
  std::vector<std::string> ticked;
  std::vector<std::string> deleted;
  std::string notice;  // empty: none
};

void PrintTo(const capability_case& c, std::ostream* out) { *out << c.name; }

class capabilities : public leafsweep_run, public testing::WithParamInterface<capability_case> {};

TEST_P(capabilities, keep_a_provider_that_would_take_another_package_along) {
  const capability_case& c = GetParam();
  std::vector<package> system = small_system();
  package provider{"capprov", "1.0", "Provides capfoo", {}, {}};
  provider.provides = {"capfoo"};
  package requirer{"capreq", "1.0", "Requires capfoo", {}, {}};
  requirer.requires = {"capfoo"};
  system.push_back(provider);
  system.push_back(requirer);
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  for (const std::string& key : c.ticked)
    tick(key);
  press_ok();
  if (!c.notice.empty()) {
    ASSERT_TRUE(t.wait_for_text(c.notice));
    EXPECT_TRUE(t.contains(kept_heading));
    press_ok();
  }
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(t.contains(kept_heading));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), c.deleted);
}

INSTANTIATE_TEST_SUITE_P(
    cases, capabilities,
    testing::Values(capability_case{"the_provider_alone",
                                    {"nano-7.2", "capprov-1.0"},
                                    {"nano-7.2"},
                                    "capprov-1.0: deleting it would also delete capreq-1.0"},
                    capability_case{"with_the_package_that_requires_it",
                                    {"nano-7.2", "capprov-1.0", "capreq-1.0"},
                                    {"nano-7.2", "capprov-1.0", "capreq-1.0"},
                                    ""}),
    [](const testing::TestParamInfo<capability_case>& info) { return info.param.name; });

// pkg reads every name as a glob pattern once one of them holds "*".
TEST_F(leafsweep_run, a_name_that_pkg_would_read_as_a_pattern_is_kept) {
  install({package{"gtk*", "3", "A name with a star", {}, {}}, package{"gtkmm", "3", "C++ for gtk", {}, {}},
           package{"nano", "7.2", "Nano's ANOther editor", {}, {}}});
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("gtk*-3");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(t.wait_for_text("gtk*-3: deleting it would also delete gtkmm-3"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
  EXPECT_EQ(installed(), (std::vector<std::string>{"gtk*-3", "gtkmm-3"}));
}

// When the tool cannot answer the last look, nothing is deleted and the run
// ends as a failure, with the tool's words and the reason.
struct no_answer {
  const char* name;
  std::string directives;
  std::string errors;
};

void PrintTo(const no_answer& c, std::ostream* out) { *out << c.name; }

class no_answers : public leafsweep_run, public testing::WithParamInterface<no_answer> {};

TEST_P(no_answers, delete_nothing) {
  const no_answer& c = GetParam();
  install(small_system());
  write_file("cut.txt", "curl-8.4.0\tCommand line tool for transferring data\nnano-7.2\tNano's ANO");
  write_file("reworded.txt",
             "Deinstallation was requested for these packages:\n\tnano: 7.2\n\tcurl: 8.4.0\n\n"
             "Number of packages to be removed: 2\n");
  control(c.directives);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  tick("nano-7.2");
  press_ok();
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), c.errors + "The ticked packages were not deleted.\n");
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
  EXPECT_EQ(installed().size(), small_system().size());
}

INSTANTIATE_TEST_SUITE_P(
    failures, no_answers,
    testing::Values(
        no_answer{"the_leaf_query_fails", "leaves_exit@2 3\n", "pkg returned an error.\n"},
        no_answer{"the_leaf_query_is_cut_short", "leaves_file@2 cut.txt\nleaves_signal@2 9\n", "pkg returned an error.\n"},
        no_answer{"the_dry_run_fails", "dryrun_exit 1\n", "pkg returned an error.\n"},
        no_answer{"the_dry_run_is_killed", "dryrun_signal 15\n", "pkg returned an error.\n"},
        no_answer{"the_dry_run_answers_in_other_words", "dryrun_file reworded.txt\n",
                  "Could not tell what pkg would delete: its dry run answered in words leafsweep does not know.\n"}),
    [](const testing::TestParamInfo<no_answer>& info) { return info.param.name; });

// Every child of the program sees one and the same environment, an empty
// one, whatever the program's own holds: the queries that decide what is
// shown and deleted, and the delete command itself, look at one database.
TEST_F(leafsweep_run, every_child_gets_the_same_empty_environment) {
  install(small_system());
  terminal& t = start(24, 80, LEAFSWEEP_DEMO, {"PKG_DBDIR=/elsewhere", "AUTOREMOVE=yes", "TMPDIR=/elsewhere"});
  ASSERT_TRUE(wait_for_checklist());
  highlight("curl-8.4.0");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("curl transfers data with URL syntax."));
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  tick("nano-7.2");
  // Something needs tmux now, so it is looked at closer.
  std::vector<package> changed = small_system();
  changed.push_back({"tmux-plugins", "1.0", "Plugins for tmux", {"tmux"}, {}});
  install(changed);
  press_ok();
  ASSERT_TRUE(t.wait_for_text(kept_heading));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);

  std::set<pkg_call_kind> kinds;
  for (const pkg_call& c : calls()) {
    kinds.insert(call_kind(c));
    EXPECT_EQ(c.env, std::vector<std::string>{}) << c.args[1];
    EXPECT_EQ(c.cwd, calls()[0].cwd);
  }
  EXPECT_EQ(kinds, (std::set<pkg_call_kind>{pkg_call_kind::leaf_query, pkg_call_kind::description_query,
                                             pkg_call_kind::state_query, pkg_call_kind::dry_run,
                                             pkg_call_kind::delete_packages}));
}

}  // namespace
