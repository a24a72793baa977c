// The last look before a delete command: the leaf query asked again, and
// pkg's own dry run of the command. A ticked package that is no longer a
// leaf, or that pkg would delete only together with others, stays; a notice
// says which and why; the rest is deleted. When the tool cannot answer,
// nothing is deleted. Every child sees the same, empty, environment.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "fixture.h"

namespace {

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

// A ticked package that something installed meanwhile needs is named with
// what deleting it would take along beyond the ticked packages, which may
// go anyway: here curl2 requires what tmux provides, and is ticked too.
TEST_F(leafsweep_run, a_package_no_longer_a_leaf_is_named_with_what_it_takes_beyond_the_ticked) {
  std::vector<package> system = small_system();
  system[3].provides = {"captmux"};  // tmux
  package requirer{"curl2", "1.0", "Requires what tmux provides", {}, {}};
  requirer.requires = {"captmux"};
  system.push_back(requirer);
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("tmux-3.3a");
  tick("curl2-1.0");
  system.push_back({"tmux-plugins", "1.0", "Plugins for tmux", {"tmux"}, {}});
  install(system);
  press_ok();
  ASSERT_TRUE(t.wait_for_text("tmux-3.3a: deleting it would also delete tmux-plugins-1.0")) << t.describe();
  EXPECT_FALSE(t.contains("curl2-1.0, tmux-plugins-1.0")) << t.describe();
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"curl2-1.0"});
}

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
  for (const package& p : provider_and_requirer())
    system.push_back(p);
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

// pkg reads every name as a glob pattern once one of them holds "*"; then
// every name is matched as an anchored regular expression instead, which
// names the package itself and nothing else.
TEST_F(leafsweep_run, a_name_holding_a_star_is_matched_exactly) {
  install({package{"gtk*", "3", "A name with a star", {}, {}}, package{"gtkmm", "3", "C++ for gtk", {}, {}},
           package{"font[misc]", "1.0", "A name with brackets", {}, {}},
           package{"nano", "7.2", "Nano's ANOther editor", {}, {}}});
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("gtk*-3");
  tick("font[misc]-1.0");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(t.contains(kept_heading));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  std::vector<pkg_call> deletes = calls_of(pkg_call_kind::delete_packages);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_TRUE(uses_regex(deletes[0]));
  std::vector<std::string> keys;
  for (const std::string& word : deleted_packages(deletes[0]))
    keys.push_back(regex_key(word));
  EXPECT_EQ(keys, (std::vector<std::string>{"gtk*-3", "font[misc]-1.0", "nano-7.2"}));
  EXPECT_EQ(installed(), std::vector<std::string>{"gtkmm-3"});
}

// Packages that pkg will not delete as asked never reach the delete
// command, and the notice says why; the others go.
struct refused_case {
  const char* name;
  std::vector<package> extra;  // installed beside small_system()
  std::string ticked;
  std::string notice;
};

void PrintTo(const refused_case& c, std::ostream* out) { *out << c.name; }

class refused_by_pkg : public leafsweep_run, public testing::WithParamInterface<refused_case> {};

TEST_P(refused_by_pkg, is_kept_with_the_reason_and_the_rest_goes) {
  const refused_case& c = GetParam();
  std::vector<package> system = small_system();
  system.insert(system.end(), c.extra.begin(), c.extra.end());
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  tick(c.ticked);
  tick("tmux-3.3a");
  press_ok();
  ASSERT_TRUE(t.wait_for_text(c.ticked + ": " + c.notice)) << t.describe();
  EXPECT_TRUE(t.contains(kept_heading));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(t.contains(enter_prompt));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(only_delete(), (std::vector<std::string>{"curl-8.4.0", "tmux-3.3a"}));
  // A vital package is known from the leaf query: before 2.0, pkg's dry
  // run would list it like any other.
  bool asked = false;
  for (const pkg_call& dry : calls_of(pkg_call_kind::dry_run)) {
    const std::vector<std::string> names = dry_run_packages(dry);
    asked = asked || std::find(names.begin(), names.end(), c.ticked) != names.end();
  }
  EXPECT_EQ(asked, !c.extra[0].vital);
}

