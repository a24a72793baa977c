// The last look before a delete command, over a real package database: a
// ticked package that is no longer a leaf when OK is pressed, or that pkg
// would delete only together with packages that were not ticked, stays
// installed, and a notice says which and why before anything is deleted;
// the delete command deletes exactly the rest. Neither the environment nor
// pkg's own configuration widens it, and no name is read as an option.
#include <fstream>

#include "real_fixture.h"
#include "real_system.h"

namespace {

// Waits for the notice of kept packages to name each line, presses its OK.
testing::AssertionResult notice_names(terminal& t, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!t.wait_for_text(line))
      return testing::AssertionFailure() << "the notice does not say \"" << line << "\"";
  }
  if (!t.contains(kept_heading))
    return testing::AssertionFailure() << "the notice has no heading";
  t.key(VTERM_KEY_ENTER);
  return testing::AssertionSuccess();
}

struct change_case {
  const char* name;
  std::vector<package> later;                    // added while the checklist is open
  std::vector<std::vector<std::string>> change;  // tool commands run then
  std::string ticked;                            // the package the change concerns
  bool with_nano;                                // nano-7.2 is ticked too
  std::string reason;
};

void PrintTo(const change_case& c, std::ostream* out) { *out << c.name; }

class changed_meanwhile : public real_tool_run, public testing::WithParamInterface<change_case> {};

