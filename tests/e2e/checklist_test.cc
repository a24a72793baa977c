// The checklist as the user sees it: the progress box, the list, Help, and
// the ways out of it that delete nothing.
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include "fixture.h"

namespace {

struct screen_size {
  int rows, cols;
};

// Failure reports name the case, not its bytes.
void PrintTo(const screen_size& s, std::ostream* out) { *out << s.rows << "x" << s.cols; }

class checklist_sizes : public leafsweep_run, public testing::WithParamInterface<screen_size> {};

TEST_P(checklist_sizes, shows_every_leaf_in_a_box_filling_the_screen) {
  const screen_size size = GetParam();
  install(small_system());
  terminal& t = start(size.rows, size.cols);
  ASSERT_TRUE(wait_for_checklist());

  EXPECT_TRUE(box_around(checklist_title, size.rows - 1, size.cols));
  EXPECT_TRUE(t.contains("These are the leaf packages installed on your system"));
  EXPECT_TRUE(t.contains("Chose the packages to deinstall. Help will display the package description."));
  for (const char* leaf : {"[ ] curl-8.4.0", "[ ] nano-7.2", "[ ] tmux-3.3a"})
    EXPECT_TRUE(t.contains(leaf)) << leaf << "\n" << t.describe();
  for (const char* other : {"libnghttp2", "libevent", "pkg-1.20.9"})
    EXPECT_FALSE(t.contains(other)) << other;

  // The highlighted entry's comment stands on the bottom line.
  EXPECT_TRUE(t.wait_for([&](const terminal& s) {
    return s.row(size.rows - 1).find("Command line tool for transferring data") != std::string::npos;
  }));
  t.key(VTERM_KEY_DOWN);
  EXPECT_TRUE(t.wait_for([&](const terminal& s) {
    return s.row(size.rows - 1).find("Nano's ANOther editor") != std::string::npos;
  }));
  EXPECT_EQ(t.stderr_text(), "");
}

INSTANTIATE_TEST_SUITE_P(sizes, checklist_sizes, testing::Values(screen_size{24, 80}, screen_size{30, 100},
                                                                 screen_size{50, 132}),
                         [](const testing::TestParamInfo<screen_size>& info) {
                           return std::to_string(info.param.rows) + "x" + std::to_string(info.param.cols);
                         });

TEST_F(leafsweep_run, searching_box_stands_while_the_leaf_query_runs) {
  install(small_system());
  // The stand-in blocks opening the FIFO until the test writes the leaves.
  ASSERT_EQ(mkfifo(path("leaves.fifo").c_str(), 0600), 0);
  control("leaves_file leaves.fifo\n");
  terminal& t = start();
  // 23 columns leave room for "Searching for" only; "leaves" wraps.
  ASSERT_TRUE(box_around("Searching for", 5, 23));
  EXPECT_TRUE(t.contains("leaves"));

  int fifo = open(path("leaves.fifo").c_str(), O_WRONLY);
  // cppcheck-suppress resourceLeak ; nothing is open when the assertion fails
  ASSERT_NE(fifo, -1);
  const std::string leaves = "only-1.0\tThe only leaf\n";
  ssize_t written = write(fifo, leaves.data(), leaves.size());
  close(fifo);
  ASSERT_EQ(written, static_cast<ssize_t>(leaves.size()));
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[ ] only-1.0"));
  EXPECT_FALSE(t.contains("Searching for"));
}

TEST_F(leafsweep_run, no_leaves_at_all_is_said_and_ends_the_run) {
  package pkg{"pkg", "1.20.9", "Package manager", {}, {}};
  pkg.locked = true;
  install({pkg});
  terminal& t = start();
  ASSERT_TRUE(box_around("No leaves found", 5, 19));
  // Nothing of the "Searching for leaves" box is left beside it.
  EXPECT_TRUE(alone_on_screen("No leaves found"));
  press_ok();
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_EQ(calls().size(), 1u);
}

struct way_out {
  const char* label;
  std::vector<VTermKey> keys;
};

void PrintTo(const way_out& c, std::ostream* out) { *out << c.label; }

class leaving_the_checklist : public leafsweep_run, public testing::WithParamInterface<way_out> {};

TEST_P(leaving_the_checklist, deletes_nothing_and_asks_nothing) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  ASSERT_TRUE(t.wait_for_text("[X] curl-8.4.0"));
  for (VTermKey k : GetParam().keys)
    t.key(k);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
  EXPECT_EQ(t.output_log().find(next_pass_question), std::string::npos);
  EXPECT_EQ(installed().size(), small_system().size());
}