package vital_package() {
  package p{"doas", "6.3", "Runs commands as another user", {}, {}};
  p.vital = true;
  return p;
}

package unlocked_pkg() { return {"pkg-devel", "2.8.99", "Package manager, development version", {}, {}}; }

INSTANTIATE_TEST_SUITE_P(
    cases, refused_by_pkg,
    testing::Values(refused_case{"pkg_itself", {unlocked_pkg()}, "pkg-devel-2.8.99", "pkg does not delete itself"},
                    refused_case{"a_vital_package", {vital_package()}, "doas-6.3",
                                 "it is vital (pkg set -v 0 doas-6.3 would allow deleting it)"},
                    refused_case{"one_that_a_locked_package_needs", provider_and_requirer(true), "capprov-1.0",
                                 "capreq is locked and needs it"}),
    [](const testing::TestParamInfo<refused_case>& info) { return info.param.name; });

// Many ticked packages, a few of which would take an unticked one along.
// pkg's links tell which at once: five queries and two dry runs, however
// many there are. When the links cannot be had, or the release's queries
// know no capabilities, halving finds them in a few dry runs. Either way
// nothing else is kept.
enum class links { read, fail, know_no_capabilities };

struct culprit_case {
  const char* name;
  std::vector<size_t> culprits;  // positions among the ticked
};

void PrintTo(const culprit_case& c, std::ostream* out) { *out << c.name; }

class culprits : public leafsweep_run, public testing::WithParamInterface<std::tuple<culprit_case, links>> {};

