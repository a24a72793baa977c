// What the checklist and Help show over a real package database: exactly
// the tool's own leaves, and the descriptions as the tool stores them.
#include <algorithm>

#include "real_fixture.h"
#include "real_system.h"

namespace {

TEST_F(real_tool_run, the_checklist_lists_exactly_the_tools_leaves_in_its_order) {
  add_packages(real_system());
  std::vector<std::string> leaves = tool_leaves_now();
  // The tool and the tests agree on what the leaves are: pkg itself and the
  // vital doas among them, the locked sudo not.
  EXPECT_EQ(sorted(leaves), (std::vector<std::string>{"doas-6.3p12", "git-2.42.0_1", "gtkmm30-3.24.8",
                                                       "libxml++-5.0.3", "nano-7.2", "pkg-2.8.4", "py311-black-23.11.0",
                                                       "py311-requests-2.31.0", "rsync-3.2.7", "screen-4.9.1,1",
                                                       "tmux-3.3a_1", "vim-9.0.2116", "wget-1.21.4"}));
  EXPECT_EQ(tool({"query", "%V", "doas"}).output, "1\n");

  terminal& t = start_real();
  EXPECT_TRUE(wait_for_listed(leaves));
  EXPECT_FALSE(t.contains("sudo-1.9.15p2"));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// Help for a multi-line description with UTF-8, ones with an empty line, a
// name with "+" whose description has indented lines, and a version with an
// epoch.
class real_help : public real_tool_run, public testing::WithParamInterface<const char*> {};

TEST_P(real_help, shows_the_description_as_the_tool_stores_it) {
  const std::vector<package> system = real_system();
  const package& p = find_package(system, GetParam());
  add_packages(system);
  tool_result stored = tool({"query", "%e", p.key()});
  ASSERT_TRUE(stored.ok()) << stored.errors;
  std::vector<std::string> stored_lines = lines_of(stored.output);
  while (!stored_lines.empty() && stored_lines.back().empty())
    stored_lines.pop_back();
  EXPECT_EQ(stored_lines, p.description);

  terminal& t = start_real();
  ASSERT_TRUE(wait_for_checklist());
  tick(p.key());
  press_help(t);
  // The box titled with the comment is Help's; its text is the description.
  std::optional<box> help;
  ASSERT_TRUE(t.wait_for([&](const terminal& s) {
    help = s.box_containing(p.comment);
    return help && s.row(help->top).find(p.comment) != std::string::npos && text_in(*help) == stored_lines;
  })) << "Help shows:\n" << (help ? testing::PrintToString(text_in(*help)) : "no box");

  // OK goes back to the checklist with the tick kept.
  t.key(VTERM_KEY_ENTER);
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[X] " + p.key()));
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

INSTANTIATE_TEST_SUITE_P(packages, real_help,
                         testing::Values("nano-7.2", "py311-black-23.11.0", "git-2.42.0_1", "libxml++-5.0.3",
                                         "screen-4.9.1,1"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           }
                           return name;
                         });

}  // namespace