INSTANTIATE_TEST_SUITE_P(keys, leaving_the_checklist,
                         testing::Values(way_out{"Cancel", {VTERM_KEY_TAB, VTERM_KEY_ENTER}},
                                         way_out{"Escape", {VTERM_KEY_ESCAPE}}),
                         [](const testing::TestParamInfo<way_out>& info) { return info.param.label; });

TEST_F(leafsweep_run, ok_with_nothing_ticked_says_so_and_ends_the_run) {
  install(small_system());
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  press_ok();
  ASSERT_TRUE(box_around("No packages selected", 5, 24));
  press_ok();
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
  EXPECT_TRUE(calls_of(pkg_call_kind::delete_packages).empty());
  EXPECT_EQ(t.output_log().find(next_pass_question), std::string::npos);
}

TEST_F(leafsweep_run, help_shows_the_description_in_a_large_box_and_keeps_the_ticks) {
  install(small_system());
  terminal& t = start(30, 100);
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  highlight("nano-7.2");
  press_help(t);
  ASSERT_TRUE(box_around("GNU nano is a small and friendly text editor.", 30 - 4, 100 - 4));
  auto help = t.box_containing("GNU nano is a small and friendly text editor.");
  EXPECT_NE(t.row(help->top).find("Nano's ANOther editor"), std::string::npos) << t.describe();
  EXPECT_TRUE(t.contains("It has syntax highlighting."));
  EXPECT_FALSE(t.contains("< Help >"));

  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[X] curl-8.4.0"));
  EXPECT_TRUE(t.contains("[ ] nano-7.2"));

  // Each Help asks the tool again; Escape leaves the box as OK does.
  highlight("nano-7.2");
  press_help(t);
  ASSERT_TRUE(t.wait_for_text("GNU nano is a small and friendly text editor."));
  t.key(VTERM_KEY_ESCAPE);
  ASSERT_TRUE(wait_for_checklist());
  auto queries = calls_of(pkg_call_kind::description_query);
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(described_package(queries[0]), "nano-7.2");
  EXPECT_EQ(described_package(queries[1]), "nano-7.2");

  // OK after Help deletes what was ticked before it.
  press_ok();
  ASSERT_TRUE(wait_for_question());
  EXPECT_EQ(only_delete(), std::vector<std::string>{"curl-8.4.0"});
}

TEST_F(leafsweep_run, help_without_a_description_goes_straight_back) {
  std::vector<package> system = small_system();
  system[0].description.clear();  // curl
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  tick("curl-8.4.0");
  press_help(t);
  ASSERT_TRUE(t.wait_for([&](const terminal&) { return calls_of(pkg_call_kind::description_query).size() == 1; }));
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_TRUE(t.contains("[X] curl-8.4.0"));
  EXPECT_EQ(t.boxes().size(), 2u) << t.describe();  // the checklist and its list
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
}

TEST_F(leafsweep_run, help_on_a_package_without_comment_has_an_untitled_box) {
  std::vector<package> system = small_system();
  system[0].comment.clear();  // curl
  install(system);
  terminal& t = start();
  ASSERT_TRUE(wait_for_checklist());
  press_help(t);
  ASSERT_TRUE(box_around("curl transfers data with URL syntax.", 24 - 4, 80 - 4));
  auto help = t.box_containing("curl transfers data with URL syntax.");
  // Nothing but border stands on the box's top row.
  std::string top = t.row(help->top);
  for (char c : top)
    EXPECT_FALSE(isalnum(static_cast<unsigned char>(c))) << t.describe();
}

}  // namespace
