// Deleting with the real package tool: what goes from the root and the
// database, what the next pass offers, a delete that the tool refuses
// because its database is busy, and the packages it refuses to delete
// although they are leaves, itself and vital ones, kept out beforehand.
#include <algorithm>

#include "real_fixture.h"
#include "real_system.h"

namespace {

TEST_F(real_tool_run, ok_deletes_the_ticked_packages_and_each_pass_offers_what_they_freed) {
  const std::vector<package> system = real_system();
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  const std::vector<std::string> first_leaves = tool_leaves_now();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(first_leaves));
  const std::vector<std::string> ticked{"git-2.42.0_1", "py311-black-23.11.0", "tmux-3.3a_1"};
  for (const std::string& key : ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(t.stderr_text(), "");

  // Exactly the ticked packages are gone, files and rows.
  EXPECT_EQ(database_rows(), without(before, ticked));
  for (const package& p : system) {
    bool deleted = std::find(ticked.begin(), ticked.end(), p.key()) != ticked.end();
    EXPECT_EQ(file_installed(p), !deleted) << p.key();
  }

  // The next pass offers the freed leaves, in the tool's order, and none
  // offered before.
  const std::vector<std::string> freed = without(tool_leaves_now(), first_leaves);
  EXPECT_EQ(sorted(freed),
            (std::vector<std::string>{"curl-8.4.0", "expat-2.5.0", "libevent-2.1.12", "py311-click-8.1.7",
                                      "utf8proc-2.9.0"}));
  answer_yes(t);
  ASSERT_TRUE(wait_for_listed(freed));

  // Deleting curl frees libnghttp2 at the end of the chain.
  tick("curl-8.4.0");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_FALSE(file_installed(find_package(system, "curl-8.4.0")));
  answer_yes(t);
  ASSERT_TRUE(wait_for_listed({"libnghttp2-1.58.0"}));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(database_rows(), without(before, {"git-2.42.0_1", "py311-black-23.11.0", "tmux-3.3a_1", "curl-8.4.0"}));
}

TEST_F(real_tool_run, a_database_locked_by_another_pkg_ends_in_the_enter_prompt_with_nothing_lost) {
  const std::vector<package> system = real_system();
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_checklist());
  tick("nano-7.2");

  // pkg lock holds the database's exclusive lock while it asks whether to
  // lock.
  run_options holder_options;
  holder_options.program = REAL_PKG_WRAPPER;
  holder_options.args = {"lock", "vim"};
  holder_options.cwd = dir();
  terminal holder(holder_options);
  ASSERT_TRUE(holder.wait_for_text("vim-9.0.2116: lock this package?"));

  // The tool gives up after its retries, a few seconds; a query still
  // reads the database, and finds nano there.
  press_ok();
  ASSERT_TRUE(t.wait_for_stderr(enter_prompt, 120));
  EXPECT_NE(t.stderr_text().find("locked by another process"), std::string::npos) << t.stderr_text();
  EXPECT_NE(t.stderr_text().find("Still installed: nano-7.2.\n" + enter_prompt), std::string::npos) << t.stderr_text();

  holder.type("n");
  holder.key(VTERM_KEY_ENTER);
  int status = holder.wait_exit();
  EXPECT_TRUE(status != -1 && WIFEXITED(status)) << holder.describe();
  EXPECT_EQ(database_rows(), before);
  EXPECT_TRUE(file_installed(find_package(system, "nano-7.2")));

  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_TRUE(t.stderr_text().size() >= closing_line.size() &&
              t.stderr_text().compare(t.stderr_text().size() - closing_line.size(), closing_line.size(), closing_line) == 0)
      << t.stderr_text();
  // Nothing was lost: every package is there, and nothing got locked.
  EXPECT_EQ(database_rows(), before);
  EXPECT_EQ(tool({"query", "%k", "vim"}).output, "0\n");
}