TEST_P(culprits, are_found_and_nothing_else_is_kept) {
  const culprit_case& c = std::get<0>(GetParam());
  const links state = std::get<1>(GetParam());
  const size_t ticked = 64;
  std::vector<package> system;
  std::vector<std::string> deleted;
  std::vector<std::string> notice;
  for (size_t i = 0; i < ticked; ++i) {
    const std::string n = std::to_string(i);
    package p{"leaf" + std::string(n.size() < 2 ? "0" : "") + n, "1.0", "Leaf number " + n, {}, {}};
    if (std::find(c.culprits.begin(), c.culprits.end(), i) != c.culprits.end()) {
      p.provides = {"cap" + n};
      package requirer{"needs" + n, "1.0", "Needs what leaf " + n + " provides", {}, {}};
      requirer.requires = p.provides;
      system.push_back(requirer);
      notice.push_back(p.key() + ": deleting it would also delete " + requirer.key());
    } else {
      deleted.push_back(p.key());
    }
    system.push_back(p);
  }
  install(system);
  control(state == links::fail ? "links_exit 1\n" : state == links::know_no_capabilities ? "old_query_keys\n" : "");
  terminal& t = start(40, 100);
  ASSERT_TRUE(wait_for_checklist());
  for (const package& p : system) {
    if (p.name.compare(0, 4, "leaf") == 0)
      tick(p.key());
  }
  press_ok();
  for (const std::string& line : notice)
    ASSERT_TRUE(t.wait_for_text(line)) << t.describe();
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), deleted);
  // Two leaf queries: the first pass's, and the last look's.
  EXPECT_EQ(calls_of(pkg_call_kind::leaf_query).size(), 2u);
  const size_t dry_runs = calls_of(pkg_call_kind::dry_run).size();
  if (state == links::read) {
    EXPECT_EQ(calls_of(pkg_call_kind::link_query).size(), 5u);
    EXPECT_EQ(dry_runs, 2u);
  } else {
    // The first query that fails is the last asked.
    EXPECT_EQ(calls_of(pkg_call_kind::link_query).size(), state == links::fail ? 1u : 5u);
    // Halving: 2 log2(64) + 3 dry runs for one; for each more, as many
    // again.
    EXPECT_LE(dry_runs, 15 * c.culprits.size());
    EXPECT_GT(dry_runs, 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    cases, culprits,
    testing::Combine(testing::Values(culprit_case{"one_first", {0}}, culprit_case{"one_in_the_middle", {37}},
                                     culprit_case{"one_last", {63}}, culprit_case{"two", {5, 50}},
                                     culprit_case{"two_side_by_side", {31, 32}},
                                     culprit_case{"five_spread", {0, 13, 31, 47, 63}}),
                     testing::Values(links::read, links::fail, links::know_no_capabilities)),
    [](const testing::TestParamInfo<std::tuple<culprit_case, links>>& info) {
      const links state = std::get<1>(info.param);
      return std::string(std::get<0>(info.param).name) +
             (state == links::read ? "_by_links" : state == links::fail ? "_when_links_fail" : "_without_capabilities");
    });

// The links are followed as far as they go: a package needs a shared
// library that a ticked one provides, another depends on that one, and a
// third requires a capability the second provides. The notice names all
// three, in two dry runs.
TEST_F(leafsweep_run, the_links_are_followed_down_a_chain) {
  std::vector<package> system = small_system();
  package provider{"libprov", "1.0", "Provides libprov.so.1", {}, {}};
  provider.shlib_provides = {"libprov.so.1"};
  package user{"uses", "1.0", "Needs libprov.so.1", {}, {}};
  user.shlib_requires = {"libprov.so.1"};
  user.provides = {"capuses"};
  package chained{"chained", "1.0", "Depends on uses", {"uses"}, {}};
  package last{"last", "1.0", "Requires what uses provides", {}, {}};
  last.requires = {"capuses"};
  system.insert(system.end(), {provider, user, chained, last});
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("libprov-1.0");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(t.wait_for_text("libprov-1.0: deleting it would also delete chained-1.0, last-1.0, uses-1.0")) << t.describe();
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
  EXPECT_EQ(calls_of(pkg_call_kind::dry_run).size(), 2u);
}

// When the system changes after the links were read, the dry run that
// confirms the set is not exact: the search goes on by halving from there,
// and keeps what the change made a culprit too.
TEST_F(leafsweep_run, a_change_after_the_links_were_read_is_found_by_halving) {
  std::vector<package> system = small_system();
  for (const package& p : provider_and_requirer())
    system.push_back(p);
  install(system);
  make_fifo("links.fifo");
  // The last of the five link queries waits, halfway through its output.
  control("links_pause@5 links.fifo\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  for (const char* key : {"curl-8.4.0", "nano-7.2", "tmux-3.3a", "capprov-1.0"})
    tick(key);
  press_ok();
  const int writer = tool_waiting_at("links.fifo");
  ASSERT_NE(writer, -1);
  system.push_back({"tmux-plugins", "1.0", "Plugins for tmux", {"tmux"}, {}});
  install(system);
  close(writer);
  ASSERT_TRUE(t.wait_for_text("tmux-3.3a: deleting it would also delete tmux-plugins-1.0")) << t.describe();
  EXPECT_TRUE(t.contains("capprov-1.0: deleting it would also delete capreq-1.0"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), (std::vector<std::string>{"curl-8.4.0", "nano-7.2"}));
  EXPECT_GT(calls_of(pkg_call_kind::dry_run).size(), 2u);
}

// Either of two providers of one capability could go, but not both: the
// first goes, the second is kept, and the unrelated packages go.
TEST_F(leafsweep_run, of_two_providers_one_goes_and_the_other_is_named) {
  std::vector<package> system = small_system();
  for (const char* name : {"capprov1", "capprov2"}) {
    package provider{name, "1.0", std::string("Provides capfoo as ") + name, {}, {}};
    provider.provides = {"capfoo"};
    system.push_back(provider);
  }
  package requirer{"capreq", "1.0", "Requires capfoo", {}, {}};
  requirer.requires = {"capfoo"};
  system.push_back(requirer);
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  for (const char* key : {"curl-8.4.0", "nano-7.2", "tmux-3.3a", "capprov1-1.0", "capprov2-1.0"})
    tick(key);
  press_ok();
  ASSERT_TRUE(t.wait_for_text("capprov2-1.0: deleting it with the others would also delete capreq-1.0")) << t.describe();
  EXPECT_FALSE(t.contains("curl-8.4.0:"));
  EXPECT_FALSE(t.contains("capprov1-1.0:"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), (std::vector<std::string>{"curl-8.4.0", "nano-7.2", "tmux-3.3a", "capprov1-1.0"}));
}

// A ticked package that would take along another ticked one, further down
// the list, goes with it, although halving around the package that must be
// kept looks at the first one before the other.
TEST_F(leafsweep_run, a_package_that_takes_a_later_ticked_one_along_goes_with_it) {
  package provider{"capprov", "1.0", "Provides capfoo", {}, {}};
  provider.provides = {"capfoo"};
  package culprit{"barprov", "1.0", "Provides capbar", {}, {}};
  culprit.provides = {"capbar"};
  package requirer{"capreq", "1.0", "Requires capfoo", {}, {}};
  requirer.requires = {"capfoo"};
  package unticked{"barreq", "1.0", "Requires capbar", {}, {}};
  unticked.requires = {"capbar"};
  install({provider, culprit, requirer, unticked});
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  for (const char* key : {"capprov-1.0", "barprov-1.0", "capreq-1.0"})
    tick(key);
  press_ok();
  ASSERT_TRUE(t.wait_for_text("barprov-1.0: deleting it would also delete barreq-1.0")) << t.describe();
  EXPECT_FALSE(t.contains("capprov-1.0:"));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), (std::vector<std::string>{"capprov-1.0", "capreq-1.0"}));
  EXPECT_EQ(installed(), (std::vector<std::string>{"barprov-1.0", "barreq-1.0"}));
}