TEST_P(changed_meanwhile, keeps_the_changed_package_and_deletes_the_rest) {
  const change_case& c = GetParam();
  const std::vector<package> installed_first = real_system();
  std::vector<package> system = installed_first;
  system.insert(system.end(), c.later.begin(), c.later.end());
  add_packages(installed_first);
  const std::string made = made_packages(system, REAL_PACKAGE_CACHE);
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  tick(c.ticked);
  if (c.with_nano)
    tick("nano-7.2");

  for (const package& p : c.later) {
    tool_result added = tool({"add", made + "/" + p.key() + ".pkg"});
    ASSERT_TRUE(added.ok()) << added.output << added.errors;
  }
  for (const std::vector<std::string>& command : c.change) {
    tool_result changed = tool(command);
    ASSERT_TRUE(changed.ok()) << changed.output << changed.errors;
  }
  const std::vector<std::string> before = database_rows();
  press_ok();
  ASSERT_TRUE(notice_names(t, {c.ticked + ": " + c.reason}));
  EXPECT_FALSE(t.contains("nano-7.2:"));
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(t.stderr_text(), "");
  EXPECT_EQ(database_rows(), without(before, c.with_nano ? std::vector<std::string>{"nano-7.2"} : std::vector<std::string>{}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

const package git_gui{"git-gui", "2.42.0", "Graphical interface to git", {"git"}, {"git-gui commits from a window."}};

INSTANTIATE_TEST_SUITE_P(
    cases, changed_meanwhile,
    testing::Values(
        change_case{"a_package_that_needs_it_is_installed", {git_gui}, {}, "git-2.42.0_1", true,
                    "deleting it would also delete git-gui-2.42.0"},
        change_case{"it_is_locked", {}, {{"lock", "-y", "vim"}}, "vim-9.0.2116", true, "it has been locked"},
        change_case{"it_is_deleted", {}, {{"delete", "-y", "vim"}}, "vim-9.0.2116", true, "it is no longer installed"},
        change_case{"it_is_deleted_and_was_the_only_one", {}, {{"delete", "-y", "vim"}}, "vim-9.0.2116", false,
                    "it is no longer installed"}),
    [](const testing::TestParamInfo<change_case>& info) { return info.param.name; });

// A package that provides a capability which another installed package
// requires is a leaf by the leaf query, yet pkg would delete the other one
// with it; only pkg's dry run tells. When the other one is locked, pkg
// refuses even the dry run: that refusal is an answer too. Either way the
// provider is kept and named, and the unrelated ticked leaf goes.
struct provider_case {
  const char* name;
  bool requirer_locked;
  std::string reason;
};

void PrintTo(const provider_case& c, std::ostream* out) { *out << c.name; }

class provider_ticked : public real_tool_run, public testing::WithParamInterface<provider_case> {};

TEST_P(provider_ticked, is_kept_and_named_and_the_rest_goes) {
  const provider_case& c = GetParam();
  std::vector<package> system = real_system();
  for (const package& p : provider_and_requirer(c.requirer_locked))
    system.push_back(p);
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  EXPECT_EQ(t.contains("[ ] capreq-1.0"), !c.requirer_locked);
  tick("capprov-1.0");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(notice_names(t, {"capprov-1.0: " + c.reason}));
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(database_rows(), without(before, {"nano-7.2"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

INSTANTIATE_TEST_SUITE_P(
    cases, provider_ticked,
    testing::Values(provider_case{"with_a_requirer", false, "deleting it would also delete capreq-1.0"},
                    provider_case{"with_a_locked_requirer", true, "capreq is locked and needs it"}),
    [](const testing::TestParamInfo<provider_case>& info) { return info.param.name; });

// pkg takes every setting of its configuration file from the environment
// too: a database named there must change neither what is shown nor what
// is deleted.
TEST_F(real_tool_run, a_database_named_in_the_environment_is_not_used) {
  const std::vector<package> system = real_system();
  add_packages(system);
  // A second system, in which curl, which git needs here, is a leaf.
  const std::string other = path("other");
  add_to_new_root(other, {find_package(system, "openssl-3.0.12_1,1"), find_package(system, "libnghttp2-1.58.0"),
                          find_package(system, "curl-8.4.0")},
                  REAL_PACKAGE_CACHE);
  const std::vector<std::string> other_leaves = tool_leaves(other);
  ASSERT_EQ(other_leaves, std::vector<std::string>{"curl-8.4.0"});
  const std::vector<std::string> before = database_rows();

  terminal& t = start(24, 80, LEAFSWEEP_REAL, {"PKG_DBDIR=" + other + "/root/var/db/pkg"});
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(database_rows(), without(before, {"nano-7.2"}));
  EXPECT_EQ(tool_leaves(other), other_leaves);
  EXPECT_EQ(sorted(lines_of(run_real_tool(other, {"query", "%n-%v"}).output)),
            (std::vector<std::string>{"curl-8.4.0", "libnghttp2-1.58.0", "openssl-3.0.12_1,1"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
}

// With AUTOREMOVE in pkg.conf every delete would also remove the packages
// installed only as dependencies that nothing needs any more, among them an
// unticked leaf; the next pass offers those instead.
TEST_F(real_tool_run, pkg_conf_autoremove_deletes_no_unticked_package) {
  write_file("pkg.conf", "AUTOREMOVE: true\n");
  add_packages(real_system());
  for (const char* name : {"vim", "libevent", "utf8proc"}) {
    tool_result marked = tool({"set", "-y", "-A", "1", name});
    ASSERT_TRUE(marked.ok()) << marked.output << marked.errors;
  }
  const std::vector<std::string> before = database_rows();
  const std::vector<std::string> first_leaves = tool_leaves_now();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(first_leaves));
  tick("tmux-3.3a_1");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(database_rows(), without(before, {"tmux-3.3a_1", "nano-7.2"}));
  const std::vector<std::string> freed = without(tool_leaves_now(), first_leaves);
  EXPECT_EQ(sorted(freed), (std::vector<std::string>{"libevent-2.1.12", "utf8proc-2.9.0"}));
  answer_yes(t);
  ASSERT_TRUE(wait_for_listed(freed));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(database_rows(), without(before, {"tmux-3.3a_1", "nano-7.2"}));
}

// pkg accepts a package named "-a"; after "--" it is a name, not delete's
// option for every package.
TEST_F(real_tool_run, a_package_named_like_an_option_is_deleted_and_nothing_else) {
  std::vector<package> system = real_system();
  system.push_back({"-a", "1", "A package named like an option", {}, {"Its name reads as an option."}});
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  tick("-a-1");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(t.stderr_text(), "");
  EXPECT_EQ(database_rows(), without(before, {"-a-1", "nano-7.2"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// A "*" in one name makes pkg match every name of the command as a glob,
// and "font[misc]-1.0" then matches nothing, nor would "lib*compat-1.0"
// match only itself. Matched as anchored regular expressions instead, the
// three ticked packages go, and the package the glob would also match
// stays.
TEST_F(real_tool_run, names_that_read_as_patterns_delete_exactly_themselves) {
  std::vector<package> system = real_system();
  system.push_back({"lib*compat", "1.0", "A name with a star", {}, {"Its name holds a star."}});
  system.push_back({"libXcompat", "1.0", "What the star would match", {}, {"The star matches its name."}});
  system.push_back({"font[misc]", "1.0", "A name with brackets", {}, {"Its name holds brackets."}});
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  // Tall enough to show every leaf.
  terminal& t = start_real(30, 80);
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  const std::vector<std::string> ticked{"font[misc]-1.0", "lib*compat-1.0", "nano-7.2"};
  for (const std::string& key : ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(t.contains(kept_heading));
  EXPECT_EQ(t.stderr_text(), "");
  EXPECT_EQ(database_rows(), without(before, ticked));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// pkg expands the aliases of its configuration file before it looks its
// own commands up. An alias for delete that ends its options would turn
// the dry run into a real delete, and one for query would change the leaf
// query; every command line runs pkg's own command all the same.
TEST_F(real_tool_run, an_alias_for_delete_changes_no_command_line) {
  const std::vector<package> installed_first = real_system();
  std::vector<package> system = installed_first;
  system.push_back(git_gui);
  add_packages(installed_first);
  const std::string made = made_packages(system, REAL_PACKAGE_CACHE);
  write_file("pkg.conf", "ASSUME_ALWAYS_YES: true\nALIAS: {\n  delete: \"delete --\"\n}\n");
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  tick("git-2.42.0_1");
  tick("nano-7.2");
  tool_result added = tool({"add", made + "/" + git_gui.key() + ".pkg"});
  ASSERT_TRUE(added.ok()) << added.output << added.errors;
  const std::vector<std::string> before = database_rows();
  press_ok();
  ASSERT_TRUE(notice_names(t, {"git-2.42.0_1: deleting it would also delete git-gui-2.42.0"}));
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(database_rows(), without(before, {"nano-7.2"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

TEST_F(real_tool_run, an_alias_for_query_changes_no_command_line) {
  add_packages(real_system());
  const std::vector<std::string> leaves = tool_leaves_now();
  const std::vector<std::string> before = database_rows();
  // As pkg.conf has it, the leaf query would list every package's name.
  write_file("pkg.conf", "ALIAS: {\n  query: \"query %n\"\n}\n");
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(leaves));
  highlight("wget-1.21.4");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("GNU Wget retrieves files over HTTP, HTTPS and FTP."));
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(database_rows(), without(before, {"nano-7.2"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// pkg hands its own environment to the package scripts it runs, and the
// programs they start find commands only along an exported PATH; the
// shell's own default is not exported.
TEST_F(real_tool_run, package_scripts_see_the_system_path) {
  std::vector<package> system = real_system();
  package probe{"pathprobe", "1.0", "Tells the PATH its scripts see", {}, {"Writes PATH on deinstall."}};
  probe.pre_deinstall = "/usr/bin/printenv PATH > \"$PKG_ROOTDIR/../script-path\"\n";
  system.push_back(probe);
  add_packages(system);
  terminal& t = start(24, 80, LEAFSWEEP_REAL, {"PATH=/home/someone/bin"});
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  tick("pathprobe-1.0");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  std::ifstream seen(path("script-path"));
  std::string line;
  ASSERT_TRUE(std::getline(seen, line)) << "the script wrote no PATH";
  EXPECT_EQ(line, "/sbin:/bin:/usr/sbin:/usr/bin:/usr/local/sbin:/usr/local/bin");
}

// Releases before 2.8 match names without case unless told, and 2.8 does
// so when pkg.conf says so: "foo-1.0" would then also name "Foo-1.0". Every
// command line matches with case, so Help shows foo's own description, and
// foo goes while Foo stays.
TEST_F(real_tool_run, names_match_with_case_whatever_pkg_conf_says) {
  write_file("pkg.conf", "CASE_SENSITIVE_MATCH: false\n");
  std::vector<package> system = real_system();
  system.push_back({"foo", "1.0", "The twin in lower case", {}, {"foo is written in lower case."}});
  system.push_back({"Foo", "1.0", "The twin in upper case", {}, {"Foo is written with a capital."}});
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  // Tall enough to show every leaf.
  terminal& t = start_real(30, 80);
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  highlight("foo-1.0");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("foo is written in lower case."));
  EXPECT_FALSE(t.contains("Foo is written with a capital."));
  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  tick("foo-1.0");
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(t.contains(kept_heading));
  EXPECT_EQ(database_rows(), without(before, {"foo-1.0", "nano-7.2"}));
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

}  // namespace