// pkg is a leaf on every system, but refuses to delete itself without its
// force flag, and that refusal would end the whole delete command: pkg
// 2.8.4 works through the packages in the order of their names, so tmux,
// after pkg, would stay. So pkg never reaches the delete command, the
// notice says why, and the packages before and after it go.
TEST_F(real_tool_run, pkg_itself_is_kept_and_the_packages_around_it_go) {
  const std::vector<package> system = real_system();
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  const std::vector<std::string> first_leaves = tool_leaves_now();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(first_leaves));
  const std::vector<std::string> ticked{"git-2.42.0_1", "pkg-2.8.4", "tmux-3.3a_1"};
  for (const std::string& key : ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(t.wait_for_text("pkg-2.8.4: pkg does not delete itself")) << t.describe();
  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(t.stderr_text(), "");
  EXPECT_EQ(database_rows(), without(before, {"git-2.42.0_1", "tmux-3.3a_1"}));
  for (const std::string& key : ticked)
    EXPECT_EQ(file_installed(find_package(system, key)), key == "pkg-2.8.4") << key;

  // pkg is still a leaf, but was offered already: the next pass lists only
  // what deleting git and tmux freed.
  const std::vector<std::string> leaves_now = tool_leaves_now();
  EXPECT_NE(std::find(leaves_now.begin(), leaves_now.end(), "pkg-2.8.4"), leaves_now.end());
  const std::vector<std::string> freed = without(leaves_now, first_leaves);
  EXPECT_EQ(sorted(freed), (std::vector<std::string>{"curl-8.4.0", "expat-2.5.0", "libevent-2.1.12", "utf8proc-2.9.0"}));
  answer_yes(t);
  ASSERT_TRUE(wait_for_listed(freed));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// A vital package is a leaf too, but pkg leaves it out, and ticked alone it
// makes the delete command fail. It never reaches the delete command: the
// notice says why, and the other package goes. Either way the vital
// package stays and is not offered again.
struct vital_case {
  const char* name;
  std::vector<std::string> ticked;
  std::vector<std::string> deleted;
};

void PrintTo(const vital_case& c, std::ostream* out) { *out << c.name; }

class vital_ticked : public real_tool_run, public testing::WithParamInterface<vital_case> {};

TEST_P(vital_ticked, is_kept_with_the_reason_and_the_run_goes_on) {
  const vital_case& c = GetParam();
  const std::vector<package> system = real_system();
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  for (const std::string& key : c.ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(t.wait_for_text("doas-6.3p12: it is vital (pkg set -v 0 doas-6.3p12 would allow deleting it)")) << t.describe();
  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(t.stderr_text(), "");
  EXPECT_EQ(database_rows(), without(before, c.deleted));
  for (const std::string& key : c.ticked) {
    bool deleted = std::find(c.deleted.begin(), c.deleted.end(), key) != c.deleted.end();
    EXPECT_EQ(file_installed(find_package(system, key)), !deleted) << key;
  }

  // What was deleted freed no leaf, and doas was offered already.
  answer_yes(t);
  ASSERT_TRUE(box_around("No new leaves found", 5, 23));
  press_ok();
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

INSTANTIATE_TEST_SUITE_P(cases, vital_ticked,
                         testing::Values(vital_case{"with_another", {"doas-6.3p12", "nano-7.2"}, {"nano-7.2"}},
                                         vital_case{"alone", {"doas-6.3p12"}, {}}),
                         [](const testing::TestParamInfo<vital_case>& info) { return info.param.name; });

// A package script that fails ends pkg's delete command partway (under
// DEVELOPER_MODE pkg takes a failing script for a fatal error): what pkg's
// order reached first is gone, the rest stays, and pkg's words do not say
// which. One line names the ticked packages still installed, before the
// Enter prompt.
TEST_F(real_tool_run, a_failed_delete_names_the_ticked_packages_still_installed) {
  write_file("pkg.conf", "DEVELOPER_MODE: true\n");
  std::vector<package> system = real_system();
  package failing{"failing", "1.0", "Its deinstall script fails", {}, {"Its deinstall script exits with 1."}};
  failing.pre_deinstall = "exit 1\n";
  system.push_back(failing);
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  const std::vector<std::string> leaves = tool_leaves_now();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(leaves));
  // In the checklist's order, which the line follows.
  const std::vector<std::string> ticked{"failing-1.0", "nano-7.2", "vim-9.0.2116"};
  ASSERT_TRUE(std::is_sorted(ticked.begin(), ticked.end(), [&](const std::string& a, const std::string& b) {
    return std::find(leaves.begin(), leaves.end(), a) < std::find(leaves.begin(), leaves.end(), b);
  }));
  for (const std::string& key : ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(t.wait_for_stderr(enter_prompt, 120)) << t.describe();
  const std::vector<std::string> rows = database_rows();
  std::vector<std::string> stayed_keys;
  std::string stayed;
  for (const std::string& key : ticked) {
    if (std::find(rows.begin(), rows.end(), key) != rows.end()) {
      stayed_keys.push_back(key);
      stayed += (stayed.empty() ? "" : ", ") + key;
    }
  }
  EXPECT_NE(stayed.find("failing-1.0"), std::string::npos);
  EXPECT_EQ(sorted(without(before, rows)), sorted(without(ticked, stayed_keys)));
  const std::string errors = t.stderr_text();
  EXPECT_NE(errors.find("DEINSTALL script failed"), std::string::npos) << errors;
  EXPECT_EQ(errors.substr(errors.find("Still installed: ")), "Still installed: " + stayed + ".\n" + enter_prompt);
  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(wait_for_question());
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
}

}  // namespace