// While the last look waits for pkg, a box says so, alone on a screen of
// its own; it is gone before the delete command.
TEST_F(leafsweep_run, a_box_stands_while_the_ticked_packages_are_checked) {
  install(small_system());
  make_fifo("dryrun.fifo");
  control("dryrun_pause dryrun.fifo\n");
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  const int writer = tool_waiting_at("dryrun.fifo");
  ASSERT_NE(writer, -1);
  testing::AssertionResult box = box_around("Checking the ticked packages", 5, 32);
  testing::AssertionResult alone = alone_on_screen("Checking the ticked packages");
  close(writer);
  EXPECT_TRUE(box);
  EXPECT_TRUE(alone);
  ASSERT_TRUE(wait_for_question());
  const std::string log = t.output_log();
  ASSERT_NE(log.find("Deinstalling nano-7.2"), std::string::npos);
  EXPECT_LT(log.rfind("Checking the ticked packages"), log.find("Deinstalling nano-7.2"));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
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

// Every child of the program sees one and the same environment, the
// system's PATH alone, whatever the program's own holds: the queries that
// decide what is shown and deleted, and the delete command itself, look at
// one database, and every command line runs pkg's own command, whatever
// aliases its configuration holds.
TEST_F(leafsweep_run, every_child_gets_the_same_environment_and_the_alias_guard) {
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
    EXPECT_EQ(c.env, std::vector<std::string>{pkg_child_path}) << c.args[3];
    ASSERT_GE(c.args.size(), 3u);
    EXPECT_EQ(c.args[1], "-o");
    EXPECT_EQ(c.args[2], pkg_alias_guard);
    EXPECT_EQ(c.cwd, calls()[0].cwd);
  }
  EXPECT_EQ(kinds, (std::set<pkg_call_kind>{pkg_call_kind::leaf_query, pkg_call_kind::description_query,
                                             pkg_call_kind::state_query, pkg_call_kind::dry_run,
                                             pkg_call_kind::delete_packages}));
}

}  // namespace
